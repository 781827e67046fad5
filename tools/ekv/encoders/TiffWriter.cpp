// Contiguous RGB TIFF at 72 dpi, row by row through libtiff; uncompressed, or Deflate,
// Zstandard or LZW with the horizontal predictor.
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "encoders/ImageWriters.h"
#include "output/OutputFile.h"

namespace ekv {

namespace {

// Rows per strip: strips of some hundred kilobytes give a compressor enough context and
// take one write each (libtiff writes a strip when it is full), while a reader still
// decodes a part of the image alone.
constexpr uint32_t kStripRows = 16;

int CaptureError(TIFF *, void *inUserData, const char *, const char *inFormat, va_list inArguments) {
    auto *aError = static_cast<std::string *>(inUserData);
    char aText[512];
    std::vsnprintf(aText, sizeof aText, inFormat, inArguments);
    if (aError->empty()) *aError = aText;
    return 1;
}

int IgnoreWarning(TIFF *, void *, const char *, const char *, va_list) { return 1; }

uint16_t CodecOf(TiffCompression inCompression) {
    switch (inCompression) {
        case TiffCompression::Deflate: return COMPRESSION_ADOBE_DEFLATE;
        case TiffCompression::Zstd: return COMPRESSION_ZSTD;
        case TiffCompression::Lzw: return COMPRESSION_LZW;
        case TiffCompression::None: break;
    }
    return COMPRESSION_NONE;
}

class TiffEncoder : public RowEncoder {
public:
    explicit TiffEncoder(const EncoderOptions &inOptions) : mOptions(inOptions) {}
    ~TiffEncoder() override {
        if (mTiff != nullptr) TIFFClose(mTiff);
    }

