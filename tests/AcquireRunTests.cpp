// The import run through ENTRYPOINT: band bookkeeping and delivery, the document the host
// is told about, cancel and refusal paths, allocation failures, and the selector edge cases.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "RunTestSupport.h"
#include "TestHost.h"
#include "pipeline/Pipeline.h"
#include "plugin/BandWorkers.h"
#include "plugin/PlugInGlobals.h"
#include "resources/Strings.h"

#if !defined(_WIN32)
#include "host/NativeMediaControl.h"
#endif

using runtest::Document;
using runtest::EkvSpec;
using runtest::TempFile;
using testhost::Options;
using testhost::TestHost;

namespace {

constexpr Point kNoPoint{-1, -1};

// The document the run must deliver, composed band by band with DoConvert itself: this
// checks which sensor rows each band gets, where its rows land and the 8-bit narrowing.
Document ReferenceDocument(TestHost &ioHost, const EkvSpec &inSpec, const Globals &inGlobals) {
    Globals g = inGlobals;
    g.acquireParamBlock = ioHost.record();
    const int32_t W = g.info.output_image_width, H = g.info.output_image_height;
    Document d;
    d.width = W;
    d.height = H;
    d.planes.assign(3, std::vector<uint16_t>(static_cast<size_t>(W) * H, 0xFFFF));
    HandleProcs *hp = ioHost.record()->handleProcs;
    Handle luts[kLUTCount];
    uint16 *lutPtr[kLUTCount];
    for (int i = 0; i < kLUTCount; ++i) {
        luts[i] = RAW_GetLUT(ioHost.record(), static_cast<int16>(i - 1), hDLLInstance);
        lutPtr[i] = reinterpret_cast<uint16 *>(hp->lockProc(luts[i], false));
    }
    const uint32_t band = g.band;
    const int shift = 16 - inSpec.validBits - inSpec.bitOffset;
    uint32_t line = 0;
    do {
        std::vector<uint16_t> bayer(static_cast<size_t>(inSpec.imageWidth) * band, 0);
        for (uint32_t r = 0; r < band; ++r)
            for (int32_t c = 0; c < inSpec.imageWidth; ++c) {
                int32_t row = static_cast<int32_t>(line + r);
                uint16_t s = row < inSpec.imageLength ? inSpec.sample(row, c) : 0;
                bayer[r * inSpec.imageWidth + c] = inSpec.validBits > 8 ? static_cast<uint16_t>(s << shift) : s;
            }
        Rect area{0, 0, static_cast<int16>(band - 4), static_cast<int16>(W)};
        std::vector<uint16_t> out[3];
        for (auto &o : out) o.assign(static_cast<size_t>(W) * band, 0);
        EXPECT_TRUE(DoConvert(&g, static_cast<uint16>(inSpec.imageWidth), static_cast<uint16>(band), bayer.data(),
                              &area, lutPtr, out[0].data(), out[1].data(), out[2].data()));
        for (int p = 0; p < 3; ++p)
            for (uint32_t y = 0; y < band - 4 && line + y < static_cast<uint32_t>(H); ++y)
                for (int32_t x = 0; x < W; ++x) {
                    uint16_t v = out[p][y * W + x];
                    d.planes[p][(line + y) * W + x] = inSpec.validBits > 8 ? v : static_cast<uint16_t>(v & 0xFF);
                }
        line += band - 4;
    } while (line + band - 4 <= static_cast<uint32_t>(H));
    for (int i = 0; i < kLUTCount; ++i) {
        hp->unlockProc(luts[i]);
        hp->disposeProc(luts[i]);
    }
    return d;
}

// A run set up without the dialogs, then Continue to the end.
Document RunDirect(TestHost &ioHost, const TempFile &inFile, int16 inMethod, Point inPoint) {
    runtest::SetUpRunDirectly(ioHost, inFile, inMethod, inPoint);
    Globals g = *ioHost.globals();
    return runtest::RunContinues(ioHost, g.info.output_image_width, g.info.output_image_height);
}

void ExpectBands(const Document &inDoc, int inBands, int inRowsPerBand, int32_t inWidth) {
    ASSERT_EQ(inDoc.rects.size(), static_cast<size_t>(3 * inBands));
    for (int k = 0; k < inBands; ++k)
        for (int p = 0; p < 3; ++p) {
            const Rect &r = inDoc.rects[3 * k + p];
            EXPECT_EQ(r.top, k * inRowsPerBand) << "band " << k;
            EXPECT_EQ(r.bottom, (k + 1) * inRowsPerBand) << "band " << k;
            EXPECT_EQ(r.left, 0);
            EXPECT_EQ(r.right, inWidth);
            EXPECT_EQ(inDoc.planeOrder[3 * k + p], p);
        }
}

}  // namespace

