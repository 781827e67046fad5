// The Acquire run as a host drives it: Prepare, Start, Continue until the module hands
// back null data, then Finish and Finalize.
#include "import/AcquireHost.h"

#include <memory>
#include <new>
#include <system_error>

#include "import/BandStream.h"
#include "ImportRun.h"
#include "import/PlaneAssembly.h"
#include "SeamAnswers.h"
#include "plugin/PlugInGlobals.h"
#include "resources/Strings.h"

namespace ekv {

namespace {

// The person's answers for one request: the point is given with the methods that use it.
hostkit::Answers AnswersFor(const ImportRequest &inRequest) {
    hostkit::Answers aAnswers;
    aAnswers.file = inRequest.path;
    aAnswers.method = inRequest.method;
    aAnswers.wbPoint = inRequest.method != 0 ? inRequest.wbPoint : Point{-1, -1};
    aAnswers.convert = inRequest.convert;
    return aAnswers;
}

void TakeMessages(const hostkit::SeamLog &inLog, std::vector<HostMessage> &outMessages) {
    for (const auto &aMessage : inLog.messages) outMessages.push_back({aMessage.first, aMessage.second});
}

hostkit::PoolOptions ReusingPool() {
    hostkit::PoolOptions aOptions;
    aOptions.reuseFreed = true;
    return aOptions;
}

bool Said(const std::vector<HostMessage> &inMessages, const char *inText) {
    for (const HostMessage &aMessage : inMessages)
        if (aMessage.text == inText) return true;
    return false;
}

// The host's own code for an import it stops because its output cannot take more rows:
// no further Continue, then Finish as after any error, so the module releases its memory.
constexpr int16 kResultHostStopped = 1;

// What this host does with the document: assembles it in memory, or streams it band by
// band to a sink, which also demands bands in order from the top and each plane once.
class DocumentDriver : public hostkit::ImportDriver {
public:
    DocumentDriver(intptr_t &ioData, ImportResult &ioResult, const Progress &inProgress, BandSink *ioSink)
        : mData(ioData), mResult(ioResult), mProgress(inProgress), mSink(ioSink) {}

    int16 call(int16 inSelector, AcquireRecord *ioRecord) override {
        int16 aResult = 0;
        ENTRYPOINT(inSelector, ioRecord, &mData, &aResult);
        return aResult;
    }

    // An allocation that fails in the host's part of a call ends the import as the
    // module's own would: memFullErr, then Finish, which releases the module's memory.
    int16 begin(const Document &inDocument, std::string &outDetail) override {
        try {
            return beginDocument(inDocument, outDetail);
        } catch (const std::bad_alloc &) {
            return kResultMemFull;
        } catch (const std::system_error &) {
            return kResultMemFull;  // the writer's thread could not start
        }
    }

    int16 take(const AcquireRecord &inRecord, std::string &outDetail) override {
        try {
            return takeBand(inRecord, outDetail);
        } catch (const std::bad_alloc &) {
            return kResultMemFull;
        }
    }

    std::string end() override { return mStream ? mStream->finish() : std::string(); }

private:
    int16 beginDocument(const Document &inDocument, std::string &) {
        mDocument = inDocument;
        RgbImage &aImage = mResult.image;
        aImage.width = inDocument.width;
        aImage.height = inDocument.height;
        aImage.depth = inDocument.depth;
        if (mSink != nullptr) {
            mStream = std::make_unique<BandStream>(inDocument, *mSink);
            if (!mSink->begin(inDocument)) mResult.sinkStopped = true;
        } else {
            try {
                aImage.samples.assign(static_cast<size_t>(inDocument.width) * inDocument.height * 3, 0);
                mRowPlanes.assign(static_cast<size_t>(inDocument.height), 0);
            } catch (const std::bad_alloc &) {
                return kResultMemFull;
            }
        }
        if (mResult.sinkStopped) return kResultHostStopped;
        if (mProgress) mProgress(0, inDocument.height);
        return 0;
    }

