// The tone tables as the loader delivers them, and the two tone stages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "PipelineTestSupport.h"
#include "TestHost.h"
#include "plugin/HostMemory.h"

using namespace pipetest;

namespace {

// Loads one table through the host's handle callbacks and reads it back.
std::vector<uint16> LoadTable(testhost::TestHost &ioHost, int16 inToneMode) {
    AcquireRecord *aRecord = ioHost.record();
    Handle aLUT = RAW_GetLUT(aRecord, inToneMode, hDLLInstance);
    if (aLUT == nullptr) return {};
    std::vector<uint16> aTable;
    if (HostGetHandleSize(aRecord->handleProcs, aLUT) == kRAW_LUTBytes) {
        aTable.resize(kRAW_LUTEntries);
        Ptr aBytes = RAW_LockHandle(aRecord->handleProcs, aLUT, false);
        std::memcpy(aTable.data(), aBytes, kRAW_LUTBytes);
        RAW_UnlockHandle(aRecord->handleProcs, aLUT);
    }
    RAW_DisposeHandle(aRecord->handleProcs, aLUT);
    return aTable;
}

// The native test host hears the module's warning beeps; on Windows they go to the
// system and are not counted.
#if defined(_WIN32)
const bool kBeepsAreHeard = false;
#else
const bool kBeepsAreHeard = true;
#endif

struct TellingRow {
    int index;
    uint16 entries[4];  // tables 1000 .. 1003
};

const TellingRow kTellingRows[] = {
    {0, {0, 0, 0, 0}},
    {256, {2958, 1127, 832, 2177}},
    {1024, {8398, 4727, 3328, 5330}},
    {4096, {20480, 16384, 13312, 12224}},
    {16384, {40960, 40959, 41216, 31359}},
    {32768, {53248, 54271, 55039, 47104}},
    {49152, {60416, 60927, 61439, 53888}},
    {65535, {65535, 65534, 65534, 57344}},
};

// Mean slope of a table over [inFrom, inFrom + inSpan).
double Slope(const std::vector<uint16> &inTable, int inFrom, int inSpan) {
    return (inTable[inFrom + inSpan] - inTable[inFrom]) / static_cast<double>(inSpan);
}

class ToneTables : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        testhost::TestHost aHost;
        for (int k = 0; k < 4; ++k) sTables[k] = LoadTable(aHost, static_cast<int16>(k));
        EXPECT_EQ(aHost.liveHandles(), 0u);
        EXPECT_EQ(aHost.beeps, 0);
    }
    static std::vector<uint16> sTables[4];
};
std::vector<uint16> ToneTables::sTables[4];

}  // namespace

TEST_F(ToneTables, AllFourLoadWithEveryTellingRow) {
    for (int k = 0; k < 4; ++k) {
        ASSERT_EQ(sTables[k].size(), static_cast<size_t>(kRAW_LUTEntries)) << "table " << 1000 + k;
        for (const TellingRow &aRow : kTellingRows)
            EXPECT_EQ(sTables[k][aRow.index], aRow.entries[k]) << "table " << 1000 + k << " index " << aRow.index;
    }
}

TEST_F(ToneTables, NeverDecrease) {
    for (int k = 0; k < 4; ++k)
        for (int i = 1; i < kRAW_LUTEntries; ++i)
            ASSERT_LE(sTables[k][i - 1], sTables[k][i]) << "table " << 1000 + k << " index " << i;
}

TEST_F(ToneTables, Table1000LiftsTheShadowsAndFlattensSteadily) {
    const std::vector<uint16> &t = sTables[0];
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(t[i + 1] - t[i], 20, 2) << i;
    // Slopes over successive windows never grow (a little slack for rounding).
    double aPrevious = Slope(t, 0, 32);
    for (int aFrom = 32; aFrom + 32 < kRAW_LUTEntries; aFrom += 32) {
        double aSlope = Slope(t, aFrom, 32);
        ASSERT_LE(aSlope, aPrevious + 0.07) << aFrom;
        aPrevious = aSlope;
    }
}