// ---- Band delivery (runs in every build: the run is set up without the dialogs) ----

TEST(AcquireRunDelivery, TallImageIsDeliveredInWholeBandsOnly) {
    EkvSpec s;
    s.outputWidth = 48;
    s.outputHeight = 480;
    s.imageLength = 484;
    TempFile f("tall.ekv", runtest::BuildEkv(s));
    TestHost host;
    Document d = RunDirect(host, f, 0, kNoPoint);
    EXPECT_TRUE(d.ended);
    EXPECT_EQ(d.continues, 3 * 18 + 1);
    ExpectBands(d, 18, 26, 48);
    EXPECT_FALSE(d.badCall);
    EXPECT_EQ(d.colBytes, 2);
    AcquireRecord *r = host.record();
    EXPECT_EQ(r->theRect.top, 0);
    EXPECT_EQ(r->theRect.bottom, 0);
    EXPECT_EQ(r->theRect.right, 0);
    EXPECT_EQ(r->data, nullptr);
    EXPECT_TRUE(r->canFinalize);

    Document ref = ReferenceDocument(host, s, *host.globals());
    for (int p = 0; p < 3; ++p) {
        EXPECT_EQ(d.planes[p], ref.planes[p]) << "plane " << p;
        // Rows 468 and below are never delivered.
        EXPECT_EQ(d.planes[p][468 * 48], 0xFFFF);
        EXPECT_NE(d.planes[p][467 * 48], 0xFFFF);
    }
    EXPECT_EQ(host.liveBuffers(), 0u);
    EXPECT_EQ(host.liveHandles(), 1u);  // the globals
    EXPECT_TRUE(host.misuse().empty());
}

TEST(AcquireRunDelivery, EightBitDocumentNarrowsAndUsesOneBytePerSample) {
    EkvSpec s;
    s.validBits = 8;
    s.outputHeight = 60;
    s.imageLength = 64;
    s.sample = [](int32_t r, int32_t c) { return static_cast<uint16_t>((r * 13 + c * 7) % 256); };
    TempFile f("eight.ekv", runtest::BuildEkv(s));
    TestHost host;
    Document d = RunDirect(host, f, 2, kNoPoint);
    EXPECT_TRUE(d.ended);
    EXPECT_EQ(d.colBytes, 1);
    EXPECT_FALSE(d.badCall);  // rowBytes equals the width
    ExpectBands(d, 2, 26, 48);
    Document ref = ReferenceDocument(host, s, *host.globals());
    for (int p = 0; p < 3; ++p) EXPECT_EQ(d.planes[p], ref.planes[p]) << "plane " << p;
    EXPECT_EQ(host.liveBuffers(), 0u);
    EXPECT_TRUE(host.misuse().empty());
}

TEST(AcquireRunDelivery, FirstBandIsDeliveredWhenTheImageIsShorterThanABand) {
    EkvSpec s;
    s.outputHeight = 10;
    s.imageLength = 40;
    TempFile f("short.ekv", runtest::BuildEkv(s));
    TestHost host;
    Document d = RunDirect(host, f, 1, kNoPoint);
    EXPECT_TRUE(d.ended);
    EXPECT_EQ(d.continues, 4);
    ExpectBands(d, 1, 26, 48);
    EXPECT_EQ(host.liveBuffers(), 0u);
}

TEST(AcquireRunDelivery, TheRunEndsWhenTheNextBandWouldPassTheOutputHeight) {
    for (int32_t height : {51, 52, 77, 78}) {
        EkvSpec s;
        s.outputHeight = height;
        s.imageLength = 84;
        TempFile f("edge" + std::to_string(height) + ".ekv", runtest::BuildEkv(s));
        TestHost host;
        Document d = RunDirect(host, f, 0, kNoPoint);
        int bands = height / 26;
        EXPECT_TRUE(d.ended) << height;
        EXPECT_EQ(d.continues, 3 * bands + 1) << height;
        ExpectBands(d, bands, 26, 48);
    }
}

TEST(AcquireRunDelivery, DefaultGeometryTakes280BandsOf6Rows) {
    EkvSpec s;
    s.imageWidth = 2256;
    s.imageLength = 1684;
    s.outputWidth = 2240;
    s.outputHeight = 1680;
    TempFile f("default.ekv", runtest::BuildEkv(s));
    TestHost host;
    Document d = RunDirect(host, f, 2, kNoPoint);
    EXPECT_TRUE(d.ended);
    EXPECT_EQ(d.continues, 841);
    EXPECT_EQ(host.globals()->band, 10u);
    ExpectBands(d, 280, 6, 2240);
    EXPECT_EQ(host.liveBuffers(), 0u);
    EXPECT_EQ(host.liveHandles(), 1u);
    EXPECT_TRUE(host.misuse().empty());
}

