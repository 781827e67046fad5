// The pool behind the host's buffer and handle callbacks.
#include "BlockPool.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "CallbackTables.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace hostkit {

// A handle is the address of the master pointer, the first member; the block may move
// while it is unlocked. A buffer id is the block's address.
struct BlockPool::Block {
    char *master = nullptr;
    size_t size = 0;
    int locks = 0;
};

namespace {

// The most the pool keeps in freed blocks.
constexpr size_t kSpareLimit = 16u << 20;
// What the old place of a moved block is overwritten with.
constexpr int kMovedFill = 0xDD;

BlockPool *sCurrent = nullptr;

uintptr_t CurrentThread() {
#if defined(_WIN32)
    return static_cast<uintptr_t>(GetCurrentThreadId());
#else
    return static_cast<uintptr_t>(pthread_self());
#endif
}

}  // namespace

BlockPool::BlockPool(PoolOptions inOptions)
    : mOptions(inOptions),
      mBufferProcs(MakeBufferProcs()),
      mHandleProcs(MakeHandleProcs()),
      mPrevious(sCurrent),
      mOwnerThread(CurrentThread()) {
    sCurrent = this;
}

void BlockPool::noteCallingThread() {
    if (CurrentThread() != mOwnerThread) ++mForeignThreadCalls;
}

BlockPool::~BlockPool() {
    for (Block *aBlock : mHandles) delete[] aBlock->master, delete aBlock;
    for (Block *aBlock : mBuffers) delete[] aBlock->master, delete aBlock;
    for (const Spare &aSpare : mSpares) delete[] aSpare.bytes;
    sCurrent = mPrevious;
}

BlockPool *BlockPool::current() { return sCurrent; }

BlockPool::Block *BlockPool::findHandle(Handle h) const {
    for (Block *aBlock : mHandles)
        if (reinterpret_cast<Handle>(&aBlock->master) == h) return aBlock;
    return nullptr;
}

BlockPool::Block *BlockPool::findBuffer(BufferID inID) const {
    for (Block *aBlock : mBuffers)
        if (reinterpret_cast<BufferID>(aBlock) == inID) return aBlock;
    return nullptr;
}

BlockPool::Block *BlockPool::knownHandle(Handle h, const char *inAction) {
    Block *aBlock = findHandle(h);
    if (aBlock == nullptr) mMisuse.push_back(std::string(inAction) + " of an unknown handle");
    return aBlock;
}

BlockPool::Block *BlockPool::knownBuffer(BufferID inID, const char *inAction) {
    Block *aBlock = findBuffer(inID);
    if (aBlock == nullptr) mMisuse.push_back(std::string(inAction) + " of an unknown buffer");
    return aBlock;
}

std::vector<uint8_t> BlockPool::handleBytes(Handle h) const {
    const Block *aBlock = findHandle(h);
    if (aBlock == nullptr) return {};
    return std::vector<uint8_t>(aBlock->master, aBlock->master + aBlock->size);
}

int BlockPool::handleLocks(Handle h) const {
    const Block *aBlock = findHandle(h);
    return aBlock != nullptr ? aBlock->locks : -1;
}

bool BlockPool::reserve(size_t inBytes) {
    const size_t aLimit = mOptions.byteLimit;
    if (aLimit != 0 && (inBytes > aLimit || mInUse > aLimit - inBytes)) return false;
    mInUse += inBytes;
    mPeak = std::max(mPeak, mInUse);
    return true;
}

char *BlockPool::newBytes(size_t inSize) const {
    // One byte more so that a zero-sized block still has a distinct address.
    char *aBytes = new (std::nothrow) char[inSize + 1];
    if (aBytes != nullptr) std::memset(aBytes, mOptions.fill, inSize + 1);
    return aBytes;
}

// A block of the size from the spares, or a new one.
char *BlockPool::takeBytes(size_t inSize) {
    for (size_t i = mSpares.size(); i-- > 0;) {
        if (mSpares[i].size != inSize) continue;
        char *aBytes = mSpares[i].bytes;
        mSpareBytes -= inSize;
        mSpares.erase(mSpares.begin() + static_cast<std::ptrdiff_t>(i));
        return aBytes;
    }
    return newBytes(inSize);
}

void BlockPool::giveBackBytes(char *inBytes, size_t inSize) {
    if (!mOptions.reuseFreed || mSpareBytes + inSize > kSpareLimit) {
        delete[] inBytes;
        return;
    }
    mSpares.push_back({inSize, inBytes});
    mSpareBytes += inSize;
}

