// RGB image files: TIFF through libtiff and PNG through libpng, 8 or 16 bits per sample,
// 72 pixels per inch, written row by row into a temporary output that is renamed into
// place when complete.
#pragma once

#include <memory>
#include <string>

#include "metadata/OutputMetadata.h"
#include "import/RgbImage.h"

namespace ekv {

class TempOutput;

enum class TiffCompression { None, Deflate, Zstd, Lzw };

struct EncoderOptions {
    bool png = false;  // PNG, else TIFF
    TiffCompression tiffCompression = TiffCompression::None;
    int pngLevel = -1;      // zlib level 0-9, or -1 for the fast default
    bool eightBit = false;  // reduce a 16-bit document to 8 bits
    EightBitCurve curve = EightBitCurve::Rounded;
    OutputMetadata metadata;
};

// The file's shape: the document's size and depth (the rows' samples are 0..255 for a
// depth of 8); the file's depth is 8 when the document's is or when eightBit is set.
struct ImageShape {
    int32_t width = 0;
    int32_t height = 0;
    int depth = 16;
};

// Encodes rows of interleaved RGB samples, from the top, into a temporary output.
class RowEncoder {
public:
    virtual ~RowEncoder() = default;
    // Writes the header into the opened output.
    virtual bool start(TempOutput &ioOutput, const ImageShape &inShape, std::string &outError) = 0;
    // inRows rows of width * 3 samples each.
    virtual bool writeRows(const uint16_t *inSamples, int32_t inRows, std::string &outError) = 0;
    // After the last row: the trailer; the output is then ready to commit.
    virtual bool finish(std::string &outError) = 0;
};

std::unique_ptr<RowEncoder> MakeRowEncoder(const EncoderOptions &inOptions);
// A row of a document of inDepth bits as 8-bit samples: a 16-bit row reduced through the
// curve, an 8-bit row (samples 0..255) taken as it is.
void EightBitRow(const uint16_t *inRow, uint8_t *outRow, size_t inCount, int inDepth, EightBitCurve inCurve);
// Whether the installed libtiff can write this compression.
bool TiffCompressionAvailable(TiffCompression inCompression);
// Why an encoder failed: the system's reason when a write failed (errno inErrno, as in
// "No space left on device"), else the library's own message, else a general one.
std::string EncoderFailure(int inErrno, const std::string &inLibraryMessage, const char *inLibrary);

// A whole image in memory written at once (the preview). With inNoClobber, a file that
// appeared at inPath meanwhile is kept: false, with *outKept set.
bool WriteImage(const RgbImage &inImage, const std::string &inPath, const EncoderOptions &inOptions,
                std::string &outError, bool inNoClobber = false, bool *outKept = nullptr);
bool WritePng(const RgbImage &inImage, const std::string &inPath, const OutputMetadata &inMetadata,
              std::string &outError, bool inNoClobber = false, bool *outKept = nullptr);

}  // namespace ekv