TEST(AcquireRunDelivery, MethodZeroSkipsTheWhiteBalanceMeasurementAndMethodOneRunsIt) {
    EkvSpec s;
    s.outputHeight = 20;
    s.gainR[0] = 256;  // camera red gain 256 * 96 / 16384 = 1.5
    s.gainR[1] = 96;
    TempFile f("wbskip.ekv", runtest::BuildEkv(s));
    TestHost host;
    host.call(acquireSelectorFinalize);
    runtest::EditGlobals(host, [](Globals &g) {
        g.wb_r = 7.0;
        g.wb_b = 9.0;
    });
    RunDirect(host, f, 0, Point{10, 10});
    EXPECT_EQ(host.globals()->wb_r, 7.0);
    EXPECT_EQ(host.globals()->wb_b, 9.0);
    RunDirect(host, f, 1, kNoPoint);
    EXPECT_EQ(host.globals()->wb_r, 1.5);
    EXPECT_EQ(host.globals()->wb_b, 1.0);
}

TEST(AcquireRunDelivery, ContinueAfterTheEndReleasesNothingTwiceAndIsRefused) {
    EkvSpec s;
    s.outputHeight = 20;
    TempFile f("after.ekv", runtest::BuildEkv(s));
    TestHost host;
    RunDirect(host, f, 0, kNoPoint);
    host.record()->data = reinterpret_cast<void *>(0x1);
    EXPECT_EQ(host.call(acquireSelectorContinue), kResultBadParameters);
    EXPECT_EQ(host.record()->data, nullptr);
    EXPECT_EQ(host.call(acquireSelectorContinue), kResultBadParameters);
    EXPECT_TRUE(host.misuse().empty());
    EXPECT_EQ(host.liveBuffers(), 0u);
    EXPECT_EQ(host.liveHandles(), 1u);
}

TEST(AcquireRunDelivery, ContinueWithoutAStartedRunIsRefused) {
    TestHost host;
    host.record()->data = reinterpret_cast<void *>(0x1);
    EXPECT_EQ(host.call(acquireSelectorContinue), kResultBadParameters);
    EXPECT_EQ(host.record()->data, nullptr);
    EXPECT_EQ(host.liveBuffers(), 0u);
    EXPECT_EQ(host.liveHandles(), 1u);
}

TEST(AcquireRunDelivery, FinishReleasesWhatAHostThatStoppedEarlyLeft) {
    EkvSpec s;
    s.outputHeight = 200;
    s.imageLength = 204;
    TempFile f("early.ekv", runtest::BuildEkv(s));
    TestHost host;
    // What one thread holds (workers hold more: see BandWorkerTests): the three 8-bit
    // delivery planes, the workers' record and its one lane (three planes and the toned
    // mosaic); the globals, the tables and the lane's sensor rows.
    RAW_SetBandThreads(1);
    runtest::SetUpRunDirectly(host, f, 0, kNoPoint);
    for (int i = 0; i < 4; ++i) ASSERT_EQ(host.call(acquireSelectorContinue), 0);
    EXPECT_EQ(host.liveBuffers(), 8u);
    EXPECT_EQ(host.liveHandles(), 2u + kLUTCount);
    EXPECT_EQ(host.call(acquireSelectorFinish), 0);
    RAW_SetBandThreads(0);
    EXPECT_EQ(host.liveBuffers(), 0u);
    EXPECT_EQ(host.liveHandles(), 1u);
    EXPECT_EQ(host.call(acquireSelectorFinish), 0);
    host.record()->data = reinterpret_cast<void *>(0x1);
    EXPECT_EQ(host.call(acquireSelectorContinue), kResultBadParameters);
    EXPECT_EQ(host.record()->data, nullptr);
    EXPECT_TRUE(host.misuse().empty());
}

TEST(AcquireRunDelivery, AFailedBufferOrStripEndsTheRunWithOutOfMemoryOrFallsBackAndNothingHeld) {
    EkvSpec s;
    s.outputHeight = 60;
    s.imageLength = 64;
    TempFile f("failrun.ekv", runtest::BuildEkv(s));
    // One thread: a failure while its lane is set up leaves the run band by band on the
    // host's thread, to the same document; any other ends it.
    RAW_SetBandThreads(1);
    // Count the allocations of a whole run first.
    int before = 0, total = 0;
    Document aWhole;
    {
        TestHost host;
        runtest::SetUpRunDirectly(host, f, 2, kNoPoint);
        before = host.allocations();
        aWhole = runtest::RunContinues(host, 48, 60);
        ASSERT_TRUE(aWhole.ended);
        total = host.allocations();
    }
    const runtest::SweepCounts aCounts = runtest::SweepAllocationFailures(f, before, total, aWhole);
    EXPECT_GT(aCounts.fellBack, 0);
    EXPECT_GT(aCounts.failed, 5);
    RAW_SetBandThreads(0);
}

