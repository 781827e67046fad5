// The buffer and handle callback tables a host offers, each procedure reaching the
// current block pool. A host may offer older, newer or shorter tables, or none.
#pragma once

#include "host/AcquireInterface.h"

namespace hostkit {

struct TableOptions {
    bool offerBufferProcs = true;
    int16 bufferProcsVersion = kCurrentBufferProcsVersion;
    int16 numBufferProcs = kCurrentBufferProcsCount;
    bool offerHandleProcs = true;
    int16 handleProcsVersion = kCurrentHandleProcsVersion;
    int16 numHandleProcs = 8;
};

BufferProcs MakeBufferProcs(const TableOptions &inOptions = {});
HandleProcs MakeHandleProcs(const TableOptions &inOptions = {});

}  // namespace hostkit
