// Strip reading and sample alignment: runs of rows across strips, one- and two-byte
// samples, what cannot be read, size limits, failed allocations, and the byte-order and
// bit alignment of samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "EkvTestBytes.h"
#include "TestHost.h"
#include "plugin/HostMemory.h"
#include "rawfile/RawInfo.h"

using ekvtest::TempFile;
using testhost::Options;
using testhost::TestHost;

namespace {

const uint8_t kGap = 0xAA;

// The byte at position inAt of the mosaic stream: varied, so that a misplaced byte shows.
uint8_t StreamByte(uint64_t inAt) {
    uint32_t x = static_cast<uint32_t>(inAt) * 2654435761u + 12345u;
    return static_cast<uint8_t>((x >> 24) | 1);  // never zero: zeros mean "not read"
}

struct Strip {
    int64_t offset;  // where the strip's bytes are written; <= 0: not written
    int32_t count;
};

// A record whose 15 strips are inStrips (the rest empty), rows of inWidth samples.
RAW_Info Layout(int32 inWidth, int16 inValidBits, const std::vector<Strip> &inStrips) {
    RAW_Info aInfo;
    std::memset(&aInfo, 0, sizeof aInfo);
    aInfo.endian = kRAW_LittleEndian;
    RAW_DefaultInfo(&aInfo);
    aInfo.image_width = inWidth;
    aInfo.valid_bits_per_pixel[0] = inValidBits;
    for (int k = 0; k < kRAW_MaxStrips; ++k) {
        aInfo.strip_offsets[k] = 0;
        aInfo.strip_byte_count[k] = 0;
    }
    for (size_t k = 0; k < inStrips.size() && k < kRAW_MaxStrips; ++k) {
        aInfo.strip_offsets[k] = static_cast<int32>(inStrips[k].offset);
        aInfo.strip_byte_count[k] = inStrips[k].count;
    }
    return aInfo;
}

// The file holding the stream's strips at their offsets, gaps filled with kGap. Strips
// with a non-positive offset or count take no stream bytes from the file (count < 0 is
// a strip of no bytes). inSize cuts the file short when not 0.
std::vector<uint8_t> FileBytes(const std::vector<Strip> &inStrips, size_t inSize = 0,
                               const std::vector<uint8_t> *inStream = nullptr) {
    std::vector<uint8_t> aFile(16, kGap);
    uint64_t aStream = 0;
    for (const Strip &aStrip : inStrips) {
        int64_t aCount = aStrip.count > 0 ? aStrip.count : 0;
        if (aStrip.offset > 0) {
            size_t aEnd = static_cast<size_t>(aStrip.offset + aCount);
            if (aFile.size() < aEnd) aFile.resize(aEnd, kGap);
            for (int64_t i = 0; i < aCount; ++i)
                aFile[static_cast<size_t>(aStrip.offset + i)] =
                    inStream != nullptr ? (*inStream)[static_cast<size_t>(aStream + i)] : StreamByte(aStream + i);
        }
        aStream += static_cast<uint64_t>(aCount);
    }
    if (inSize != 0) aFile.resize(inSize, kGap);
    return aFile;
}

std::vector<uint8_t> StreamBytes(uint64_t inFrom, uint64_t inCount) {
    std::vector<uint8_t> aBytes(static_cast<size_t>(inCount));
    for (uint64_t i = 0; i < inCount; ++i) aBytes[static_cast<size_t>(i)] = StreamByte(inFrom + i);
    return aBytes;
}

// Reads the rows and returns the handle's bytes (disposing of it); outResult gets the result.
std::vector<uint8_t> ReadRows(TestHost &ioHost, const FSSpec *inFile, const RAW_Info &inInfo, uint32 inFrom,
                              uint32 inLength, OSErr *outResult = nullptr, bool *outNull = nullptr) {
    HandleProcs *aProcs = ioHost.record()->handleProcs;
    Handle aData = reinterpret_cast<Handle>(1);
    OSErr aResult = RAW_ReadStrip(inFile, &inInfo, inFrom, inLength, aProcs, &aData);
    if (outResult != nullptr) *outResult = aResult;
    if (outNull != nullptr) *outNull = aData == nullptr;
    std::vector<uint8_t> aBytes;
    if (aData != nullptr) {
        int32 aSize = HostGetHandleSize(aProcs, aData);
        if (aSize > 0) {
            const char *aPtr = RAW_LockHandle(aProcs, aData, false);
            if (aPtr != nullptr) aBytes.assign(aPtr, aPtr + aSize);
            RAW_UnlockHandle(aProcs, aData);
        }
        RAW_DisposeHandle(aProcs, aData);
    }
    return aBytes;
}

void ExpectCleanHost(const TestHost &inHost) {
    EXPECT_EQ(inHost.liveHandles(), 0u);
    EXPECT_TRUE(inHost.misuse().empty()) << (inHost.misuse().empty() ? "" : inHost.misuse()[0]);
}

std::vector<uint8_t> Zeros(size_t inCount) { return std::vector<uint8_t>(inCount, 0); }

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The default strip layout with strips 0 to 3 in the file, 1000 bytes apart; strips 4 to
// 14 keep their byte counts but are absent.
class DefaultStrips : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        RAW_Info aDefaults;
        std::memset(&aDefaults, 0, sizeof aDefaults);
        RAW_DefaultInfo(&aDefaults);
        std::vector<Strip> aStrips;
        for (int k = 0; k < 4; ++k) aStrips.push_back({1000 + k * (523392 + 1000), aDefaults.strip_byte_count[k]});
        sFileBytes = new std::vector<uint8_t>(FileBytes(aStrips));
        sFile = new TempFile("karvex_strip_default.ekv", *sFileBytes);
        sInfo = aDefaults;
        sInfo.endian = kRAW_LittleEndian;
        for (int k = 0; k < 4; ++k) sInfo.strip_offsets[k] = static_cast<int32>(aStrips[k].offset);
    }
    static void TearDownTestSuite() {
        delete sFile;
        delete sFileBytes;
        sFile = nullptr;
        sFileBytes = nullptr;
    }
    static TempFile *sFile;
    static std::vector<uint8_t> *sFileBytes;
    static RAW_Info sInfo;
};

