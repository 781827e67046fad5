// The user's white-balance gains: the measurement on the 10 x 10 block under the picked
// point, the preview-to-sensor mapping, and the fall-backs to the camera's gains.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "RunTestSupport.h"
#include "TestHost.h"
#include "pipeline/Pipeline.h"

using runtest::TempFile;
using testhost::Options;
using testhost::TestHost;

namespace {

constexpr size_t kStripAt = 16;

// The colour (0 R, 1 Gr, 2 Gb, 3 B) at a sensor position for the given CFA bytes.
int ColourAt(const uint8_t inCFA[4], int32_t r, int32_t c) {
    uint8_t v = inCFA[(r % 2) * 2 + (c % 2)];
    if (v == 0) return 0;
    if (v == 2) return 3;
    // A green shares its row with red or with blue.
    uint8_t other = inCFA[(r % 2) * 2 + 1 - (c % 2)];
    return other == 0 ? 1 : 2;
}

// A bare mosaic file (10 valid bits stored high, little-endian) in one strip at offset 16.
std::unique_ptr<TempFile> MosaicFile(const std::string &inName, int32_t inWidth, int32_t inRows,
                                     const runtest::SampleFn &inSample) {
    runtest::EkvSpec s;
    s.imageWidth = inWidth;
    s.validBits = 10;
    s.sample = inSample;
    std::vector<uint8_t> bytes(kStripAt, 0);
    std::vector<uint8_t> mosaic = runtest::StoredMosaic(s, inRows);
    bytes.insert(bytes.end(), mosaic.begin(), mosaic.end());
    return std::make_unique<TempFile>(inName, bytes);
}

Globals MakeGlobals(TestHost &ioHost, const TempFile &inFile, int32_t inWidth, int32_t inRows, int32_t inOutW,
                    int32_t inOutH, int16 inMethod, Point inPoint) {
    Globals g;
    std::memset(&g, 0, sizeof g);
    g.acquireParamBlock = ioHost.record();
    RAW_DefaultInfo(&g.info);
    RAW_Info &i = g.info;
    i.endian = 0x4949;
    i.image_width = inWidth;
    i.output_image_width = inOutW;
    i.output_image_height = inOutH;
    for (int k = 0; k < kRAW_MaxStrips; ++k) {
        i.strip_offsets[k] = 0;
        i.strip_byte_count[k] = 0;
    }
    i.strip_offsets[0] = static_cast<int32>(kStripAt);
    i.strip_byte_count[0] = inWidth * inRows * 2;
    i.wb_gain_gr = (256 << 16) | 96;   // 1.5
    i.wb_gain_gb = (128 << 16) | 160;  // 1.25
    g.file = inFile.fsSpec();
    g.method = inMethod;
    g.wb_point = inPoint;
    g.wb_r = -3.0;
    g.wb_b = -3.0;
    return g;
}

const uint8_t kRGGB[4] = {0, 1, 1, 2};

runtest::SampleFn ByColour(uint16_t inR, uint16_t inG, uint16_t inB, const uint8_t inCFA[4] = kRGGB) {
    uint8_t cfa[4];
    std::memcpy(cfa, inCFA, 4);
    return [=](int32_t r, int32_t c) {
        int colour = ColourAt(cfa, r, c);
        return colour == 0 ? inR : colour == 3 ? inB : inG;
    };
}

// Base image R = G = B = 500 with one 10 x 10 block whose red (or blue) is different.
runtest::SampleFn WithBlock(int32_t inRow, int32_t inColumn, uint16_t inRed, uint16_t inBlue,
                            runtest::SampleFn inBase = ByColour(500, 500, 500)) {
    return [=](int32_t r, int32_t c) {
        bool inside = r >= inRow && r < inRow + 10 && c >= inColumn && c < inColumn + 10;
        int colour = ColourAt(kRGGB, r, c);
        if (inside && colour == 0) return inRed;
        if (inside && colour == 3) return inBlue;
        return inBase(r, c);
    };
}

void SetBlack(Globals &g, int16 inBlack) {
    for (auto &ob : g.info.optical_black) ob = inBlack;
}

}  // namespace

