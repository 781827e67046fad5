// Colour interpolation: every colour at the centre of a 4x4 window of the mosaic.
#include <gtest/gtest.h>

#include "PipelineTestSupport.h"
#include "pipeline/StageCoefficients.h"

using namespace pipetest;

namespace {

const double kKa = kRAW_LPFInnerWeight, kKb = kRAW_LPFMixedWeight, kKc = kRAW_LPFOuterWeight;

struct Planes {
    std::vector<uint16> r, g, b;
};

Planes RunLPF(const std::vector<uint16> &inBand, int inBandWidth, int inBandHeight, const Layout &inLayout, int inWidth,
              int inHeight, int inBits, double inKa = kKa, double inKb = kKb, double inKc = kKc) {
    Planes aOut{std::vector<uint16>(inWidth * inHeight, 0xBEEF), std::vector<uint16>(inWidth * inHeight, 0xBEEF),
                std::vector<uint16>(inWidth * inHeight, 0xBEEF)};
    Rect aRect = OutRect(inWidth, inHeight);
    RAW_LowPassFilter(inBand.data(), static_cast<uint16>(inBandWidth), static_cast<uint16>(inBandHeight),
                      inLayout.cfa.data(), inKa, inKb, inKc, static_cast<uint16>(inBits), &aRect, aOut.r.data(),
                      aOut.g.data(), aOut.b.data());
    return aOut;
}

// The interpolation written out per pixel: each window sample goes to its colour's sum
// with the weight of its row and column (inner rows/columns are 1 and 2).
Planes ReferenceLPF(const std::vector<uint16> &inBand, int inBandWidth, const Layout &inLayout, int inWidth,
                    int inHeight, int inBits, double inKa, double inKb, double inKc) {
    Planes aOut{std::vector<uint16>(inWidth * inHeight), std::vector<uint16>(inWidth * inHeight),
                std::vector<uint16>(inWidth * inHeight)};
    double aMax = SampleMax(inBits);
    for (int i = 0; i < inHeight; ++i) {
        for (int j = 0; j < inWidth; ++j) {
            double aSum[3] = {0.0, 0.0, 0.0};
            for (int r = 0; r < 4; ++r) {
                for (int c = 0; c < 4; ++c) {
                    bool aInnerRow = r == 1 || r == 2, aInnerColumn = c == 1 || c == 2;
                    double w = (aInnerRow && aInnerColumn) ? inKa : (aInnerRow || aInnerColumn) ? inKb : inKc;
                    aSum[ColourAt(inLayout.cfa, i + r, j + c)] += w * inBand[(i + r) * inBandWidth + (j + c)];
                }
            }
            aOut.r[i * inWidth + j] = ClipTruncate(aSum[kRed], aMax);
            aOut.g[i * inWidth + j] = ClipTruncate(kRAW_LPFGreenScale * aSum[kGreen], aMax);
            aOut.b[i * inWidth + j] = ClipTruncate(aSum[kBlue], aMax);
        }
    }
    return aOut;
}

}  // namespace

TEST(PipelineLowPass, UniformBandKeepsItsValueBelow10000) {
    for (const Layout &aLayout : Layouts()) {
        for (uint16 s : {0, 1, 100, 1023, 4095, 9999}) {
            std::vector<uint16> aBand(12 * 8, s);
            Planes aOut = RunLPF(aBand, 12, 8, aLayout, 9, 4, 14);
            for (size_t k = 0; k < aOut.r.size(); ++k) {
                ASSERT_EQ(aOut.r[k], s) << aLayout.name;
                ASSERT_EQ(aOut.g[k], s) << aLayout.name;
                ASSERT_EQ(aOut.b[k], s) << aLayout.name;
            }
        }
    }
}

TEST(PipelineLowPass, WeightsSumAbove1ShowFrom10000) {
    for (const Layout &aLayout : Layouts()) {
        std::vector<uint16> aBand(8 * 8, 10000);
        for (int aBits : {14, 16}) {
            Planes aOut = RunLPF(aBand, 8, 8, aLayout, 4, 4, aBits);
            for (size_t k = 0; k < aOut.r.size(); ++k) {
                EXPECT_EQ(aOut.r[k], 10001);
                EXPECT_EQ(aOut.g[k], 10001);
                EXPECT_EQ(aOut.b[k], 10001);
            }
        }
    }
}