TEST_F(ToneTables, Table1001RisesToItsSteepestNear300) {
    const std::vector<uint16> &t = sTables[1];
    double aStart = Slope(t, 0, 8);
    EXPECT_GE(aStart, 1.0);
    EXPECT_LE(aStart, 3.0);
    int aSteepestAt = 0;
    double aSteepest = 0.0;
    for (int aFrom = 0; aFrom < 2048; aFrom += 8) {
        double aSlope = Slope(t, aFrom, 16);
        if (aSlope > aSteepest) aSteepest = aSlope, aSteepestAt = aFrom;
    }
    EXPECT_NEAR(aSteepest, 4.8, 0.3);
    EXPECT_GE(aSteepestAt, 150);
    EXPECT_LE(aSteepestAt, 450);
    EXPECT_NEAR(Slope(t, 4096 - 32, 64), 3.2, 0.2);
    // From there on it flattens: slope over 256-entry windows never grows.
    for (int aFrom = 512; aFrom + 512 < kRAW_LUTEntries; aFrom += 256)
        ASSERT_LE(Slope(t, aFrom + 256, 256), Slope(t, aFrom, 256) + 0.02) << aFrom;
}

TEST_F(ToneTables, Table1002IsExactlyLinearUpTo4096) {
    const std::vector<uint16> &t = sTables[2];
    for (int i = 0; i <= 4096; ++i) ASSERT_EQ(t[i], static_cast<uint16>((13 * i) / 4)) << i;  // floor(3.25 i)
    EXPECT_EQ(t[4096], 13312);
    EXPECT_LT(Slope(t, 8192, 256), 3.25);  // the shoulder
}

TEST_F(ToneTables, Table1003IsSteepFirstAndStaysBelowFullScale) {
    const std::vector<uint16> &t = sTables[3];
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(t[i + 1] - t[i], 20, 2) << i;
    EXPECT_EQ(t[65535], 57344);
    for (int i = 0; i < kRAW_LUTEntries; ++i) ASSERT_LE(t[i], 57344);
}

TEST(PipelineToneLoader, IdentityTableAndMissingResources) {
    testhost::TestHost aHost;
    std::vector<uint16> aIdentity = LoadTable(aHost, -1);
    ASSERT_EQ(aIdentity.size(), static_cast<size_t>(kRAW_LUTEntries));
    for (int i = 0; i < kRAW_LUTEntries; ++i) ASSERT_EQ(aIdentity[i], i);
    EXPECT_EQ(aHost.beeps, 0);
    for (int16 aMode : {4, -2, 999, -1000, 32767}) {
        EXPECT_EQ(RAW_GetLUT(aHost.record(), aMode, hDLLInstance), nullptr) << aMode;
    }
    EXPECT_EQ(aHost.beeps, kBeepsAreHeard ? 5 : 0);
    EXPECT_EQ(aHost.liveHandles(), 0u);
    EXPECT_TRUE(aHost.misuse().empty());
}

TEST(PipelineToneLoader, FailedHandleGivesNullAndBeeps) {
    for (int16 aMode : {-1, 0, 3}) {
        testhost::Options aOptions;
        aOptions.failAllocationAt = 1;
        testhost::TestHost aHost(aOptions);
        EXPECT_EQ(RAW_GetLUT(aHost.record(), aMode, hDLLInstance), nullptr) << aMode;
        EXPECT_EQ(aHost.beeps, kBeepsAreHeard ? 1 : 0);
        EXPECT_EQ(aHost.liveHandles(), 0u);
    }
}

TEST(PipelineToneLoader, WithoutHostHandlesUsesTheFallback) {
    testhost::TestHost aHost;  // answers the beep
    AcquireRecord aRecord{};
    aRecord.handleProcs = nullptr;
    Handle aLUT = RAW_GetLUT(&aRecord, 2, hDLLInstance);
    ASSERT_NE(aLUT, nullptr);
    EXPECT_EQ(HostGetHandleSize(nullptr, aLUT), kRAW_LUTBytes);
    const uint16 *t = reinterpret_cast<const uint16 *>(RAW_LockHandle(nullptr, aLUT, false));
    EXPECT_EQ(t[256], 832);
    EXPECT_EQ(t[65535], 65534);
    RAW_UnlockHandle(nullptr, aLUT);
    RAW_DisposeHandle(nullptr, aLUT);
    EXPECT_EQ(aHost.liveHandles(), 0u);
}