TEST(AcquireRunDelivery, BufferLocksThatFailEndTheRunWithoutLeaks) {
    EkvSpec s;
    s.outputHeight = 20;
    TempFile f("lockfail.ekv", runtest::BuildEkv(s));
    Options o;
    o.failBufferLocks = true;
    TestHost host(o);
    runtest::SetUpRunDirectly(host, f, 0, kNoPoint);
    Document d = runtest::RunContinues(host, 48, 20);
    EXPECT_EQ(d.lastResult, kResultMemFull);
    EXPECT_TRUE(d.rects.empty());
    EXPECT_EQ(host.liveBuffers(), 0u);
    EXPECT_EQ(host.liveHandles(), 1u);
    EXPECT_TRUE(host.misuse().empty());
}

// ---- Selector edge cases that need no dialog ----

TEST(AcquireRunSelectors, AboutBeforeAnyCallCreatesNoGlobals) {
    TestHost host;
    EXPECT_EQ(host.callAbout(), 0);
    EXPECT_EQ(host.dataWord(), 0);
    EXPECT_EQ(host.liveHandles(), 0u);
}

TEST(AcquireRunSelectors, UnknownSelectorsAreRefusedWithTheGlobalsKept) {
    TestHost host;
    for (int16 sel : {int16(6), int16(100), int16(-1)}) {
        EXPECT_EQ(host.call(sel), kResultBadParameters) << sel;
        EXPECT_NE(host.dataWord(), 0) << sel;
    }
    EXPECT_EQ(host.liveHandles(), 1u);
}

TEST(AcquireRunSelectors, FinishChangesNothingButTheCallFields) {
    EkvSpec s;
    s.outputHeight = 20;
    TempFile f("finish.ekv", runtest::BuildEkv(s));
    TestHost host;
    RunDirect(host, f, 1, Point{3, 4});
    Globals before = *host.globals();
    EXPECT_EQ(host.call(acquireSelectorFinish), 0);
    Globals after = *host.globals();
    after.result = before.result;
    after.acquireParamBlock = before.acquireParamBlock;
    after.platform = before.platform;
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
}

TEST(AcquireRunSelectors, InitialisationSetsEveryFieldOfTheTable) {
    Globals g;
    std::memset(&g, 0xA5, sizeof g);
    int16 aResult = 0x7777;
    g.result = &aResult;
    DoInitGlobals(&g);
    RAW_Info aDefaults;
    std::memset(&aDefaults, 0xA5, sizeof aDefaults);
    RAW_DefaultInfo(&aDefaults);
    EXPECT_EQ(aResult, 0);
    EXPECT_EQ(g.thumbnail, nullptr);
    EXPECT_EQ(g.method, 0);
    EXPECT_EQ(g.loop, 0);
    EXPECT_EQ(g.wb_point.v, -1);
    EXPECT_EQ(g.wb_point.h, -1);
    EXPECT_EQ(g.wb_r, 0.0);
    EXPECT_EQ(g.wb_b, 0.0);
    EXPECT_EQ(g.file.vRefNum, 0);
    EXPECT_EQ(g.file.name[0], 0);
    EXPECT_EQ(g.line, 0u);
    EXPECT_EQ(g.band, 20u);
    for (Handle h : g.lut) EXPECT_EQ(h, nullptr);
    for (int i = 0; i < kPlaneCount; ++i) {
        EXPECT_EQ(g.layer_ptr[i], nullptr);
        EXPECT_EQ(g.layer_id[i], nullptr);
        EXPECT_EQ(g.small_layer_ptr[i], nullptr);
        EXPECT_EQ(g.small_layer_id[i], nullptr);
    }
    EXPECT_EQ(std::memcmp(&g.info, &aDefaults, sizeof aDefaults), 0);
    EXPECT_EQ(g.item, 0);
}

TEST(AcquireRunSelectors, APresetDataWordIsUsedWithoutInitialisation) {
    TestHost host;
    HandleProcs *hp = host.record()->handleProcs;
    Handle h = hp->newProc(static_cast<int32>(sizeof(Globals)));
    Globals *g = reinterpret_cast<Globals *>(hp->lockProc(h, false));
    std::memset(g, 0, sizeof(Globals));
    g->wb_r = 5.5;
    g->band = 77;
    g->wb_point = Point{12, 34};
    hp->unlockProc(h);
    host.dataWord() = reinterpret_cast<intptr_t>(h);
    EXPECT_EQ(host.call(acquireSelectorFinalize), 0);
    Globals seen = *host.globals();
    EXPECT_EQ(seen.wb_r, 5.5);
    EXPECT_EQ(seen.band, 77u);
    EXPECT_EQ(seen.wb_point.v, -1);
    EXPECT_EQ(seen.wb_point.h, -1);
    EXPECT_EQ(host.dataWord(), reinterpret_cast<intptr_t>(h));
}

