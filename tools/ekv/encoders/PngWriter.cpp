// RGB PNG at 72 dpi (2835 pixels per metre); 16-bit samples are stored big-endian as PNG
// wants them. libpng writes the header and its chunks. With a level chosen by the user,
// libpng also filters and compresses the rows; by default this encoder filters them
// itself and compresses the image data on several threads.
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <vector>

#include "encoders/ImageWriters.h"
#include "output/OutputFile.h"
#include "encoders/ParallelDeflate.h"

namespace ekv {

namespace {

// The fast default, chosen by measuring a default 16-bit document (README, benchmarks):
// the Up filter (applied by this encoder) turns the smooth rows into small differences,
// and Huffman coding alone codes them within 5% of the size libpng's defaults give, more
// than ten times faster; string matching (any zlib level with its usual strategy) costs
// more than it saves.
// With a chosen level, libpng hands zlib's output to the file in pieces of this size.
constexpr size_t kZlibBuffer = 256 * 1024;
// The fast default compresses the filtered rows in segments of about this size, each on
// a thread of its own; a few segments in flight keep memory small.
constexpr size_t kSegmentBytes = 128 * 1024;
constexpr long kMostDeflateThreads = 4;

int DeflateThreads() {
    const long aOnline = sysconf(_SC_NPROCESSORS_ONLN);
    return static_cast<int>(std::clamp(aOnline, 1L, kMostDeflateThreads));
}

struct PngFailure {
    std::string message;
    int error = 0;  // the system's reason for a failed write, if that was the error
};

void PngError(png_structp inPng, png_const_charp inMessage) {
    int aErrno = errno;
    static_cast<PngFailure *>(png_get_error_ptr(inPng))->message = inMessage;
    static_cast<PngFailure *>(png_get_error_ptr(inPng))->error = aErrno;
    png_longjmp(inPng, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// The libpng calls, each in a function of its own around setjmp and free of C++
// objects with destructors, because libpng leaves through longjmp.
bool PngHeader(png_structp inPng, png_infop inInfo, FILE *inFile, const ImageShape &inShape, int inFileDepth,
               const EncoderOptions &inOptions) {
    if (setjmp(png_jmpbuf(inPng))) return false;
    png_init_io(inPng, inFile);
    png_set_IHDR(inPng, inInfo, static_cast<png_uint_32>(inShape.width), static_cast<png_uint_32>(inShape.height),
                 inFileDepth, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_pHYs(inPng, inInfo, 2835, 2835, PNG_RESOLUTION_METER);
    // libpng filters and compresses the rows only with a chosen level; the fast default
    // hands it finished image data chunks.
    if (inOptions.pngLevel >= 0) {
        png_set_compression_buffer_size(inPng, kZlibBuffer);
        png_set_compression_level(inPng, inOptions.pngLevel);
        if (inOptions.pngLevel == 0) png_set_filter(inPng, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    }
    SetPngMetadata(inPng, inInfo, inOptions.metadata);
    png_write_info(inPng, inInfo);
    if (inFileDepth == 16 && inOptions.pngLevel >= 0) png_set_swap(inPng);
    return true;
}

// One chunk written as it is (image data compressed here, or the end).
bool PngChunk(png_structp inPng, const char *inName, const uint8_t *inData, size_t inSize) {
    if (setjmp(png_jmpbuf(inPng))) return false;
    png_write_chunk(inPng, reinterpret_cast<png_const_bytep>(inName), inData, inSize);
    return true;
}

bool PngRow(png_structp inPng, const void *inRow) {
    if (setjmp(png_jmpbuf(inPng))) return false;
    png_write_row(inPng, static_cast<png_const_bytep>(inRow));
    return true;
}

bool PngEnd(png_structp inPng, png_infop inInfo) {
    if (setjmp(png_jmpbuf(inPng))) return false;
    png_write_end(inPng, inInfo);
    return true;
}

class PngEncoder : public RowEncoder {
public:
    explicit PngEncoder(const EncoderOptions &inOptions) : mOptions(inOptions) {}
    ~PngEncoder() override { png_destroy_write_struct(&mPng, &mInfo); }

    bool start(TempOutput &ioOutput, const ImageShape &inShape, std::string &outError) override {
        mShape = inShape;
        mFileDepth = mOptions.eightBit ? 8 : inShape.depth;
        errno = 0;
        FILE *aFile = ioOutput.stream();
        if (aFile == nullptr) {
            outError = "cannot open the temporary file";
            return false;
        }
        mPng = png_create_write_struct(PNG_LIBPNG_VER_STRING, &mFailure, PngError, PngWarning);
        if (mPng != nullptr) mInfo = png_create_info_struct(mPng);
        if (mInfo == nullptr || !PngHeader(mPng, mInfo, aFile, inShape, mFileDepth, mOptions)) return failed(outError);
        if (mFileDepth == 8) mRow.resize(static_cast<size_t>(inShape.width) * 3);
        if (mOptions.pngLevel < 0) {
            mRowBytes = static_cast<size_t>(inShape.width) * 3 * (mFileDepth / 8);
            mPrior.assign((mRowBytes + 1) / 2, 0);
            mDeflate = std::make_unique<ParallelDeflate>(
                DeflateThreads(),
                [this](const uint8_t *inBytes, size_t inSize) { return PngChunk(mPng, "IDAT", inBytes, inSize); });
        }
        return true;
    }

    bool writeRows(const uint16_t *inSamples, int32_t inRows, std::string &outError) override {
        const size_t aCount = static_cast<size_t>(mShape.width) * 3;
        for (int32_t aIndex = 0; aIndex < inRows; ++aIndex, inSamples += aCount) {
            const void *aRow = inSamples;
            if (mFileDepth == 8) {
                EightBitRow(inSamples, mRow.data(), aCount, mShape.depth, mOptions.curve);
                aRow = mRow.data();
            }
            errno = 0;
            if (mDeflate ? !addFilteredRow(aRow) : !PngRow(mPng, aRow)) return failed(outError);
        }
        return true;
    }

    bool finish(std::string &outError) override {
        errno = 0;
        if (!mDeflate) return PngEnd(mPng, mInfo) || failed(outError);
        if (mSegmentSize != 0 && !mDeflate->add(std::move(mSegment), mSegmentSize)) return failed(outError);
        return (mDeflate->finish() && PngChunk(mPng, "IEND", nullptr, 0)) || failed(outError);
    }

private:
    // Appends a row to the current segment with the Up filter: each byte less the byte
    // above it, 16-bit samples big-endian. A full segment goes to the compressing threads.
    // The loops read and write through pointers that do not overlap, so that the compiler
    // may work on many samples at once.
    bool addFilteredRow(const void *inRow) {
        if (mSegmentSize == 0) mSegment = mDeflate->spareBuffer();
        const size_t aStart = mSegmentSize;
        mSegmentSize += 1 + mRowBytes;
        if (mSegment.size() < mSegmentSize) mSegment.resize(mSegmentSize);
        uint8_t *__restrict aOut = mSegment.data() + aStart;
        *aOut++ = PNG_FILTER_VALUE_UP;
        if (mFileDepth == 8) {
            const uint8_t *__restrict aRow = static_cast<const uint8_t *>(inRow);
            const uint8_t *__restrict aPrior = reinterpret_cast<const uint8_t *>(mPrior.data());
            for (size_t aIndex = 0; aIndex < mRowBytes; ++aIndex)
                aOut[aIndex] = static_cast<uint8_t>(aRow[aIndex] - aPrior[aIndex]);
        } else {
            const uint16_t *__restrict aRow = static_cast<const uint16_t *>(inRow);
            const uint16_t *__restrict aPrior = mPrior.data();
            for (size_t aIndex = 0; aIndex < mRowBytes / 2; ++aIndex) {
                aOut[2 * aIndex] = static_cast<uint8_t>((aRow[aIndex] >> 8) - (aPrior[aIndex] >> 8));
                aOut[2 * aIndex + 1] = static_cast<uint8_t>(aRow[aIndex] - aPrior[aIndex]);
            }
        }
        std::memcpy(mPrior.data(), inRow, mRowBytes);
        if (mSegmentSize < kSegmentBytes) return true;
        const bool aOk = mDeflate->add(std::move(mSegment), mSegmentSize);
        mSegmentSize = 0;
        return aOk;
    }

    // The system's reason when a write failed, else libpng's message.
    bool failed(std::string &outError) {
        outError = EncoderFailure(errno, mFailure.message, "libpng");
        return false;
    }

    EncoderOptions mOptions;
    ImageShape mShape;
    int mFileDepth = 16;
    PngFailure mFailure;
    png_structp mPng = nullptr;
    png_infop mInfo = nullptr;
    std::vector<uint8_t> mRow;
    // The fast default: the row above as it came (its samples in host order), the segment
    // being filled.
    std::unique_ptr<ParallelDeflate> mDeflate;
    size_t mRowBytes = 0;
    std::vector<uint16_t> mPrior;
    std::vector<uint8_t> mSegment;  // its first mSegmentSize bytes are filled
    size_t mSegmentSize = 0;
};

}  // namespace

std::unique_ptr<RowEncoder> MakePngEncoder(const EncoderOptions &inOptions) {
    return std::make_unique<PngEncoder>(inOptions);
}

}  // namespace ekv
