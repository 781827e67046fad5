// Host memory wrappers. Every block the module uses comes through here: buffers from the
// host's BufferProcs, handles from its HandleProcs or, when the host offers none, from
// the media layer's movable blocks locked through the platform.
#include "HostMemory.h"

#include "../host/MediaLayer.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include "../ui/UserSeam.h"
#endif

Boolean HostBufferProcsAvailable(const BufferProcs *procs, Boolean *outNewerVersion) {
    if (procs == nullptr) return false;
    if (procs->bufferProcsVersion > kCurrentBufferProcsVersion) {
        if (outNewerVersion != nullptr) *outNewerVersion = true;
        return false;
    }
    return procs->bufferProcsVersion == kCurrentBufferProcsVersion &&
           procs->numBufferProcs >= kCurrentBufferProcsCount && procs->allocateProc != nullptr &&
           procs->lockProc != nullptr && procs->unlockProc != nullptr && procs->freeProc != nullptr &&
           procs->spaceProc != nullptr;
}

OSErr HostAllocateBuffer(BufferProcs *procs, int32 inSize, BufferID *outBufferID) {
    *outBufferID = nullptr;
    if (!HostBufferProcsAvailable(procs, nullptr)) return -108;
    return procs->allocateProc(inSize, outBufferID);
}

void HostFreeBuffer(BufferProcs *procs, BufferID inBufferID) {
    if (HostBufferProcsAvailable(procs, nullptr)) procs->freeProc(inBufferID);
}

Ptr HostLockBuffer(BufferProcs *procs, BufferID inBufferID, Boolean inMoveHigh) {
    if (!HostBufferProcsAvailable(procs, nullptr)) return nullptr;
    return procs->lockProc(inBufferID, inMoveHigh);
}

void HostUnlockBuffer(BufferProcs *procs, BufferID inBufferID) {
    if (HostBufferProcsAvailable(procs, nullptr)) procs->unlockProc(inBufferID);
}

Boolean HostHandleProcsAvailable(const HandleProcs *procs, Boolean *outNewerVersion) {
    if (procs == nullptr) return false;
    if (procs->handleProcsVersion > kCurrentHandleProcsVersion) {
        if (outNewerVersion != nullptr) *outNewerVersion = true;
        return false;
    }
    return procs->handleProcsVersion == kCurrentHandleProcsVersion && procs->numHandleProcs >= kMinHandleProcsCount &&
           procs->newProc != nullptr && procs->disposeProc != nullptr && procs->getSizeProc != nullptr &&
           procs->setSizeProc != nullptr;
}

Handle HostNewHandle(HandleProcs *procs, int32 inSize) {
    if (HostHandleProcsAvailable(procs, nullptr)) return procs->newProc(inSize);
    return NewHandle(inSize);
}

void HostDisposeHandle(HandleProcs *procs, Handle h) {
    if (HostHandleProcsAvailable(procs, nullptr))
        procs->disposeProc(h);
    else
        DisposeHandle(h);
}

// The platform's lock is used only when the host offers no usable table, so only for
// handles that the fallback made. A table that passes the availability test but lacks
// its lock or unlock procedure made the handle itself: the platform cannot lock it, so
// the table is unusable for locking and the lock fails.
Ptr HostLockHandle(HandleProcs *procs, Handle h, Boolean inMoveHigh) {
    if (h == nullptr) return nullptr;
    if (HostHandleProcsAvailable(procs, nullptr)) {
        if (procs->lockProc == nullptr || procs->unlockProc == nullptr) return nullptr;
        return procs->lockProc(h, inMoveHigh);
    }
#if defined(_WIN32)
    return static_cast<Ptr>(GlobalLock(reinterpret_cast<HGLOBAL>(h)));
#else
    return NativeHandleLock(h);
#endif
}

void HostUnlockHandle(HandleProcs *procs, Handle h) {
    if (h == nullptr) return;
    if (HostHandleProcsAvailable(procs, nullptr)) {
        // Nothing was locked through a table without both procedures.
        if (procs->lockProc != nullptr && procs->unlockProc != nullptr) procs->unlockProc(h);
        return;
    }
#if defined(_WIN32)
    GlobalUnlock(reinterpret_cast<HGLOBAL>(h));
#else
    NativeHandleUnlock(h);
#endif
}

int32 HostGetHandleSize(HandleProcs *procs, Handle h) {
    if (HostHandleProcsAvailable(procs, nullptr)) return procs->getSizeProc(h);
    return GetHandleSize(h);
}

Ptr RAW_AllocateBuffer(BufferProcs *inBufferProcs, int32 inSize, BufferID *outBufferID) {
    if (HostAllocateBuffer(inBufferProcs, inSize, outBufferID) != 0) {
        *outBufferID = nullptr;
        return nullptr;
    }
    return HostLockBuffer(inBufferProcs, *outBufferID, false);
}

void RAW_FreeBuffer(BufferProcs *inBufferProcs, BufferID inBufferID) {
    if (inBufferID == nullptr) return;
    HostUnlockBuffer(inBufferProcs, inBufferID);
    HostFreeBuffer(inBufferProcs, inBufferID);
}

Handle RAW_NewHandle(HandleProcs *inHandleProcs, int32 inSize) { return HostNewHandle(inHandleProcs, inSize); }

void RAW_DisposeHandle(HandleProcs *inHandleProcs, Handle h) { HostDisposeHandle(inHandleProcs, h); }

Ptr RAW_LockHandle(HandleProcs *inHandleProcs, Handle h, Boolean inMoveHigh) {
    return HostLockHandle(inHandleProcs, h, inMoveHigh);
}

void RAW_UnlockHandle(HandleProcs *inHandleProcs, Handle h) { HostUnlockHandle(inHandleProcs, h); }

void RAW_DebugIfNil(const void *p) {
    if (p != nullptr) return;
#if defined(_WIN32)
    MessageBeep(1);
#else
    UI_Beep();
#endif
}