    bool start(TempOutput &ioOutput, const ImageShape &inShape, std::string &outError) override {
        mShape = inShape;
        mFileDepth = mOptions.eightBit ? 8 : inShape.depth;
        errno = 0;
        TIFFOpenOptions *aOpenOptions = TIFFOpenOptionsAlloc();
        TIFFOpenOptionsSetErrorHandlerExtR(aOpenOptions, CaptureError, &mError);
        TIFFOpenOptionsSetWarningHandlerExtR(aOpenOptions, IgnoreWarning, nullptr);
        mTiff = TIFFFdOpenExt(ioOutput.fd(), "output", "w", aOpenOptions);
        TIFFOpenOptionsFree(aOpenOptions);
        if (mTiff == nullptr) return failed(outError);
        ioOutput.released();  // TIFFClose closes the descriptor
        const uint16_t aCodec = CodecOf(mOptions.tiffCompression);
        TIFFSetField(mTiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(inShape.width));
        TIFFSetField(mTiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(inShape.height));
        TIFFSetField(mTiff, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(mFileDepth));
        TIFFSetField(mTiff, TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(3));
        TIFFSetField(mTiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(mTiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(mTiff, TIFFTAG_COMPRESSION, aCodec);
        TIFFSetField(mTiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
        TIFFSetField(mTiff, TIFFTAG_XRESOLUTION, 72.0f);
        TIFFSetField(mTiff, TIFFTAG_YRESOLUTION, 72.0f);
        TIFFSetField(mTiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(mTiff, TIFFTAG_ROWSPERSTRIP, kStripRows);
        // Differences of neighbouring samples compress far better than the samples.
        if (aCodec != COMPRESSION_NONE) TIFFSetField(mTiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        if (!SetTiffMetadata(mTiff, mOptions.metadata)) return failed(outError);
        // libtiff's predictor works in place on the row it is given: compressed rows go
        // through a copy; 8-bit rows are made in it.
        if (aCodec != COMPRESSION_NONE || mFileDepth == 8)
            mRow.resize(static_cast<size_t>(inShape.width) * 3 * (mFileDepth / 8));
        // Uncompressed 16-bit samples in the file's byte order are written as whole strips,
        // straight from the rows given where they hold a whole strip, without libtiff's
        // copy of every row.
        mRawStrips = aCodec == COMPRESSION_NONE && mFileDepth == 16 && !TIFFIsByteSwapped(mTiff);
        return true;
    }

    bool writeRows(const uint16_t *inSamples, int32_t inRows, std::string &outError) override {
        const size_t aCount = static_cast<size_t>(mShape.width) * 3;
        if (mRawStrips) return writeStrips(inSamples, inRows, aCount) || failed(outError);
        for (int32_t aIndex = 0; aIndex < inRows; ++aIndex, inSamples += aCount) {
            void *aLine = const_cast<uint16_t *>(inSamples);
            if (!mRow.empty()) {
                if (mFileDepth == 16)
                    std::copy(inSamples, inSamples + aCount, reinterpret_cast<uint16_t *>(mRow.data()));
                else
                    EightBitRow(inSamples, mRow.data(), aCount, mShape.depth, mOptions.curve);
                aLine = mRow.data();
            }
            errno = 0;
            if (TIFFWriteScanline(mTiff, aLine, static_cast<uint32_t>(mNextRow++), 0) < 0) return failed(outError);
        }
        return true;
    }

    bool finish(std::string &outError) override {
        errno = 0;
        if (mRawStrips && !mStrip.empty() && !writeStrip(mStrip.data(), mStrip.size() / (mShape.width * 3)))
            return failed(outError);
        bool aOk = FinishTiffMetadata(mTiff, mOptions.metadata) && TIFFFlush(mTiff) != 0;
        TIFFClose(mTiff);
        mTiff = nullptr;
        return aOk || failed(outError);
    }

private:
    // Rows in strips of kStripRows: whole strips among the rows given go out as they are,
    // the others are gathered in mStrip; the last strip of the image may be shorter.
    bool writeStrips(const uint16_t *inSamples, int32_t inRows, size_t inCount) {
        while (inRows > 0) {
            if (mStrip.empty() && inRows >= static_cast<int32_t>(kStripRows)) {
                if (!writeStrip(inSamples, kStripRows)) return false;
                inSamples += kStripRows * inCount;
                inRows -= kStripRows;
                continue;
            }
            const size_t aRows = std::min<size_t>(static_cast<size_t>(inRows), kStripRows - mStrip.size() / inCount);
            mStrip.insert(mStrip.end(), inSamples, inSamples + aRows * inCount);
            inSamples += aRows * inCount;
            inRows -= static_cast<int32_t>(aRows);
            if (mStrip.size() == kStripRows * inCount) {
                if (!writeStrip(mStrip.data(), kStripRows)) return false;
                mStrip.clear();
            }
        }
        return true;
    }

    bool writeStrip(const uint16_t *inSamples, size_t inRows) {
        const tmsize_t aBytes = static_cast<tmsize_t>(inRows * mShape.width * 3 * sizeof(uint16_t));
        errno = 0;
        return TIFFWriteRawStrip(mTiff, mNextStrip++, const_cast<uint16_t *>(inSamples), aBytes) == aBytes;
    }

    // The system's reason when a write failed, else libtiff's message.
    bool failed(std::string &outError) {
        outError = EncoderFailure(errno, mError, "libtiff");
        return false;
    }

    EncoderOptions mOptions;
    ImageShape mShape;
    int mFileDepth = 16;
    TIFF *mTiff = nullptr;
    std::string mError;
    std::vector<uint8_t> mRow;
    int32_t mNextRow = 0;
    bool mRawStrips = false;
    std::vector<uint16_t> mStrip;  // rows of a strip not yet complete
    uint32_t mNextStrip = 0;
};

}  // namespace

bool TiffCompressionAvailable(TiffCompression inCompression) {
    return TIFFIsCODECConfigured(CodecOf(inCompression)) != 0;
}

std::unique_ptr<RowEncoder> MakeTiffEncoder(const EncoderOptions &inOptions) {
    return std::make_unique<TiffEncoder>(inOptions);
}

}  // namespace ekv
