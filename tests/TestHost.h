// An in-process host for tests: it fills an AcquireRecord as a host does, offers buffer
// and handle callbacks that count live blocks and catch misuse (double frees, locks of
// unknown blocks, use of a handle's old address after unlocking: an unlocked handle's
// block moves), can fail the Nth allocation, can offer no, old or short callback tables,
// and (natively) answers the module's dialogs and message boxes through the UI seam.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/AcquireInterface.h"
#include "plugin/PlugInGlobals.h"

namespace testhost {

struct Options {
    // 1-based index of the host allocation (handles and buffers together) that fails; 0: none.
    int failAllocationAt = 0;
    bool offerHandleProcs = true;
    int16 handleProcsVersion = 1;
    int16 numHandleProcs = 8;
    bool offerBufferProcs = true;
    int16 bufferProcsVersion = 2;
    int16 numBufferProcs = 5;
    bool failBufferLocks = false;
};

// What the person in front of the module answers (native builds).
struct Answers {
    std::optional<std::string> file;  // empty: the open-file dialog is cancelled
    int16 method = 0;
    Point wbPoint{-1, -1};
    bool convert = true;
};

class TestHost {
public:
    explicit TestHost(Options inOptions = {});
    ~TestHost();
    TestHost(const TestHost &) = delete;
    TestHost &operator=(const TestHost &) = delete;

    AcquireRecord *record() { return reinterpret_cast<AcquireRecord *>(mRecord.data()); }
    intptr_t &dataWord() { return mData; }
    // Calls ENTRYPOINT with this host's block, data word and result word.
    int16 call(int16 inSelector);
    int16 callAbout();

    // A copy of the Globals record the module keeps in the data word (null if none).
    std::optional<Globals> globals();

    Answers answers;
    std::vector<std::pair<std::string, std::string>> messages;  // text, caption
    int beeps = 0;
    int thumbnailsOffered = 0;  // conversion dialogs opened with a thumbnail

    size_t liveHandles() const { return mHandles.size(); }
    size_t liveBuffers() const { return mBuffers.size(); }
    int allocations() const { return mAllocations; }
    // Misuse seen so far, each described in a line.
    const std::vector<std::string> &errors() const { return mErrors; }

    static TestHost *current() { return sCurrent; }

    // Callback implementations (public for the static trampolines).
    Handle newHandle(int32 inSize);
    void disposeHandle(Handle h);
    int32 handleSize(Handle h);
    OSErr setHandleSize(Handle h, int32 inSize);
    Ptr lockHandle(Handle h);
    void unlockHandle(Handle h);
    OSErr allocateBuffer(int32 inSize, BufferID *outID);
    Ptr lockBuffer(BufferID inID);
    void unlockBuffer(BufferID inID);
    void freeBuffer(BufferID inID);

private:
    struct HandleBlock {
        std::vector<char> *bytes;
        int locks;
    };
    struct BufferBlock {
        std::vector<char> bytes;
        int locks;
    };
    bool allocationFails();

    Options mOptions;
    std::vector<unsigned char> mRecord;
    std::vector<unsigned char> mAbout;
    PlatformData mPlatform{0x1234};
    BufferProcs mBufferProcs{};
    HandleProcs mHandleProcs{};
    intptr_t mData = 0;
    int16 mResult = 0;
    int mAllocations = 0;
    std::map<Handle, HandleBlock> mHandles;
    std::map<BufferID, BufferBlock *> mBuffers;
    std::vector<std::string> mErrors;
    TestHost *mPrevious = nullptr;
    static TestHost *sCurrent;
};

}  // namespace testhost
