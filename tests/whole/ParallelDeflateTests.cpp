// The segmented zlib stream behind the default PNG compression: whatever the number of
// threads and the segments' sizes, zlib reads it back as the bytes put in, checksum and
// all; a sink that fails stops it. The hand-written Huffman coding under it keeps its
// codes within deflate's 15 bits however skewed the bytes are.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "encoders/HuffmanDeflate.h"
#include "encoders/ParallelDeflate.h"

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
        ekv::ParallelDeflate aDeflate(aThreads, [&](const uint8_t *inBytes, size_t inSize) {
            aStream.insert(aStream.end(), inBytes, inBytes + inSize);
            return true;
        });
        uint32_t aSeed = 1;
        for (size_t aSize : {100000u, 0u, 1u, 70000u, 250000u, 3u, 131072u, 9u}) {
            std::vector<uint8_t> aSegment = Segment(aSize, aSeed++);
            aExpected.insert(aExpected.end(), aSegment.begin(), aSegment.end());
            aSegment.resize(aSize + 17, 0xEE);  // bytes past the segment's size are not its own
            ASSERT_TRUE(aDeflate.add(std::move(aSegment), aSize));
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
    ekv::ParallelDeflate aEmpty(2, [&](const uint8_t *inBytes, size_t inSize) {
        aStream.insert(aStream.end(), inBytes, inBytes + inSize);
        return true;
    });
    ASSERT_TRUE(aEmpty.finish());
    uint8_t aByte = 0;
    uLongf aSize = 1;
    EXPECT_EQ(uncompress(&aByte, &aSize, aStream.data(), aStream.size()), Z_OK);
    EXPECT_EQ(aSize, 0u);

    int aCalls = 0;
    ekv::ParallelDeflate aFailing(2, [&](const uint8_t *, size_t) { return ++aCalls < 2; });
    bool aOk = true;
    for (uint32_t aSeed = 0; aSeed < 8 && aOk; ++aSeed) aOk = aFailing.add(Segment(50000, aSeed), 50000);
    EXPECT_FALSE(aOk && aFailing.finish());
    EXPECT_EQ(aCalls, 2);  // nothing handed on after the failure
}

// Counts that grow as Fibonacci numbers make Huffman's tree as deep as it gets.
std::vector<uint32_t> FibonacciCounts(size_t inSymbols) {
    std::vector<uint32_t> aCounts(inSymbols, 0);
    uint32_t a = 1, b = 1;
    for (size_t i = 0; i < inSymbols; ++i, b = a + b, a = b - a) aCounts[i] = a;
    return aCounts;
}

TEST(HuffmanDeflate, CodesStayWithinTheLimitAndComplete) {
    for (int aLongest : {7, 15}) {
        const std::vector<uint32_t> aCounts = FibonacciCounts(30);
        const std::vector<uint8_t> aLengths = ekv::LimitedCodeLengths(aCounts, aLongest);
        double aKraft = 0;
        for (size_t i = 0; i < aCounts.size(); ++i) {
            ASSERT_GE(aLengths[i], 1) << i;
            ASSERT_LE(aLengths[i], aLongest) << i;
            if (i > 0) {
                EXPECT_LE(aLengths[i], aLengths[i - 1]) << "a more frequent symbol got a longer code";
            }
            aKraft += 1.0 / (1 << aLengths[i]);
        }
        EXPECT_EQ(aKraft, 1.0) << aLongest;
    }
    EXPECT_EQ(ekv::LimitedCodeLengths({0, 5, 0}, 15), (std::vector<uint8_t>{0, 1, 0}));
}

TEST(HuffmanDeflate, PiecesJoinIntoAStreamZlibReads) {
    std::vector<std::vector<uint8_t>> aPieces = {{42}, std::vector<uint8_t>(70000, 7), Segment(100001, 3), {}};
    std::vector<uint8_t> aAll(256);
    for (int i = 0; i < 256; ++i) aAll[i] = static_cast<uint8_t>(i);
    aPieces.push_back(aAll);
    // One block (17710 bytes) whose code needs 20 bits before the limit.
    std::vector<uint8_t> aSkewed;
    const std::vector<uint32_t> aCounts = FibonacciCounts(20);
    for (size_t aByte = 0; aByte < aCounts.size(); ++aByte) aSkewed.insert(aSkewed.end(), aCounts[aByte], aByte);
    aPieces.push_back(aSkewed);

    std::vector<uint8_t> aStream, aExpected;
    std::vector<uint8_t> aBuffer(1000000, 0xAA);  // larger than any piece needs
    for (const std::vector<uint8_t> &aPiece : aPieces) {
        const size_t aSize = ekv::HuffmanDeflate(aPiece.data(), aPiece.size(), aBuffer);
        aStream.insert(aStream.end(), aBuffer.begin(), aBuffer.begin() + static_cast<long>(aSize));
        aExpected.insert(aExpected.end(), aPiece.begin(), aPiece.end());
    }
    ekv::HuffmanDeflateEnd(aStream);
    z_stream aInflate{};
    ASSERT_EQ(inflateInit2(&aInflate, -15), Z_OK);
    std::vector<uint8_t> aRead(aExpected.size() + 1);
    aInflate.next_in = aStream.data();
    aInflate.avail_in = static_cast<uInt>(aStream.size());
    aInflate.next_out = aRead.data();
    aInflate.avail_out = static_cast<uInt>(aRead.size());
    EXPECT_EQ(inflate(&aInflate, Z_FINISH), Z_STREAM_END) << (aInflate.msg ? aInflate.msg : "");
    EXPECT_EQ(aInflate.avail_in, 0u);
    aRead.resize(aRead.size() - aInflate.avail_out);
    inflateEnd(&aInflate);
    EXPECT_TRUE(aRead == aExpected);
}

}  // namespace