// ---- The whole import with the dialogs (native build: answered through the UI seam) ----
#if !defined(_WIN32)

namespace {

struct ImportOutcome {
    int16 prepare = 0, start = 0, finish = 0, finalize = 0;
    Document doc;
};

ImportOutcome Import(TestHost &ioHost, int32_t inWidth, int32_t inHeight) {
    ImportOutcome o;
    o.prepare = ioHost.call(acquireSelectorPrepare);
    if (o.prepare >= 0) {
        o.start = ioHost.call(acquireSelectorStart);
        if (o.start >= 0) o.doc = runtest::RunContinues(ioHost, inWidth, inHeight);
    }
    o.finish = ioHost.call(acquireSelectorFinish);
    o.finalize = ioHost.call(acquireSelectorFinalize);
    return o;
}

}  // namespace

TEST(AcquireRunImport, BandHeightFollowsTheOutputWidth) {
    const int32_t widths[] = {999, 1000, 1999, 2000, 2999, 3000};
    const uint32_t bands[] = {30, 16, 16, 10, 10, 6};
    for (int i = 0; i < 6; ++i) {
        EkvSpec s;
        s.outputWidth = widths[i];
        s.imageWidth = widths[i] + 4;
        s.outputHeight = 8;
        s.imageLength = 4;
        TempFile f("width" + std::to_string(widths[i]) + ".ekv", runtest::BuildEkv(s));
        TestHost host;
        host.answers.file = f.path();
        ASSERT_EQ(host.call(acquireSelectorPrepare), 0);
        ASSERT_EQ(host.call(acquireSelectorStart), 0);
        EXPECT_EQ(host.globals()->band, bands[i]) << widths[i];
        EXPECT_EQ(host.record()->imageSize.h, widths[i]);
    }
}

TEST(AcquireRunImport, StartDescribesTheDocument) {
    for (int16 vb : {int16(10), int16(8)}) {
        EkvSpec s;
        s.validBits = vb;
        s.sample = [](int32_t r, int32_t c) { return static_cast<uint16_t>((r + c) % 200); };
        TempFile f("describe" + std::to_string(vb) + ".ekv", runtest::BuildEkv(s));
        TestHost host;
        AcquireRecord *r = host.record();
        r->dirty = r->canReadBack = r->wantReadBack = r->acquireAgain = r->canFinalize = true;
        r->tileWidth = r->tileHeight = 5;
        r->tileOrigin = Point{7, 9};
        r->isFirstAlphaTransparency = true;
        r->iCCprofileData = reinterpret_cast<Handle>(r);
        r->pushDataSource = reinterpret_cast<char *>(r);
        r->lutCount = r->iCCprofileSize = r->canUseICCProfiles = 3;
        r->data = r;
        host.answers.file = f.path();
        host.answers.method = 1;
        ASSERT_EQ(host.call(acquireSelectorPrepare), 0);
        EXPECT_EQ(r->maxData, 0);
        EXPECT_TRUE(r->wantFinalize);
        ASSERT_EQ(host.call(acquireSelectorStart), 0);
        EXPECT_EQ(r->imageMode, vb > 8 ? 11 : 3);
        EXPECT_EQ(r->depth, vb > 8 ? 16 : 8);
        EXPECT_EQ(r->planes, 3);
        EXPECT_EQ(r->imageSize.h, 48);
        EXPECT_EQ(r->imageSize.v, 36);
        EXPECT_EQ(r->imageHRes, 0x480000);
        EXPECT_EQ(r->imageVRes, 0x480000);
        EXPECT_EQ(r->maxValue, 65535);
        EXPECT_FALSE(r->dirty || r->canReadBack || r->wantReadBack || r->acquireAgain || r->canFinalize);
        EXPECT_TRUE(r->wantFinalize);
        EXPECT_EQ(r->data, nullptr);
        EXPECT_EQ(r->tileWidth, 0);
        EXPECT_EQ(r->tileHeight, 0);
        EXPECT_EQ(r->tileOrigin.v, 0);
        EXPECT_EQ(r->tileOrigin.h, 0);
        EXPECT_FALSE(r->isFirstAlphaTransparency);
        EXPECT_EQ(r->iCCprofileData, nullptr);
        EXPECT_EQ(r->pushDataSource, nullptr);
        EXPECT_EQ(r->lutCount, 0);
        EXPECT_EQ(r->iCCprofileSize, 0);
        EXPECT_EQ(r->canUseICCProfiles, 0);
        Globals g = *host.globals();
        EXPECT_EQ(g.method, 1);
        EXPECT_EQ(g.loop, 0);
        EXPECT_EQ(g.line, 0u);
        EXPECT_EQ(g.thumbnail, nullptr);
        EXPECT_EQ(g.dialog, 0);
        EXPECT_EQ(host.thumbnailsOffered, 1);
        EXPECT_EQ(host.liveHandles(), 1u);
    }
}

