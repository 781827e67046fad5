// Movable memory blocks of the Windows media layer: global memory handles, so that the
// handle fallback of the host memory wrappers can lock them with GlobalLock. Windows may
// round a block up, so each block carries its requested size in the last four bytes of
// the block it got; the block's address (what GlobalLock returns) is the caller's data.
#include "MediaLayer.h"

#include <windows.h>

#include <cstring>

static HGLOBAL GlobalOf(Handle h) { return reinterpret_cast<HGLOBAL>(h); }

static const SIZE_T kTrailerSize = sizeof(int32);

Handle NewHandle(int32 inSize) {
    if (inSize < 0 || static_cast<uint32>(inSize) > 0x7FFFFFFFu - kTrailerSize) return nullptr;
    HGLOBAL aBlock = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(inSize) + kTrailerSize);
    if (aBlock == nullptr) return nullptr;
    SIZE_T aBlockSize = GlobalSize(aBlock);
    char *aAddress = static_cast<char *>(GlobalLock(aBlock));
    if (aAddress == nullptr || aBlockSize < static_cast<SIZE_T>(inSize) + kTrailerSize) {
        if (aAddress != nullptr) GlobalUnlock(aBlock);
        GlobalFree(aBlock);
        return nullptr;
    }
    std::memcpy(aAddress + aBlockSize - kTrailerSize, &inSize, kTrailerSize);
    GlobalUnlock(aBlock);
    return reinterpret_cast<Handle>(aBlock);
}

void HLock(Handle h) {
    if (h != nullptr) GlobalLock(GlobalOf(h));
}

void HUnlock(Handle h) {
    if (h != nullptr) GlobalUnlock(GlobalOf(h));
}

void DisposeHandle(Handle h) {
    if (h != nullptr) GlobalFree(GlobalOf(h));
}

int32 GetHandleSize(Handle h) {
    if (h == nullptr) return 0;
    SIZE_T aBlockSize = GlobalSize(GlobalOf(h));
    if (aBlockSize < kTrailerSize) return 0;
    const char *aAddress = static_cast<const char *>(GlobalLock(GlobalOf(h)));
    if (aAddress == nullptr) return 0;
    int32 aSize = 0;
    std::memcpy(&aSize, aAddress + aBlockSize - kTrailerSize, kTrailerSize);
    GlobalUnlock(GlobalOf(h));
    if (aSize < 0 || static_cast<SIZE_T>(aSize) > aBlockSize - kTrailerSize) return 0;
    return aSize;
}
