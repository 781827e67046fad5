// The callbacks themselves: context-free functions that forward to the current pool.
#include "CallbackTables.h"

#include "BlockPool.h"

namespace hostkit {

namespace {

BlockPool &Pool() {
    BlockPool &aPool = *BlockPool::current();
    aPool.noteCallingThread();
    return aPool;
}

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

BufferProcs MakeBufferProcs(const TableOptions &inOptions) {
    return BufferProcs{inOptions.bufferProcsVersion,
                       inOptions.numBufferProcs,
                       AllocateProc,
                       LockBufferProc,
                       UnlockBufferProc,
                       FreeProc,
                       SpaceProc};
}

HandleProcs MakeHandleProcs(const TableOptions &inOptions) {
    return HandleProcs{inOptions.handleProcsVersion,
                       inOptions.numHandleProcs,
                       NewProc,
                       DisposeProc,
                       GetSizeProc,
                       SetSizeProc,
                       LockHandleProc,
                       UnlockHandleProc,
                       RecoverSpaceProc,
                       DisposeProc};
}

}  // namespace hostkit
