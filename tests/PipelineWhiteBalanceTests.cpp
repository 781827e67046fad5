// White balance of the mosaic band, the CFA pattern code and the fixed-point conversions.
#include <gtest/gtest.h>

#include "PipelineTestSupport.h"

using namespace pipetest;

TEST(PipelineCFAPattern, FoldsTheFourLayoutsAndDefaultsTheRest) {
    for (const Layout &aLayout : Layouts()) EXPECT_EQ(RAW_ReadCFAPatternValue(aLayout.cfa.data()), aLayout.code);
    const uint8_t kOthers[][4] = {{0, 0, 0, 0}, {2, 2, 2, 2}, {1, 1, 1, 1}, {0, 1, 2, 1}, {3, 1, 1, 2}, {0, 1, 1, 3}};
    for (const auto &aBytes : kOthers) EXPECT_EQ(RAW_ReadCFAPatternValue(aBytes), 0x00010102u);
}

TEST(PipelineFixedPoint, SInt16ToX) {
    EXPECT_EQ(RAW_SInt16ToX(-128), -0.5);
    EXPECT_EQ(RAW_SInt16ToX(256), 1.0);
    EXPECT_EQ(RAW_SInt16ToX(0), 0.0);
    EXPECT_EQ(RAW_SInt16ToX(1), 1.0 / 256.0);
    EXPECT_EQ(RAW_SInt16ToX(-32768), -128.0);
    EXPECT_EQ(RAW_SInt16ToX(32767), 32767.0 / 256.0);
}

TEST(PipelineFixedPoint, GainWordIsTheProductOfItsHalvesOver16384) {
    EXPECT_EQ(RAW_SInt32ToGainRatio((256 << 16) | 96), 1.5);
    EXPECT_EQ(RAW_SInt32ToGainRatio((128 << 16) | 128), 1.0);
    EXPECT_EQ(RAW_SInt32ToGainRatio(0), 0.0);
    // A negative upper half is signed, the lower half is not.
    int32 aWord = static_cast<int32>(0xFF80FFFFu);  // upper -128, lower 65535
    EXPECT_EQ(RAW_SInt32ToGainRatio(aWord), -128.0 * 65535.0 / 16384.0);
    // The extremes fit the 32-bit product.
    EXPECT_EQ(RAW_SInt32ToGainRatio(static_cast<int32>(0x7FFFFFFFu)), 32767.0 * 65535.0 / 16384.0);
    EXPECT_EQ(RAW_SInt32ToGainRatio(static_cast<int32>(0x8000FFFFu)), -32768.0 * 65535.0 / 16384.0);
}

namespace {

// Band of 4 x 2 samples in RGGB: R Gr R Gr / Gb B Gb B.
struct SmallBand {
    std::vector<uint16> s;
    void run(uint16 inOB_R, uint16 inOB_Gr, uint16 inOB_Gb, uint16 inOB_B, double inWB_R, double inWB_B, uint16 inBits,
             const uint8_t *inCFA = Layouts()[0].cfa.data()) {
        RAW_WhiteBalance(s.data(), 4, 2, inCFA, inOB_R, inOB_Gr, inOB_Gb, inOB_B, inWB_R, inWB_B, inBits);
    }
};

}  // namespace

TEST(PipelineWhiteBalance, TwelveBitExamples) {
    // Row 0 reads R Gr R Gr.
    SmallBand aBand{{1000, 1000, 3000, 50, 0, 0, 0, 0}};
    aBand.run(64, 64, 0, 0, 1.5, 1.0, 12);
    EXPECT_EQ(aBand.s[0], 1404);  // (1000 - 64) * 1.5
    EXPECT_EQ(aBand.s[1], 936);   // Gr keeps s - OB without the red gain
    EXPECT_EQ(aBand.s[2], 4095);  // 2936 * 1.5 = 4404 is clipped
    EXPECT_EQ(aBand.s[3], 0);     // a Gr of 50 below its black level
    SmallBand aRed50{{50, 0, 0, 0, 0, 0, 0, 0}};
    aRed50.run(64, 64, 0, 0, 1.5, 1.0, 12);
    EXPECT_EQ(aRed50.s[0], 0);  // red 50 below OB_R
}