TempFile *DefaultStrips::sFile = nullptr;
std::vector<uint8_t> *DefaultStrips::sFileBytes = nullptr;
RAW_Info DefaultStrips::sInfo;

}  // namespace

// ---------------------------------------------------------------------------------------
// Runs of rows

TEST_F(DefaultStrips, SixRowsFromRow114SpanTheEndOfStrip0AndTheStartOfStrip1) {
    ASSERT_TRUE(sFile->ok());
    TestHost aHost;
    OSErr aResult = 1;
    std::vector<uint8_t> aRows = ReadRows(aHost, sFile->fsSpec(), sInfo, 114, 6, &aResult);
    EXPECT_EQ(aResult, 0);
    ASSERT_EQ(aRows.size(), 27072u);
    EXPECT_EQ(aRows, StreamBytes(114 * 4512, 27072));
    // 9024 bytes from the end of strip 0, 18048 from the start of strip 1.
    const std::vector<uint8_t> &aFile = *sFileBytes;
    size_t aEndOf0 = static_cast<size_t>(sInfo.strip_offsets[0]) + 523392;
    size_t aStartOf1 = static_cast<size_t>(sInfo.strip_offsets[1]);
    EXPECT_TRUE(std::equal(aRows.begin(), aRows.begin() + 9024, aFile.begin() + (aEndOf0 - 9024)));
    EXPECT_TRUE(std::equal(aRows.begin() + 9024, aRows.end(), aFile.begin() + aStartOf1));
    ExpectCleanHost(aHost);
}

TEST_F(DefaultStrips, ARunWhollyInStrip3StartsAtItsOffsetPlusTheRowsBefore) {
    ASSERT_TRUE(sFile->ok());
    TestHost aHost;
    std::vector<uint8_t> aRows = ReadRows(aHost, sFile->fsSpec(), sInfo, 350, 10);
    ASSERT_EQ(aRows.size(), 45120u);
    size_t aAt = static_cast<size_t>(sInfo.strip_offsets[3]) + (350 - 348) * 4512;
    EXPECT_TRUE(std::equal(aRows.begin(), aRows.end(), sFileBytes->begin() + aAt));
    EXPECT_EQ(aRows, StreamBytes(350 * 4512, 45120));
    // The last rows of strip 3 and beyond, into the absent strip 4: zeros there.
    aRows = ReadRows(aHost, sFile->fsSpec(), sInfo, 462, 4);
    ASSERT_EQ(aRows.size(), 4u * 4512);
    EXPECT_EQ(aRows, Concat(StreamBytes(462 * 4512, 2 * 4512), Zeros(2 * 4512)));
    ExpectCleanHost(aHost);
}

