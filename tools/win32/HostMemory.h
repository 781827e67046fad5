// The host's memory callbacks: handles (a master pointer per block) and buffers, each
// tracked so that a foreign or freed id is refused instead of touched.
#pragma once

#include <cstddef>

#include "host/AcquireInterface.h"

namespace ekvhost {

BufferProcs MakeBufferProcs();
HandleProcs MakeHandleProcs();

size_t LiveHandles();
size_t LiveBuffers();
// The lock count of a handle of ours, or -1 when the handle is not one of ours.
int HandleLocks(Handle h);

}  // namespace ekvhost
