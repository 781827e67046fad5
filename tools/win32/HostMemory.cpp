#include "HostMemory.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

namespace ekvhost {
namespace {

struct HandleBlock {
    char *address;  // first: the handle is the address of this master pointer
    int32 size;
    int locks;
};

struct BufferBlock {
    std::vector<char> bytes;
    int locks = 0;
};

std::set<HandleBlock *> gHandles;
std::set<BufferBlock *> gBuffers;

HandleBlock *BlockOf(Handle h) {
    HandleBlock *block = reinterpret_cast<HandleBlock *>(h);
    return gHandles.count(block) ? block : nullptr;
}

Handle KARVEX_CDECL NewHandleProc(int32 inSize) {
    if (inSize < 0) return nullptr;
    auto *block = new HandleBlock{new char[inSize > 0 ? inSize : 1](), inSize, 0};
    gHandles.insert(block);
    return reinterpret_cast<Handle>(block);
}

void KARVEX_CDECL DisposeHandleProc(Handle h) {
    if (HandleBlock *block = BlockOf(h)) {
        gHandles.erase(block);
        delete[] block->address;
        delete block;
    }
}

int32 KARVEX_CDECL GetSizeProc(Handle h) {
    HandleBlock *block = BlockOf(h);
    return block ? block->size : 0;
}

OSErr KARVEX_CDECL SetSizeProc(Handle h, int32 inSize) {
    HandleBlock *block = BlockOf(h);
    if (block == nullptr || inSize < 0) return -50;
    if (block->locks > 0) return -108;
    char *bytes = new char[inSize > 0 ? inSize : 1]();
    std::memcpy(bytes, block->address, static_cast<size_t>(std::min(inSize, block->size)));
    delete[] block->address;
    block->address = bytes;
    block->size = inSize;
    return 0;
}

Ptr KARVEX_CDECL LockHandleProc(Handle h, Boolean) {
    HandleBlock *block = BlockOf(h);
    if (block == nullptr) return nullptr;
    ++block->locks;
    return block->address;
}

void KARVEX_CDECL UnlockHandleProc(Handle h) {
    HandleBlock *block = BlockOf(h);
    if (block != nullptr && block->locks > 0) --block->locks;
}

void KARVEX_CDECL RecoverSpaceProc(int32) {}

OSErr KARVEX_CDECL AllocateBufferProc(int32 inSize, BufferID *outID) {
    *outID = nullptr;
    if (inSize < 0) return -108;
    auto *buffer = new BufferBlock;
    buffer->bytes.resize(static_cast<size_t>(inSize > 0 ? inSize : 1));
    gBuffers.insert(buffer);
    *outID = reinterpret_cast<BufferID>(buffer);
    return 0;
}

BufferBlock *BufferOf(BufferID inID) {
    BufferBlock *buffer = reinterpret_cast<BufferBlock *>(inID);
    return gBuffers.count(buffer) ? buffer : nullptr;
}

Ptr KARVEX_CDECL LockBufferProc(BufferID inID, Boolean) {
    BufferBlock *buffer = BufferOf(inID);
    if (buffer == nullptr) return nullptr;
    ++buffer->locks;
    return buffer->bytes.data();
}

void KARVEX_CDECL UnlockBufferProc(BufferID inID) {
    BufferBlock *buffer = BufferOf(inID);
    if (buffer != nullptr && buffer->locks > 0) --buffer->locks;
}

void KARVEX_CDECL FreeBufferProc(BufferID inID) {
    if (BufferBlock *buffer = BufferOf(inID)) {
        gBuffers.erase(buffer);
        delete buffer;
    }
}

int32 KARVEX_CDECL SpaceProc() { return 256 * 1024 * 1024; }

}  // namespace

BufferProcs MakeBufferProcs() {
    return {kCurrentBufferProcsVersion, kCurrentBufferProcsCount, AllocateBufferProc,
            LockBufferProc,             UnlockBufferProc,         FreeBufferProc,
            SpaceProc};
}

HandleProcs MakeHandleProcs() {
    return {kCurrentHandleProcsVersion, 8, NewHandleProc, DisposeHandleProc, GetSizeProc,
            SetSizeProc, LockHandleProc, UnlockHandleProc, RecoverSpaceProc, DisposeHandleProc};
}

size_t LiveHandles() { return gHandles.size(); }
size_t LiveBuffers() { return gBuffers.size(); }

int HandleLocks(Handle h) {
    HandleBlock *block = BlockOf(h);
    return block ? block->locks : -1;
}

}  // namespace ekvhost
