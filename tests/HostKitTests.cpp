// The host kit's own rules: misuse records, the pool's options, the callback tables, the
// checks of the module's answers and the order of the selectors in a run.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "BlockPool.h"
#include "CallbackTables.h"
#include "DeliveryRules.h"
#include "ImportRun.h"
#include "JsonText.h"
#include "plugin/PlugInGlobals.h"

using hostkit::BlockPool;
using hostkit::PoolOptions;

namespace {

PoolOptions With(void (*inSet)(PoolOptions &)) {
    PoolOptions aOptions;
    inSet(aOptions);
    return aOptions;
}

}  // namespace

TEST(HostKitPool, MisuseIsRecordedAndNothingIsTouched) {
    BlockPool aPool;
    Handle aHandle = aPool.newHandle(16);
    BufferID aBuffer = nullptr;
    ASSERT_EQ(aPool.allocateBuffer(16, &aBuffer), 0);
    char aForeign[32] = {};
    aPool.unlockHandle(aHandle);                             // not locked
    aPool.lockHandle(reinterpret_cast<Handle>(aForeign));    // unknown
    aPool.freeBuffer(reinterpret_cast<BufferID>(aForeign));  // unknown
    aPool.disposeHandle(aHandle);
    aPool.disposeHandle(aHandle);  // twice
    aPool.freeBuffer(aBuffer);
    aPool.freeBuffer(aBuffer);                // twice
    EXPECT_EQ(aPool.newHandle(-1), nullptr);  // negative size
    EXPECT_EQ(aPool.allocateBuffer(-1, &aBuffer), -50);
    EXPECT_EQ(aBuffer, nullptr);
    EXPECT_EQ(aPool.misuse().size(), 7u);
    EXPECT_EQ(aPool.liveHandles(), 0u);
    EXPECT_EQ(aPool.liveBuffers(), 0u);
    EXPECT_EQ(aPool.bytesInUse(), 0u);
    EXPECT_EQ(std::string(aForeign, 32), std::string(32, '\0'));
}

TEST(HostKitPool, FailsTheNthAllocationOfHandlesAndBuffersTogether) {
    BlockPool aPool(With([](PoolOptions &o) { o.failAllocationAt = 2; }));
    Handle aFirst = aPool.newHandle(8);
    BufferID aSecond = reinterpret_cast<BufferID>(0x1);
    EXPECT_NE(aFirst, nullptr);
    EXPECT_EQ(aPool.allocateBuffer(8, &aSecond), -108);
    EXPECT_EQ(aSecond, nullptr);
    Handle aThird = aPool.newHandle(8);
    EXPECT_NE(aThird, nullptr);
    EXPECT_EQ(aPool.allocations(), 3);
    EXPECT_EQ(aPool.liveHandles(), 2u);
    EXPECT_EQ(aPool.liveBuffers(), 0u);
    EXPECT_TRUE(aPool.misuse().empty());
}

TEST(HostKitPool, ByteLimitRefusesWhatDoesNotFitAndSpaceTellsWhatIsLeft) {
    BlockPool aPool(With([](PoolOptions &o) { o.byteLimit = 1000; }));
    EXPECT_EQ(aPool.space(), 1000);
    BufferID aBuffer = nullptr;
    ASSERT_EQ(aPool.allocateBuffer(600, &aBuffer), 0);
    EXPECT_EQ(aPool.space(), 400);
    EXPECT_EQ(aPool.newHandle(401), nullptr);
    Handle aHandle = aPool.newHandle(400);
    ASSERT_NE(aHandle, nullptr);
    EXPECT_EQ(aPool.setHandleSize(aHandle, 401), -108);
    EXPECT_EQ(aPool.peakBytes(), 1000u);
    aPool.freeBuffer(aBuffer);
    EXPECT_EQ(aPool.setHandleSize(aHandle, 1000), 0);
    EXPECT_EQ(aPool.bytesInUse(), 1000u);
    aPool.disposeHandle(aHandle);
    EXPECT_EQ(aPool.bytesInUse(), 0u);
    EXPECT_TRUE(aPool.misuse().empty());
}

