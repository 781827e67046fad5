// Luminance/colour difference, the green band-pass of the toned mosaic and coring.
#include <gtest/gtest.h>

#include <algorithm>

#include "PipelineTestSupport.h"
#include "pipeline/StageCoefficients.h"

using namespace pipetest;

namespace {

const double kKa2 = 0.75, kKb2 = -0.25, kKc2 = -0.25;

std::vector<double> RunBPF(const std::vector<uint16> &inBand, int inBandWidth, int inBandHeight, const Layout &inLayout,
                           int inWidth, int inHeight, int inBits, double inKa = kKa2, double inKb = kKb2,
                           double inKc = kKc2) {
    std::vector<double> aOut(inWidth * inHeight, -12345.0);
    Rect aRect = OutRect(inWidth, inHeight);
    RAW_EdgeBPF(inBand.data(), static_cast<uint16>(inBandWidth), static_cast<uint16>(inBandHeight), inLayout.cfa.data(),
                inKa, inKb, inKc, static_cast<uint16>(inBits), &aRect, aOut.data());
    return aOut;
}

// The band-pass from its definition: every green of the window, weighed by where it
// lies (the two next to the centre, the two far corners on their diagonal, the rest).
std::vector<double> ReferenceBPF(const std::vector<uint16> &inBand, int inBandWidth, const Layout &inLayout,
                                 int inWidth, int inHeight, int inBits, double inKa, double inKb, double inKc) {
    std::vector<double> aOut(inWidth * inHeight);
    double aLimit = static_cast<double>(1u << inBits);
    for (int i = 0; i < inHeight; ++i) {
        for (int j = 0; j < inWidth; ++j) {
            int aInner = 0, aMiddle = 0, aCorner = 0, aGreens = 0;
            for (int r = 0; r < 4; ++r) {
                for (int c = 0; c < 4; ++c) {
                    if (ColourAt(inLayout.cfa, i + r, j + c) != kGreen) continue;
                    ++aGreens;
                    int s = inBand[(i + r) * inBandWidth + j + c];
                    bool aIsInner = (r == 1 || r == 2) && (c == 1 || c == 2);
                    bool aIsCorner = (r == 0 || r == 3) && (c == 0 || c == 3);
                    if (aIsInner)
                        aInner += s;
                    else if (aIsCorner)
                        aCorner += s;
                    else
                        aMiddle += s;
                }
            }
            EXPECT_EQ(aGreens, 8);
            double e = inKa * aInner + inKb * aMiddle + inKc * aCorner;
            aOut[i * inWidth + j] = std::min(std::max(e, -aLimit), aLimit);
        }
    }
    return aOut;
}

// An 8 x 8 band of greens at 1000 (others at 0) in RGGB, for output pixel (0, 0) or
// (0, 1) whose window starts with a non-green or a green sample.
std::vector<uint16> GreenBand(const Layout &inLayout, uint16 inValue) {
    std::vector<uint16> aBand(64, 0);
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c)
            if (ColourAt(inLayout.cfa, r, c) == kGreen) aBand[r * 8 + c] = inValue;
    return aBand;
}

}  // namespace

TEST(PipelineYC, GreyGivesItsValueAndNoColour) {
    for (uint16 v : {0, 1, 100, 2047, 4095}) {
        double y, cr, cb;
        Rect aRect = OutRect(1, 1);
        RAW_Convert2YC(&v, &v, &v, 12, &aRect, &y, &cr, &cb);
        EXPECT_NEAR(y, v, 1e-9);
        EXPECT_NEAR(cr, 0.0, 1e-9);
        EXPECT_NEAR(cb, 0.0, 1e-9);
    }
}

TEST(PipelineYC, PureRed) {
    uint16 r = 4095, z = 0;
    double y, cr, cb;
    Rect aRect = OutRect(1, 1);
    RAW_Convert2YC(&r, &z, &z, 12, &aRect, &y, &cr, &cb);
    EXPECT_DOUBLE_EQ(y, 1224.405);
    EXPECT_DOUBLE_EQ(cr, 2047.5);
    EXPECT_DOUBLE_EQ(cb, -692.055);
}