TEST(StripReading, RowsSplitBetweenStripsAreJoinedSeamlessly) {
    TestHost aHost;
    // 10 samples (20 bytes) a row; boundaries mid-row and mid-sample; strips in reverse
    // file order with gaps.
    std::vector<Strip> aStrips = {{900, 25}, {700, 33}, {400, 47}, {100, 15}};
    TempFile aFile("karvex_strip_split.ekv", FileBytes(aStrips));
    RAW_Info aInfo = Layout(10, 12, aStrips);
    EXPECT_EQ(ReadRows(aHost, aFile.fsSpec(), aInfo, 0, 6), StreamBytes(0, 120));
    EXPECT_EQ(ReadRows(aHost, aFile.fsSpec(), aInfo, 1, 3), StreamBytes(20, 60));
    EXPECT_EQ(ReadRows(aHost, aFile.fsSpec(), aInfo, 5, 1), StreamBytes(100, 20));
    ExpectCleanHost(aHost);
}

TEST(StripReading, OneByteSamplesAreWidenedInHostOrder) {
    TestHost aHost;
    std::vector<uint8_t> aStream = {0x00, 0x7F, 0xFF, 0x10, 0x20, 0x30, 0x01, 0x80, 0xFE};
    std::vector<Strip> aStrips = {{300, 4}, {100, 5}};  // the second row is split
    TempFile aFile("karvex_strip_bytes.ekv", FileBytes(aStrips, 0, &aStream));
    RAW_Info aInfo = Layout(3, 8, aStrips);
    aInfo.endian = kRAW_BigEndian;
    std::vector<uint8_t> aRows = ReadRows(aHost, aFile.fsSpec(), aInfo, 0, 3);
    ASSERT_EQ(aRows.size(), 18u);
    std::vector<uint16> aSamples(9);
    std::memcpy(aSamples.data(), aRows.data(), aRows.size());
    for (size_t i = 0; i < 9; ++i) {
        EXPECT_EQ(aRows[2 * i], aStream[i]);
        EXPECT_EQ(aRows[2 * i + 1], 0);
    }
    RAW_ShiftRight(aSamples.data(), 3, 3, 8, 0, kRAW_BigEndian);
    EXPECT_EQ(aSamples, (std::vector<uint16>{0, 127, 255, 16, 32, 48, 1, 128, 254}));
    ExpectCleanHost(aHost);
}

TEST(StripReading, BigEndianTwelveBitRowsAlignToTheirValues) {
    TestHost aHost;
    // Samples v stored big-endian as v << 4.
    std::vector<uint8_t> aStream;
    std::vector<uint16> aValues;
    for (uint16 v = 0; v < 24; ++v) {
        uint16 aValue = static_cast<uint16>((v * 397 + 5) & 0xFFF);
        aValues.push_back(aValue);
        uint16 aStored = static_cast<uint16>(aValue << 4);
        aStream.push_back(static_cast<uint8_t>(aStored >> 8));
        aStream.push_back(static_cast<uint8_t>(aStored & 0xFF));
    }
    std::vector<Strip> aStrips = {{200, 17}, {50, 31}};
    TempFile aFile("karvex_strip_be12.ekv", FileBytes(aStrips, 0, &aStream));
    RAW_Info aInfo = Layout(6, 12, aStrips);
    std::vector<uint8_t> aRows = ReadRows(aHost, aFile.fsSpec(), aInfo, 0, 4);
    EXPECT_EQ(aRows, aStream);  // as stored until aligned
    std::vector<uint16> aSamples(24);
    std::memcpy(aSamples.data(), aRows.data(), aRows.size());
    RAW_ShiftRight(aSamples.data(), 6, 4, 12, 0, kRAW_BigEndian);
    EXPECT_EQ(aSamples, aValues);
    ExpectCleanHost(aHost);
}

// ---------------------------------------------------------------------------------------
// What cannot be read is zero

