// The process-wide pool behind the host's buffer and handle callbacks.
#include "HostBlocks.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

namespace ekv {

// A handle is the address of a master pointer; the block may move while unlocked.
struct HostBlocks::Block {
    char *master = nullptr;
    size_t size = 0;
    int locks = 0;
};

namespace {

// The most the pool keeps in freed blocks.
constexpr size_t kSpareLimit = 16u << 20;

char *AllocateBytes(size_t inSize) {
    // One byte more so that a zero-sized block still has a distinct address.
    char *aBytes = new (std::nothrow) char[inSize + 1];
    if (aBytes != nullptr) std::memset(aBytes, 0, inSize + 1);
    return aBytes;
}

HostBlocks &Pool() { return HostBlocks::instance(); }

Handle KARVEX_CDECL NewProc(int32 inSize) { return Pool().newHandle(inSize); }
void KARVEX_CDECL DisposeProc(Handle h) { Pool().disposeHandle(h); }
int32 KARVEX_CDECL GetSizeProc(Handle h) { return Pool().handleSize(h); }
OSErr KARVEX_CDECL SetSizeProc(Handle h, int32 inSize) { return Pool().setHandleSize(h, inSize); }
Ptr KARVEX_CDECL LockHandleProc(Handle h, Boolean) { return Pool().lockHandle(h); }
void KARVEX_CDECL UnlockHandleProc(Handle h) { Pool().unlockHandle(h); }
void KARVEX_CDECL RecoverSpaceProc(int32) {}
OSErr KARVEX_CDECL AllocateProc(int32 inSize, BufferID *outID) { return Pool().allocateBuffer(inSize, outID); }
Ptr KARVEX_CDECL LockBufferProc(BufferID inID, Boolean) { return Pool().lockBuffer(inID); }
void KARVEX_CDECL UnlockBufferProc(BufferID inID) { Pool().unlockBuffer(inID); }
void KARVEX_CDECL FreeProc(BufferID inID) { Pool().freeBuffer(inID); }
int32 KARVEX_CDECL SpaceProc() { return Pool().space(); }

}  // namespace

HostBlocks &HostBlocks::instance() {
    static HostBlocks sPool;
    return sPool;
}

HostBlocks::HostBlocks() {
    mBufferProcs.bufferProcsVersion = kCurrentBufferProcsVersion;
    mBufferProcs.numBufferProcs = kCurrentBufferProcsCount;
    mBufferProcs.allocateProc = AllocateProc;
    mBufferProcs.lockProc = LockBufferProc;
    mBufferProcs.unlockProc = UnlockBufferProc;
    mBufferProcs.freeProc = FreeProc;
    mBufferProcs.spaceProc = SpaceProc;

    mHandleProcs.handleProcsVersion = kCurrentHandleProcsVersion;
    mHandleProcs.numHandleProcs = 8;
    mHandleProcs.newProc = NewProc;
    mHandleProcs.disposeProc = DisposeProc;
    mHandleProcs.getSizeProc = GetSizeProc;
    mHandleProcs.setSizeProc = SetSizeProc;
    mHandleProcs.lockProc = LockHandleProc;
    mHandleProcs.unlockProc = UnlockHandleProc;
    mHandleProcs.recoverSpaceProc = RecoverSpaceProc;
    mHandleProcs.disposeRegularHandleProc = DisposeProc;
}

size_t HostBlocks::liveHandles() const { return mHandles.size(); }
size_t HostBlocks::liveBuffers() const { return mBuffers.size(); }

bool HostBlocks::reserve(size_t inBytes) {
    if (mLimit != 0 && (inBytes > mLimit || mInUse > mLimit - inBytes)) return false;
    mInUse += inBytes;
    mPeak = std::max(mPeak, mInUse);
    return true;
}

HostBlocks::Block *HostBlocks::findHandle(Handle h) const {
    for (Block *aBlock : mHandles)
        if (reinterpret_cast<Handle>(&aBlock->master) == h) return aBlock;
    return nullptr;
}

HostBlocks::Block *HostBlocks::findBuffer(BufferID inID) const {
    for (Block *aBlock : mBuffers)
        if (reinterpret_cast<BufferID>(aBlock) == inID) return aBlock;
    return nullptr;
}

HostBlocks::~HostBlocks() {
    for (const Spare &aSpare : mSpares) delete[] aSpare.bytes;
}

std::vector<uint8_t> HostBlocks::handleBytes(Handle h) const {
    const Block *aBlock = findHandle(h);
    if (aBlock == nullptr) return {};
    return std::vector<uint8_t>(aBlock->master, aBlock->master + aBlock->size);
}

Handle HostBlocks::newHandle(int32 inSize) {
    if (inSize < 0 || !reserve(static_cast<size_t>(inSize))) return nullptr;
    auto *aBlock = new (std::nothrow) Block;
    char *aBytes = aBlock != nullptr ? takeBytes(static_cast<size_t>(inSize)) : nullptr;
    if (aBytes == nullptr) {
        delete aBlock;
        mInUse -= static_cast<size_t>(inSize);
        return nullptr;
    }
    aBlock->master = aBytes;
    aBlock->size = static_cast<size_t>(inSize);
    mHandles.push_back(aBlock);
    return &aBlock->master;
}

void HostBlocks::disposeHandle(Handle h) {
    if (h == nullptr) return;
    Block *aBlock = findHandle(h);
    if (aBlock == nullptr) {
        mMisuse.push_back("dispose of an unknown handle");
        return;
    }
    mHandles.erase(std::find(mHandles.begin(), mHandles.end(), aBlock));
    mInUse -= aBlock->size;
    giveBackBytes(aBlock->master, aBlock->size);
    delete aBlock;
}

int32 HostBlocks::handleSize(Handle h) {
    Block *aBlock = findHandle(h);
    if (aBlock == nullptr) {
        mMisuse.push_back("size of an unknown handle");
        return 0;
    }
    return static_cast<int32>(aBlock->size);
}

OSErr HostBlocks::setHandleSize(Handle h, int32 inSize) {
    Block *aBlock = findHandle(h);
    if (aBlock == nullptr || inSize < 0) return -50;
    if (aBlock->locks > 0) return -117;  // a locked block cannot move
    size_t aNewSize = static_cast<size_t>(inSize);
    if (aNewSize > aBlock->size && !reserve(aNewSize - aBlock->size)) return -108;
    char *aBytes = AllocateBytes(aNewSize);
    if (aBytes == nullptr) {
        if (aNewSize > aBlock->size) mInUse -= aNewSize - aBlock->size;
        return -108;
    }
    std::memcpy(aBytes, aBlock->master, std::min(aNewSize, aBlock->size));
    if (aNewSize < aBlock->size) mInUse -= aBlock->size - aNewSize;
    delete[] aBlock->master;
    aBlock->master = aBytes;
    aBlock->size = aNewSize;
    return 0;
}

Ptr HostBlocks::lockHandle(Handle h) {
    Block *aBlock = findHandle(h);
    if (aBlock == nullptr) {
        mMisuse.push_back("lock of an unknown handle");
        return nullptr;
    }
    ++aBlock->locks;
    return aBlock->master;
}

void HostBlocks::unlockHandle(Handle h) {
    Block *aBlock = findHandle(h);
    if (aBlock == nullptr) {
        mMisuse.push_back("unlock of an unknown handle");
        return;
    }
    if (aBlock->locks > 0) --aBlock->locks;
}

OSErr HostBlocks::allocateBuffer(int32 inSize, BufferID *outID) {
    if (outID == nullptr || inSize < 0) return -50;
    *outID = nullptr;
    if (!reserve(static_cast<size_t>(inSize))) return -108;
    auto *aBlock = new (std::nothrow) Block;
    char *aBytes = aBlock != nullptr ? takeBytes(static_cast<size_t>(inSize)) : nullptr;
    if (aBytes == nullptr) {
        delete aBlock;
        mInUse -= static_cast<size_t>(inSize);
        return -108;
    }
    aBlock->master = aBytes;
    aBlock->size = static_cast<size_t>(inSize);
    mBuffers.push_back(aBlock);
    *outID = reinterpret_cast<BufferID>(aBlock);
    return 0;
}

Ptr HostBlocks::lockBuffer(BufferID inID) {
    Block *aBlock = findBuffer(inID);
    if (aBlock == nullptr) {
        mMisuse.push_back("lock of an unknown buffer");
        return nullptr;
    }
    ++aBlock->locks;
    return aBlock->master;
}

void HostBlocks::unlockBuffer(BufferID inID) {
    Block *aBlock = findBuffer(inID);
    if (aBlock == nullptr) {
        mMisuse.push_back("unlock of an unknown buffer");
        return;
    }
    if (aBlock->locks > 0) --aBlock->locks;
}

void HostBlocks::freeBuffer(BufferID inID) {
    Block *aBlock = findBuffer(inID);
    if (aBlock == nullptr) {
        mMisuse.push_back("free of an unknown buffer");
        return;
    }
    mBuffers.erase(std::find(mBuffers.begin(), mBuffers.end(), aBlock));
    mInUse -= aBlock->size;
    giveBackBytes(aBlock->master, aBlock->size);
    delete aBlock;
}

// A block of the size from the spares (its contents are whatever the module left, as
// with any host), or a new zeroed one.
char *HostBlocks::takeBytes(size_t inSize) {
    for (size_t i = mSpares.size(); i-- > 0;) {
        if (mSpares[i].size != inSize) continue;
        char *aBytes = mSpares[i].bytes;
        mSpareBytes -= inSize;
        mSpares.erase(mSpares.begin() + static_cast<std::ptrdiff_t>(i));
        return aBytes;
    }
    return AllocateBytes(inSize);
}

void HostBlocks::giveBackBytes(char *inBytes, size_t inSize) {
    if (inBytes == nullptr) return;
    if (mSpareBytes + inSize > kSpareLimit) {
        delete[] inBytes;
        return;
    }
    mSpares.push_back({inSize, inBytes});
    mSpareBytes += inSize;
}

int32 HostBlocks::space() const {
    if (mLimit == 0) return INT32_MAX;
    size_t aFree = mLimit - mInUse;
    return aFree > static_cast<size_t>(INT32_MAX) ? INT32_MAX : static_cast<int32>(aFree);
}

}  // namespace ekv
