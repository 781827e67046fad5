// Movable memory blocks of the native media layer. A handle points at the block's master
// pointer; the block's address is valid while it is locked.
#include "MediaLayer.h"

#include <cstdlib>

namespace {

struct MovableBlock {
    char *address;  // first, so that the handle is the address of the master pointer
    int32 size;
    int32 locks;
};

MovableBlock *BlockOf(Handle h) { return reinterpret_cast<MovableBlock *>(h); }

}  // namespace

Handle NewHandle(int32 inSize) {
    if (inSize < 0) return nullptr;
    MovableBlock *block = static_cast<MovableBlock *>(std::calloc(1, sizeof(MovableBlock)));
    if (block == nullptr) return nullptr;
    block->address = static_cast<char *>(std::malloc(inSize > 0 ? static_cast<size_t>(inSize) : 1));
    if (block->address == nullptr) {
        std::free(block);
        return nullptr;
    }
    block->size = inSize;
    return reinterpret_cast<Handle>(block);
}

void HLock(Handle h) {
    if (h != nullptr) ++BlockOf(h)->locks;
}

void HUnlock(Handle h) {
    if (h != nullptr && BlockOf(h)->locks > 0) --BlockOf(h)->locks;
}

Ptr NativeHandleLock(Handle h) {
    if (h == nullptr) return nullptr;
    HLock(h);
    return BlockOf(h)->address;
}

void NativeHandleUnlock(Handle h) { HUnlock(h); }

void DisposeHandle(Handle h) {
    if (h == nullptr) return;
    std::free(BlockOf(h)->address);
    std::free(BlockOf(h));
}

int32 GetHandleSize(Handle h) { return h == nullptr ? 0 : BlockOf(h)->size; }