TEST(AcquireRunImport, WholeImportDeliversTheReferenceDocument) {
    EkvSpec s;
    s.outputHeight = 60;
    s.imageLength = 64;
    s.opticalBlack[0] = 10;
    s.gainR[0] = 256;
    s.gainR[1] = 96;
    TempFile f("whole.ekv", runtest::BuildEkv(s));
    TestHost host;
    host.answers.file = f.path();
    host.answers.method = 1;
    host.answers.wbPoint = Point{100, 150};
    ImportOutcome o = Import(host, 48, 60);
    EXPECT_EQ(o.prepare, 0);
    EXPECT_EQ(o.start, 0);
    EXPECT_TRUE(o.doc.ended);
    EXPECT_EQ(o.doc.continues, 3 * 2 + 1);
    Globals g = *host.globals();
    EXPECT_EQ(g.wb_point.v, -1);  // Finalize forgot the point
    g.wb_point = Point{100, 150};
    Document ref = ReferenceDocument(host, s, g);
    for (int p = 0; p < 3; ++p) EXPECT_EQ(o.doc.planes[p], ref.planes[p]);
    EXPECT_EQ(host.liveBuffers(), 0u);
    EXPECT_EQ(host.liveHandles(), 1u);
    EXPECT_TRUE(host.misuse().empty());
}

// Prepare resets the raw record before reading a header: what a file does not say is the
// default, not what the previous file said.
TEST(AcquireRunImport, PrepareForgetsThePreviousFilesHeader) {
    EkvSpec a;
    a.toneMode = 2;
    a.enhancer = 384;
    a.opticalBlack[0] = 10;
    a.gainR[1] = 96;
    EkvSpec b;
    b.withMakerNote = false;
    TempFile fa("reset-a.ekv", runtest::BuildEkv(a)), fb("reset-b.ekv", runtest::BuildEkv(b));
    TestHost fresh;
    fresh.answers.file = fb.path();
    fresh.call(acquireSelectorPrepare);
    const RAW_Info expected = fresh.globals()->info;

    TestHost host;
    host.answers.file = fa.path();
    ASSERT_EQ(host.call(acquireSelectorPrepare), 0);
    EXPECT_NE(std::memcmp(&host.globals()->info, &expected, sizeof expected), 0);
    host.answers.file = fb.path();
    host.call(acquireSelectorPrepare);
    RAW_Info seen = host.globals()->info;
    EXPECT_EQ(std::memcmp(&seen, &expected, sizeof expected), 0);
    EXPECT_EQ(seen.tone_mode, expected.tone_mode);
}

// A layer that is there but whose decoder cannot start: Start shows the layer's notice,
// opens no dialog and ends as cancelled; a decoder that started is stopped with the dialog.
TEST(AcquireRunImport, ADecoderThatCannotStartEndsStartWithTheNotice) {
    EkvSpec s;
    TempFile f("decoder.ekv", runtest::BuildEkv(s));
    TestHost host;
    host.answers.file = f.path();
    ASSERT_EQ(host.call(acquireSelectorPrepare), 0);
    NativeMediaLayer_SetDecoderStartFails(true);
    EXPECT_EQ(host.call(acquireSelectorStart), kResultUserCanceled);
    NativeMediaLayer_SetDecoderStartFails(false);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].first, STR_NO_QUICKTIME);
    EXPECT_EQ(host.thumbnailsOffered, 0);
    EXPECT_EQ(host.globals()->thumbnail, nullptr);
    EXPECT_EQ(host.liveHandles(), 1u);

    ASSERT_EQ(host.call(acquireSelectorPrepare), 0);
    ASSERT_EQ(host.call(acquireSelectorStart), 0);
    EXPECT_EQ(host.thumbnailsOffered, 1);
    EXPECT_FALSE(NativeMediaLayer_DecoderRunning());
}

