// The writer thread and its queue.
#include "StreamWriter.h"

namespace ekv {

StreamWriter::StreamWriter(std::string inTarget, EncoderOptions inOptions)
    : mTarget(std::move(inTarget)), mOptions(std::move(inOptions)), mOutput(mTarget) {}

StreamWriter::~StreamWriter() { stop(); }

bool StreamWriter::begin(const Document &inDocument) {
    mDocument = inDocument;
    std::string aError;
    mEncoder = MakeRowEncoder(mOptions);
    if (!mOutput.open(aError) || !mEncoder->start(mOutput, {inDocument.width, inDocument.height, inDocument.depth},
                                                  aError)) {
        mFailed = true;
        mError = aError;
        return false;
    }
    mThread = std::thread(&StreamWriter::run, this);
    return true;
}

Band StreamWriter::takeBand() {
    std::lock_guard<std::mutex> aLock(mMutex);
    if (mSpare.empty()) return Band();
    Band aBand = std::move(mSpare.back());
    mSpare.pop_back();
    return aBand;
}

bool StreamWriter::putBand(Band &&ioBand) {
    std::unique_lock<std::mutex> aLock(mMutex);
    mChanged.wait(aLock, [this] { return mQueue.size() < kQueuedBands || mFailed; });
    if (mFailed) return false;
    mQueue.push_back(std::move(ioBand));
    mChanged.notify_all();
    return true;
}

bool StreamWriter::write(const Band &inBand) {
    std::string aError;
    if (mEncoder->writeRows(inBand.samples.data(), inBand.rows, aError)) return true;
    std::lock_guard<std::mutex> aLock(mMutex);
    mFailed = true;
    mError = aError;
    mChanged.notify_all();
    return false;
}

void StreamWriter::run() {
    for (;;) {
        Band aBand;
        {
            std::unique_lock<std::mutex> aLock(mMutex);
            mChanged.wait(aLock, [this] { return !mQueue.empty() || mClosing || mFailed; });
            if (mFailed || mQueue.empty()) return;
            aBand = std::move(mQueue.front());
            mQueue.pop_front();
            mChanged.notify_all();
        }
        if (!write(aBand)) return;
        std::lock_guard<std::mutex> aLock(mMutex);
        mSpare.push_back(std::move(aBand));
    }
}

void StreamWriter::stop() {
    {
        std::lock_guard<std::mutex> aLock(mMutex);
        mClosing = true;
        mChanged.notify_all();
    }
    if (mThread.joinable()) mThread.join();
}

bool StreamWriter::finish(int32_t inRowsDone, std::string &outError) {
    stop();
    if (!mFailed && mEncoder != nullptr && inRowsDone < mDocument.height) {
        Band aBlack;
        aBlack.rows = 1;
        aBlack.samples.assign(static_cast<size_t>(mDocument.width) * 3, 0);
        for (int32_t aRow = inRowsDone; aRow < mDocument.height && !mFailed; ++aRow) write(aBlack);
    }
    std::string aError;
    if (!mFailed && mEncoder != nullptr && (!mEncoder->finish(aError) || !mOutput.commit(aError))) {
        mFailed = true;
        mError = aError;
    }
    if (mEncoder == nullptr && !mFailed) {
        mFailed = true;
        mError = "no document";
    }
    outError = mError;
    return !mFailed;
}

std::string StreamWriter::error() {
    std::lock_guard<std::mutex> aLock(mMutex);
    return mError;
}

}  // namespace ekv