TEST(PipelineYC, MatchesTheFormulaAndClipsOnlyWhereDefined) {
    std::mt19937 aRandom(31);
    for (int aBits : {8, 10, 12, 16}) {
        int n = 500;
        uint32 aMax = (1u << aBits) - 1;
        std::vector<uint16> aR = RandomSamples(aRandom, n, aMax), aG = RandomSamples(aRandom, n, aMax),
                            aB = RandomSamples(aRandom, n, aMax);
        std::vector<double> aY(n), aCr(n), aCb(n);
        Rect aRect = OutRect(25, 20);
        RAW_Convert2YC(aR.data(), aG.data(), aB.data(), static_cast<uint16>(aBits), &aRect, aY.data(), aCr.data(),
                       aCb.data());
        double aLimit = SampleMax(aBits);
        for (int k = 0; k < n; ++k) {
            double R = aR[k], G = aG[k], B = aB[k];
            double y = kRAW_YFromR * R + kRAW_YFromG * G + kRAW_YFromB * B;
            double cr = kRAW_CrFromR * R - kRAW_CrFromG * G - kRAW_CrFromB * B;
            double cb = -kRAW_CbFromR * R - kRAW_CbFromG * G + kRAW_CbFromB * B;
            ASSERT_EQ(aY[k], std::min(std::max(y, 0.0), aLimit));
            ASSERT_EQ(aCr[k], std::max(cr, -aLimit));
            ASSERT_EQ(aCb[k], std::max(cb, -aLimit));
        }
    }
}

TEST(PipelineEdgeBPF, FlatMosaicGivesNoDetail) {
    for (const Layout &aLayout : Layouts()) {
        std::vector<uint16> aBand(10 * 8, 1234);
        for (double e : RunBPF(aBand, 10, 8, aLayout, 7, 4, 12)) ASSERT_EQ(e, 0.0) << aLayout.name;
    }
}

TEST(PipelineEdgeBPF, InnerAndCornerGreens) {
    for (const Layout &aLayout : Layouts()) {
        for (int j = 0; j < 2; ++j) {  // windows starting on either lattice
            // Find the window's greens and raise the two inner ones, then the two corners.
            std::vector<uint16> aInner = GreenBand(aLayout, 1000), aCorner = aInner;
            for (int r = 0; r < 4; ++r) {
                for (int c = 0; c < 4; ++c) {
                    if (ColourAt(aLayout.cfa, r, j + c) != kGreen) continue;
                    if ((r == 1 || r == 2) && (c == 1 || c == 2)) aInner[r * 8 + j + c] = 2000;
                    if ((r == 0 || r == 3) && (c == 0 || c == 3)) aCorner[r * 8 + j + c] = 2000;
                }
            }
            EXPECT_EQ(RunBPF(aInner, 8, 8, aLayout, 4, 4, 12)[j], 1500.0) << aLayout.name << " j " << j;
            EXPECT_EQ(RunBPF(aCorner, 8, 8, aLayout, 4, 4, 12)[j], -500.0) << aLayout.name << " j " << j;
        }
    }
}

TEST(PipelineEdgeBPF, LimitsArePlusMinusTwoToTheBits) {
    // Inner greens 0, the rest 2000 at 12 bits: -0.25 * 8000 - 0.25 * 4000 = -3000;
    // with the middle weight doubled the sum is -5000 and stops at -4096.
    std::vector<uint16> aBand = GreenBand(Layouts()[0], 2000);
    aBand[1 * 8 + 2] = aBand[2 * 8 + 1] = 0;  // inner greens of window (0, 0) in RGGB
    EXPECT_EQ(RunBPF(aBand, 8, 8, Layouts()[0], 1, 1, 12)[0], -3000.0);
    EXPECT_EQ(RunBPF(aBand, 8, 8, Layouts()[0], 1, 1, 16, 0.75, -0.5, -0.25)[0], -5000.0);
    EXPECT_EQ(RunBPF(aBand, 8, 8, Layouts()[0], 1, 1, 12, 0.75, -0.5, -0.25)[0], -4096.0);
    // The other way: inner greens 4095, the rest 0, and a large inner weight.
    std::vector<uint16> aBright(64, 0);
    aBright[1 * 8 + 2] = aBright[2 * 8 + 1] = 4095;
    EXPECT_EQ(RunBPF(aBright, 8, 8, Layouts()[0], 1, 1, 12)[0], 4096.0);  // 6142.5 limited
    EXPECT_EQ(RunBPF(aBright, 8, 8, Layouts()[0], 1, 1, 10)[0], 1024.0);
}

