// Chroma suppression with edge addition, and the conversion back to RGB.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "PipelineTestSupport.h"
#include "pipeline/PipelineReference.h"
#include "pipeline/StageCoefficients.h"

using namespace pipetest;

namespace {

struct ChromaSettings {
    uint16 csk1, csk2, csk3, csk4;
    int16 csg1;
    double csg2;
};

double Gain(uint16 inR, uint16 inG, uint16 inB, double inEdge, const ChromaSettings &s, int inBits) {
    Rect aRect = OutRect(1, 1);
    double aKchrom = -1.0;
    RAW_ColorSignalRestrain(&inR, &inG, &inB, &inEdge, s.csk1, s.csk2, s.csk3, s.csk4, s.csg1, s.csg2,
                            static_cast<uint16>(inBits), &aRect, 0, 0, &aKchrom);
    return aKchrom;
}

// The chroma gain from its definition: the smaller of the edge and brightness ramps,
// limited to 0 .. max, in units of 2^bits.
double ReferenceGain(uint16 R, uint16 G, uint16 B, double E, const ChromaSettings &s, int inBits) {
    double aMax = SampleMax(inBits);
    double aEdgeRamp = s.csk2 - ((std::fabs(E) - s.csk1) * s.csg1) * kRAW_ChromaSlopeUnit;
    double aBrightest = std::max({R, G, B});
    if (E >= aBrightest) aBrightest = E;
    double aBrightRamp = s.csk4 - (aBrightest - s.csk3) * s.csg2;
    double k = std::min(aEdgeRamp, aBrightRamp);
    k = std::min(std::max(k, 0.0), aMax);
    return k / (aMax + 1.0);
}

}  // namespace

TEST(PipelineChromaGain, WorkedExample) {
    ChromaSettings s{100, 4095, 3000, 4095, 8, 2.0};
    EXPECT_EQ(Gain(3500, 2000, 1000, -300.0, s, 12), 0.755615234375);
}

TEST(PipelineChromaGain, ZeroSlopesGiveTheSmallestSetting) {
    ChromaSettings aFull{100, 4095, 3000, 5000, 0, 0.0};
    EXPECT_EQ(Gain(4095, 0, 17, 900.0, aFull, 12), 4095.0 / 4096.0);
    ChromaSettings aLow{100, 2048, 3000, 3000, 0, 0.0};
    EXPECT_EQ(Gain(1, 2, 3, -4000.0, aLow, 12), 2048.0 / 4096.0);
    ChromaSettings aZero{100, 0, 3000, 4095, 0, 0.0};
    EXPECT_EQ(Gain(4095, 4095, 4095, 10.0, aZero, 12), 0.0);
}

TEST(PipelineChromaGain, NegativeRampGivesZeroAndTheSignedEdgeCanBeTheBrightness) {
    ChromaSettings s{0, 1000, 0, 4095, 40, 0.0};  // edge ramp 1000 - 10 |E|
    EXPECT_EQ(Gain(0, 0, 0, 500.0, s, 12), 0.0);
    EXPECT_EQ(Gain(0, 0, 0, -50.0, s, 12), 500.0 / 4096.0);
    // Brightness ramp measured on E when E exceeds every channel, not on |E|.
    ChromaSettings b{0, 4095, 0, 4095, 0, 1.0};
    EXPECT_EQ(Gain(100, 200, 300, 1000.0, b, 12), (4095.0 - 1000.0) / 4096.0);
    EXPECT_EQ(Gain(100, 200, 300, -1000.0, b, 12), (4095.0 - 300.0) / 4096.0);
}

TEST(PipelineChromaGain, ReadsThePixelAtColumnXRowY) {
    const int kW = 5, kH = 3;
    std::vector<uint16> aR(kW * kH, 0), aG(kW * kH, 0), aB(kW * kH, 0);
    std::vector<double> aE(kW * kH, 0.0);
    aB[2 * kW + 1] = 1000;  // column 1, row 2
    Rect aRect = OutRect(kW, kH);
    double k;
    RAW_ColorSignalRestrain(aR.data(), aG.data(), aB.data(), aE.data(), 0, 4095, 0, 4095, 0, 1.0, 12, &aRect, 1, 2, &k);
    EXPECT_EQ(k, 3095.0 / 4096.0);
    RAW_ColorSignalRestrain(aR.data(), aG.data(), aB.data(), aE.data(), 0, 4095, 0, 4095, 0, 1.0, 12, &aRect, 2, 1, &k);
    EXPECT_EQ(k, 4095.0 / 4096.0);
}

