// The host's memory as a module sees it: relocatable handles and buffers handed out
// through the BufferProcs and HandleProcs tables. The callbacks carry no context, so the
// pool is one per process, as in an application that keeps its plug-ins loaded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/AcquireInterface.h"

namespace ekv {

class HostBlocks {
public:
    static HostBlocks &instance();

    BufferProcs *bufferProcs() { return &mBufferProcs; }
    HandleProcs *handleProcs() { return &mHandleProcs; }

    // Bytes the module may hold at once; 0 means no limit beyond the machine's.
    void setLimit(size_t inBytes) { mLimit = inBytes; }
    size_t bytesInUse() const { return mInUse; }
    // The most bytes held at once since the last resetPeak (or since the start).
    size_t peakBytes() const { return mPeak; }
    void resetPeak() { mPeak = mInUse; }
    size_t liveHandles() const;
    size_t liveBuffers() const;
    // Misuse seen so far (unknown ids, double frees), one line each.
    const std::vector<std::string> &misuse() const { return mMisuse; }

    // The bytes of a live handle, or an empty vector for an unknown one.
    std::vector<uint8_t> handleBytes(Handle h) const;
    // Disposes of a handle the host received from the module's reader.
    void dispose(Handle h) { disposeHandle(h); }

    // Callback bodies, reached through static trampolines.
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

    ~HostBlocks();

private:
    HostBlocks();
    struct Block;
    Block *findHandle(Handle h) const;
    Block *findBuffer(BufferID inID) const;
    bool reserve(size_t inBytes);
    char *takeBytes(size_t inSize);
    void giveBackBytes(char *inBytes, size_t inSize);

    BufferProcs mBufferProcs{};
    HandleProcs mHandleProcs{};
    std::vector<Block *> mHandles;
    std::vector<Block *> mBuffers;
    size_t mLimit = 0;
    size_t mInUse = 0;
    size_t mPeak = 0;
    std::vector<std::string> mMisuse;
    // Blocks freed by the module, kept for the next request of the same size, as an
    // image editor's buffer pool does: a module that frees its band planes after every
    // band gets the same memory back without a trip to the system.
    struct Spare {
        size_t size;
        char *bytes;
    };
    std::vector<Spare> mSpares;
    size_t mSpareBytes = 0;
};

}  // namespace ekv
