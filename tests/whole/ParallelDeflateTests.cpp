// The segmented zlib stream behind the default PNG compression: whatever the number of
// threads and the segments' sizes, zlib reads it back as the bytes put in, checksum and
// all; a sink that fails stops it.
#include <gtest/gtest.h>
#include <zlib.h>

#include <vector>

#include "ParallelDeflate.h"

namespace {

std::vector<uint8_t> Segment(size_t inSize, uint32_t inSeed) {
    std::vector<uint8_t> aBytes(inSize);
    for (size_t aIndex = 0; aIndex < inSize; ++aIndex)
        aBytes[aIndex] = static_cast<uint8_t>((inSeed * 2654435761u + aIndex * aIndex) >> (aIndex % 7));
    return aBytes;
}

TEST(ParallelDeflate, ReadsBackAsTheSegmentsInOrder) {
    for (int aThreads : {1, 3}) {
        std::vector<uint8_t> aStream, aExpected;
        ekv::ParallelDeflate aDeflate(1, Z_HUFFMAN_ONLY, aThreads, [&](const uint8_t *inBytes, size_t inSize) {
            aStream.insert(aStream.end(), inBytes, inBytes + inSize);
            return true;
        });
        uint32_t aSeed = 1;
        for (size_t aSize : {100000u, 0u, 1u, 70000u, 250000u, 3u, 131072u, 9u}) {
            std::vector<uint8_t> aSegment = Segment(aSize, aSeed++);
            aExpected.insert(aExpected.end(), aSegment.begin(), aSegment.end());
            ASSERT_TRUE(aDeflate.add(std::move(aSegment)));
        }
        ASSERT_TRUE(aDeflate.finish());
        std::vector<uint8_t> aRead(aExpected.size() + 1);
        uLongf aReadSize = aRead.size();
        ASSERT_EQ(uncompress(aRead.data(), &aReadSize, aStream.data(), aStream.size()), Z_OK) << aThreads;
        aRead.resize(aReadSize);
        EXPECT_EQ(aRead, aExpected) << aThreads;
    }
}

TEST(ParallelDeflate, EmptyStreamAndFailingSink) {
    std::vector<uint8_t> aStream;
    ekv::ParallelDeflate aEmpty(1, Z_HUFFMAN_ONLY, 2, [&](const uint8_t *inBytes, size_t inSize) {
        aStream.insert(aStream.end(), inBytes, inBytes + inSize);
        return true;
    });
    ASSERT_TRUE(aEmpty.finish());
    uint8_t aByte = 0;
    uLongf aSize = 1;
    EXPECT_EQ(uncompress(&aByte, &aSize, aStream.data(), aStream.size()), Z_OK);
    EXPECT_EQ(aSize, 0u);

    int aCalls = 0;
    ekv::ParallelDeflate aFailing(1, Z_HUFFMAN_ONLY, 2, [&](const uint8_t *, size_t) { return ++aCalls < 2; });
    bool aOk = true;
    for (uint32_t aSeed = 0; aSeed < 8 && aOk; ++aSeed) aOk = aFailing.add(Segment(50000, aSeed));
    EXPECT_FALSE(aOk && aFailing.finish());
    EXPECT_EQ(aCalls, 2);  // nothing handed on after the failure
}

}  // namespace