TEST(HostKitPool, ReuseGivesAFreedBlockOfTheSameSizeBackAsTheModuleLeftIt) {
    BlockPool aPool(With([](PoolOptions &o) { o.reuseFreed = true; }));
    BufferID aBuffer = nullptr;
    ASSERT_EQ(aPool.allocateBuffer(64, &aBuffer), 0);
    Ptr aBytes = aPool.lockBuffer(aBuffer);
    std::memset(aBytes, 0x5A, 64);
    aPool.unlockBuffer(aBuffer);
    aPool.freeBuffer(aBuffer);
    Handle aOther = aPool.newHandle(32);  // another size: a new block
    ASSERT_NE(aOther, nullptr);
    EXPECT_NE(*aOther, aBytes);
    EXPECT_EQ((*aOther)[0], 0);
    Handle aSame = aPool.newHandle(64);
    ASSERT_NE(aSame, nullptr);
    EXPECT_EQ(*aSame, aBytes);
    EXPECT_EQ(static_cast<uint8_t>((*aSame)[63]), 0x5A);
    EXPECT_EQ(aPool.bytesInUse(), 96u);
}

TEST(HostKitPool, MovesAnUnlockedHandleKeepingItsBytesAndFillsNewBlocks) {
    BlockPool aPool(With([](PoolOptions &o) {
        o.moveOnUnlock = true;
        o.fill = 0xCD;
    }));
    Handle aHandle = aPool.newHandle(3);
    Ptr aLocked = aPool.lockHandle(aHandle);
    EXPECT_EQ(static_cast<uint8_t>(aLocked[2]), 0xCD);
    aLocked[0] = 7;
    EXPECT_EQ(aPool.lockHandle(aHandle), aLocked);  // locked twice: stays
    aPool.unlockHandle(aHandle);
    EXPECT_EQ(*aHandle, aLocked);
    EXPECT_EQ(aPool.handleLocks(aHandle), 1);
    EXPECT_EQ(aPool.setHandleSize(aHandle, 10), -117);  // a locked block cannot move
    aPool.unlockHandle(aHandle);
    EXPECT_NE(*aHandle, aLocked);
    EXPECT_EQ((*aHandle)[0], 7);
    EXPECT_EQ(aPool.handleBytes(aHandle), (std::vector<uint8_t>{7, 0xCD, 0xCD}));
    EXPECT_EQ(aPool.handleLocks(reinterpret_cast<Handle>(&aLocked)), -1);
    EXPECT_TRUE(aPool.misuse().empty());
}

TEST(HostKitPool, FailedBufferLocksAndTheAnsweredSpace) {
    BlockPool aPool(With([](PoolOptions &o) {
        o.failBufferLocks = true;
        o.space = 12345;
    }));
    BufferID aBuffer = nullptr;
    ASSERT_EQ(aPool.allocateBuffer(8, &aBuffer), 0);
    EXPECT_EQ(aPool.lockBuffer(aBuffer), nullptr);
    EXPECT_EQ(aPool.space(), 12345);
    aPool.freeBuffer(aBuffer);
    EXPECT_TRUE(aPool.misuse().empty());
}

TEST(HostKitTables, ReachTheLatestLivePoolAndCarryTheChosenVersions) {
    BlockPool aOuter;
    HandleProcs aProcs = hostkit::MakeHandleProcs();
    {
        BlockPool aInner;
        Handle aHandle = aProcs.newProc(4);
        EXPECT_EQ(aInner.liveHandles(), 1u);
        EXPECT_EQ(aOuter.liveHandles(), 0u);
        aProcs.disposeProc(aHandle);
    }
    Handle aHandle = aProcs.newProc(4);
    EXPECT_EQ(aOuter.liveHandles(), 1u);
    aProcs.disposeRegularHandleProc(aHandle);
    EXPECT_EQ(aOuter.liveHandles(), 0u);

    hostkit::TableOptions aOld;
    aOld.bufferProcsVersion = 1;
    aOld.numBufferProcs = 4;
    aOld.numHandleProcs = 6;
    BufferProcs aBuffers = hostkit::MakeBufferProcs(aOld);
    EXPECT_EQ(aBuffers.bufferProcsVersion, 1);
    EXPECT_EQ(aBuffers.numBufferProcs, 4);
    EXPECT_EQ(hostkit::MakeHandleProcs(aOld).numHandleProcs, 6);
    EXPECT_EQ(aBuffers.spaceProc(), aOuter.space());
}