TEST(StripReading, AbsentStripsAndRowsPastTheLastStripAreZeros) {
    TestHost aHost;
    std::vector<Strip> aStrips = {{100, 40}, {0, 40}, {300, 40}};
    TempFile aFile("karvex_strip_absent.ekv", FileBytes(aStrips));
    RAW_Info aInfo = Layout(10, 10, aStrips);
    EXPECT_EQ(ReadRows(aHost, aFile.fsSpec(), aInfo, 0, 6),
              Concat(Concat(StreamBytes(0, 40), Zeros(40)), StreamBytes(80, 40)));
    EXPECT_EQ(ReadRows(aHost, aFile.fsSpec(), aInfo, 4, 4), Concat(StreamBytes(80, 40), Zeros(40)));
    EXPECT_EQ(ReadRows(aHost, aFile.fsSpec(), aInfo, 6, 3), Zeros(60));
    // A start far past every strip.
    EXPECT_EQ(ReadRows(aHost, aFile.fsSpec(), aInfo, 0xFFFFFFFFu, 2), Zeros(40));

    // A negative offset is as absent as 0.
    aInfo.strip_offsets[1] = -100;
    EXPECT_EQ(ReadRows(aHost, aFile.fsSpec(), aInfo, 2, 2), Zeros(40));
    // A negative byte count is a strip of no bytes: the stream goes on with the next strip.
    aInfo.strip_offsets[1] = 100;
    aInfo.strip_byte_count[1] = -40;
    EXPECT_EQ(ReadRows(aHost, aFile.fsSpec(), aInfo, 0, 4), Concat(StreamBytes(0, 40), StreamBytes(80, 40)));
    // A position beyond what the file interface can address.
    aInfo.strip_offsets[0] = 0x7FFFFFF0;
    EXPECT_EQ(ReadRows(aHost, aFile.fsSpec(), aInfo, 1, 1), Zeros(20));
    ExpectCleanHost(aHost);
}

TEST(StripReading, NoStripPastTheFifteenthIsRead) {
    TestHost aHost;
    std::vector<Strip> aStrips;
    for (int k = 0; k < 16; ++k) aStrips.push_back({1000 - 50 * k, 4});
    TempFile aFile("karvex_strip_sixteen.ekv", FileBytes(aStrips));
    RAW_Info aInfo = Layout(2, 16, aStrips);  // only the first 15 fit the record
    EXPECT_EQ(ReadRows(aHost, aFile.fsSpec(), aInfo, 0, 20), Concat(StreamBytes(0, 60), Zeros(20)));
    EXPECT_EQ(ReadRows(aHost, aFile.fsSpec(), aInfo, 14, 2), Concat(StreamBytes(56, 4), Zeros(4)));
    ExpectCleanHost(aHost);
}

TEST(StripReading, AShortFileLeavesZerosWhereItEndsAndOtherStripsInPlace) {
    TestHost aHost;
    // Strip 1 lies last in the file and is cut after 10 of its 40 bytes.
    std::vector<Strip> aStrips = {{100, 40}, {500, 40}, {300, 40}};
    TempFile aFile("karvex_strip_short.ekv", FileBytes(aStrips, 510));
    RAW_Info aInfo = Layout(10, 10, aStrips);
    EXPECT_EQ(ReadRows(aHost, aFile.fsSpec(), aInfo, 0, 6),
              Concat(Concat(StreamBytes(0, 50), Zeros(30)), StreamBytes(80, 40)));
    // A file that cannot be opened reads as zeros.
    FSSpec aMissing;
    ASSERT_EQ(NativePathNameToFSSpec(ekvtest::TempPath("karvex_strip_missing.ekv").c_str(), &aMissing, 0), noErr);
    OSErr aResult = 1;
    EXPECT_EQ(ReadRows(aHost, &aMissing, aInfo, 0, 2, &aResult), Zeros(40));
    EXPECT_EQ(aResult, 0);
    ExpectCleanHost(aHost);
}

// ---------------------------------------------------------------------------------------
// Sizes and allocations