namespace {

struct ToneRun {
    std::vector<uint16> r, g, b;
};

ToneRun RunLUTAdjust(const std::vector<uint16> &inR, const std::vector<uint16> &inG, const std::vector<uint16> &inB,
                     const uint16 *inLUT0, const uint16 *inLUT1, const uint16 *inLUT2, int16 inToneMode, int inBits) {
    int n = static_cast<int>(inR.size());
    ToneRun aOut{std::vector<uint16>(n, 0xBEEF), std::vector<uint16>(n, 0xBEEF), std::vector<uint16>(n, 0xBEEF)};
    Rect aRect = OutRect(n, 1);
    RAW_LUTAdjust(inR.data(), inG.data(), inB.data(), inLUT0, inLUT1, inLUT2, inToneMode, static_cast<uint16>(inBits),
                  &aRect, aOut.r.data(), aOut.g.data(), aOut.b.data());
    return aOut;
}

// The look-up written from its definition.
uint16 ReferenceLookup(const std::vector<uint16> &inTable, uint16 v, int inBits) {
    int aShift = 16 - inBits;
    uint32 aIndex = (static_cast<uint32>(v) << aShift) % 65536;
    uint32 aOut = inTable[aIndex] / (1u << aShift);
    uint32 aMax = (1u << inBits) - 1;
    return static_cast<uint16>(aOut > aMax ? aMax : aOut);
}

}  // namespace

TEST_F(ToneTables, LUTAdjustPicksTheTableByToneModeInReverse) {
    std::vector<uint16> aSamples = {0, 1, 256, 1000, 2048, 4095};
    const uint16 *t1000 = sTables[0].data(), *t1001 = sTables[1].data(), *t1002 = sTables[2].data();
    ToneRun aMode0 = RunLUTAdjust(aSamples, aSamples, aSamples, t1000, t1001, t1002, 0, 12);
    EXPECT_EQ(aMode0.r[2], 832);  // 256 reads entry 4096 of 1002: 13312 / 16
    ToneRun aMode2 = RunLUTAdjust(aSamples, aSamples, aSamples, t1000, t1001, t1002, 2, 12);
    EXPECT_EQ(aMode2.g[2], 20480 / 16);
    ToneRun aMode1 = RunLUTAdjust(aSamples, aSamples, aSamples, t1000, t1001, t1002, 1, 12);
    EXPECT_EQ(aMode1.b[2], 16384 / 16);
    for (size_t k = 0; k < aSamples.size(); ++k) {
        EXPECT_EQ(aMode0.r[k], ReferenceLookup(sTables[2], aSamples[k], 12));
        EXPECT_EQ(aMode1.r[k], ReferenceLookup(sTables[1], aSamples[k], 12));
        EXPECT_EQ(aMode2.r[k], ReferenceLookup(sTables[0], aSamples[k], 12));
        EXPECT_EQ(aMode0.r[k], aMode0.g[k]);
        EXPECT_EQ(aMode0.r[k], aMode0.b[k]);
    }
}

TEST_F(ToneTables, OtherToneModesAndMissingTablesKeepTheSamples) {
    std::mt19937 aRandom(3);
    std::vector<uint16> aR = RandomSamples(aRandom, 100, 1023), aG = RandomSamples(aRandom, 100, 1023),
                        aB = RandomSamples(aRandom, 100, 1023);
    const uint16 *t0 = sTables[0].data(), *t1 = sTables[1].data(), *t2 = sTables[2].data();
    for (int16 aMode : {-1, 3, 7, -32768}) {
        ToneRun aOut = RunLUTAdjust(aR, aG, aB, t0, t1, t2, aMode, 10);
        EXPECT_EQ(aOut.r, aR) << aMode;
        EXPECT_EQ(aOut.g, aG) << aMode;
        EXPECT_EQ(aOut.b, aB) << aMode;
    }
    for (int16 aMode : {0, 1, 2}) {
        ToneRun aOut = RunLUTAdjust(aR, aG, aB, nullptr, nullptr, nullptr, aMode, 10);
        EXPECT_EQ(aOut.r, aR) << aMode;
        EXPECT_EQ(aOut.b, aB) << aMode;
    }
    std::vector<uint16> aEdge(aR.size(), 0xBEEF);
    RAW_EdgeLUTAdjust(aR.data(), 10, 10, nullptr, 0, 10, aEdge.data());
    EXPECT_EQ(aEdge, aR);
}

