// An output file written while the import runs: the bands the host hands over wait in a
// small bounded queue and a writer thread interleaves, encodes, compresses and writes
// them, so the module develops the next band meanwhile. Memory stays a few bands,
// whatever the image's height. The file goes to a temporary output that becomes the target only when
// complete; otherwise it is removed.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "import/BandSink.h"
#include "encoders/ImageWriters.h"
#include "output/OutputFile.h"

namespace ekv {

class StreamWriter : public BandSink {
public:
    // The writer thread is woken once this many bytes of finished bands wait (or at the
    // end), not for every band: each hand-over costs a wake-up on both sides, which
    // took a tenth of an import's time band by band. At most two such batches wait.
    static constexpr size_t kBatchBytes = 512 * 1024;

    // inImageRows > 0: the file has that many rows (at most the document's), the rows the
    // module delivers from the top; rows below it are not written. 0: the whole document.
    // inNoClobber: the output is kept if a file appears at inTarget meanwhile.
    StreamWriter(std::string inTarget, EncoderOptions inOptions, int32_t inImageRows = 0, bool inNoClobber = false);
    ~StreamWriter() override;
    StreamWriter(const StreamWriter &) = delete;
    StreamWriter &operator=(const StreamWriter &) = delete;

    bool begin(const Document &inDocument) override;
    Band takeBand() override;
    bool putBand(Band &&ioBand) override;

    // After a complete import: the rows from inRowsDone to the file's last row are written
    // black (rows the module does not deliver), the file is completed and renamed onto
    // the target. False with the reason.
    bool finish(int32_t inRowsDone, std::string &outError);
    // The reason the output failed, once it has.
    std::string error();
    // The output failed for want of memory (or of a thread to write it).
    bool outOfMemory() const { return mOutOfMemory; }
    // finish failed because a file appeared at the target under --no-clobber.
    bool keptExisting() const { return mOutput.keptExisting(); }

private:
    void run();
    void writeQueued();
    void stop();
    // Records a failure for want of memory.
    void failForMemory();
    // Interleaves a band's planes into mRows and writes those within the file's rows.
    bool write(const Band &inBand);
    // Writes the first inRows rows of mRows.
    bool writeRows(int32_t inRows);

    std::string mTarget;
    EncoderOptions mOptions;
    Document mDocument;
    int32_t mImageRows = 0;  // the file's height
    TempOutput mOutput;
    std::unique_ptr<RowEncoder> mEncoder;
    std::thread mThread;
    std::vector<uint16_t> mRows;  // the writer's interleaved rows

    std::mutex mMutex;
    std::condition_variable mWork;   // the writer thread waits for a batch
    std::condition_variable mSpace;  // the import waits for room in the queue
    std::deque<Band> mQueue;         // finished bands, in order
    size_t mQueuedBytes = 0;
    std::vector<Band> mSpare;  // written bands whose storage is reused
    bool mClosing = false;     // no more bands come
    bool mFailed = false;
    bool mOutOfMemory = false;
    std::string mError;
};

}  // namespace ekv
