// Coloration control and the colour matrix.
#include <gtest/gtest.h>

#include "PipelineTestSupport.h"
#include "pipeline/StageCoefficients.h"

using namespace pipetest;

namespace {

struct Rgb {
    std::vector<uint16> r, g, b;
};

Rgb RunColoration(const Rgb &inPlanes, double inWB_R, double inWB_B, uint16 inOB_R, uint16 inOB_B, int inBits,
                  int16 inToneMode = 0) {
    int n = static_cast<int>(inPlanes.r.size());
    Rgb aOut{std::vector<uint16>(n, 0xBEEF), std::vector<uint16>(n, 0xBEEF), std::vector<uint16>(n, 0xBEEF)};
    Rect aRect = OutRect(n, 1);
    RAW_ColorationControl(inPlanes.r.data(), inPlanes.g.data(), inPlanes.b.data(), inWB_R, inWB_B, inToneMode,
                          static_cast<uint16>(inBits), inOB_R, 7, 9, inOB_B, &aRect, aOut.r.data(), aOut.g.data(),
                          aOut.b.data());
    return aOut;
}

Rgb RunMatrix(const Rgb &inPlanes, const double inMatrix[9], int inBits) {
    int n = static_cast<int>(inPlanes.r.size());
    Rgb aOut{std::vector<uint16>(n, 0xBEEF), std::vector<uint16>(n, 0xBEEF), std::vector<uint16>(n, 0xBEEF)};
    Rect aRect = OutRect(n, 1);
    const double *m = inMatrix;
    RAW_ColorAdjust(inPlanes.r.data(), inPlanes.g.data(), inPlanes.b.data(), m[0], m[1], m[2], m[3], m[4], m[5], m[6],
                    m[7], m[8], static_cast<uint16>(inBits), &aRect, aOut.r.data(), aOut.g.data(), aOut.b.data());
    return aOut;
}

// Coloration control of one pixel, written out from its definition; a negative ceiling
// is clamped to 0.
void ReferenceColoration(uint16 R, uint16 G, uint16 B, double WB_R, double WB_B, uint16 OB_R, uint16 OB_B, int inBits,
                         uint16 *outR, uint16 *outG, uint16 *outB) {
    if (WB_R >= 1.0 && WB_B >= 1.0) {
        *outR = R, *outG = G, *outB = B;
        return;
    }
    int aMax = (1 << inBits) - 1;
    double aClipMaxR = static_cast<double>(aMax - OB_R) * WB_R;
    double aClipMaxB = static_cast<double>(aMax - OB_B) * WB_B;
    double aClipSR = std::min<double>(std::max(kRAW_ClipHeadroom * aClipMaxR, 0.0), aMax);
    double aClipSB = std::min<double>(std::max(kRAW_ClipHeadroom * aClipMaxB, 0.0), aMax);
    double aLevelR = B * kRAW_CeilingSlope + aClipSB - kRAW_CeilingSlope * aClipMaxB;
    double aLevelB = R * kRAW_CeilingSlope + aClipSR - kRAW_CeilingSlope * aClipMaxR;
    auto aCeiling = [&](double inLevel) -> int {
        double v = std::min<double>(inLevel, aMax);
        return v < 0.0 ? 0 : static_cast<int>(v);
    };
    int sr = aCeiling(aLevelR), sb = aCeiling(aLevelB), sg = std::min(sr, sb);
    *outR = static_cast<uint16>(std::min<int>(R, sr));
    *outG = static_cast<uint16>(std::min<int>(G, sg));
    *outB = static_cast<uint16>(std::min<int>(B, sb));
}

}  // namespace

TEST(PipelineColoration, GainsOfAtLeastOneCopy) {
    Rgb aIn{{0, 4095, 4095, 100}, {4095, 4095, 0, 200}, {4095, 0, 4095, 300}};
    for (auto aGains : {std::pair<double, double>{1.0, 1.0}, {1.0, 2.5}, {3.0, 1.0}, {1.5, 1.5}}) {
        Rgb aOut = RunColoration(aIn, aGains.first, aGains.second, 200, 200, 12);
        EXPECT_EQ(aOut.r, aIn.r);
        EXPECT_EQ(aOut.g, aIn.g);
        EXPECT_EQ(aOut.b, aIn.b);
    }
}

