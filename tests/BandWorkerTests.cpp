// Bands developed on worker threads: the same document as on the host's thread, host
// callbacks only from the host's thread, a cancel that stops the workers and releases
// everything, and allocation failures that fall back to fewer workers or end cleanly.
#include <gtest/gtest.h>

#include "RunTestSupport.h"
#include "TestHost.h"
#include "plugin/BandWorkers.h"

using runtest::Document;
using runtest::EkvSpec;
using runtest::TempFile;
using testhost::Options;
using testhost::TestHost;

namespace {

constexpr Point kNoPoint{-1, -1};

// Runs with a fixed worker count and goes back to the processors' count afterwards.
class BandThreads {
public:
    explicit BandThreads(int32 inCount) { RAW_SetBandThreads(inCount); }
    ~BandThreads() { RAW_SetBandThreads(0); }
};

// A tall image with a strong tone curve and colour work, so that every stage matters.
EkvSpec TallSpec(int16_t inBits) {
    EkvSpec s;
    s.outputWidth = 48;
    s.outputHeight = 480;
    s.imageLength = 484;
    s.validBits = inBits;
    s.opticalBlack[0] = s.opticalBlack[3] = 3;
    s.colorMatrix[1] = 40;
    s.colorMatrix[3] = -30;
    s.toneMode = 1;
    s.chroma[0] = 40, s.chroma[1] = 120, s.chroma[4] = 2, s.chroma[5] = 128;
    return s;
}

// A wide image: bands of 6 rows, converted by the threads four at a time, in groups
// of 4, 4 and 3 bands.
EkvSpec WideSpec() {
    EkvSpec s = TallSpec(10);
    s.imageWidth = 2056;
    s.outputWidth = 2040;
    s.outputHeight = 66;
    s.imageLength = 70;
    return s;
}

Document RunWith(TestHost &ioHost, const TempFile &inFile, int16 inMethod, int32 inThreads) {
    BandThreads aThreads(inThreads);
    runtest::SetUpRunDirectly(ioHost, inFile, inMethod, kNoPoint);
    Globals g = *ioHost.globals();
    return runtest::RunContinues(ioHost, g.info.output_image_width, g.info.output_image_height);
}

TEST(BandWorkers, EveryWorkerCountDeliversTheSingleThreadDocumentThroughTheHostsThread) {
    for (int16_t aBits : {int16_t(10), int16_t(8), int16_t(0)}) {
        TempFile f("workers.ekv", runtest::BuildEkv(aBits != 0 ? TallSpec(aBits) : WideSpec()));
        for (int16 aMethod : {int16(0), int16(2)}) {
            Document aSingle;
            {
                TestHost one;
                aSingle = RunWith(one, f, aMethod, 1);
            }
            ASSERT_TRUE(aSingle.ended);
            // Two lanes, three (18 bands do not divide evenly) and more than the bands.
            for (int32 aThreads : {2, 3, 8}) {
                TestHost host;
                const Document d = RunWith(host, f, aMethod, aThreads);
                const std::string aCase = (aBits != 0 ? "bits " + std::to_string(aBits) : std::string("wide")) +
                                          ", method " + std::to_string(aMethod) + ", threads " +
                                          std::to_string(aThreads);
                EXPECT_TRUE(d.ended) << aCase;
                EXPECT_FALSE(d.badCall) << aCase;
                EXPECT_EQ(d.rects.size(), aSingle.rects.size()) << aCase;
                EXPECT_EQ(d.planes, aSingle.planes) << aCase;
                EXPECT_EQ(host.foreignThreadCalls(), 0) << aCase;
                EXPECT_EQ(host.liveBuffers(), 0u) << aCase;
                EXPECT_EQ(host.liveHandles(), 1u) << aCase;
                EXPECT_TRUE(host.misuse().empty()) << aCase;
            }
        }
    }
}

// The host's thread converts too: N threads are the host's and N - 1 workers, with
// N + 2 lanes (one lane on one thread), and no 16-bit planes of a band by band run are
// taken.
TEST(BandWorkers, ARunOfNThreadsStartsNMinusOneWorkers) {
    TempFile f("count.ekv", runtest::BuildEkv(TallSpec(10)));
    for (int32 aThreads : {1, 2, 3}) {
        TestHost host;
        BandThreads aCount(aThreads);
        runtest::SetUpRunDirectly(host, f, 2, kNoPoint);
        ASSERT_EQ(host.call(acquireSelectorContinue), 0);
        const std::optional<Globals> g = host.globals();
        ASSERT_TRUE(g.has_value());
        ASSERT_NE(g->workers, nullptr);
        EXPECT_EQ(g->workers->threadCount, aThreads - 1);
        EXPECT_EQ(g->workers->laneCount, aThreads > 1 ? aThreads + 2 : 1);
        for (int aPlane = 0; aPlane < kPlaneCount; ++aPlane) EXPECT_EQ(g->layer_ptr[aPlane], nullptr);
        EXPECT_EQ(host.call(acquireSelectorFinish), 0);
        EXPECT_EQ(host.liveBuffers(), 0u);
    }
}

TEST(BandWorkers, FinishDuringAParallelRunStopsTheWorkersAndReleasesEverything) {
    TempFile f("cancel.ekv", runtest::BuildEkv(TallSpec(10)));
    Document aWhole;
    {
        TestHost reference;  // the callbacks reach the pool made last: one host at a time
        aWhole = RunWith(reference, f, 2, 1);
    }
    TestHost host;
    {
        BandThreads aThreads(3);
        runtest::SetUpRunDirectly(host, f, 2, kNoPoint);
        // Two bands delivered and a third started: the lanes hold bands ahead.
        for (int i = 0; i < 7; ++i) ASSERT_EQ(host.call(acquireSelectorContinue), 0);
        EXPECT_GT(host.liveBuffers(), 6u);
        EXPECT_EQ(host.call(acquireSelectorFinish), 0);
    }
    EXPECT_EQ(host.liveBuffers(), 0u);
    EXPECT_EQ(host.liveHandles(), 1u);
    EXPECT_EQ(host.call(acquireSelectorContinue), kResultBadParameters);
    // The same globals take the next import, again on workers, to the same document.
    const Document d = RunWith(host, f, 2, 3);
    EXPECT_TRUE(d.ended);
    EXPECT_EQ(d.planes, aWhole.planes);
    EXPECT_EQ(host.foreignThreadCalls(), 0);
    EXPECT_TRUE(host.misuse().empty());
}

TEST(BandWorkers, AFailedAllocationFallsBackToFewerWorkersOrEndsWithNothingHeld) {
    TempFile f("fallback.ekv", runtest::BuildEkv(TallSpec(10)));
    Document aWhole;
    {
        TestHost reference;
        aWhole = RunWith(reference, f, 2, 1);
    }
    int aBefore = 0, aTotal = 0;
    {
        TestHost host;
        BandThreads aThreads(3);
        runtest::SetUpRunDirectly(host, f, 2, kNoPoint);
        aBefore = host.allocations();
        runtest::RunContinues(host, 48, 480);
        aTotal = host.allocations();
    }
    BandThreads aThreads(3);
    const runtest::SweepCounts aCounts = runtest::SweepAllocationFailures(f, aBefore, aTotal, aWhole);
    // The workers' planes come before any band: failing one of them leaves a run on fewer
    // threads; the tables, the delivery planes and the bands' rows cannot be done without.
    EXPECT_GT(aCounts.fellBack, 10);
    EXPECT_GT(aCounts.failed, 0);
}

TEST(BandWorkers, TheHostsLimitIsADecimalCount) {
    EXPECT_EQ(RAW_ParseThreadLimit("3"), 3);
    EXPECT_EQ(RAW_ParseThreadLimit("9999"), 9999);
    EXPECT_EQ(RAW_ParseThreadLimit(nullptr), 0);
    for (const char *aBad : {"", "0x2", "-1", "2 ", "10000", "two"}) EXPECT_EQ(RAW_ParseThreadLimit(aBad), 0) << aBad;
}

}  // namespace
