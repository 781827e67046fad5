// An in-process host for tests, built from the host kit: it fills an AcquireRecord as a
// host does, offers buffer and handle callbacks that count live blocks and catch misuse
// (double frees, locks of unknown blocks, use of a handle's old address after unlocking:
// an unlocked handle's block moves), can fail the Nth allocation, can offer no, old or
// short callback tables, and (natively) answers the module's dialogs and message boxes
// through the UI seam. It calls single selectors, so tests can step through a run.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BlockPool.h"
#include "CallbackTables.h"
#include "ImportRun.h"
#include "host/AcquireInterface.h"
#include "plugin/PlugInGlobals.h"
#include "SeamAnswers.h"

namespace testhost {

// The tables offered and the pool's behaviour. A test host's pool moves unlocked handles,
// fills new blocks with 0xCD (so that the module cannot rely on zeroed memory) and
// answers 64 MiB of space.
struct Options : hostkit::TableOptions, hostkit::PoolOptions {
    Options() : Options(0) {}
    explicit Options(int inFailAllocationAt) {
        failAllocationAt = inFailAllocationAt;
        moveOnUnlock = true;
        fill = 0xCD;
        space = 64 * 1024 * 1024;
    }
};

using Answers = hostkit::Answers;

// The log of what the module showed (messages, beeps, thumbnails offered) is the host's own.
class TestHost : public hostkit::SeamLog {
public:
    explicit TestHost(Options inOptions = {});
    ~TestHost();
    TestHost(const TestHost &) = delete;
    TestHost &operator=(const TestHost &) = delete;

    AcquireRecord *record() { return hostkit::RecordOf(mRecord); }
    intptr_t &dataWord() { return mData; }
    // Calls ENTRYPOINT with this host's block, data word and result word.
    int16 call(int16 inSelector);
    int16 callAbout();

    // A copy of the Globals record the module keeps in the data word (null if none).
    std::optional<Globals> globals();

    Answers answers;

    size_t liveHandles() const { return mPool.liveHandles(); }
    size_t liveBuffers() const { return mPool.liveBuffers(); }
    int allocations() const { return mPool.allocations(); }
    // Misuse seen so far, each described in a line.
    const std::vector<std::string> &misuse() const { return mPool.misuse(); }
    int foreignThreadCalls() const { return mPool.foreignThreadCalls(); }

private:
    hostkit::BlockPool mPool;
    BufferProcs mBufferProcs{};
    HandleProcs mHandleProcs{};
    PlatformData mPlatform{0x1234};
    std::vector<unsigned char> mRecord;
    std::vector<unsigned char> mAbout;
    intptr_t mData = 0;
    int16 mResult = 0;
#if !defined(_WIN32)
    std::unique_ptr<hostkit::SeamResponder> mResponder;
#endif
};

}  // namespace testhost