TEST(PipelineColoration, WorkedExample) {
    Rgb aIn{{2047, 1000}, {4095, 1500}, {4095, 1200}};
    for (int16 aToneMode : {0, 1, 2, -5}) {  // the tone mode does not matter
        Rgb aOut = RunColoration(aIn, 0.5, 1.2, 0, 0, 12, aToneMode);
        EXPECT_EQ(aOut.r, (std::vector<uint16>{2047, 1000}));
        EXPECT_EQ(aOut.g, (std::vector<uint16>{2155, 1500}));
        EXPECT_EQ(aOut.b, (std::vector<uint16>{2155, 1200}));
    }
}

TEST(PipelineColoration, RedGainJustBelowOneLowersOnlyBlueAndGreen) {
    // WB_R 0.999, WB_B 2.0, 12 bits: clip_sb clamps to 4095, so red's ceiling is 4095
    // for every pixel. clip_sr clamps to 4095 too and clip_max_r is 4090.905: a red of
    // 4095 gives blue the ceiling 4095 - 12 x 4.095 = 4045.86.
    Rgb aIn{{4095, 4095, 4090, 0, 4095}, {4095, 100, 4095, 4095, 4095}, {4095, 4095, 4095, 4095, 10}};
    Rgb aOut = RunColoration(aIn, 0.999, 2.0, 0, 0, 12);
    EXPECT_EQ(aOut.r, aIn.r);
    EXPECT_EQ(aOut.b, (std::vector<uint16>{4045, 4045, 4095, 4095, 10}));
    EXPECT_EQ(aOut.g, (std::vector<uint16>{4045, 100, 4095, 4095, 4045}));
}

TEST(PipelineColoration, BlackLevelShiftsTheRedSaturationLevel) {
    // 12 bits, OB_R 95, WB_R 0.5: clip_max_r 2000, clip_sr 2100.
    Rgb aIn{{2000, 1990}, {4095, 4095}, {4095, 4095}};
    Rgb aOut = RunColoration(aIn, 0.5, 1.0, 95, 0, 12);
    EXPECT_EQ(aOut.b, (std::vector<uint16>{2100, 2220}));
    EXPECT_EQ(aOut.g, (std::vector<uint16>{2100, 2220}));
    EXPECT_EQ(aOut.r, (std::vector<uint16>{2000, 1990}));
}

TEST(PipelineColoration, NegativeCeilingIsClampedToZero) {
    // Red far above its saturation level: level_b = 2100 + 12 * (2000 - 4095) < 0.
    Rgb aIn{{4095}, {3000}, {3000}};
    Rgb aOut = RunColoration(aIn, 0.5, 1.0, 95, 0, 12);
    EXPECT_EQ(aOut.b[0], 0);
    EXPECT_EQ(aOut.g[0], 0);
    EXPECT_EQ(aOut.r[0], 4095);
}

TEST(PipelineColoration, MatchesAPerPixelFormula) {
    std::mt19937 aRandom(5);
    for (int aTrial = 0; aTrial < 40; ++aTrial) {
        int aBits = RandomInt(aRandom, 8, 16);
        int n = RandomInt(aRandom, 1, 200);
        uint32 aMax = (1u << aBits) - 1;
        Rgb aIn{RandomSamples(aRandom, n, aMax), RandomSamples(aRandom, n, aMax), RandomSamples(aRandom, n, aMax)};
        // Highlights are where the stage acts: push half the pixels near full scale.
        for (int k = 0; k < n; k += 2) aIn.r[k] = static_cast<uint16>(aMax - (aIn.r[k] % 64));
        double aWB_R = RandomReal(aRandom, 0.3, 1.6), aWB_B = RandomReal(aRandom, 0.3, 1.6);
        uint16 aOB_R = static_cast<uint16>(RandomInt(aRandom, 0, 200)),
               aOB_B = static_cast<uint16>(RandomInt(aRandom, 0, 200));
        Rgb aOut = RunColoration(aIn, aWB_R, aWB_B, aOB_R, aOB_B, aBits);
        for (int k = 0; k < n; ++k) {
            uint16 r, g, b;
            ReferenceColoration(aIn.r[k], aIn.g[k], aIn.b[k], aWB_R, aWB_B, aOB_R, aOB_B, aBits, &r, &g, &b);
            ASSERT_EQ(aOut.r[k], r) << "trial " << aTrial << " pixel " << k;
            ASSERT_EQ(aOut.g[k], g) << "trial " << aTrial << " pixel " << k;
            ASSERT_EQ(aOut.b[k], b) << "trial " << aTrial << " pixel " << k;
        }
    }
}