namespace {

// A record describing a 16-bit RGB document of 20 x 10 and delivering the green plane
// of rows 2 to 5 as the module does; each test breaks one thing.
struct Delivery {
    std::vector<unsigned char> block = hostkit::NewRecordBlock({});
    AcquireRecord &r = *hostkit::RecordOf(block);
    hostkit::Document document;
    Delivery() {
        r.planes = 3;
        r.imageMode = plugInModeRGB48;
        r.depth = 16;
        r.imageSize.h = 20;
        r.imageSize.v = 10;
        r.theRect = Rect{2, 0, 6, 20};
        r.loPlane = r.hiPlane = 1;
        r.colBytes = 2;
        r.rowBytes = 40;
    }
    std::string describe() { return hostkit::CheckDescription(r, document); }
    std::string check() { return hostkit::CheckDelivery(r, document); }
};

}  // namespace

TEST(HostKitDeliveryRules, TheDescriptionIsRgbOfThreePlanesAtADepthThatMatchesItsMode) {
    Delivery d;
    EXPECT_EQ(d.describe(), "");
    EXPECT_EQ(d.document.width, 20);
    EXPECT_EQ(d.document.height, 10);
    EXPECT_EQ(d.document.depth, 16);
    d.r.depth = 8;
    EXPECT_NE(d.describe(), "");
    d.r.imageMode = plugInModeRGBColor;
    EXPECT_EQ(d.describe(), "");
    EXPECT_EQ(d.document.depth, 8);
    d.r.planes = 4;
    EXPECT_NE(d.describe(), "");
    d.r.planes = 3;
    d.r.imageSize.v = 0;
    EXPECT_NE(d.describe(), "");
}

TEST(HostKitDeliveryRules, OnePlaneInsideTheDocumentWithRoomForItsSamples) {
    Delivery d;
    ASSERT_EQ(d.describe(), "");
    EXPECT_EQ(d.check(), "");
    d.r.colBytes = 6;  // samples further apart, as in an interleaved buffer
    d.r.rowBytes = 120;
    EXPECT_EQ(d.check(), "");
    struct Case {
        const char *what;
        void (*breakIt)(AcquireRecord &);
    } aCases[] = {
        {"two planes", [](AcquireRecord &r) { r.hiPlane = 2; }},
        {"a fourth plane", [](AcquireRecord &r) { r.loPlane = r.hiPlane = 3; }},
        {"a negative plane", [](AcquireRecord &r) { r.loPlane = r.hiPlane = -1; }},
        {"one byte per 16-bit sample", [](AcquireRecord &r) { r.colBytes = 1, r.rowBytes = 20; }},
        {"rows below the document", [](AcquireRecord &r) { r.theRect.bottom = 11; }},
        {"columns right of it", [](AcquireRecord &r) { r.theRect.right = 21, r.rowBytes = 42; }},
        {"a negative top", [](AcquireRecord &r) { r.theRect.top = -1; }},
        {"no rows", [](AcquireRecord &r) { r.theRect.bottom = r.theRect.top; }},
        {"rows too short", [](AcquireRecord &r) { r.rowBytes = 39; }},
    };
    for (const Case &aCase : aCases) {
        Delivery aBroken;
        ASSERT_EQ(aBroken.describe(), "");
        aCase.breakIt(aBroken.r);
        EXPECT_NE(aBroken.check(), "") << aCase.what;
    }
}

namespace {

// A scripted module: Start describes a 4 x 2 document, then each Continue delivers what
// the script says; the driver logs the selectors and the hooks.
class ScriptedModule : public hostkit::ImportDriver {
public:
    int16 startResult = 0;
    int deliveries = 2;    // planes delivered before the null data
    bool outside = false;  // the second delivery lies outside the document
    bool endless = false;  // never hands back null data
    std::vector<std::string> log;
    uint16_t samples[8] = {};

