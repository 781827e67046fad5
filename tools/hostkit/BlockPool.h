// The host's memory as a module sees it: relocatable handles (the address of a master
// pointer) and buffers, handed out through the BufferProcs and HandleProcs tables. Every
// id is looked up before it is touched, so a foreign or freed one is refused and recorded
// as misuse. Options make the pool behave like the host a test or tool needs.
#pragma once

#include <cstddef>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "host/AcquireInterface.h"

namespace hostkit {

struct PoolOptions {
    // 1-based index of the allocation (handles and buffers together) that fails; 0: none.
    int failAllocationAt = 0;
    // An unlocked handle's block moves (the old bytes are overwritten first), so that a
    // module that keeps an address past the unlock reads garbage.
    bool moveOnUnlock = false;
    // Bytes the module may hold at once; 0: no limit beyond the machine's.
    size_t byteLimit = 0;
    // Freed blocks are kept for the next request of the same size, as an image editor's
    // buffer pool does; a reused block holds what the module left in it.
    bool reuseFreed = false;
    // Every lock of a buffer fails (returns null).
    bool failBufferLocks = false;
    // The byte new blocks are filled with.
    uint8_t fill = 0;
    // What spaceProc answers; 0: what the byte limit leaves (the most an int32 holds
    // without a limit).
    int32 space = 0;
};

class BlockPool {
public:
    explicit BlockPool(PoolOptions inOptions = {});
    ~BlockPool();
    BlockPool(const BlockPool &) = delete;
    BlockPool &operator=(const BlockPool &) = delete;

    // The pool the callback tables reach: the one made last of those still alive. The
    // callbacks carry no context, so there is one at a time per process, as in an
    // application that keeps its plug-ins loaded.
    static BlockPool *current();

    // Complete tables of the current interface versions.
    BufferProcs *bufferProcs() { return &mBufferProcs; }
    HandleProcs *handleProcs() { return &mHandleProcs; }

    void setByteLimit(size_t inBytes) { mOptions.byteLimit = inBytes; }
    size_t bytesInUse() const { return mInUse; }
    // The most bytes held at once since the last resetPeak (or since the start).
    size_t peakBytes() const { return mPeak; }
    void resetPeak() { mPeak = mInUse; }
    size_t liveHandles() const { return mHandles.size(); }
    size_t liveBuffers() const { return mBuffers.size(); }
    // Allocation requests so far (handles and buffers, failed ones included).
    int allocations() const { return mAllocations; }
    // Misuse of the callbacks seen so far (unknown ids, double frees, unbalanced unlocks),
    // one line each.
    const std::vector<std::string> &misuse() const { return mMisuse; }
    // Callbacks made from another thread than the one that made the pool: hosts call
    // plug-ins from one thread and take their callbacks on that thread only.
    int foreignThreadCalls() const { return mForeignThreadCalls.load(); }
    // Counts the calling thread when it is not the pool's (the callback tables call it).
    void noteCallingThread();

    bool isHandle(Handle h) const { return findHandle(h) != nullptr; }
    // The bytes of a live handle, or an empty vector for an unknown one.
    std::vector<uint8_t> handleBytes(Handle h) const;
    // The lock count of a live handle, or -1 for an unknown one.
    int handleLocks(Handle h) const;

    // The callbacks' bodies.
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
    int32 space() const;

private:
    struct Block;
    struct Spare {
        size_t size;
        char *bytes;
    };
    Block *findHandle(Handle h) const;
    Block *findBuffer(BufferID inID) const;
    // The live block, or null with the misuse ("inAction of an unknown ...") recorded.
    Block *knownHandle(Handle h, const char *inAction);
    Block *knownBuffer(BufferID inID, const char *inAction);
    Block *newBlock(int32 inSize);
    void releaseBlock(std::vector<Block *> &ioBlocks, Block *inBlock);
    bool reserve(size_t inBytes);
    char *newBytes(size_t inSize) const;
    char *takeBytes(size_t inSize);
    void giveBackBytes(char *inBytes, size_t inSize);
    void moveBlock(Block &ioBlock);

    PoolOptions mOptions;
    BufferProcs mBufferProcs{};
    HandleProcs mHandleProcs{};
    std::vector<Block *> mHandles;
    std::vector<Block *> mBuffers;
    size_t mInUse = 0;
    size_t mPeak = 0;
    int mAllocations = 0;
    std::vector<std::string> mMisuse;

    std::vector<Spare> mSpares;
    size_t mSpareBytes = 0;
    BlockPool *mPrevious = nullptr;
    uintptr_t mOwnerThread;
    std::atomic<int> mForeignThreadCalls{0};
};

}  // namespace hostkit