TEST(StripReading, SizesBeyond32BitsAreRefusedBeforeAnyAllocation) {
    TestHost aHost;
    std::vector<Strip> aStrips = {{100, 40}};
    TempFile aFile("karvex_strip_sizes.ekv", FileBytes(aStrips));
    struct Case {
        int32 width;
        int16 bits;
        uint32 length;
    };
    const Case aCases[] = {
        {65535, 10, 0xFFFFFFFFu}, {1 << 30, 10, 1}, {1 << 30, 8, 1}, {0x7FFFFFFF, 16, 2}, {-1, 10, 1}, {-2256, 8, 0},
    };
    for (const Case &aCase : aCases) {
        RAW_Info aInfo = Layout(aCase.width, aCase.bits, aStrips);
        OSErr aResult = 0;
        bool aNull = false;
        EXPECT_TRUE(ReadRows(aHost, aFile.fsSpec(), aInfo, 0, aCase.length, &aResult, &aNull).empty());
        EXPECT_EQ(aResult, -108) << aCase.width;
        EXPECT_TRUE(aNull);
    }
    EXPECT_EQ(aHost.allocations(), 0);
    // The largest accepted one-byte run: 2^30 - 1 bytes widen to 2^31 - 2.
    RAW_Info aInfo = Layout((1 << 30) - 1, 8, aStrips);
    Options aFailing;
    aFailing.failAllocationAt = 1;
    TestHost aSmall(aFailing);
    OSErr aResult = 0;
    ReadRows(aSmall, aFile.fsSpec(), aInfo, 0, 1, &aResult);
    EXPECT_EQ(aResult, -108);  // refused by the host, not by the size test
    EXPECT_EQ(aSmall.allocations(), 1);
    ExpectCleanHost(aSmall);
    ExpectCleanHost(aHost);
}

TEST(StripReading, NoRowsGiveAnEmptyBuffer) {
    TestHost aHost;
    std::vector<Strip> aStrips = {{100, 40}};
    TempFile aFile("karvex_strip_empty.ekv", FileBytes(aStrips));
    for (int16 aBits : {8, 10}) {
        RAW_Info aInfo = Layout(10, aBits, aStrips);
        OSErr aResult = 1;
        bool aNull = true;
        EXPECT_TRUE(ReadRows(aHost, aFile.fsSpec(), aInfo, 3, 0, &aResult, &aNull).empty());
        EXPECT_EQ(aResult, 0);
        EXPECT_FALSE(aNull);
    }
    ExpectCleanHost(aHost);
}

TEST(StripReading, FailedAllocationsGiveOutOfMemoryAndReleaseEverything) {
    std::vector<Strip> aStrips = {{100, 40}, {300, 40}};
    TempFile aFile("karvex_strip_alloc.ekv", FileBytes(aStrips));
    struct Case {
        int16 bits;
        int failAt;
    };
    for (const Case &aCase : {Case{12, 1}, Case{8, 1}, Case{8, 2}}) {
        Options aOptions;
        aOptions.failAllocationAt = aCase.failAt;
        TestHost aHost(aOptions);
        RAW_Info aInfo = Layout(10, aCase.bits, aStrips);
        OSErr aResult = 0;
        bool aNull = false;
        ReadRows(aHost, aFile.fsSpec(), aInfo, 0, 3, &aResult, &aNull);
        EXPECT_EQ(aResult, -108) << aCase.bits << " " << aCase.failAt;
        EXPECT_TRUE(aNull);
        EXPECT_EQ(aHost.allocations(), aCase.failAt);
        ExpectCleanHost(aHost);
    }
    // Without failures the one-byte read takes exactly two allocations and keeps one.
    TestHost aHost;
    RAW_Info aInfo = Layout(10, 8, aStrips);
    Handle aData = nullptr;
    EXPECT_EQ(RAW_ReadStrip(aFile.fsSpec(), &aInfo, 0, 3, aHost.record()->handleProcs, &aData), 0);
    EXPECT_EQ(aHost.allocations(), 2);
    EXPECT_EQ(aHost.liveHandles(), 1u);
    EXPECT_EQ(HostGetHandleSize(aHost.record()->handleProcs, aData), 60);
    RAW_DisposeHandle(aHost.record()->handleProcs, aData);
    ExpectCleanHost(aHost);
}

// ---------------------------------------------------------------------------------------
// Sample alignment

