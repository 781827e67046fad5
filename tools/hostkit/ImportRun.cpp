// The Acquire run as a host drives it.
#include "ImportRun.h"

#include "plugin/PlugInGlobals.h"

namespace hostkit {

namespace {

Boolean KARVEX_CDECL NeverAbort() { return false; }
void KARVEX_CDECL IgnoreProgress(int32, int32) {}

static_assert(sizeof(AcquireRecord) <= kRecordBytes, "AcquireRecord fits the host's block");

// Each band takes three calls and brings at least one row: more calls than that would be
// a module that never ends.
int CallLimit(const Document &inDocument) { return 3 * inDocument.height + 16; }

void Deliver(ImportDriver &ioDriver, AcquireRecord *ioRecord, const Document &inDocument, RunOutcome &ioOutcome) {
    int16 &aCode = ioOutcome.code;
    while (aCode == 0) {
        ioRecord->data = nullptr;
        aCode = ioDriver.call(acquireSelectorContinue, ioRecord);
        ++ioOutcome.continueCalls;
        if (aCode != 0) return;
        if (ioRecord->data == nullptr) {
            ioOutcome.detail = ioDriver.end();
        } else {
            ioOutcome.detail = CheckDelivery(*ioRecord, inDocument);
            if (ioOutcome.detail.empty() && ioOutcome.continueCalls > CallLimit(inDocument))
                ioOutcome.detail = "the module went on delivering planes past the end of the document";
            if (ioOutcome.detail.empty()) aCode = ioDriver.take(*ioRecord, ioOutcome.detail);
        }
        if (!ioOutcome.detail.empty()) {
            aCode = kResultBadParameters;
            ioDriver.violated(ioOutcome.detail);
        }
        if (ioRecord->data == nullptr) return;
    }
}

}  // namespace

std::vector<unsigned char> NewRecordBlock(const RecordFields &inFields) {
    std::vector<unsigned char> aBlock(kRecordBytes, 0);
    AcquireRecord *aRecord = RecordOf(aBlock);
    aRecord->abortProc = NeverAbort;
    aRecord->progressProc = IgnoreProgress;
    aRecord->maxData = inFields.maxData;
    aRecord->hostSig = inFields.hostSig;
    for (int16 aPlane = 0; aPlane < 16; ++aPlane) aRecord->planeMap[aPlane] = aPlane;
    aRecord->platformData = inFields.platform;
    aRecord->bufferProcs = inFields.bufferProcs;
    aRecord->handleProcs = inFields.handleProcs;
    return aBlock;
}

RunOutcome RunImport(ImportDriver &ioDriver, AcquireRecord *ioRecord) {
    RunOutcome aOutcome;
    int16 &aCode = aOutcome.code;
    aCode = ioDriver.call(acquireSelectorPrepare, ioRecord);
    bool aWantFinalize = ioRecord->wantFinalize != 0;
    if (aCode == 0) {
        aCode = ioDriver.call(acquireSelectorStart, ioRecord);
        aOutcome.started = aCode == 0;
        aWantFinalize = aWantFinalize || ioRecord->wantFinalize != 0;
    }
    Document aDocument;
    if (aOutcome.started) {
        ioDriver.started(*ioRecord);
        aOutcome.detail = CheckDescription(*ioRecord, aDocument);
        aOutcome.described = aOutcome.detail.empty();
        if (!aOutcome.described) {
            aCode = kResultBadParameters;
            ioDriver.violated(aOutcome.detail);
        }
    }
    if (aOutcome.described) {
        aCode = ioDriver.begin(aDocument, aOutcome.detail);
        Deliver(ioDriver, ioRecord, aDocument, aOutcome);
        ioDriver.ended(aOutcome);
    }
    if (aOutcome.started) {
        int16 aFinish = ioDriver.call(acquireSelectorFinish, ioRecord);
        if (aCode == 0) aCode = aFinish;
    }
    if (aWantFinalize) ioDriver.call(acquireSelectorFinalize, ioRecord);
    return aOutcome;
}

}  // namespace hostkit
