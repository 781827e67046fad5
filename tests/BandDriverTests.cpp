// The band conversion driver: which parameters reach which stage for each method
// (compared with a hand-composed chain of the stages), band geometry, channel order and
// the host buffers it takes and gives back, also when one of them cannot be had.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "TestHost.h"
#include "pipeline/Pipeline.h"
#include "pipeline/PipelineReference.h"
#include "pipeline/kernels/StageKernels.h"
#include "pipeline/StageCoefficients.h"

using testhost::Options;
using testhost::TestHost;

namespace {

// The reference forms take every intermediate plane of a band; the optimised stages only
// the toned mosaic of the detail signal.
int PlanesPerBand(bool inReference) { return inReference ? 21 : 1; }

struct Lookups {
    std::vector<uint16_t> table[kLUTCount];
    uint16 *ptr[kLUTCount];
    Lookups() {
        const double gammas[kLUTCount] = {1.0, 0.5, 0.7, 0.85, 0.6};
        for (int k = 0; k < kLUTCount; ++k) {
            table[k].resize(65536);
            for (int i = 0; i < 65536; ++i)
                table[k][i] = k == 0 ? static_cast<uint16_t>(i)
                                     : static_cast<uint16_t>(std::floor(65535.0 * std::pow(i / 65535.0, gammas[k])));
            ptr[k] = table[k].data();
        }
    }
};

// A record set up as the run leaves it, with camera settings that each make a difference.
Globals MakeGlobals(TestHost &ioHost, int16 inMethod, Point inPoint) {
    Globals g;
    std::memset(&g, 0, sizeof g);
    g.acquireParamBlock = ioHost.record();
    RAW_DefaultInfo(&g.info);
    RAW_Info &i = g.info;
    i.endian = 0x4949;
    i.image_width = 40;
    i.output_image_width = 32;
    i.valid_bits_per_pixel[0] = 10;
    i.valid_bits_per_pixel[1] = 0;
    const int16 ob[4] = {16, 20, 24, 28};
    std::memcpy(i.optical_black, ob, sizeof ob);
    i.wb_gain_gr = (256 << 16) | 96;  // 1.5
    i.wb_gain_gb = (200 << 16) | 100;
    const int16 cm[9] = {300, -20, -24, -10, 280, -14, -8, -30, 290};
    std::memcpy(i.color_matrix, cm, sizeof cm);
    i.tone_mode = 1;
    i.enhancer = 384;
    i.coring = 64;
    const int16 cs[6] = {100, 600, 300, 1000, 8, 32};
    std::memcpy(i.chromasupless, cs, sizeof cs);
    g.method = inMethod;
    g.wb_point = inPoint;
    g.wb_r = 1.7;
    g.wb_b = 0.8;
    return g;
}

// A colourful band as read from the file: 10 valid bits stored high, little-endian.
std::vector<uint16_t> MakeBand(int32_t inWidth, int32_t inHeight) {
    std::vector<uint16_t> b(static_cast<size_t>(inWidth) * inHeight);
    uint32_t seed = 12345;
    for (int32_t r = 0; r < inHeight; ++r)
        for (int32_t c = 0; c < inWidth; ++c) {
            seed = seed * 1103515245u + 12345u;
            int colour = (r % 2) * 2 + (c % 2);
            uint32_t base = colour == 0 ? 700 : colour == 3 ? 250 : 450;
            uint32_t v = base + (seed >> 16) % 300 + (c > inWidth / 2 ? 60 : 0);
            b[static_cast<size_t>(r) * inWidth + c] = static_cast<uint16_t>((v > 1023 ? 1023 : v) << 6);
        }
    return b;
}

struct ChainParams {
    uint16 ob[4];
    double wbR, wbB;
    double cmx[9];
    double kedge, kcoring;
    int16 csg1;
    double csg2;
    const uint16 *tone[3];
    const uint16 *edge;
    // When set, coloration control alone gets these black levels and gains instead.
    bool colorationOwn = false;
    uint16 ccOb[4];
    double ccWbR, ccWbB;
};

struct Planes {
    std::vector<uint16_t> r, g, b;
};

// The stages composed by hand, each with the parameters the test expects.
Planes Chain(const Globals &g, std::vector<uint16_t> bayer, uint16 inHeight, const ChainParams &p) {
    const RAW_Info &i = g.info;
    const uint16 w = static_cast<uint16>(i.image_width);
    const uint16 vb = static_cast<uint16>(i.valid_bits_per_pixel[0]);
    const Rect a{0, 0, static_cast<int16>(inHeight - 4), static_cast<int16>(i.output_image_width)};
    const size_t n = static_cast<size_t>(a.bottom) * a.right;
    const uint8_t *cfa = i.cfa_pattern.value;
    RAW_ShiftRight(bayer.data(), w, inHeight, vb, static_cast<uint16>(i.valid_bits_per_pixel[1]), i.endian);
    RAW_WhiteBalance(bayer.data(), w, inHeight, cfa, p.ob[0], p.ob[1], p.ob[2], p.ob[3], p.wbR, p.wbB, vb);
    std::vector<uint16_t> r1(n), g1(n), b1(n), r2(n), g2(n), b2(n), r3(n), g3(n), b3(n), r4(n), g4(n), b4(n);
    RAW_LowPassFilter(bayer.data(), w, inHeight, cfa, kRAW_LPFInnerWeight, kRAW_LPFMixedWeight, kRAW_LPFOuterWeight, vb,
                      &a, r1.data(), g1.data(), b1.data());
    const uint16 *ccOb = p.colorationOwn ? p.ccOb : p.ob;
    RAW_ColorationControl(r1.data(), g1.data(), b1.data(), p.colorationOwn ? p.ccWbR : p.wbR,
                          p.colorationOwn ? p.ccWbB : p.wbB, i.tone_mode, vb, ccOb[0], ccOb[1], ccOb[2], ccOb[3], &a,
                          r2.data(), g2.data(), b2.data());
    RAW_ColorAdjust(r2.data(), g2.data(), b2.data(), p.cmx[0], p.cmx[1], p.cmx[2], p.cmx[3], p.cmx[4], p.cmx[5],
                    p.cmx[6], p.cmx[7], p.cmx[8], vb, &a, r3.data(), g3.data(), b3.data());
    RAW_LUTAdjust(r3.data(), g3.data(), b3.data(), p.tone[0], p.tone[1], p.tone[2], i.tone_mode, vb, &a, r4.data(),
                  g4.data(), b4.data());
    std::vector<double> y1(n), cr1(n), cb1(n), e1(n), ef(n), yf(n), crf(n), cbf(n);
    RAW_Convert2YC(r4.data(), g4.data(), b4.data(), vb, &a, y1.data(), cr1.data(), cb1.data());
    std::vector<uint16_t> edge(bayer.size());
    RAW_EdgeLUTAdjust(bayer.data(), w, inHeight, p.edge, i.tone_mode, vb, edge.data());
    RAW_EdgeBPF(edge.data(), w, inHeight, cfa, kRAW_BPFInnerWeight, kRAW_BPFMixedWeight, kRAW_BPFOuterWeight, vb, &a,
                e1.data());
    RAW_CoringEdge(e1.data(), kRAW_EdgeLimitHigh, kRAW_EdgeLimitLow, p.kedge, p.kcoring, vb, &a, ef.data());
    RAW_ColorRestrainEdgeAdd(y1.data(), cr1.data(), cb1.data(), ef.data(), r4.data(), g4.data(), b4.data(), e1.data(),
                             static_cast<uint16>(i.chromasupless[0]), static_cast<uint16>(i.chromasupless[1]),
                             static_cast<uint16>(i.chromasupless[2]), static_cast<uint16>(i.chromasupless[3]), p.csg1,
                             p.csg2, vb, &a, yf.data(), crf.data(), cbf.data());
    Planes out{std::vector<uint16_t>(n), std::vector<uint16_t>(n), std::vector<uint16_t>(n)};
    RAW_ConvertToRGB(yf.data(), crf.data(), cbf.data(), vb, &a, out.r.data(), out.g.data(), out.b.data());
    return out;
}

// What each method is expected to hand the stages.
ChainParams Expected(const Globals &g, const Lookups &l) {
    const RAW_Info &i = g.info;
    ChainParams p{};
    const uint16 *id = l.ptr[0];
    p.wbR = p.wbB = 1.0;
    for (int k = 0; k < 9; ++k) p.cmx[k] = (k % 4 == 0) ? 1.0 : 0.0;
    p.kedge = 1.0;
    p.tone[0] = p.tone[1] = p.tone[2] = p.edge = id;
    if (g.method != 0) {
        for (int k = 0; k < 4; ++k) p.ob[k] = static_cast<uint16>(i.optical_black[k]);
        // A gain word holds two factors (high and low half) whose product over 16384 is the gain.
        p.wbR = (i.wb_gain_gr >> 16) * (i.wb_gain_gr & 0xFFFF) / 16384.0;
        p.wbB = (i.wb_gain_gb >> 16) * (i.wb_gain_gb & 0xFFFF) / 16384.0;
        if (g.wb_point.h != -1 && g.wb_point.v != -1) {
            p.wbR = g.wb_r;
            p.wbB = g.wb_b;
        }
        for (int k = 0; k < 9; ++k) p.cmx[k] = i.color_matrix[k] / 256.0;
    }
    if (g.method == 2) {
        p.kedge = i.enhancer / 256.0;
        p.kcoring = i.coring / 256.0;
        p.csg1 = i.chromasupless[4];
        p.csg2 = i.chromasupless[5] / 256.0;
        for (int k = 0; k < 3; ++k) p.tone[k] = l.ptr[k + 1];
        p.edge = l.ptr[4];
    }
    return p;
}

// The band of MakeBand with its right half saturated (all samples at the 10-bit maximum),
// so that coloration control's ceilings bind there when a gain is below 1.
std::vector<uint16_t> MakeSaturatedBand(int32_t inWidth, int32_t inHeight) {
    std::vector<uint16_t> b = MakeBand(inWidth, inHeight);
    for (int32_t r = 0; r < inHeight; ++r)
        for (int32_t c = inWidth / 2; c < inWidth; ++c) b[static_cast<size_t>(r) * inWidth + c] = 1023 << 6;
    return b;
}

// DoConvert's three planes in parameter order (R_F, B_F, G_F).
Planes Driver(TestHost &ioHost, Globals &g, uint16 inHeight, Lookups &l, bool *outOK = nullptr,
              bool inSaturated = false) {
    std::vector<uint16_t> bayer =
        inSaturated ? MakeSaturatedBand(g.info.image_width, inHeight) : MakeBand(g.info.image_width, inHeight);
    const Rect a{0, 0, static_cast<int16>(inHeight - 4), static_cast<int16>(g.info.output_image_width)};
    const size_t n = static_cast<size_t>(a.bottom) * a.right;
    Planes out{std::vector<uint16_t>(n), std::vector<uint16_t>(n), std::vector<uint16_t>(n)};
    Boolean ok = DoConvert(&g, static_cast<uint16>(g.info.image_width), inHeight, bayer.data(), &a, l.ptr, out.r.data(),
                           out.g.data(), out.b.data());
    if (outOK) *outOK = ok;
    EXPECT_EQ(ioHost.liveBuffers(), 0u);
    return out;
}

void ExpectSame(const Planes &inDriver, const Planes &inChain, const char *inWhat) {
    EXPECT_EQ(inDriver.r, inChain.r) << inWhat << ": red";
    EXPECT_EQ(inDriver.g, inChain.g) << inWhat << ": green";
    EXPECT_EQ(inDriver.b, inChain.b) << inWhat << ": blue";
}

bool Same(const Planes &a, const Planes &b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

}  // namespace

TEST(BandDriverParameters, EachMethodHandsTheStagesItsParameters) {
    TestHost host;
    Lookups l;
    const uint16 band = 10;
    for (int16 m : {int16(0), int16(1), int16(2)})
        for (Point pt : {Point{-1, -1}, Point{40, 100}, Point{-1, 100}}) {
            Globals g = MakeGlobals(host, m, pt);
            bool ok = false;
            Planes d = Driver(host, g, band, l, &ok);
            EXPECT_TRUE(ok);
            std::string what = "method " + std::to_string(m) + " point " + std::to_string(pt.v);
            ExpectSame(d, Chain(g, MakeBand(40, band), band, Expected(g, l)), what.c_str());
        }
    EXPECT_TRUE(host.misuse().empty());
}

TEST(BandDriverParameters, TheParametersMakeADifference) {
    // Guards the comparison above: each choice the driver makes changes the result.
    TestHost host;
    Lookups l;
    Globals g0 = MakeGlobals(host, 0, Point{40, 100});
    Globals g0n = MakeGlobals(host, 0, Point{-1, -1});
    Globals g1 = MakeGlobals(host, 1, Point{-1, -1});
    Globals g1p = MakeGlobals(host, 1, Point{40, 100});
    Globals g2 = MakeGlobals(host, 2, Point{-1, -1});
    Planes p0 = Driver(host, g0, 10, l), p0n = Driver(host, g0n, 10, l), p1 = Driver(host, g1, 10, l),
           p1p = Driver(host, g1p, 10, l), p2 = Driver(host, g2, 10, l);
    EXPECT_TRUE(Same(p0, p0n));  // method 0 ignores a picked point
    EXPECT_FALSE(Same(p0, p1));
    EXPECT_FALSE(Same(p1, p1p));
    EXPECT_FALSE(Same(p1, p2));
    EXPECT_NE(p0.r, p0.g);
    EXPECT_NE(p0.g, p0.b);
    // Method 0 gets the camera's chroma thresholds too; method 2 reacts to them.
    Globals g2c = MakeGlobals(host, 2, Point{-1, -1});
    g2c.info.chromasupless[0] = 900;
    g2c.info.chromasupless[2] = 50;
    EXPECT_FALSE(Same(Driver(host, g2c, 10, l), p2));
    ExpectSame(Driver(host, g2c, 10, l), Chain(g2c, MakeBand(40, 10), 10, Expected(g2c, l)), "changed CSK");
}

TEST(BandDriverParameters, OnlyMethodTwoUsesTablesOneToFour) {
    TestHost host;
    Lookups l, swapped;
    for (int k = 1; k < kLUTCount; ++k) std::fill(swapped.table[k].begin(), swapped.table[k].end(), 0);
    for (int16 m : {int16(0), int16(1)}) {
        Globals a = MakeGlobals(host, m, Point{-1, -1}), b = a;
        EXPECT_TRUE(Same(Driver(host, a, 10, l), Driver(host, b, 10, swapped))) << m;
    }
    Globals a = MakeGlobals(host, 2, Point{-1, -1}), b = a;
    EXPECT_FALSE(Same(Driver(host, a, 10, l), Driver(host, b, 10, swapped)));
}

// Coloration control gets the very gains and black levels that white balance got, with
// and without a picked point; the saturated half makes its ceilings bind, so a driver
// that handed it other gains or no black levels would change the planes.
TEST(BandDriverParameters, ColorationControlGetsTheWhiteBalanceGainsAndBlackLevels) {
    TestHost host;
    Lookups l;
    for (Point pt : {Point{-1, -1}, Point{40, 100}}) {
        Globals g = MakeGlobals(host, 1, pt);
        g.info.wb_gain_gr = (256 << 16) | 40;  // 0.625
        g.wb_r = 0.55;
        const std::vector<uint16_t> band = MakeSaturatedBand(40, 10);
        Planes d = Driver(host, g, 10, l, nullptr, true);
        ChainParams p = Expected(g, l);
        ASSERT_LT(p.wbR, 1.0);
        ExpectSame(d, Chain(g, band, 10, p), pt.v == -1 ? "camera gains" : "point gains");

        ChainParams wrong = p;
        wrong.colorationOwn = true;
        std::memcpy(wrong.ccOb, p.ob, sizeof p.ob);
        wrong.ccWbR = wrong.ccWbB = 1.0;  // gains of 1: the stage would only copy
        EXPECT_FALSE(Same(d, Chain(g, band, 10, wrong))) << "the ceiling does not bind";
        std::memset(wrong.ccOb, 0, sizeof wrong.ccOb);
        wrong.ccWbR = p.wbR;
        wrong.ccWbB = p.wbB;
        EXPECT_FALSE(Same(d, Chain(g, band, 10, wrong))) << "black levels make no difference";
        wrong.ccOb[0] = p.ob[0];
        wrong.ccOb[3] = p.ob[3];
        wrong.ccWbR = pt.v == -1 ? g.wb_r : 256.0 * 40.0 / 16384.0;  // the other source of gains
        EXPECT_FALSE(Same(d, Chain(g, band, 10, wrong))) << "the source of the gains makes no difference";
    }
    EXPECT_TRUE(host.misuse().empty());
}

// Method 2 tones with the table its tone mode names: 0 the third (resource 1002), 1 the
// second (1001), 2 the first (1000), all three planes through the same one.
TEST(BandDriverParameters, MethodTwoTonesWithTheTableOfEachToneMode) {
    TestHost host;
    Lookups l;
    const int kTableOfMode[3] = {3, 2, 1};
    Planes aByMode[3];
    for (int16 aMode = 0; aMode < 3; ++aMode) {
        Globals g = MakeGlobals(host, 2, Point{-1, -1});
        g.info.tone_mode = aMode;
        aByMode[aMode] = Driver(host, g, 10, l);
        ChainParams p = Expected(g, l);
        for (auto &t : p.tone) t = l.ptr[kTableOfMode[aMode]];
        ExpectSame(aByMode[aMode], Chain(g, MakeBand(40, 10), 10, p), ("tone mode " + std::to_string(aMode)).c_str());
    }
    EXPECT_FALSE(Same(aByMode[0], aByMode[1]));
    EXPECT_FALSE(Same(aByMode[1], aByMode[2]));
    EXPECT_FALSE(Same(aByMode[0], aByMode[2]));
}

TEST(BandDriverGeometry, ABandYieldsFourRowsFewerAndNothingMore) {
    TestHost host;
    Lookups l;
    for (uint16 band : {uint16(6), uint16(30)}) {
        Globals g = MakeGlobals(host, 1, Point{-1, -1});
        const int32_t w = g.info.output_image_width;
        std::vector<uint16_t> bayer = MakeBand(40, band);
        const Rect a{0, 0, static_cast<int16>(band - 4), static_cast<int16>(w)};
        std::vector<uint16_t> out[3];
        for (auto &o : out) o.assign(static_cast<size_t>(w) * band, 0xBEEF);
        ASSERT_TRUE(DoConvert(&g, 40, band, bayer.data(), &a, l.ptr, out[0].data(), out[1].data(), out[2].data()));
        const size_t written = static_cast<size_t>(w) * (band - 4);
        for (auto &o : out) {
            size_t touched = 0;
            for (size_t k = 0; k < written; ++k) touched += o[k] != 0xBEEF;
            EXPECT_GT(touched, written / 2) << band;
            for (size_t k = written; k < o.size(); ++k) ASSERT_EQ(o[k], 0xBEEF) << band << " at " << k;
        }
        Planes ref = Chain(g, MakeBand(40, band), band, Expected(g, l));
        EXPECT_EQ(std::vector<uint16_t>(out[0].begin(), out[0].begin() + written), ref.r);
        EXPECT_EQ(std::vector<uint16_t>(out[1].begin(), out[1].begin() + written), ref.g);
        EXPECT_EQ(std::vector<uint16_t>(out[2].begin(), out[2].begin() + written), ref.b);
    }
}

TEST(BandDriverGeometry, AnAreaThatDoesNotFitTheBandIsRefusedUntouched) {
    TestHost host;
    Lookups l;
    Globals g = MakeGlobals(host, 0, Point{-1, -1});
    std::vector<uint16_t> bayer = MakeBand(40, 10), copy = bayer, out(40 * 10, 7);
    // Also areas of a size that fits but placed so that their windows would reach past
    // the band's last row or a row's last column, or before the first.
    const Rect wide{0, 0, 6, 38}, tall{0, 0, 8, 32}, empty{0, 0, 0, 32}, lowered{2, 0, 8, 32}, shifted{0, 6, 6, 38},
        above{-1, 0, 5, 32};
    for (const Rect &a : {wide, tall, empty, lowered, shifted, above})
        EXPECT_FALSE(DoConvert(&g, 40, 10, bayer.data(), &a, l.ptr, out.data(), out.data(), out.data()));
    EXPECT_EQ(bayer, copy);
    EXPECT_EQ(host.allocations(), 0);
}

TEST(BandDriverBuffers, EveryPlaneIsTakenFromAndReturnedToTheHost) {
    for (bool aReference : {false, true}) {
        RAW_SelectReferenceStages(aReference);
        TestHost host;
        Lookups l;
        Globals g = MakeGlobals(host, 2, Point{-1, -1});
        bool ok = false;
        Driver(host, g, 10, l, &ok);
        EXPECT_TRUE(ok);
        EXPECT_EQ(host.allocations(), PlanesPerBand(aReference));
        EXPECT_EQ(host.liveBuffers(), 0u);
        EXPECT_TRUE(host.misuse().empty());
    }
    RAW_SelectReferenceStages(false);
}

TEST(BandDriverBuffers, AFailedRequestAnywhereFreesEverythingAndReportsFailure) {
    Lookups l;
    for (bool aReference : {false, true}) {
        RAW_SelectReferenceStages(aReference);
        const int aPlanes = PlanesPerBand(aReference);
        for (int k = 1; k <= aPlanes + 1; ++k) {
            TestHost host(Options{k});
            Globals g = MakeGlobals(host, 2, Point{-1, -1});
            bool ok = false;
            Driver(host, g, 10, l, &ok);
            EXPECT_EQ(ok, k > aPlanes) << "k " << k;
            EXPECT_EQ(host.allocations(), std::min(k, aPlanes)) << "k " << k;
            EXPECT_EQ(host.liveBuffers(), 0u) << "k " << k;
            EXPECT_TRUE(host.misuse().empty()) << "k " << k;
        }
    }
    RAW_SelectReferenceStages(false);
    Options o;
    o.failBufferLocks = true;
    TestHost host(o);
    Globals g = MakeGlobals(host, 0, Point{-1, -1});
    bool ok = true;
    Driver(host, g, 10, l, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(host.liveBuffers(), 0u);
    EXPECT_TRUE(host.misuse().empty());
}

namespace {

// One band through DoConvert in the selected form: the three planes in parameter order.
Planes ConvertIn(bool inReference, Globals &g, std::vector<uint16_t> inBayer, uint16 inHeight, const Rect &inArea,
                 Lookups &l) {
    RAW_SelectReferenceStages(inReference);
    const size_t n = static_cast<size_t>(inArea.bottom - inArea.top) * (inArea.right - inArea.left);
    Planes out{std::vector<uint16_t>(n), std::vector<uint16_t>(n), std::vector<uint16_t>(n)};
    EXPECT_TRUE(DoConvert(&g, static_cast<uint16>(g.info.image_width), inHeight, inBayer.data(), &inArea, l.ptr,
                          out.r.data(), out.g.data(), out.b.data()));
    RAW_SelectReferenceStages(false);
    return out;
}

}  // namespace

// The optimised driver runs the stages stretch by stretch along each row, with each
// kernel variant: every CFA layout, depth and method, areas whose left edge and top row are odd, and widths that
// end inside, on and just past a stretch.
TEST(BandDriverForms, StretchByStretchEqualsTheReferenceForms) {
    TestHost host;
    Lookups l;
    const uint8_t kLayouts[4][4] = {{0, 1, 1, 2}, {1, 0, 2, 1}, {1, 2, 0, 1}, {2, 1, 1, 0}};
    uint32_t seed = 99;
    for (const auto &aLayout : kLayouts)
        for (uint16 aBits : {uint16(8), uint16(10), uint16(12), uint16(14)})
            for (int16 aMethod = 0; aMethod <= 2; ++aMethod)
                for (int32_t aWidth : {1, 255, 256, 259, 515}) {
                    const bool aOdd = (aWidth & 1) != 0;
                    // A picked point brings a blue gain below 1: coloration control then binds.
                    Globals g = MakeGlobals(host, aMethod, aOdd ? Point{5, 6} : Point{-1, -1});
                    std::memcpy(g.info.cfa_pattern.value, aLayout, 4);
                    g.info.valid_bits_per_pixel[0] = aBits;
                    g.info.image_width = aWidth + 4;
                    g.info.output_image_width = aWidth;
                    const uint16 aHeight = 11;
                    const Rect a{static_cast<int16>(aOdd ? 1 : 0), static_cast<int16>(aOdd ? 1 : 0),
                                 static_cast<int16>(aHeight - 3), static_cast<int16>((aOdd ? 1 : 0) + aWidth)};
                    std::vector<uint16_t> aBayer(static_cast<size_t>(aWidth + 4) * aHeight);
                    const uint32_t aTop = aBits == 8 ? 300u : 65536u;
                    for (auto &v : aBayer)
                        v = static_cast<uint16_t>(((seed = seed * 1103515245u + 12345u) >> 8) % aTop);
                    const Planes aRef = ConvertIn(true, g, aBayer, aHeight, a, l);
                    for (int32 aKernels : {kRAW_KernelsAVX512, kRAW_KernelsAVX2, kRAW_KernelsBaseline}) {
                        RAW_LimitKernels(aKernels);
                        const Planes aOpt = ConvertIn(false, g, aBayer, aHeight, a, l);
                        RAW_LimitKernels(kRAW_KernelsAVX512);
                        ASSERT_TRUE(Same(aOpt, aRef))
                            << "CFA " << int(aLayout[0]) << int(aLayout[1]) << " bits " << aBits << " method "
                            << aMethod << " width " << aWidth << " kernels " << aKernels;
                    }
                }
}
