// Wrappers over the host's buffer and handle callbacks, with platform fallbacks for
// handles, and the memory functions of the raw-processing code.
#ifndef KARVEX_PLUGIN_HOSTMEMORY_H
#define KARVEX_PLUGIN_HOSTMEMORY_H

#include "../host/AcquireInterface.h"

Boolean HostBufferProcsAvailable(const BufferProcs *procs, Boolean *outNewerVersion);
OSErr HostAllocateBuffer(BufferProcs *procs, int32 inSize, BufferID *outBufferID);
void HostFreeBuffer(BufferProcs *procs, BufferID inBufferID);
Ptr HostLockBuffer(BufferProcs *procs, BufferID inBufferID, Boolean inMoveHigh);
void HostUnlockBuffer(BufferProcs *procs, BufferID inBufferID);

Boolean HostHandleProcsAvailable(const HandleProcs *procs, Boolean *outNewerVersion);
Handle HostNewHandle(HandleProcs *procs, int32 inSize);
void HostDisposeHandle(HandleProcs *procs, Handle h);
Ptr HostLockHandle(HandleProcs *procs, Handle h, Boolean inMoveHigh);
void HostUnlockHandle(HandleProcs *procs, Handle h);
int32 HostGetHandleSize(HandleProcs *procs, Handle h);

Ptr RAW_AllocateBuffer(BufferProcs *inBufferProcs, int32 inSize, BufferID *outBufferID);
void RAW_FreeBuffer(BufferProcs *inBufferProcs, BufferID inBufferID);
Handle RAW_NewHandle(HandleProcs *inHandleProcs, int32 inSize);
void RAW_DisposeHandle(HandleProcs *inHandleProcs, Handle h);
Ptr RAW_LockHandle(HandleProcs *inHandleProcs, Handle h, Boolean inMoveHigh);
void RAW_UnlockHandle(HandleProcs *inHandleProcs, Handle h);
void RAW_DebugIfNil(const void *p);

#endif
