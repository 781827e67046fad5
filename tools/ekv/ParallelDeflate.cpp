// Segments are compressed by a small pool of threads and handed on strictly in order.
#include "ParallelDeflate.h"

#include <zlib.h>

namespace ekv {

struct ParallelDeflate::Segment {
    std::vector<uint8_t> input;
    std::vector<uint8_t> output;
    uint32_t adler = 1;
    bool done = false;
    bool ok = false;
};

namespace {

// A raw deflate stream kept for a thread's whole life and reset for every segment, so that
// its tables are allocated once.
class SegmentDeflater {
public:
    SegmentDeflater(int inLevel, int inStrategy) {
        mReady = deflateInit2(&mStream, inLevel, Z_DEFLATED, -15, 8, inStrategy) == Z_OK;
    }
    ~SegmentDeflater() {
        if (mReady) deflateEnd(&mStream);
    }
    SegmentDeflater(const SegmentDeflater &) = delete;
    SegmentDeflater &operator=(const SegmentDeflater &) = delete;

    // inInput ending with a sync flush (on a byte boundary), or with the final block.
    bool compress(const std::vector<uint8_t> &inInput, bool inFinal, std::vector<uint8_t> &outOutput) {
        if (!mReady || deflateReset(&mStream) != Z_OK) return false;
        outOutput.resize(deflateBound(&mStream, static_cast<uLong>(inInput.size())) + 16);
        mStream.next_in = const_cast<Bytef *>(inInput.data());
        mStream.avail_in = static_cast<uInt>(inInput.size());
        mStream.next_out = outOutput.data();
        mStream.avail_out = static_cast<uInt>(outOutput.size());
        const int aResult = deflate(&mStream, inFinal ? Z_FINISH : Z_SYNC_FLUSH);
        outOutput.resize(outOutput.size() - mStream.avail_out);
        return (inFinal ? aResult == Z_STREAM_END : aResult == Z_OK) && mStream.avail_in == 0;
    }

private:
    z_stream mStream{};
    bool mReady = false;
};

}  // namespace

ParallelDeflate::ParallelDeflate(int inLevel, int inStrategy, int inThreads, Sink inSink)
    : mLevel(inLevel), mStrategy(inStrategy), mSink(std::move(inSink)) {
    const int aThreads = inThreads < 1 ? 1 : inThreads;
    // Enough in flight to keep every thread busy while the front is handed on.
    mLimit = static_cast<size_t>(aThreads) + 1;
    for (int aIndex = 0; aIndex < aThreads; ++aIndex) mThreads.emplace_back([this] { work(); });
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
    SegmentDeflater aDeflater(mLevel, mStrategy);
    std::unique_lock<std::mutex> aLock(mMutex);
    for (;;) {
        mWork.wait(aLock, [this] { return mStop || !mQueue.empty(); });
        if (mStop) return;
        std::shared_ptr<Segment> aSegment = mQueue.front();
        mQueue.pop_front();
        aLock.unlock();
        const bool aOk = aDeflater.compress(aSegment->input, false, aSegment->output);
        const uint32_t aAdler =
            static_cast<uint32_t>(adler32(1, aSegment->input.data(), static_cast<uInt>(aSegment->input.size())));
        aLock.lock();
        aSegment->ok = aOk;
        aSegment->adler = aAdler;
        aSegment->done = true;
        mDone.notify_all();
    }
}

std::vector<uint8_t> ParallelDeflate::spareBuffer() {
    std::vector<uint8_t> aBuffer = std::move(mSpare);
    aBuffer.clear();
    return aBuffer;
}

bool ParallelDeflate::deliverFront() {
    std::shared_ptr<Segment> aSegment;
    {
        std::unique_lock<std::mutex> aLock(mMutex);
        mDone.wait(aLock, [this] { return mInFlight.front()->done; });
        aSegment = mInFlight.front();
        mInFlight.pop_front();
    }
    if (mFailed || !aSegment->ok || !sendHeaderOnce()) return fail();
    mAdler =
        static_cast<uint32_t>(adler32_combine(mAdler, aSegment->adler, static_cast<z_off_t>(aSegment->input.size())));
    if (!aSegment->output.empty() && !mSink(aSegment->output.data(), aSegment->output.size())) return fail();
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

bool ParallelDeflate::add(std::vector<uint8_t> inSegment) {
    if (mFailed) return false;
    auto aSegment = std::make_shared<Segment>();
    aSegment->input = std::move(inSegment);
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
    SegmentDeflater aDeflater(mLevel, mStrategy);
    if (mFailed || !aDeflater.compress({}, true, aFinal) || !sendHeaderOnce()) return fail();
    const uint8_t aTrailer[4] = {static_cast<uint8_t>(mAdler >> 24), static_cast<uint8_t>(mAdler >> 16),
                                 static_cast<uint8_t>(mAdler >> 8), static_cast<uint8_t>(mAdler)};
    aFinal.insert(aFinal.end(), aTrailer, aTrailer + sizeof aTrailer);
    return mSink(aFinal.data(), aFinal.size()) || fail();
}

}  // namespace ekv