TEST(PipelineEdgeBPF, MatchesAPerPixelFormulaForEveryLayoutAndParity) {
    std::mt19937 aRandom(41);
    for (const Layout &aLayout : Layouts()) {
        for (int aTrial = 0; aTrial < 10; ++aTrial) {
            int aBits = RandomInt(aRandom, 8, 16);
            int aWidth = RandomInt(aRandom, 1, 19), aHeight = RandomInt(aRandom, 1, 9);
            int aBandWidth = aWidth + 3 + RandomInt(aRandom, 0, 3), aBandHeight = aHeight + 3;
            double aKa = aTrial == 0 ? kKa2 : RandomReal(aRandom, -1.0, 1.0);
            double aKb = aTrial == 0 ? kKb2 : RandomReal(aRandom, -1.0, 1.0);
            double aKc = aTrial == 0 ? kKc2 : RandomReal(aRandom, -1.0, 1.0);
            std::vector<uint16> aBand = RandomSamples(aRandom, aBandWidth * aBandHeight, (1u << aBits) - 1);
            std::vector<double> aOut =
                RunBPF(aBand, aBandWidth, aBandHeight, aLayout, aWidth, aHeight, aBits, aKa, aKb, aKc);
            std::vector<double> aRef = ReferenceBPF(aBand, aBandWidth, aLayout, aWidth, aHeight, aBits, aKa, aKb, aKc);
            ASSERT_EQ(aOut, aRef) << aLayout.name << " trial " << aTrial;
        }
    }
}

namespace {

std::vector<double> RunCoring(const std::vector<double> &inEdge, double inKedge, double inKcoring, int inBits) {
    std::vector<double> aOut(inEdge.size(), -12345.0);
    Rect aRect = OutRect(static_cast<int>(inEdge.size()), 1);
    RAW_CoringEdge(inEdge.data(), kRAW_EdgeLimitHigh, kRAW_EdgeLimitLow, inKedge, inKcoring,
                   static_cast<uint16>(inBits), &aRect, aOut.data());
    return aOut;
}

}  // namespace

TEST(PipelineCoring, DeadZoneAndShift) {
    std::vector<double> aIn = {-2.0, -1.0, 0.0, 1.5, 2.0, 5.0, -5.0, 2.5};
    std::vector<double> aOut = RunCoring(aIn, 1.5, 2.0, 12);
    EXPECT_EQ(aOut, (std::vector<double>{0.0, 0.0, 0.0, 0.0, 0.0, 3.0 * 1.5, -3.0 * 1.5, 0.5 * 1.5}));
}

TEST(PipelineCoring, UnitGainWithoutCoringOnlyLimits) {
    std::vector<double> aIn = {-4096.0, -1592.25, -1592.0, -0.5, 0.0, 17.25, 1592.25, 1600.0, 4096.0};
    EXPECT_EQ(RunCoring(aIn, 1.0, 0.0, 12),
              (std::vector<double>{-1592.25, -1592.25, -1592.0, -0.5, 0.0, 17.25, 1592.25, 1592.25, 1592.25}));
    // At 10 bits the limit is 25476 / 64.
    EXPECT_EQ(RunCoring({-1000.0, 398.0, 1000.0}, 1.0, 0.0, 10), (std::vector<double>{-398.0625, 398.0, 398.0625}));
}

TEST(PipelineCoring, MatchesTheFormulaOnRandomValues) {
    std::mt19937 aRandom(43);
    for (int aTrial = 0; aTrial < 20; ++aTrial) {
        int aBits = RandomInt(aRandom, 8, 16);
        double aLimit = static_cast<double>(1u << aBits);
        std::vector<double> aIn = RandomReals(aRandom, 200, -aLimit, aLimit);
        double aKedge = RandomReal(aRandom, 0.0, 4.0), aKcoring = RandomReal(aRandom, 0.0, 40.0);
        std::vector<double> aOut = RunCoring(aIn, aKedge, aKcoring, aBits);
        double thh = static_cast<double>(kRAW_EdgeLimitHigh) / (1 << (16 - aBits)), thl = -thh;
        for (size_t k = 0; k < aIn.size(); ++k) {
            double x = aIn[k];
            double e = x < -aKcoring ? x + aKcoring : (x < aKcoring ? 0.0 : x - aKcoring);
            e *= aKedge;
            ASSERT_EQ(aOut[k], std::min(std::max(e, thl), thh));
        }
    }
}