// A host may run a second import while the first one's conversion dialog is up (the
// Windows dialog's loop dispatches the host's messages). The second import's Start and
// Finalize leave the decoder that the first dialog started; the first import completes.
TEST(AcquireRunImport, AnImportNestedInTheDialogLeavesTheFirstDialogsDecoder) {
    EkvSpec s;
    TempFile f("nested.ekv", runtest::BuildEkv(s));
    TestHost host;
    host.answers.file = f.path();
    bool innerEnded = false;
    bool runningAfterInner = false;
    host.answers.whileDialogOpen = [&] {
        TestHost inner;
        inner.answers.file = f.path();
        ASSERT_EQ(inner.call(acquireSelectorPrepare), 0);
        ASSERT_EQ(inner.call(acquireSelectorStart), 0);
        innerEnded = runtest::RunContinues(inner, inner.record()->imageSize.h, inner.record()->imageSize.v).ended;
        EXPECT_EQ(inner.call(acquireSelectorFinish), 0);
        EXPECT_EQ(inner.call(acquireSelectorFinalize), 0);
        runningAfterInner = NativeMediaLayer_DecoderRunning();
    };
    ASSERT_EQ(host.call(acquireSelectorPrepare), 0);
    ASSERT_EQ(host.call(acquireSelectorStart), 0);
    EXPECT_TRUE(innerEnded);
    EXPECT_TRUE(runningAfterInner) << "the nested import stopped the first dialog's decoder";
    EXPECT_FALSE(NativeMediaLayer_DecoderRunning());
    runtest::Document d = runtest::RunContinues(host, host.record()->imageSize.h, host.record()->imageSize.v);
    EXPECT_TRUE(d.ended);
    EXPECT_EQ(host.call(acquireSelectorFinish), 0);
    EXPECT_EQ(host.call(acquireSelectorFinalize), 0);
}

TEST(AcquireRunImport, CancelInTheFileDialogEndsQuietly) {
    TestHost host;
    host.answers.file.reset();
    EXPECT_EQ(host.call(acquireSelectorPrepare), kResultUserCanceled);
    EXPECT_EQ(host.record()->maxData, 0);
    EXPECT_TRUE(host.record()->wantFinalize);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.liveHandles(), 1u);
    EXPECT_EQ(host.liveBuffers(), 0u);
}

TEST(AcquireRunImport, CancelInTheConversionDialogDisposesTheThumbnail) {
    EkvSpec s;
    TempFile f("cancel.ekv", runtest::BuildEkv(s));
    TestHost host;
    host.answers.file = f.path();
    host.answers.convert = false;
    ASSERT_EQ(host.call(acquireSelectorPrepare), 0);
    EXPECT_NE(host.globals()->thumbnail, nullptr);
    EXPECT_EQ(host.liveHandles(), 2u);
    EXPECT_EQ(host.call(acquireSelectorStart), kResultUserCanceled);
    EXPECT_EQ(host.thumbnailsOffered, 1);
    EXPECT_EQ(host.globals()->thumbnail, nullptr);
    EXPECT_EQ(host.globals()->dialog, 0);
    EXPECT_EQ(host.liveHandles(), 1u);
    host.record()->data = reinterpret_cast<void *>(0x1);
    EXPECT_EQ(host.call(acquireSelectorContinue), kResultBadParameters);
    EXPECT_EQ(host.liveBuffers(), 0u);
    EXPECT_TRUE(host.misuse().empty());
}

TEST(AcquireRunImport, AFileThatIsNotEKVIsRefusedWithTheMessage) {
    std::vector<uint8_t> tiff = {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0};
    TempFile f("plain.tif", tiff);
    TestHost host;
    host.answers.file = f.path();
    EXPECT_EQ(host.call(acquireSelectorPrepare), kResultUserCanceled);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].first, "Not an EKV File.");
    EXPECT_EQ(host.messages[0].second, "Karvex RAW File");
    EXPECT_EQ(host.liveHandles(), 1u);
}

TEST(AcquireRunImport, ADamagedHeaderIsRefusedAndNothingStaysAllocated) {
    EkvSpec s;
    s.outputWidth = 62;  // wider than the mosaic allows (64 - 3)
    TempFile f("damaged.ekv", runtest::BuildEkv(s));
    TestHost host;
    host.answers.file = f.path();
    EXPECT_EQ(host.call(acquireSelectorPrepare), kResultUserCanceled);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].first, STR_DAMAGED_EKV);
    EXPECT_EQ(host.messages[0].second, "Karvex RAW File");
    EXPECT_EQ(host.globals()->thumbnail, nullptr);
    EXPECT_EQ(host.liveHandles(), 1u);
    EXPECT_EQ(host.liveBuffers(), 0u);
    EXPECT_EQ(host.record()->maxData, 0);
    EXPECT_TRUE(host.record()->wantFinalize);
}