TEST(PipelineToneStages, IdentityTablePassesEveryDepthThrough) {
    std::vector<uint16> aIdentity(kRAW_LUTEntries);
    for (int i = 0; i < kRAW_LUTEntries; ++i) aIdentity[i] = static_cast<uint16>(i);
    std::mt19937 aRandom(17);
    for (int aBits = 1; aBits <= 16; ++aBits) {
        uint32 aMax = (1u << aBits) - 1;
        std::vector<uint16> aR = RandomSamples(aRandom, 64, aMax), aG = RandomSamples(aRandom, 64, aMax),
                            aB = RandomSamples(aRandom, 64, aMax);
        aR[0] = static_cast<uint16>(aMax);
        for (int16 aMode : {0, 1, 2}) {
            ToneRun aOut = RunLUTAdjust(aR, aG, aB, aIdentity.data(), aIdentity.data(), aIdentity.data(), aMode, aBits);
            ASSERT_EQ(aOut.r, aR) << aBits;
            ASSERT_EQ(aOut.g, aG) << aBits;
            ASSERT_EQ(aOut.b, aB) << aBits;
        }
        std::vector<uint16> aEdge(64, 0xBEEF);
        RAW_EdgeLUTAdjust(aR.data(), 16, 4, aIdentity.data(), 1, static_cast<uint16>(aBits), aEdge.data());
        ASSERT_EQ(aEdge, aR) << aBits;
    }
}

TEST(PipelineToneStages, SixteenBitsReadTheEntryItself) {
    std::vector<uint16> aTable(kRAW_LUTEntries);
    for (int i = 0; i < kRAW_LUTEntries; ++i) aTable[i] = static_cast<uint16>(65535 - i);
    std::vector<uint16> aIn = {0, 1, 40000, 65535};
    ToneRun aOut = RunLUTAdjust(aIn, aIn, aIn, nullptr, aTable.data(), nullptr, 1, 16);
    EXPECT_EQ(aOut.r, (std::vector<uint16>{65535, 65534, 25535, 0}));
}

TEST_F(ToneTables, EdgeTableAtTwelveBitsPeaksAt3584) {
    // The whole 12-bit range through the edge table, in a 64 x 64 band.
    std::vector<uint16> aBand(4096), aEdge(4096, 0xBEEF);
    for (int v = 0; v < 4096; ++v) aBand[v] = static_cast<uint16>(v);
    RAW_EdgeLUTAdjust(aBand.data(), 64, 64, sTables[3].data(), 2, 12, aEdge.data());
    EXPECT_EQ(*std::max_element(aEdge.begin(), aEdge.end()), 3584);
    EXPECT_EQ(aEdge[4095], 3584);
    for (int v = 0; v < 4096; ++v) ASSERT_EQ(aEdge[v], ReferenceLookup(sTables[3], aBand[v], 12)) << v;
}

TEST_F(ToneTables, StagesMatchTheLookUpFormulaOnRandomPlanes) {
    std::mt19937 aRandom(23);
    for (int aTrial = 0; aTrial < 20; ++aTrial) {
        int aBits = RandomInt(aRandom, 8, 16);
        int16 aMode = static_cast<int16>(RandomInt(aRandom, 0, 2));
        uint32 aMax = (1u << aBits) - 1;
        int n = RandomInt(aRandom, 1, 300);
        std::vector<uint16> aR = RandomSamples(aRandom, n, aMax), aG = RandomSamples(aRandom, n, aMax),
                            aB = RandomSamples(aRandom, n, aMax);
        ToneRun aOut = RunLUTAdjust(aR, aG, aB, sTables[0].data(), sTables[1].data(), sTables[2].data(), aMode, aBits);
        const std::vector<uint16> &aUsed = sTables[2 - aMode];
        for (int k = 0; k < n; ++k) {
            ASSERT_EQ(aOut.r[k], ReferenceLookup(aUsed, aR[k], aBits));
            ASSERT_EQ(aOut.g[k], ReferenceLookup(aUsed, aG[k], aBits));
            ASSERT_EQ(aOut.b[k], ReferenceLookup(aUsed, aB[k], aBits));
        }
        std::vector<uint16> aEdge(n, 0xBEEF);
        RAW_EdgeLUTAdjust(aR.data(), static_cast<uint16>(n), 1, sTables[3].data(), aMode, static_cast<uint16>(aBits),
                          aEdge.data());
        for (int k = 0; k < n; ++k) ASSERT_EQ(aEdge[k], ReferenceLookup(sTables[3], aR[k], aBits));
    }
}