TEST(PipelineLowPass, SingleBrightRedSampleSpreadsOverTheRedPlaneOnly) {
    const int kW = 8, kH = 8;
    std::vector<uint16> aBand(kW * kH, 0);
    aBand[2 * kW + 2] = 4000;  // a red sample in RGGB
    Planes aOut = RunLPF(aBand, kW, kH, Layouts()[0], 4, 4, 12);
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            // Band row 2 is window row 2 - i; inner rows are 1 and 2.
            int r = 2 - i, c = 2 - j;
            uint16 aExpected = 0;
            if (r >= 0 && c >= 0) {
                bool aInnerRow = r == 1 || r == 2, aInnerColumn = c == 1 || c == 2;
                double w = (aInnerRow && aInnerColumn) ? kKa : (aInnerRow || aInnerColumn) ? kKb : kKc;
                aExpected = static_cast<uint16>(w * 4000);
            }
            EXPECT_EQ(aOut.r[i * 4 + j], aExpected) << i << "," << j;
            EXPECT_EQ(aOut.g[i * 4 + j], 0);
            EXPECT_EQ(aOut.b[i * 4 + j], 0);
        }
    }
    EXPECT_EQ(aOut.r[0], 2250);  // 0.5626 * 4000 at (0, 0), (0, 1), (1, 0), (1, 1)
    EXPECT_EQ(aOut.r[5], 2250);
    EXPECT_EQ(aOut.r[2], 750);   // 0.1875 * 4000
    EXPECT_EQ(aOut.r[10], 250);  // 0.0625 * 4000
}

TEST(PipelineLowPass, ReadsOnlyTheWindowsAndNeverTheLastBandRow) {
    // Band 10 x 6 for 4 x 2 output pixels: rows 0..4 and columns 0..6 are read.
    const int kW = 10, kH = 6;
    std::vector<uint16> aBand(kW * kH, 500);
    std::vector<uint16> aPoisoned = aBand;
    for (int c = 0; c < kW; ++c) aPoisoned[5 * kW + c] = 4095;  // last row
    for (int r = 0; r < kH; ++r) aPoisoned[r * kW + 7] = aPoisoned[r * kW + 8] = aPoisoned[r * kW + 9] = 4095;
    for (const Layout &aLayout : Layouts()) {
        Planes aClean = RunLPF(aBand, kW, kH, aLayout, 4, 2, 12);
        Planes aDirty = RunLPF(aPoisoned, kW, kH, aLayout, 4, 2, 12);
        EXPECT_EQ(aClean.r, aDirty.r);
        EXPECT_EQ(aClean.g, aDirty.g);
        EXPECT_EQ(aClean.b, aDirty.b);
    }
}

TEST(PipelineLowPass, NeverExceedsTheMaximum) {
    std::vector<uint16> aBand(8 * 8, 4095);
    Planes aOut = RunLPF(aBand, 8, 8, Layouts()[1], 4, 4, 12);
    for (size_t k = 0; k < aOut.r.size(); ++k) {
        EXPECT_EQ(aOut.r[k], 4095);
        EXPECT_EQ(aOut.g[k], 4095);
        EXPECT_EQ(aOut.b[k], 4095);
    }
}

TEST(PipelineLowPass, EmptyOutSizeWritesNothing) {
    std::vector<uint16> aBand(8 * 8, 100);
    Planes aOut = RunLPF(aBand, 8, 8, Layouts()[0], 0, 0, 12);
    EXPECT_TRUE(aOut.r.empty());
    uint16 aSentinel = 0xBEEF;
    Rect aRect{0, 0, 0, 4};
    RAW_LowPassFilter(aBand.data(), 8, 8, Layouts()[0].cfa.data(), kKa, kKb, kKc, 12, &aRect, &aSentinel, &aSentinel,
                      &aSentinel);
    EXPECT_EQ(aSentinel, 0xBEEF);
}

TEST(PipelineLowPass, MatchesAPerPixelFormulaForEveryLayoutAndParity) {
    std::mt19937 aRandom(77);
    for (const Layout &aLayout : Layouts()) {
        for (int aTrial = 0; aTrial < 10; ++aTrial) {
            int aBits = RandomInt(aRandom, 8, 16);
            int aWidth = RandomInt(aRandom, 1, 21), aHeight = RandomInt(aRandom, 1, 9);
            int aBandWidth = aWidth + 3 + RandomInt(aRandom, 0, 4), aBandHeight = aHeight + 4;
            // The driver's weights, and random ones that can push sums out of range.
            double aKa = aTrial == 0 ? kKa : RandomReal(aRandom, -0.2, 1.0);
            double aKb = aTrial == 0 ? kKb : RandomReal(aRandom, -0.2, 0.5);
            double aKc = aTrial == 0 ? kKc : RandomReal(aRandom, -0.2, 0.3);
            std::vector<uint16> aBand = RandomSamples(aRandom, aBandWidth * aBandHeight, (1u << aBits) - 1);
            Planes aOut = RunLPF(aBand, aBandWidth, aBandHeight, aLayout, aWidth, aHeight, aBits, aKa, aKb, aKc);
            Planes aRef = ReferenceLPF(aBand, aBandWidth, aLayout, aWidth, aHeight, aBits, aKa, aKb, aKc);
            ASSERT_EQ(aOut.r, aRef.r) << aLayout.name << " trial " << aTrial;
            ASSERT_EQ(aOut.g, aRef.g) << aLayout.name << " trial " << aTrial;
            ASSERT_EQ(aOut.b, aRef.b) << aLayout.name << " trial " << aTrial;
        }
    }
}
