// The encoder for an output, and whole images written through it.
#include "encoders/ImageWriters.h"

#include <cstring>

#include "output/OutputFile.h"

namespace ekv {

std::unique_ptr<RowEncoder> MakeTiffEncoder(const EncoderOptions &inOptions);
std::unique_ptr<RowEncoder> MakePngEncoder(const EncoderOptions &inOptions);

std::unique_ptr<RowEncoder> MakeRowEncoder(const EncoderOptions &inOptions) {
    return inOptions.png ? MakePngEncoder(inOptions) : MakeTiffEncoder(inOptions);
}

void EightBitRow(const uint16_t *inRow, uint8_t *outRow, size_t inCount, int inDepth, EightBitCurve inCurve) {
    if (inDepth == 16) {
        ReduceRowTo8Bits(inRow, outRow, inCount, inCurve);
        return;
    }
    for (size_t aIndex = 0; aIndex < inCount; ++aIndex) outRow[aIndex] = static_cast<uint8_t>(inRow[aIndex]);
}

bool WriteImage(const RgbImage &inImage, const std::string &inPath, const EncoderOptions &inOptions,
                std::string &outError, bool inNoClobber, bool *outKept) {
    TempOutput aOutput(inPath, inNoClobber);
    std::unique_ptr<RowEncoder> aEncoder = MakeRowEncoder(inOptions);
    ImageShape aShape{inImage.width, inImage.height, inImage.depth};
    const bool aWritten = aOutput.open(outError) && aEncoder->start(aOutput, aShape, outError) &&
                          aEncoder->writeRows(inImage.samples.data(), inImage.height, outError) &&
                          aEncoder->finish(outError) && aOutput.commit(outError);
    if (outKept != nullptr) *outKept = aOutput.keptExisting();
    return aWritten;
}

bool WritePng(const RgbImage &inImage, const std::string &inPath, const OutputMetadata &inMetadata,
              std::string &outError, bool inNoClobber, bool *outKept) {
    EncoderOptions aOptions;
    aOptions.png = true;
    aOptions.metadata = inMetadata;
    return WriteImage(inImage, inPath, aOptions, outError, inNoClobber, outKept);
}

std::string EncoderFailure(int inErrno, const std::string &inLibraryMessage, const char *inLibrary) {
    if (inErrno != 0) return std::strerror(inErrno);
    return inLibraryMessage.empty() ? std::string(inLibrary) + " could not write the file" : inLibraryMessage;
}

}  // namespace ekv
