// A host's side of the Acquire run: the parameter block filled as a host fills it, and
// Prepare, Start, Continue until the module hands back null data, Finish and Finalize,
// with every answer of the module checked. What the host does with the document is its
// own: it plugs in through ImportDriver.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "DeliveryRules.h"
#include "host/AcquireInterface.h"

namespace hostkit {

// The block is generous: later interface versions append fields that a host zeroes.
constexpr size_t kRecordBytes = 2048;

struct RecordFields {
    OSType hostSig = 0;
    int32 maxData = 0;
    PlatformData *platform = nullptr;
    BufferProcs *bufferProcs = nullptr;  // null: the host offers no buffer callbacks
    HandleProcs *handleProcs = nullptr;  // null: the host offers no handle callbacks
};

// A zeroed block of kRecordBytes filled with the fields, an abort procedure that never
// aborts, a progress procedure that ignores the progress and the identity plane map.
std::vector<unsigned char> NewRecordBlock(const RecordFields &inFields);
inline AcquireRecord *RecordOf(std::vector<unsigned char> &ioBlock) {
    return reinterpret_cast<AcquireRecord *>(ioBlock.data());
}

// How one import ended.
struct RunOutcome {
    int16 code = 0;      // the result that ended the import (0 on success)
    std::string detail;  // when the module broke the interface, what was wrong
    int continueCalls = 0;
    bool started = false;    // Start succeeded (and Finish was called)
    bool described = false;  // Start described a document this host takes
};

class ImportDriver {
public:
    virtual ~ImportDriver() = default;
    // Calls the module's entry point with the host's data word; returns the result.
    virtual int16 call(int16 inSelector, AcquireRecord *ioRecord) = 0;
    // After a successful Start, before its description is checked.
    virtual void started(const AcquireRecord &) {}
    // The document is accepted; a non-zero code (outDetail for bad parameters) ends the
    // import before the first Continue.
    virtual int16 begin(const Document &, std::string &) { return 0; }
    // A delivery that passed the checks; a non-zero code ends the import.
    virtual int16 take(const AcquireRecord &inRecord, std::string &outDetail) = 0;
    // The module handed back null data; a non-empty reason makes it bad parameters.
    virtual std::string end() { return {}; }
    // The module broke the interface (the reason is also in the outcome).
    virtual void violated(const std::string &) {}
    // After the deliveries of an accepted document, before Finish.
    virtual void ended(const RunOutcome &) {}
};

// Runs the selectors of one import with ioRecord; Finish follows a successful Start
// whatever happened after it, and Finalize follows when the module asked for it.
RunOutcome RunImport(ImportDriver &ioDriver, AcquireRecord *ioRecord);

}  // namespace hostkit