TEST(WhiteBalanceGainMeasure, GreenOverRedAndBlueTotalsLessTheBlackLevel) {
    auto f = MosaicFile("wb_example.raw", 64, 40, ByColour(500, 1000, 800));
    TestHost host;
    for (int16 m : {int16(1), int16(2)}) {
        Globals g = MakeGlobals(host, *f, 64, 40, 48, 36, m, Point{7, 9});
        SetBlack(g, 100);
        DoWhiteBalanceGain(&g);
        EXPECT_EQ(g.wb_r, 2.25) << m;
        EXPECT_EQ(g.wb_b, (45000.0 * 0.5) / 17500.0) << m;
        EXPECT_NEAR(g.wb_b, 1.2857, 1e-4);
    }
    EXPECT_EQ(host.liveHandles(), 0u);
    EXPECT_TRUE(host.misuse().empty());
}

TEST(WhiteBalanceGainMeasure, ThePatternCodeDecidesWhichSampleIsWhichColour) {
    const uint8_t patterns[3][4] = {{1, 0, 2, 1}, {1, 2, 0, 1}, {2, 1, 1, 0}};
    TestHost host;
    for (const auto &cfa : patterns) {
        auto f = MosaicFile("wb_cfa.raw", 64, 40, ByColour(500, 1000, 800, cfa));
        Globals g = MakeGlobals(host, *f, 64, 40, 48, 36, 1, Point{0, 0});
        std::memcpy(g.info.cfa_pattern.value, cfa, 4);
        SetBlack(g, 100);
        DoWhiteBalanceGain(&g);
        EXPECT_EQ(g.wb_r, 2.25) << int(cfa[0]) << int(cfa[1]);
        EXPECT_EQ(g.wb_b, (45000.0 * 0.5) / 17500.0);
    }
}

TEST(WhiteBalanceGainMeasure, MethodZeroMeasuresWithoutBlackLevels) {
    auto f = MosaicFile("wb_m0.raw", 64, 40, ByColour(500, 1000, 800));
    TestHost host;
    Globals g = MakeGlobals(host, *f, 64, 40, 48, 36, 0, Point{3, 3});
    SetBlack(g, 100);
    DoWhiteBalanceGain(&g);
    EXPECT_EQ(g.wb_r, 2.0);
    EXPECT_EQ(g.wb_b, 1.25);
    Globals n = MakeGlobals(host, *f, 64, 40, 48, 36, 0, Point{-1, -1});
    DoWhiteBalanceGain(&n);
    EXPECT_EQ(n.wb_r, 1.0);
    EXPECT_EQ(n.wb_b, 1.0);
}

TEST(WhiteBalanceGainMapping, DefaultOutputCentresThePreviewOnTheImage) {
    // Red differs only in the block at row 120, column 160; blue only in the block at
    // row 1554, column 2074.
    auto base = WithBlock(120, 160, 250, 500);
    auto f = MosaicFile("wb_2240.raw", 2256, 1564, [=](int32_t r, int32_t c) {
        bool inBlue = r >= 1554 && r < 1564 && c >= 2074 && c < 2084 && ColourAt(kRGGB, r, c) == 3;
        return inBlue ? static_cast<uint16_t>(125) : base(r, c);
    });
    TestHost host;
    Globals g = MakeGlobals(host, *f, 2256, 1564, 2240, 1680, 1, Point{0, 0});
    DoWhiteBalanceGain(&g);
    EXPECT_EQ(g.wb_r, 2.0);
    EXPECT_EQ(g.wb_b, 1.0);
    Globals e = MakeGlobals(host, *f, 2256, 1564, 2240, 1680, 1, Point{239, 319});
    DoWhiteBalanceGain(&e);
    EXPECT_EQ(e.wb_r, 1.0);
    EXPECT_EQ(e.wb_b, 4.0);
    Globals off = MakeGlobals(host, *f, 2256, 1564, 2240, 1680, 1, Point{0, 1});  // 6 columns on
    DoWhiteBalanceGain(&off);
    EXPECT_GT(off.wb_r, 1.0);
    EXPECT_LT(off.wb_r, 2.0);
    EXPECT_EQ(host.liveHandles(), 0u);
}

TEST(WhiteBalanceGainMapping, HalfSizeOutputMapsOntoTheWholeImage) {
    auto f = MosaicFile("wb_1280.raw", 1296, 964, WithBlock(80, 40, 250, 500));
    TestHost host;
    Globals g = MakeGlobals(host, *f, 1296, 964, 1280, 960, 2, Point{20, 10});
    DoWhiteBalanceGain(&g);
    EXPECT_EQ(g.wb_r, 2.0);
    EXPECT_EQ(g.wb_b, 1.0);
    // The last preview row reaches two rows below the mosaic; those rows read as zeros,
    // so every colour loses the same five samples and the gains stay 1.
    Globals last = MakeGlobals(host, *f, 1296, 964, 1280, 960, 1, Point{239, 100});
    DoWhiteBalanceGain(&last);
    EXPECT_EQ(last.wb_r, 1.0);
    EXPECT_EQ(last.wb_b, 1.0);
    EXPECT_EQ(host.liveHandles(), 0u);
}

