// A host for the module: it fills the parameter block, offers its own buffer and handle
// callbacks, answers the module's dialogs for the user, and runs the Acquire selectors
// through ENTRYPOINT, checking every answer and assembling the delivered planes into an
// interleaved RGB image. One host keeps the module's data word between imports, as an
// application keeps its plug-ins loaded.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "import/BandSink.h"
#include "BlockPool.h"
#include "import/RgbImage.h"
#include "host/AcquireInterface.h"

namespace ekv {

enum class ImportStatus {
    Ok,
    Cancelled,      // the module (or the user's answer) cancelled
    NotEKV,         // the module refused the file: "Not an EKV File."
    Damaged,        // the module found the file damaged or unsupported
    OutOfMemory,    // the module ran out of host memory
    ProtocolError,  // the module's answers broke the interface; ended with -30000
    OutputFailed,   // the sink refused a band (the output could not be written)
    Failed,         // any other result code
};

struct ImportRequest {
    std::string path;       // what the open-file dialog answers
    int16 method = 0;       // the radio button: 0, 1 or 2
    Point wbPoint{-1, -1};  // preview point (v, h), or (-1, -1)
    bool convert = true;    // OK (true) or Cancel (false) in the conversion dialog
};

struct HostMessage {
    std::string text;
    std::string caption;
};

struct ImportResult {
    ImportStatus status = ImportStatus::Ok;
    int16 code = 0;                     // the result that ended the import (0 on success)
    std::string detail;                 // for a protocol error, what was wrong
    RgbImage image;                     // the document (with a sink: its size and depth, no samples)
    int32 rowsStreamed = 0;             // with a sink: rows from the top handed to it
    bool sinkStopped = false;           // with a sink: it refused a band, and the import stopped
    std::vector<HostMessage> messages;  // message boxes the module showed
    int beeps = 0;
    int continueCalls = 0;
    // Host blocks the run left allocated (the Globals handle, kept in the data word, is
    // not counted) and misuse of the callbacks seen during the run.
    long leakedHandles = 0;
    long leakedBuffers = 0;
    std::vector<std::string> misuse;
};

// Called after each band (blue plane) with the rows done so far and the document height.
using Progress = std::function<void(int32 inDone, int32 inTotal)>;

class AcquireHost {
public:
    AcquireHost() = default;
    AcquireHost(const AcquireHost &) = delete;
    AcquireHost &operator=(const AcquireHost &) = delete;

    // Without a sink the document is assembled in memory (result.image); with one, each
    // band goes to the sink as soon as its three planes have come, in order from the top,
    // and the import ends with bad parameters if the module breaks that order.
    ImportResult import(const ImportRequest &inRequest, const Progress &inProgress = {}, BandSink *ioSink = nullptr);
    // Selector 0; the about box's text (empty if the module showed none).
    std::string about();
    intptr_t dataWord() const { return mData; }

private:
    PlatformData mPlatform{0x4B56};  // the host's (dummy) main window
    intptr_t mData = 0;
};

const char *StatusName(ImportStatus inStatus);

// The host's memory: one pool per process that keeps freed blocks for reuse, with the
// byte limit of --max-memory. Worker processes forked per file inherit it.
hostkit::BlockPool &HostPool();

}  // namespace ekv