// A new block of inSize bytes within the limit, or null (nothing held) when the request
// fails.
BlockPool::Block *BlockPool::newBlock(int32 inSize) {
    ++mAllocations;
    if (mOptions.failAllocationAt != 0 && mAllocations == mOptions.failAllocationAt) return nullptr;
    const size_t aSize = static_cast<size_t>(inSize);
    if (!reserve(aSize)) return nullptr;
    auto *aBlock = new (std::nothrow) Block;
    char *aBytes = aBlock != nullptr ? takeBytes(aSize) : nullptr;
    if (aBytes == nullptr) {
        delete aBlock;
        mInUse -= aSize;
        return nullptr;
    }
    aBlock->master = aBytes;
    aBlock->size = aSize;
    return aBlock;
}

void BlockPool::releaseBlock(std::vector<Block *> &ioBlocks, Block *inBlock) {
    ioBlocks.erase(std::find(ioBlocks.begin(), ioBlocks.end(), inBlock));
    mInUse -= inBlock->size;
    giveBackBytes(inBlock->master, inBlock->size);
    delete inBlock;
}

// Moves an unlocked block to new memory and spoils the old place.
void BlockPool::moveBlock(Block &ioBlock) {
    char *aMoved = newBytes(ioBlock.size);
    if (aMoved == nullptr) return;  // it stays where it is, which a host may also do
    std::memcpy(aMoved, ioBlock.master, ioBlock.size);
    std::memset(ioBlock.master, kMovedFill, ioBlock.size);
    delete[] ioBlock.master;
    ioBlock.master = aMoved;
}

Handle BlockPool::newHandle(int32 inSize) {
    if (inSize < 0) {
        mMisuse.push_back("new handle of a negative size");
        return nullptr;
    }
    Block *aBlock = newBlock(inSize);
    if (aBlock == nullptr) return nullptr;
    mHandles.push_back(aBlock);
    return &aBlock->master;
}

void BlockPool::disposeHandle(Handle h) {
    if (h == nullptr) return;
    if (Block *aBlock = knownHandle(h, "dispose")) releaseBlock(mHandles, aBlock);
}

int32 BlockPool::handleSize(Handle h) {
    Block *aBlock = knownHandle(h, "size");
    return aBlock != nullptr ? static_cast<int32>(aBlock->size) : 0;
}

OSErr BlockPool::setHandleSize(Handle h, int32 inSize) {
    Block *aBlock = knownHandle(h, "resize");
    if (aBlock == nullptr) return -50;
    if (inSize < 0) {
        mMisuse.push_back("resize of a handle to a negative size");
        return -50;
    }
    if (aBlock->locks > 0) return -117;  // a locked block cannot move
    const size_t aNewSize = static_cast<size_t>(inSize);
    if (aNewSize > aBlock->size && !reserve(aNewSize - aBlock->size)) return -108;
    char *aBytes = newBytes(aNewSize);
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

Ptr BlockPool::lockHandle(Handle h) {
    Block *aBlock = knownHandle(h, "lock");
    if (aBlock == nullptr) return nullptr;
    ++aBlock->locks;
    return aBlock->master;
}

void BlockPool::unlockHandle(Handle h) {
    Block *aBlock = knownHandle(h, "unlock");
    if (aBlock == nullptr) return;
    if (aBlock->locks == 0) {
        mMisuse.push_back("unlock of a handle that is not locked");
        return;
    }
    if (--aBlock->locks == 0 && mOptions.moveOnUnlock) moveBlock(*aBlock);
}

OSErr BlockPool::allocateBuffer(int32 inSize, BufferID *outID) {
    if (outID == nullptr || inSize < 0) {
        mMisuse.push_back("buffer allocation of a negative size or without an id to set");
        if (outID != nullptr) *outID = nullptr;
        return -50;
    }
    *outID = nullptr;
    Block *aBlock = newBlock(inSize);
    if (aBlock == nullptr) return -108;
    mBuffers.push_back(aBlock);
    *outID = reinterpret_cast<BufferID>(aBlock);
    return 0;
}

Ptr BlockPool::lockBuffer(BufferID inID) {
    Block *aBlock = knownBuffer(inID, "lock");
    if (aBlock == nullptr || mOptions.failBufferLocks) return nullptr;
    ++aBlock->locks;
    return aBlock->master;
}

void BlockPool::unlockBuffer(BufferID inID) {
    Block *aBlock = knownBuffer(inID, "unlock");
    if (aBlock == nullptr) return;
    // A buffer is freed whether locked or not, so an unlock beyond the locks is harmless.
    if (aBlock->locks > 0) --aBlock->locks;
}

void BlockPool::freeBuffer(BufferID inID) {
    if (Block *aBlock = knownBuffer(inID, "free")) releaseBlock(mBuffers, aBlock);
}

int32 BlockPool::space() const {
    if (mOptions.space != 0) return mOptions.space;
    if (mOptions.byteLimit == 0) return INT32_MAX;
    const size_t aFree = mOptions.byteLimit - mInUse;
    return aFree > static_cast<size_t>(INT32_MAX) ? INT32_MAX : static_cast<int32>(aFree);
}

}  // namespace hostkit