    int16 takeBand(const AcquireRecord &inRecord, std::string &outDetail) {
        if (mStream) {
            outDetail = mStream->add(inRecord);
            if (!outDetail.empty()) return kResultBadParameters;
            mResult.sinkStopped = mStream->sinkStopped();
        } else {
            mAssembly.add(inRecord, mResult.image);
            for (int32 aRow = inRecord.theRect.top; aRow < inRecord.theRect.bottom; ++aRow)
                mRowPlanes[aRow] |= static_cast<uint8_t>(1u << inRecord.loPlane);
        }
        if (inRecord.loPlane == 2 && mProgress) mProgress(inRecord.theRect.bottom, mDocument.height);
        return mResult.sinkStopped ? kResultHostStopped : 0;
    }

public:
    void ended(const hostkit::RunOutcome &) override {
        if (mStream) {
            mResult.rowsStreamed = mStream->rowsDone();
            return;
        }
        RgbImage &aImage = mResult.image;
        mAssembly.flush(aImage);
        // Rows from the top whose three planes have all come (none when the document did
        // not fit in memory).
        const int32 aRows = static_cast<int32>(mRowPlanes.size());
        while (aImage.rowsDelivered < aRows && mRowPlanes[aImage.rowsDelivered] == 7) ++aImage.rowsDelivered;
    }

private:
    intptr_t &mData;
    ImportResult &mResult;
    const Progress &mProgress;
    BandSink *mSink;
    Document mDocument;
    std::vector<uint8_t> mRowPlanes;
    PlaneAssembly mAssembly;
    std::unique_ptr<BandStream> mStream;
};

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

hostkit::BlockPool &HostPool() {
    static hostkit::BlockPool sPool(ReusingPool());
    return sPool;
}

ImportResult AcquireHost::import(const ImportRequest &inRequest, const Progress &inProgress, BandSink *ioSink) {
    ImportResult aResult;
    const hostkit::Answers aAnswers = AnswersFor(inRequest);
    hostkit::SeamLog aLog;
    hostkit::SeamResponder aResponder(aAnswers, aLog);

    hostkit::BlockPool &aPool = HostPool();
    const long aHandlesBefore = static_cast<long>(aPool.liveHandles()) + (mData == 0 ? 1 : 0);
    const long aBuffersBefore = static_cast<long>(aPool.liveBuffers());
    const size_t aMisuseBefore = aPool.misuse().size();
    std::vector<unsigned char> aBlock = hostkit::NewRecordBlock(
        {0x656B7620 /* 'ekv ' */, aPool.space(), &mPlatform, aPool.bufferProcs(), aPool.handleProcs()});
    DocumentDriver aDriver(mData, aResult, inProgress, ioSink);
    hostkit::RunOutcome aOutcome = hostkit::RunImport(aDriver, hostkit::RecordOf(aBlock));
    const int16 aCode = aOutcome.code;
    aResult.detail = aOutcome.detail;
    aResult.continueCalls = aOutcome.continueCalls;
    TakeMessages(aLog, aResult.messages);

    aResult.leakedHandles = static_cast<long>(aPool.liveHandles()) - aHandlesBefore;
    aResult.leakedBuffers = static_cast<long>(aPool.liveBuffers()) - aBuffersBefore;
    aResult.misuse.assign(aPool.misuse().begin() + static_cast<long>(aMisuseBefore), aPool.misuse().end());
    aResult.code = aCode;
    aResult.beeps = aLog.beeps;
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
    const hostkit::Answers aAnswers;
    hostkit::SeamLog aLog;
    hostkit::SeamResponder aResponder(aAnswers, aLog);
    AboutRecord aAbout{};
    aAbout.platformData = &mPlatform;
    int16 aResult = 0;
    ENTRYPOINT(acquireSelectorAbout, reinterpret_cast<AcquireRecord *>(&aAbout), &mData, &aResult);
    return aLog.messages.empty() ? std::string() : aLog.messages.front().first;
}

}  // namespace ekv