TEST(AcquireRunImport, AnAllocationFailureAnywhereEndsCleanlyOrChangesNothing) {
    EkvSpec s;
    s.outputHeight = 60;
    s.imageLength = 64;
    s.gainR[0] = 256;
    s.gainR[1] = 96;
    TempFile f("allocs.ekv", runtest::BuildEkv(s));
    // The document with the measured gains, and with the camera's: a measurement whose
    // strip cannot be read falls back to the camera's gains.
    Document ref, refCamera;
    int total = 0;
    for (Point pt : {Point{5, 6}, Point{-1, -1}}) {
        TestHost host;
        host.answers.file = f.path();
        host.answers.method = 2;
        host.answers.wbPoint = pt;
        ImportOutcome o = Import(host, 48, 60);
        ASSERT_TRUE(o.doc.ended);
        (pt.v == -1 ? refCamera : ref) = o.doc;
        if (pt.v != -1) total = host.allocations();
    }
    ASSERT_NE(ref.planes, refCamera.planes);
    ASSERT_GT(total, 15);
    int fallbacks = 0;
    for (int k = 1; k <= total + 1; ++k) {
        TestHost host(Options{k});
        host.answers.file = f.path();
        host.answers.method = 2;
        host.answers.wbPoint = Point{5, 6};
        ImportOutcome o = Import(host, 48, 60);
        bool failed = o.prepare < 0 || o.start < 0 || o.doc.lastResult < 0;
        if (!failed) {
            EXPECT_TRUE(o.doc.ended) << "k " << k;
            if (o.doc.planes == refCamera.planes)
                ++fallbacks;
            else
                EXPECT_EQ(o.doc.planes, ref.planes) << "k " << k;
        }
        EXPECT_EQ(host.liveBuffers(), 0u) << "k " << k;
        EXPECT_LE(host.liveHandles(), 1u) << "k " << k;
        EXPECT_TRUE(host.misuse().empty()) << "k " << k << ": " << host.misuse().front();
    }
    EXPECT_EQ(fallbacks, 1);  // only the measurement's own strip
}

TEST(AcquireRunImport, TwoImportsInARowCarryTheGainsButNotThePoint) {
    EkvSpec s;
    s.outputHeight = 30;
    s.sample = [](int32_t r, int32_t c) {
        int colour = (r % 2) * 2 + (c % 2);  // R, Gr, Gb, B
        return static_cast<uint16_t>(colour == 0 ? 250 : colour == 3 ? 400 : 500);
    };
    TempFile f("twice.ekv", runtest::BuildEkv(s));
    TestHost host;
    host.answers.file = f.path();
    host.answers.method = 1;
    host.answers.wbPoint = Point{1, 1};
    ImportOutcome first = Import(host, 48, 30);
    ASSERT_TRUE(first.doc.ended);
    Globals g1 = *host.globals();
    EXPECT_DOUBLE_EQ(g1.wb_r, 2.0);
    EXPECT_DOUBLE_EQ(g1.wb_b, 1.25);
    EXPECT_EQ(g1.wb_point.h, -1);
    EXPECT_EQ(g1.wb_point.v, -1);
    EXPECT_EQ(g1.loop, -1);

    host.answers.method = 0;
    host.answers.wbPoint = Point{-1, -1};
    ASSERT_EQ(host.call(acquireSelectorPrepare), 0);
    Globals g2 = *host.globals();
    EXPECT_EQ(g2.wb_r, 2.0);  // not initialised again
    EXPECT_EQ(g2.wb_b, 1.25);
    ASSERT_EQ(host.call(acquireSelectorStart), 0);
    EXPECT_EQ(host.globals()->method, 0);
    Document second = runtest::RunContinues(host, 48, 30);
    EXPECT_TRUE(second.ended);
    EXPECT_EQ(second.continues, 4);
    EXPECT_EQ(host.globals()->wb_r, 2.0);  // method 0 measures nothing
    EXPECT_TRUE(host.misuse().empty());
    EXPECT_EQ(host.liveBuffers(), 0u);
}

TEST(AcquireRunImport, WithoutTheMediaLayerOnlyAboutWorks) {
    NativeMediaLayer_SetStartupFails(true);
    DoModuleUnload();
    DoModuleLoad(hDLLInstance);
    {
        TestHost host;
        for (int16 sel : {acquireSelectorStart, acquireSelectorContinue, acquireSelectorFinish, acquireSelectorPrepare,
                          acquireSelectorFinalize}) {
            host.messages.clear();
            EXPECT_EQ(host.call(sel), kResultUserCanceled) << sel;
            ASSERT_EQ(host.messages.size(), 1u) << sel;
            EXPECT_EQ(host.messages[0].first, STR_NO_QUICKTIME);
        }
        EXPECT_EQ(host.dataWord(), 0);
        host.messages.clear();
        EXPECT_EQ(host.callAbout(), 0);
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].first, STR_ABOUT);
    }
    NativeMediaLayer_SetStartupFails(false);
    DoModuleUnload();
    DoModuleLoad(hDLLInstance);
    EXPECT_TRUE(bHasQuickTime);
}

#endif
