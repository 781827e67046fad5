// One zlib stream compressed in independent segments on several threads, as pigz does:
// every segment is raw deflate with Huffman coding only (HuffmanDeflate), ending on a
// byte boundary, so that the segments join into one stream; the Adler-32 checksums of
// the segments are combined in order. Nothing refers back across a segment, so splitting
// costs no compression. The stream is handed on in order, piece by piece.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace ekv {

class ParallelDeflate {
public:
    // Receives the stream's bytes in order; false stops the stream (a failed write).
    using Sink = std::function<bool(const uint8_t *inBytes, size_t inSize)>;

    // inThreads compressing threads (at least one).
    ParallelDeflate(int inThreads, Sink inSink);
    ~ParallelDeflate();
    ParallelDeflate(const ParallelDeflate &) = delete;
    ParallelDeflate &operator=(const ParallelDeflate &) = delete;

    // A segment whose compression ran out of memory throws std::bad_alloc from the call
    // that hands it on (add or finish), on the caller's thread.
    // Queues a segment: the first inSize bytes of inBuffer (at most its size). Hands on
    // the finished segments at the front and waits while too many are in flight. False
    // once the sink has failed.
    bool add(std::vector<uint8_t> inBuffer, size_t inSize);
    // Hands on the rest, the final block and the checksum. False if anything failed.
    bool finish();

    // A buffer for the next segment, reused from a finished one when there is one; its
    // size is what it held, so that filling it again needs no new zeros.
    std::vector<uint8_t> spareBuffer();

private:
    struct Segment;

    void work();
    bool deliverFront();
    bool sendHeaderOnce();
    bool fail();

    Sink mSink;
    size_t mLimit;
    bool mFailed = false;
    bool mHeaderSent = false;
    uint32_t mAdler = 1;
    std::vector<uint8_t> mSpare;        // the input of the last segment handed on
    std::vector<uint8_t> mSpareOutput;  // and its output

    std::mutex mMutex;
    std::condition_variable mWork;                   // a segment to compress, or stop
    std::condition_variable mDone;                   // a segment compressed
    std::deque<std::shared_ptr<Segment>> mInFlight;  // in stream order
    std::deque<std::shared_ptr<Segment>> mQueue;     // not yet taken by a thread
    bool mStop = false;
    std::vector<std::thread> mThreads;
};

}  // namespace ekv