namespace {

struct YCPlanes {
    std::vector<double> y, cr, cb;
};

YCPlanes RunEdgeAdd(const YCPlanes &inYC, const std::vector<double> &inEdgeF, const std::vector<uint16> &inR,
                    const std::vector<uint16> &inG, const std::vector<uint16> &inB, const std::vector<double> &inEdge,
                    const ChromaSettings &s, int inBits, int inWidth) {
    int n = static_cast<int>(inYC.y.size());
    YCPlanes aOut{std::vector<double>(n, -1.0), std::vector<double>(n, -1.0), std::vector<double>(n, -1.0)};
    Rect aRect = OutRect(inWidth, n / inWidth);
    RAW_ColorRestrainEdgeAdd(inYC.y.data(), inYC.cr.data(), inYC.cb.data(), inEdgeF.data(), inR.data(), inG.data(),
                             inB.data(), inEdge.data(), s.csk1, s.csk2, s.csk3, s.csk4, s.csg1, s.csg2,
                             static_cast<uint16>(inBits), &aRect, aOut.y.data(), aOut.cr.data(), aOut.cb.data());
    return aOut;
}

}  // namespace

TEST(PipelineEdgeAdd, LimitsOfLuminanceAndColour) {
    ChromaSettings s{0, 4095, 0, 4095, 0, 0.0};  // gain 4095/4096 everywhere
    std::vector<uint16> z(4, 0);
    std::vector<double> aNoEdge(4, 0.0);
    YCPlanes aIn{{4000.0, 100.0, 2000.0, 0.0}, {8000.0, -8000.0, 100.0, 0.0}, {-9000.0, 9000.0, -100.0, 0.0}};
    std::vector<double> aEdgeF = {300.0, -250.0, 12.5, 0.0};
    YCPlanes aOut = RunEdgeAdd(aIn, aEdgeF, z, z, z, aNoEdge, s, 12, 2);
    double k = 4095.0 / 4096.0;
    EXPECT_EQ(aOut.y, (std::vector<double>{4095.0, 0.0, 2012.5, 0.0}));
    EXPECT_EQ(aOut.cr, (std::vector<double>{4095.0, -4095.0, 100.0 * k, 0.0}));
    EXPECT_EQ(aOut.cb, (std::vector<double>{-4095.0, 4095.0, -100.0 * k, 0.0}));
}

TEST(PipelineEdgeAdd, ZeroGainLeavesGrey) {
    ChromaSettings s{0, 0, 0, 4095, 0, 0.0};
    std::vector<uint16> z(2, 0);
    YCPlanes aIn{{1000.0, 3000.0}, {500.0, -700.0}, {-300.0, 900.0}};
    YCPlanes aOut = RunEdgeAdd(aIn, {0.0, 0.0}, z, z, z, {0.0, 0.0}, s, 12, 1);
    EXPECT_EQ(aOut.cr, (std::vector<double>{0.0, 0.0}));
    EXPECT_EQ(aOut.cb, (std::vector<double>{0.0, 0.0}));
    std::vector<uint16> r(2), g(2), b(2);
    Rect aRect = OutRect(1, 2);
    RAW_ConvertToRGB(aOut.y.data(), aOut.cr.data(), aOut.cb.data(), 12, &aRect, r.data(), g.data(), b.data());
    EXPECT_EQ(r, (std::vector<uint16>{16000, 48000}));
    EXPECT_EQ(g, r);
    EXPECT_EQ(b, r);
}