TEST(WhiteBalanceGainMapping, TheAreaStaysInsideTheSensorRow) {
    // Point h 319 maps to column 1276, whose block would pass the 1284-sample row.
    auto f = MosaicFile("wb_clamp.raw", 1284, 964, WithBlock(80, 1274, 250, 500));
    TestHost host;
    Globals g = MakeGlobals(host, *f, 1284, 964, 1280, 960, 1, Point{20, 319});
    DoWhiteBalanceGain(&g);
    EXPECT_EQ(g.wb_r, 2.0);
    EXPECT_EQ(g.wb_b, 1.0);
}

TEST(WhiteBalanceGainMapping, NarrowOutputMapsEveryColumnToTheMiddle) {
    auto f = MosaicFile("wb_600.raw", 616, 484, WithBlock(100, 300, 250, 500));
    TestHost host;
    for (int16 h : {int16(0), int16(160), int16(319)}) {
        Globals g = MakeGlobals(host, *f, 616, 484, 600, 480, 1, Point{50, h});
        DoWhiteBalanceGain(&g);
        EXPECT_EQ(g.wb_r, 2.0) << h;
    }
    Globals other = MakeGlobals(host, *f, 616, 484, 600, 480, 1, Point{60, 0});
    DoWhiteBalanceGain(&other);
    EXPECT_EQ(other.wb_r, 1.0);
}

TEST(WhiteBalanceGainFallback, NoPointGivesTheCameraGains) {
    auto f = MosaicFile("wb_nopoint.raw", 64, 40, ByColour(500, 1000, 800));
    TestHost host;
    for (Point p : {Point{-1, -1}, Point{-1, 5}, Point{5, -1}}) {
        Globals g = MakeGlobals(host, *f, 64, 40, 48, 36, 2, p);
        DoWhiteBalanceGain(&g);
        EXPECT_EQ(g.wb_r, 1.5);
        EXPECT_EQ(g.wb_b, 1.25);
    }
    EXPECT_EQ(host.allocations(), 0);
}

TEST(WhiteBalanceGainFallback, AnAreaAtOrBelowTheBlackLevelGivesTheCameraGains) {
    TestHost host;
    struct Case {
        uint16_t r, g, b;
        int16 black;
    } cases[] = {{100, 1000, 800, 100}, {50, 1000, 800, 100}, {500, 1000, 90, 100}, {500, 80, 800, 100}, {0, 0, 0, 0}};
    for (const Case &c : cases) {
        auto f = MosaicFile("wb_black.raw", 64, 40, ByColour(c.r, c.g, c.b));
        Globals g = MakeGlobals(host, *f, 64, 40, 48, 36, 1, Point{4, 4});
        SetBlack(g, c.black);
        DoWhiteBalanceGain(&g);
        EXPECT_EQ(g.wb_r, 1.5) << c.r << " " << c.g << " " << c.b;
        EXPECT_EQ(g.wb_b, 1.25) << c.r << " " << c.g << " " << c.b;
    }
    EXPECT_EQ(host.liveHandles(), 0u);
}

TEST(WhiteBalanceGainFallback, AFailedStripReadGivesTheCameraGains) {
    auto f = MosaicFile("wb_fail.raw", 64, 40, ByColour(500, 1000, 800));
    TestHost host(Options{1});
    Globals g = MakeGlobals(host, *f, 64, 40, 48, 36, 1, Point{4, 4});
    DoWhiteBalanceGain(&g);
    EXPECT_EQ(g.wb_r, 1.5);
    EXPECT_EQ(g.wb_b, 1.25);
    EXPECT_EQ(host.liveHandles(), 0u);
    EXPECT_TRUE(host.misuse().empty());

    // A file that is gone reads as nothing: no division by a zero total.
    auto gone = std::make_unique<TempFile>("wb_gone.raw", std::vector<uint8_t>{1, 2, 3});
    TestHost host2;
    Globals h = MakeGlobals(host2, *gone, 64, 40, 48, 36, 1, Point{4, 4});
    gone.reset();
    DoWhiteBalanceGain(&h);
    EXPECT_EQ(h.wb_r, 1.5);
    EXPECT_EQ(h.wb_b, 1.25);
    EXPECT_EQ(host2.liveHandles(), 0u);
}
