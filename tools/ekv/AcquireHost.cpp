// The Acquire run as a host drives it: Prepare, Start, Continue until the module hands
// back null data, then Finish and Finalize.
#include "AcquireHost.h"

#include <cstring>
#include <memory>
#include <new>

#include "BandStream.h"
#include "HostBlocks.h"
#include "PlaneAssembly.h"
#include "plugin/PlugInGlobals.h"
#include "resources/Strings.h"
#include "ui/UserSeam.h"

namespace ekv {

namespace {

// The answers of the person in front of the module for one import.
struct Session {
    const ImportRequest *request = nullptr;
    std::vector<HostMessage> *messages = nullptr;
    int beeps = 0;
};

Boolean ChooseFile(void *inContext, char *outPath, int32 inSize) {
    auto *aSession = static_cast<Session *>(inContext);
    const std::string &aPath = aSession->request->path;
    if (outPath == nullptr || inSize <= 0 || aPath.size() >= static_cast<size_t>(inSize)) return false;
    std::memcpy(outPath, aPath.c_str(), aPath.size() + 1);
    return true;
}

void ShowMessage(void *inContext, const char *inText, const char *inCaption) {
    auto *aSession = static_cast<Session *>(inContext);
    aSession->messages->push_back({inText != nullptr ? inText : "", inCaption != nullptr ? inCaption : ""});
}

void RunDialog(void *inContext, const uint8_t *, int32, UI_DialogAnswer *outAnswer) {
    auto *aSession = static_cast<Session *>(inContext);
    const ImportRequest &aRequest = *aSession->request;
    outAnswer->method = aRequest.method;
    outAnswer->wb_point = aRequest.method != 0 ? aRequest.wbPoint : Point{-1, -1};
    outAnswer->convert = aRequest.convert;
}

void Beep(void *inContext) { ++static_cast<Session *>(inContext)->beeps; }

// Installs the session's responder for the span of one host action.
class ResponderScope {
public:
    explicit ResponderScope(Session *inSession) {
        const UI_Responder *aPrevious = UI_GetResponder();
        mHadPrevious = aPrevious != nullptr;
        if (mHadPrevious) mPrevious = *aPrevious;
        UI_Responder aResponder{inSession, ChooseFile, ShowMessage, RunDialog, Beep};
        UI_SetResponder(&aResponder);
    }
    ~ResponderScope() { UI_SetResponder(mHadPrevious ? &mPrevious : nullptr); }

private:
    UI_Responder mPrevious{};
    bool mHadPrevious = false;
};

Boolean KARVEX_CDECL NeverAbort() { return false; }
void KARVEX_CDECL IgnoreProgress(int32, int32) {}

bool Said(const std::vector<HostMessage> &inMessages, const char *inText) {
    for (const HostMessage &aMessage : inMessages)
        if (aMessage.text == inText) return true;
    return false;
}

// The block is generous: later interface versions append fields that a host zeroes.
constexpr size_t kRecordBytes = 2048;
// The host's own code for an import it stops because its output cannot take more rows:
// no further Continue, then Finish as after any error, so the module releases its memory.
constexpr int16 kResultHostStopped = 1;
static_assert(sizeof(AcquireRecord) <= kRecordBytes, "AcquireRecord fits the host's block");

}  // namespace

const char *StatusName(ImportStatus inStatus) {
    switch (inStatus) {
        case ImportStatus::Ok: return "ok";
        case ImportStatus::Cancelled: return "cancelled";
        case ImportStatus::NotEKV: return "not an EKV file";
        case ImportStatus::Damaged: return "damaged file";
        case ImportStatus::OutOfMemory: return "out of memory";
        case ImportStatus::ProtocolError: return "module error";
        case ImportStatus::OutputFailed: return "output failed";
        case ImportStatus::Failed: return "import failed";
    }
    return "unknown";
}

int16 AcquireHost::call(int16 inSelector, AcquireRecord *ioRecord) {
    int16 aResult = 0;
    ENTRYPOINT(inSelector, ioRecord, &mData, &aResult);
    return aResult;
}

void AcquireHost::fillRecord(AcquireRecord *outRecord) {
    HostBlocks &aPool = HostBlocks::instance();
    outRecord->abortProc = NeverAbort;
    outRecord->progressProc = IgnoreProgress;
    outRecord->maxData = aPool.space();
    outRecord->hostSig = 0x656B7620;  // 'ekv '
    for (int16 aPlane = 0; aPlane < 16; ++aPlane) outRecord->planeMap[aPlane] = aPlane;
    outRecord->platformData = &mPlatform;
    outRecord->bufferProcs = aPool.bufferProcs();
    outRecord->handleProcs = aPool.handleProcs();
}

ImportResult AcquireHost::import(const ImportRequest &inRequest, const Progress &inProgress, BandSink *ioSink) {
    ImportResult aResult;
    Session aSession;
    aSession.request = &inRequest;
    aSession.messages = &aResult.messages;
    ResponderScope aScope(&aSession);

    HostBlocks &aPool = HostBlocks::instance();
    const long aHandlesBefore = static_cast<long>(aPool.liveHandles()) + (mData == 0 ? 1 : 0);
    const long aBuffersBefore = static_cast<long>(aPool.liveBuffers());
    const size_t aMisuseBefore = aPool.misuse().size();
    std::vector<unsigned char> aBlock(kRecordBytes, 0);
    auto *aRecord = reinterpret_cast<AcquireRecord *>(aBlock.data());
    fillRecord(aRecord);

    int16 aCode = call(acquireSelectorPrepare, aRecord);
    bool aWantFinalize = aRecord->wantFinalize != 0;
    bool aStarted = false;
    Document aDocument;
    if (aCode == 0) {
        aCode = call(acquireSelectorStart, aRecord);
        aStarted = aCode == 0;
        aWantFinalize = aWantFinalize || aRecord->wantFinalize != 0;
    }
    if (aStarted) {
        aResult.detail = CheckDescription(*aRecord, aDocument);
        if (!aResult.detail.empty()) aCode = kResultBadParameters;
    }
    if (aStarted && aCode == 0) {
        // Either the document in memory, or a stream of bands to the sink.
        RgbImage &aImage = aResult.image;
        std::vector<uint8_t> aRowPlanes;
        PlaneAssembly aAssembly;
        std::unique_ptr<BandStream> aStream;
        aImage.width = aDocument.width;
        aImage.height = aDocument.height;
        aImage.depth = aDocument.depth;
        if (ioSink != nullptr) {
            aStream = std::make_unique<BandStream>(aDocument, *ioSink);
            if (!ioSink->begin(aDocument)) aResult.sinkStopped = true;
        } else {
            try {
                aImage.samples.assign(static_cast<size_t>(aDocument.width) * aDocument.height * 3, 0);
                aRowPlanes.assign(static_cast<size_t>(aDocument.height), 0);
            } catch (const std::bad_alloc &) {
                aCode = kResultMemFull;
            }
        }
        // Each band takes three calls and brings at least one row: more calls than that
        // would be a module that never ends.
        const int aCallLimit = 3 * aDocument.height + 16;
        if (inProgress && aCode == 0 && !aResult.sinkStopped) inProgress(0, aDocument.height);
        while (aCode == 0 && !aResult.sinkStopped) {
            aRecord->data = nullptr;
            aCode = call(acquireSelectorContinue, aRecord);
            ++aResult.continueCalls;
            if (aCode != 0) break;
            if (aRecord->data == nullptr) {
                if (aStream) aResult.detail = aStream->finish();
                if (!aResult.detail.empty()) aCode = kResultBadParameters;
                break;
            }
            aResult.detail = CheckDelivery(*aRecord, aDocument);
            if (aResult.detail.empty() && aResult.continueCalls > aCallLimit)
                aResult.detail = "the module went on delivering planes past the end of the document";
            if (aResult.detail.empty() && aStream) aResult.detail = aStream->add(*aRecord);
            if (!aResult.detail.empty()) {
                aCode = kResultBadParameters;
                break;
            }
            if (aStream) {
                aResult.sinkStopped = aStream->sinkStopped();
            } else {
                aAssembly.add(*aRecord, aImage);
                for (int32 aRow = aRecord->theRect.top; aRow < aRecord->theRect.bottom; ++aRow)
                    aRowPlanes[aRow] |= static_cast<uint8_t>(1u << aRecord->loPlane);
            }
            if (aRecord->loPlane == 2 && inProgress) inProgress(aRecord->theRect.bottom, aDocument.height);
        }
        if (aResult.sinkStopped && aCode == 0) aCode = kResultHostStopped;
        if (aStream) {
            aResult.rowsStreamed = aStream->rowsDone();
        } else {
            aAssembly.flush(aImage);
            while (aImage.rowsDelivered < aDocument.height && aRowPlanes[aImage.rowsDelivered] == 7)
                ++aImage.rowsDelivered;
        }
    }
    if (aStarted) {
        int16 aFinish = call(acquireSelectorFinish, aRecord);
        if (aCode == 0) aCode = aFinish;
    }
    if (aWantFinalize) call(acquireSelectorFinalize, aRecord);

    aResult.leakedHandles = static_cast<long>(aPool.liveHandles()) - aHandlesBefore;
    aResult.leakedBuffers = static_cast<long>(aPool.liveBuffers()) - aBuffersBefore;
    aResult.misuse.assign(aPool.misuse().begin() + static_cast<long>(aMisuseBefore), aPool.misuse().end());
    aResult.code = aCode;
    aResult.beeps = aSession.beeps;
    if (aCode == 0)
        aResult.status = ImportStatus::Ok;
    else if (Said(aResult.messages, STR_NOT_EKV))
        aResult.status = ImportStatus::NotEKV;
    else if (Said(aResult.messages, STR_DAMAGED_EKV))
        aResult.status = ImportStatus::Damaged;
    else if (aCode == kResultMemFull)
        aResult.status = ImportStatus::OutOfMemory;
    else if (aResult.sinkStopped)
        aResult.status = ImportStatus::OutputFailed;
    else if (aCode == kResultBadParameters)
        aResult.status = ImportStatus::ProtocolError;
    else if (aCode == kResultUserCanceled)
        aResult.status = ImportStatus::Cancelled;
    else
        aResult.status = ImportStatus::Failed;
    if (aResult.status == ImportStatus::ProtocolError && aResult.detail.empty())
        aResult.detail = "the module reported bad parameters";
    if (aCode != 0) aResult.image.samples.clear();
    return aResult;
}

std::string AcquireHost::about() {
    std::vector<HostMessage> aMessages;
    ImportRequest aNoRequest;
    Session aSession;
    aSession.request = &aNoRequest;
    aSession.messages = &aMessages;
    ResponderScope aScope(&aSession);
    AboutRecord aAbout{};
    aAbout.platformData = &mPlatform;
    int16 aResult = 0;
    ENTRYPOINT(acquireSelectorAbout, reinterpret_cast<AcquireRecord *>(&aAbout), &mData, &aResult);
    return aMessages.empty() ? std::string() : aMessages.front().text;
}

}  // namespace ekv