TEST(PipelineWhiteBalance, RedBelowBlackBecomesZeroAndGainsApplyToRedAndBlueOnly) {
    SmallBand aBand{{50, 500, 1000, 500, 500, 1001, 500, 3000}};
    aBand.run(64, 10, 20, 30, 1.5, 0.5, 12);
    EXPECT_EQ(aBand.s[0], 0);     // red 50 below OB_R 64
    EXPECT_EQ(aBand.s[1], 490);   // Gr
    EXPECT_EQ(aBand.s[2], 1404);  // red
    EXPECT_EQ(aBand.s[4], 480);   // Gb
    EXPECT_EQ(aBand.s[5], 485);   // (1001 - 30) * 0.5 = 485.5 truncated
    EXPECT_EQ(aBand.s[7], 1485);  // (3000 - 30) * 0.5
}

TEST(PipelineWhiteBalance, MethodZeroOnlyClipsAboveTheMaximum) {
    std::vector<uint16> aBand = {0, 1, 1023, 1024, 65535, 500, 2000, 7};
    std::vector<uint16> aExpected = {0, 1, 1023, 1023, 1023, 500, 1023, 7};
    RAW_WhiteBalance(aBand.data(), 4, 2, Layouts()[0].cfa.data(), 0, 0, 0, 0, 1.0, 1.0, 10);
    EXPECT_EQ(aBand, aExpected);
}

TEST(PipelineWhiteBalance, OddEdgeRowsAndColumnsStayUntouched) {
    // 5 x 3 band: the cell walk covers columns 0..3 and rows 0..1 only.
    std::vector<uint16> aBand(15, 900);
    RAW_WhiteBalance(aBand.data(), 5, 3, Layouts()[0].cfa.data(), 100, 100, 100, 100, 1.0, 1.0, 12);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 5; ++c) EXPECT_EQ(aBand[r * 5 + c], (r < 2 && c < 4) ? 800 : 900) << r << "," << c;
}

TEST(PipelineWhiteBalance, MatchesAPerSampleFormulaForEveryLayout) {
    std::mt19937 aRandom(20240611);
    for (const Layout &aLayout : Layouts()) {
        for (int aTrial = 0; aTrial < 12; ++aTrial) {
            int aBits = RandomInt(aRandom, 8, 16);
            int aWidth = 2 * RandomInt(aRandom, 1, 12), aHeight = 2 * RandomInt(aRandom, 1, 6);
            uint16 aOB[4];
            for (auto &ob : aOB) ob = static_cast<uint16>(RandomInt(aRandom, 0, 300));
            double aWB_R = RandomReal(aRandom, 0.3, 3.0), aWB_B = RandomReal(aRandom, 0.3, 3.0);
            // Samples reach past the maximum to exercise the upper clip.
            uint32 aLimit = (1u << aBits) + 200 > 65535 ? 65535 : (1u << aBits) + 200;
            std::vector<uint16> aBand = RandomSamples(aRandom, aWidth * aHeight, aLimit);
            std::vector<uint16> aExpected(aBand.size());
            double aMax = SampleMax(aBits);
            for (int r = 0; r < aHeight; ++r) {
                for (int c = 0; c < aWidth; ++c) {
                    int s = aBand[r * aWidth + c];
                    double v = 0;
                    switch (CellColourAt(aLayout.cfa, r, c)) {
                        case kCellR: v = static_cast<double>(s - aOB[0]) * aWB_R; break;
                        case kCellGr: v = static_cast<double>(s - aOB[1]); break;
                        case kCellGb: v = static_cast<double>(s - aOB[2]); break;
                        case kCellB: v = static_cast<double>(s - aOB[3]) * aWB_B; break;
                    }
                    aExpected[r * aWidth + c] = ClipTruncate(v, aMax);
                }
            }
            RAW_WhiteBalance(aBand.data(), static_cast<uint16>(aWidth), static_cast<uint16>(aHeight),
                             aLayout.cfa.data(), aOB[0], aOB[1], aOB[2], aOB[3], aWB_R, aWB_B,
                             static_cast<uint16>(aBits));
            ASSERT_EQ(aBand, aExpected) << aLayout.name << " trial " << aTrial;
        }
    }
}
