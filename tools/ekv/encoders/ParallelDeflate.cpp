// Segments are compressed by a small pool of threads and handed on strictly in order.
#include "encoders/ParallelDeflate.h"

#include <zlib.h>

#include <new>
#include <system_error>

#include "encoders/HuffmanDeflate.h"

namespace ekv {

struct ParallelDeflate::Segment {
    std::vector<uint8_t> input;  // the first inputSize bytes are the segment's
    size_t inputSize = 0;
    std::vector<uint8_t> output;  // the first outputSize bytes are its deflate blocks
    size_t outputSize = 0;
    uint32_t adler = 1;
    bool done = false;
    bool outOfMemory = false;  // its output could not be allocated
};

ParallelDeflate::ParallelDeflate(int inThreads, Sink inSink) : mSink(std::move(inSink)) {
    const int aThreads = inThreads < 1 ? 1 : inThreads;
    // Fewer threads when no more can start; none at all is an error for the caller.
    for (int aIndex = 0; aIndex < aThreads; ++aIndex) {
        try {
            mThreads.emplace_back([this] { work(); });
        } catch (const std::system_error &) {
            if (mThreads.empty()) throw;
            break;
        }
    }
    // Enough in flight to keep every thread busy while the front is handed on.
    mLimit = mThreads.size() + 1;
}

ParallelDeflate::~ParallelDeflate() {
    {
        std::lock_guard<std::mutex> aLock(mMutex);
        mStop = true;
    }
    mWork.notify_all();
    for (std::thread &aThread : mThreads) aThread.join();
}

void ParallelDeflate::work() {
    std::unique_lock<std::mutex> aLock(mMutex);
    for (;;) {
        mWork.wait(aLock, [this] { return mStop || !mQueue.empty(); });
        if (mStop) return;
        std::shared_ptr<Segment> aSegment = mQueue.front();
        mQueue.pop_front();
        aLock.unlock();
        size_t aSize = 0;
        bool aCompressed = true;
        try {
            aSize = HuffmanDeflate(aSegment->input.data(), aSegment->inputSize, aSegment->output);
        } catch (const std::bad_alloc &) {
            aCompressed = false;  // reported by the thread that hands the segment on
        }
        const uint32_t aAdler =
            static_cast<uint32_t>(adler32(1, aSegment->input.data(), static_cast<uInt>(aSegment->inputSize)));
        aLock.lock();
        aSegment->outputSize = aSize;
        aSegment->adler = aAdler;
        aSegment->outOfMemory = !aCompressed;
        aSegment->done = true;
        mDone.notify_all();
    }
}

std::vector<uint8_t> ParallelDeflate::spareBuffer() { return std::move(mSpare); }

bool ParallelDeflate::deliverFront() {
    std::shared_ptr<Segment> aSegment;
    {
        std::unique_lock<std::mutex> aLock(mMutex);
        mDone.wait(aLock, [this] { return mInFlight.front()->done; });
        aSegment = mInFlight.front();
        mInFlight.pop_front();
    }
    if (aSegment->outOfMemory) {
        fail();
        throw std::bad_alloc();
    }
    if (mFailed || !sendHeaderOnce()) return fail();
    mAdler = static_cast<uint32_t>(adler32_combine(mAdler, aSegment->adler, static_cast<z_off_t>(aSegment->inputSize)));
    if (aSegment->outputSize != 0 && !mSink(aSegment->output.data(), aSegment->outputSize)) return fail();
    mSpare = std::move(aSegment->input);
    mSpareOutput = std::move(aSegment->output);
    return true;
}

bool ParallelDeflate::sendHeaderOnce() {
    if (mHeaderSent) return true;
    mHeaderSent = true;
    // CMF: deflate with a 32 KB window; FLG: the level class of a fast compressor and the
    // check bits that make the two bytes a multiple of 31.
    const uint8_t aHeader[2] = {0x78, 0x01};
    return mSink(aHeader, sizeof aHeader);
}

bool ParallelDeflate::fail() {
    mFailed = true;
    return false;
}

bool ParallelDeflate::add(std::vector<uint8_t> inBuffer, size_t inSize) {
    if (mFailed) return false;
    auto aSegment = std::make_shared<Segment>();
    aSegment->input = std::move(inBuffer);
    aSegment->inputSize = inSize;
    aSegment->output = std::move(mSpareOutput);
    {
        std::lock_guard<std::mutex> aLock(mMutex);
        mInFlight.push_back(aSegment);
        mQueue.push_back(aSegment);
    }
    mWork.notify_one();
    while (mInFlight.size() > mLimit)
        if (!deliverFront()) return false;
    return true;
}

bool ParallelDeflate::finish() {
    while (!mInFlight.empty())
        if (!deliverFront()) return false;
    std::vector<uint8_t> aFinal;
    HuffmanDeflateEnd(aFinal);
    if (mFailed || !sendHeaderOnce()) return fail();
    const uint8_t aTrailer[4] = {static_cast<uint8_t>(mAdler >> 24), static_cast<uint8_t>(mAdler >> 16),
                                 static_cast<uint8_t>(mAdler >> 8), static_cast<uint8_t>(mAdler)};
    aFinal.insert(aFinal.end(), aTrailer, aTrailer + sizeof aTrailer);
    return mSink(aFinal.data(), aFinal.size()) || fail();
}

}  // namespace ekv