TEST(PipelineEdgeAdd, MatchesAPerPixelFormulaOnRandomPlanes) {
    std::mt19937 aRandom(53);
    for (int aTrial = 0; aTrial < 20; ++aTrial) {
        int aBits = RandomInt(aRandom, 8, 16);
        double aMax = SampleMax(aBits);
        int aWidth = RandomInt(aRandom, 1, 17), aHeight = RandomInt(aRandom, 1, 7), n = aWidth * aHeight;
        YCPlanes aIn{RandomReals(aRandom, n, 0.0, aMax), RandomReals(aRandom, n, -aMax, aMax * 1.2),
                     RandomReals(aRandom, n, -aMax, aMax * 1.2)};
        std::vector<double> aEdgeF = RandomReals(aRandom, n, -aMax / 4, aMax / 4);
        std::vector<double> aEdge = RandomReals(aRandom, n, -aMax - 1, aMax + 1);
        uint32 aSampleMax = (1u << aBits) - 1;
        std::vector<uint16> aR = RandomSamples(aRandom, n, aSampleMax), aG = RandomSamples(aRandom, n, aSampleMax),
                            aB = RandomSamples(aRandom, n, aSampleMax);
        ChromaSettings s{static_cast<uint16>(RandomInt(aRandom, 0, aSampleMax / 4)),
                         static_cast<uint16>(RandomInt(aRandom, 0, 65535)),
                         static_cast<uint16>(RandomInt(aRandom, 0, aSampleMax)),
                         static_cast<uint16>(RandomInt(aRandom, 0, 65535)),
                         static_cast<int16>(RandomInt(aRandom, -4, 64)),
                         RAW_SInt16ToX(static_cast<int16>(RandomInt(aRandom, -100, 1000)))};
        YCPlanes aOut = RunEdgeAdd(aIn, aEdgeF, aR, aG, aB, aEdge, s, aBits, aWidth);
        for (int k = 0; k < n; ++k) {
            double aGain = ReferenceGain(aR[k], aG[k], aB[k], aEdge[k], s, aBits);
            double y = std::max(std::min(aIn.y[k] + aEdgeF[k], aMax), 0.0);
            double cr = std::max(std::min(aIn.cr[k] * aGain, aMax), -aMax);
            double cb = std::max(std::min(aIn.cb[k] * aGain, aMax), -aMax);
            ASSERT_EQ(aOut.y[k], y) << "trial " << aTrial << " pixel " << k;
            ASSERT_EQ(aOut.cr[k], cr) << "trial " << aTrial << " pixel " << k;
            ASSERT_EQ(aOut.cb[k], cb) << "trial " << aTrial << " pixel " << k;
        }
    }
}

namespace {

std::array<uint16, 3> ToRGB(double y, double cr, double cb, int inBits) {
    std::array<uint16, 3> aOut{};
    Rect aRect = OutRect(1, 1);
    RAW_ConvertToRGB(&y, &cr, &cb, static_cast<uint16>(inBits), &aRect, &aOut[0], &aOut[1], &aOut[2]);
    return aOut;
}

}  // namespace

TEST(PipelineToRGB, WorkedExamples) {
    EXPECT_EQ(ToRGB(2000, 0, 0, 12), (std::array<uint16, 3>{32000, 32000, 32000}));
    EXPECT_EQ(ToRGB(4095, 100, 0, 12), (std::array<uint16, 3>{65520, 64368, 65520}));
    EXPECT_EQ(ToRGB(500, -400, 300, 12), (std::array<uint16, 3>{0, 10912, 16496}));
    EXPECT_EQ(ToRGB(200, 0, 0, 8), (std::array<uint16, 3>{200, 200, 200}));
    EXPECT_EQ(ToRGB(1000.9, 0, 0, 10), (std::array<uint16, 3>{1000 << 6, 1000 << 6, 1000 << 6}));
    EXPECT_EQ(ToRGB(65535, 0, 0, 16), (std::array<uint16, 3>{65535, 65535, 65535}));
    EXPECT_EQ(ToRGB(100, 0, 0, 6), (std::array<uint16, 3>{63, 63, 63}));  // no shift at 8 bits or less
}

TEST(PipelineToRGB, MatchesTheFormulaOnRandomPlanes) {
    std::mt19937 aRandom(59);
    for (int aBits : {8, 10, 12, 14, 16}) {
        double aMax = SampleMax(aBits);
        int n = 400;
        std::vector<double> aY = RandomReals(aRandom, n, 0.0, aMax), aCr = RandomReals(aRandom, n, -aMax, aMax),
                            aCb = RandomReals(aRandom, n, -aMax, aMax);
        std::vector<uint16> r(n), g(n), b(n);
        Rect aRect = OutRect(40, 10);
        RAW_ConvertToRGB(aY.data(), aCr.data(), aCb.data(), static_cast<uint16>(aBits), &aRect, r.data(), g.data(),
                         b.data());
        int aShift = aBits > 8 ? 16 - aBits : 0;
        for (int k = 0; k < n; ++k) {
            ASSERT_EQ(r[k], static_cast<uint16>(ClipTruncate(aY[k] + kRAW_RFromCr * aCr[k], aMax) << aShift));
            double aGreen = aY[k] - kRAW_GFromCr * aCr[k] - kRAW_GFromCb * aCb[k];
            ASSERT_EQ(g[k], static_cast<uint16>(ClipTruncate(aGreen, aMax) << aShift));
            ASSERT_EQ(b[k], static_cast<uint16>(ClipTruncate(aY[k] + kRAW_BFromCb * aCb[k], aMax) << aShift));
        }
    }
}