namespace {

std::vector<uint16> FromBytes(const std::vector<uint8_t> &inBytes) {
    std::vector<uint16> aSamples(inBytes.size() / 2);
    std::memcpy(aSamples.data(), inBytes.data(), aSamples.size() * 2);
    return aSamples;
}

}  // namespace

TEST(SampleAlignment, ValidBitsHighAreShiftedDown) {
    std::vector<uint16> aLittle = {0xFFC0, 0x0040, 0x8000, 0x0000};
    RAW_ShiftRight(aLittle.data(), 2, 2, 10, 0, kRAW_LittleEndian);
    EXPECT_EQ(aLittle, (std::vector<uint16>{1023, 1, 512, 0}));

    std::vector<uint16> aBig = FromBytes({0x12, 0x34, 0xFF, 0xF0});
    RAW_ShiftRight(aBig.data(), 2, 1, 12, 0, kRAW_BigEndian);
    EXPECT_EQ(aBig, (std::vector<uint16>{0x123, 0xFFF}));

    // Any mark other than MM is little-endian.
    std::vector<uint16> aOther = FromBytes({0x40, 0x12});
    RAW_ShiftRight(aOther.data(), 1, 1, 12, 2, 0x1234);
    EXPECT_EQ(aOther[0], 0x1240 >> 2);
}

TEST(SampleAlignment, BitsAlreadyAtTheBottomOnlyChangeByteOrder) {
    std::vector<uint16> aBig = FromBytes({0x03, 0xFF, 0x01, 0x23});
    RAW_ShiftRight(aBig.data(), 2, 1, 10, 6, kRAW_BigEndian);
    EXPECT_EQ(aBig, (std::vector<uint16>{0x3FF, 0x123}));
    std::vector<uint16> aLittle = {0x3FF, 0x123};
    RAW_ShiftRight(aLittle.data(), 2, 1, 10, 6, kRAW_LittleEndian);
    EXPECT_EQ(aLittle, (std::vector<uint16>{0x3FF, 0x123}));
    std::vector<uint16> aSixteen = FromBytes({0xAB, 0xCD});
    RAW_ShiftRight(aSixteen.data(), 1, 1, 16, 0, kRAW_BigEndian);
    EXPECT_EQ(aSixteen[0], 0xABCD);
}

TEST(SampleAlignment, EightBitsOrFewerAreLeftAlone) {
    for (uint16 aBits = 0; aBits <= 8; ++aBits) {
        std::vector<uint16> aSamples = {0, 127, 255, 0x1234};
        RAW_ShiftRight(aSamples.data(), 2, 2, aBits, 0, kRAW_BigEndian);
        EXPECT_EQ(aSamples, (std::vector<uint16>{0, 127, 255, 0x1234})) << aBits;
    }
}

TEST(SampleAlignment, TooManyValidAndOffsetBitsShiftNothing) {
    std::vector<uint16> aSamples = FromBytes({0x12, 0x34, 0xFF, 0x00});
    RAW_ShiftRight(aSamples.data(), 2, 1, 12, 8, kRAW_BigEndian);
    EXPECT_EQ(aSamples, (std::vector<uint16>{0x1234, 0xFF00}));
    aSamples = {0x1234};
    RAW_ShiftRight(aSamples.data(), 1, 1, 10, 65535, kRAW_LittleEndian);
    EXPECT_EQ(aSamples[0], 0x1234);
    aSamples = {0x1234};
    RAW_ShiftRight(aSamples.data(), 1, 1, 40, 0, kRAW_LittleEndian);
    EXPECT_EQ(aSamples[0], 0x1234);
}

TEST(SampleAlignment, OnlyTheGivenRowsAndColumnsAreTouched) {
    std::vector<uint16> aSamples(8, 0xFFC0);
    RAW_ShiftRight(aSamples.data(), 3, 2, 10, 0, kRAW_LittleEndian);
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(aSamples[i], 1023);
    EXPECT_EQ(aSamples[6], 0xFFC0);
    EXPECT_EQ(aSamples[7], 0xFFC0);
    RAW_ShiftRight(aSamples.data() + 6, 2, 0, 10, 0, kRAW_LittleEndian);
    RAW_ShiftRight(aSamples.data() + 6, 0, 2, 10, 0, kRAW_LittleEndian);
    EXPECT_EQ(aSamples[6], 0xFFC0);
}