    int16 call(int16 inSelector, AcquireRecord *r) override {
        log.push_back("call " + std::to_string(inSelector));
        if (inSelector == acquireSelectorPrepare) r->wantFinalize = true;
        if (inSelector == acquireSelectorStart) {
            r->planes = 3, r->imageMode = plugInModeRGB48, r->depth = 16;
            r->imageSize.h = 4, r->imageSize.v = 2;
            return startResult;
        }
        if (inSelector != acquireSelectorContinue) return 0;
        if (mSent == deliveries && !endless) return 0;  // data stays null: the end
        r->data = samples;
        r->theRect = Rect{0, 0, static_cast<int16>(outside && mSent == 1 ? 3 : 2), 4};
        r->loPlane = r->hiPlane = static_cast<int16>(mSent % 3);
        r->colBytes = 2, r->rowBytes = 8;
        ++mSent;
        return 0;
    }
    void started(const AcquireRecord &) override { log.push_back("started"); }
    int16 begin(const hostkit::Document &inDocument, std::string &) override {
        log.push_back("begin " + std::to_string(inDocument.width) + "x" + std::to_string(inDocument.height));
        return 0;
    }
    int16 take(const AcquireRecord &r, std::string &) override {
        log.push_back("take " + std::to_string(r.loPlane));
        return 0;
    }
    std::string end() override {
        log.push_back("end");
        return {};
    }
    void violated(const std::string &) override { log.push_back("violated"); }
    void ended(const hostkit::RunOutcome &) override { log.push_back("ended"); }

private:
    int mSent = 0;
};

hostkit::RunOutcome RunScript(ScriptedModule &ioModule) {
    std::vector<unsigned char> aBlock = hostkit::NewRecordBlock({});
    return hostkit::RunImport(ioModule, hostkit::RecordOf(aBlock));
}

}  // namespace

TEST(HostKitRun, SelectorsInOrderAndEveryDeliveryChecked) {
    ScriptedModule aModule;
    hostkit::RunOutcome aOutcome = RunScript(aModule);
    EXPECT_EQ(aOutcome.code, 0);
    EXPECT_EQ(aOutcome.continueCalls, 3);
    EXPECT_EQ(aModule.log,
              (std::vector<std::string>{"call 4", "call 1", "started", "begin 4x2", "call 2", "take 0", "call 2",
                                        "take 1", "call 2", "end", "ended", "call 3", "call 5"}));

    ScriptedModule aOutside;
    aOutside.outside = true;
    aOutcome = RunScript(aOutside);
    EXPECT_EQ(aOutcome.code, kResultBadParameters);
    EXPECT_NE(aOutcome.detail, "");
    EXPECT_EQ(aOutside.log, (std::vector<std::string>{"call 4", "call 1", "started", "begin 4x2", "call 2", "take 0",
                                                      "call 2", "violated", "ended", "call 3", "call 5"}));
}

TEST(HostKitRun, AFailedStartIsNotFinishedAndAnEndlessModuleIsStopped) {
    ScriptedModule aRefusing;
    aRefusing.startResult = kResultUserCanceled;
    EXPECT_EQ(RunScript(aRefusing).code, kResultUserCanceled);
    EXPECT_EQ(aRefusing.log, (std::vector<std::string>{"call 4", "call 1", "call 5"}));

    ScriptedModule aEndless;
    aEndless.endless = true;
    hostkit::RunOutcome aOutcome = RunScript(aEndless);
    EXPECT_EQ(aOutcome.code, kResultBadParameters);
    EXPECT_EQ(aOutcome.continueCalls, 3 * 2 + 16 + 1);
    EXPECT_EQ(aEndless.log.back(), "call 5");
}

TEST(HostKitJson, QuotesAndEscapesInEitherStyle) {
    const std::string aText = "a\"b\\\n\t\x01\x7f\xC3\xA9";
    EXPECT_EQ(hostkit::JsonString(aText, hostkit::JsonEscapes::Unicode),
              "\"a\\\"b\\\\\\u000a\\u0009\\u0001\x7f\xC3\xA9\"");
    EXPECT_EQ(hostkit::JsonString(aText, hostkit::JsonEscapes::Short), "\"a\\\"b\\\\\\n\\t\\u0001\\u007f\xC3\xA9\"");
}