TEST(PipelineColorMatrix, IdentityReproducesItsInput) {
    std::mt19937 aRandom(9);
    Rgb aIn{RandomSamples(aRandom, 300, 4095), RandomSamples(aRandom, 300, 4095), RandomSamples(aRandom, 300, 4095)};
    const double kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    Rgb aOut = RunMatrix(aIn, kIdentity, 12);
    EXPECT_EQ(aOut.r, aIn.r);
    EXPECT_EQ(aOut.g, aIn.g);
    EXPECT_EQ(aOut.b, aIn.b);
}

TEST(PipelineColorMatrix, ClipsThenTruncates) {
    Rgb aIn{{3000, 1000, 1000}, {0, 0, 1}, {0, 1000, 0}};
    // Red row 2R, green row R - B - 0.1 G, blue row 1.0009 R.
    const double kMatrix[9] = {2.0, 0, 0, 1.0, -0.1, -1.0, 1.0009, 0, 0};
    Rgb aOut = RunMatrix(aIn, kMatrix, 12);
    EXPECT_EQ(aOut.r[0], 4095);  // 6000 clipped
    EXPECT_EQ(aOut.r[1], 2000);
    EXPECT_EQ(aOut.g[1], 0);     // 1000 - 1000 = 0
    EXPECT_EQ(aOut.g[2], 999);   // 1000 - 0.1 = 999.9 truncated
    EXPECT_EQ(aOut.b[1], 1000);  // 1000.9 truncated, not rounded
    EXPECT_EQ(aOut.g[0], 3000);
    const double kNegative[9] = {-1, 0, 0, 0, -1, 0, 0, 0, -1};
    Rgb aNeg = RunMatrix(aIn, kNegative, 12);
    EXPECT_EQ(aNeg.r, (std::vector<uint16>{0, 0, 0}));
}

TEST(PipelineColorMatrix, EmptyOutSizeWritesNothing) {
    uint16 aIn = 1000, aOut = 0xBEEF;
    Rect aRect{0, 0, 3, 0};
    RAW_ColorAdjust(&aIn, &aIn, &aIn, 1, 0, 0, 0, 1, 0, 0, 0, 1, 12, &aRect, &aOut, &aOut, &aOut);
    RAW_ColorationControl(&aIn, &aIn, &aIn, 0.5, 0.5, 0, 12, 0, 0, 0, 0, &aRect, &aOut, &aOut, &aOut);
    EXPECT_EQ(aOut, 0xBEEF);
    Rect aInverted{0, 0, -2, -3};  // no rows and no columns, even though the product is positive
    RAW_ColorAdjust(&aIn, &aIn, &aIn, 1, 0, 0, 0, 1, 0, 0, 0, 1, 12, &aInverted, &aOut, &aOut, &aOut);
    EXPECT_EQ(aOut, 0xBEEF);
}

TEST(PipelineColorMatrix, MatchesAPerPixelFormula) {
    std::mt19937 aRandom(11);
    for (int aTrial = 0; aTrial < 30; ++aTrial) {
        int aBits = RandomInt(aRandom, 8, 16);
        int n = RandomInt(aRandom, 1, 200);
        uint32 aMax = (1u << aBits) - 1;
        Rgb aIn{RandomSamples(aRandom, n, aMax), RandomSamples(aRandom, n, aMax), RandomSamples(aRandom, n, aMax)};
        double m[9];
        for (double &v : m) v = RAW_SInt16ToX(static_cast<int16>(RandomInt(aRandom, -200, 600)));
        Rgb aOut = RunMatrix(aIn, m, aBits);
        double aLimit = SampleMax(aBits);
        for (int k = 0; k < n; ++k) {
            double R = aIn.r[k], G = aIn.g[k], B = aIn.b[k];
            ASSERT_EQ(aOut.r[k], ClipTruncate(m[0] * R + m[1] * G + m[2] * B, aLimit));
            ASSERT_EQ(aOut.g[k], ClipTruncate(m[3] * R + m[4] * G + m[5] * B, aLimit));
            ASSERT_EQ(aOut.b[k], ClipTruncate(m[6] * R + m[7] * G + m[8] * B, aLimit));
        }
    }
}
