// The writer thread and its queue.
#include "output/StreamWriter.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "import/PlaneAssembly.h"

namespace ekv {

StreamWriter::StreamWriter(std::string inTarget, EncoderOptions inOptions, int32_t inImageRows, bool inNoClobber)
    : mTarget(std::move(inTarget)),
      mOptions(std::move(inOptions)),
      mImageRows(inImageRows),
      mOutput(mTarget, inNoClobber) {}

StreamWriter::~StreamWriter() { stop(); }

bool StreamWriter::begin(const Document &inDocument) {
    mDocument = inDocument;
    if (mImageRows <= 0 || mImageRows > inDocument.height) mImageRows = inDocument.height;
    std::string aError;
    try {
        mEncoder = MakeRowEncoder(mOptions);
        errno = 0;
        if (!mOutput.open(aError) ||
            !mEncoder->start(mOutput, {inDocument.width, mImageRows, inDocument.depth}, aError)) {
            if (errno == ENOMEM) failForMemory();
            mFailed = true;
            mError = aError;
            return false;
        }
        mThread = std::thread(&StreamWriter::run, this);
    } catch (const std::bad_alloc &) {
        failForMemory();
        return false;
    } catch (const std::system_error &) {
        failForMemory();  // no thread to write with
        return false;
    }
    return true;
}

void StreamWriter::failForMemory() {
    std::lock_guard<std::mutex> aLock(mMutex);
    mFailed = true;
    mOutOfMemory = true;
    mError = "out of memory";
    mSpace.notify_all();
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
    mSpace.wait(aLock, [this] { return mQueuedBytes < 2 * kBatchBytes || mFailed; });
    if (mFailed) return false;
    for (const std::vector<uint16_t> &aPlane : ioBand.planes) mQueuedBytes += aPlane.size() * sizeof(uint16_t);
    mQueue.push_back(std::move(ioBand));
    if (mQueuedBytes >= kBatchBytes) mWork.notify_one();
    return true;
}

bool StreamWriter::write(const Band &inBand) {
    const int32_t aRows = std::min(inBand.rows, mImageRows - inBand.top);
    if (aRows <= 0) return true;
    const size_t aStride = static_cast<size_t>(mDocument.width) * 3;
    mRows.resize(aStride * static_cast<size_t>(aRows));
    InterleaveRows(inBand.planes[0].data(), inBand.planes[1].data(), inBand.planes[2].data(), mDocument.width, aRows,
                   mRows.data(), aStride);
    return writeRows(aRows);
}

bool StreamWriter::writeRows(int32_t inRows) {
    std::string aError;
    errno = 0;
    if (mEncoder->writeRows(mRows.data(), inRows, aError)) return true;
    if (errno == ENOMEM) failForMemory();
    std::lock_guard<std::mutex> aLock(mMutex);
    mFailed = true;
    mError = aError;
    mSpace.notify_all();
    return false;
}

void StreamWriter::run() {
    try {
        writeQueued();
    } catch (const std::bad_alloc &) {
        failForMemory();
    } catch (const std::system_error &) {
        failForMemory();  // the encoder's threads could not start
    }
}

void StreamWriter::writeQueued() {
    std::deque<Band> aBatch;
    for (;;) {
        {
            std::unique_lock<std::mutex> aLock(mMutex);
            for (Band &aBand : aBatch) mSpare.push_back(std::move(aBand));
            aBatch.clear();
            mWork.wait(aLock, [this] { return mQueuedBytes >= kBatchBytes || mClosing || mFailed; });
            if (mFailed || mQueue.empty()) return;
            aBatch.swap(mQueue);
            mQueuedBytes = 0;
            mSpace.notify_one();
        }
        for (const Band &aBand : aBatch)
            if (!write(aBand)) return;
    }
}

void StreamWriter::stop() {
    {
        std::lock_guard<std::mutex> aLock(mMutex);
        mClosing = true;
        mWork.notify_all();
    }
    if (mThread.joinable()) mThread.join();
}

bool StreamWriter::finish(int32_t inRowsDone, std::string &outError) {
    stop();
    try {
        if (!mFailed && mEncoder != nullptr && inRowsDone < mImageRows) {
            mRows.assign(static_cast<size_t>(mDocument.width) * 3, 0);
            for (int32_t aRow = inRowsDone; aRow < mImageRows && !mFailed; ++aRow) writeRows(1);
        }
        std::string aError;
        errno = 0;
        if (!mFailed && mEncoder != nullptr && (!mEncoder->finish(aError) || !mOutput.commit(aError))) {
            if (errno == ENOMEM) failForMemory();
            mFailed = true;
            mError = aError;
        }
    } catch (const std::bad_alloc &) {
        failForMemory();
    } catch (const std::system_error &) {
        failForMemory();
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
