// RGB PNG at 72 dpi (2835 pixels per metre), samples big-endian as PNG stores them.
#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <vector>

#include "ImageWriters.h"
#include "OutputFile.h"

namespace ekv {

namespace {

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

// Runs the libpng calls; kept free of C++ objects with destructors because of longjmp.
bool WritePngStream(FILE *inFile, const RgbImage &inImage, const OutputMetadata &inMetadata,
                    const std::vector<png_bytep> &inRows, PngFailure *outFailure) {
    png_structp aPng = png_create_write_struct(PNG_LIBPNG_VER_STRING, outFailure, PngError, PngWarning);
    if (aPng == nullptr) return false;
    png_infop aInfo = png_create_info_struct(aPng);
    if (aInfo == nullptr || setjmp(png_jmpbuf(aPng))) {
        png_destroy_write_struct(&aPng, &aInfo);
        return false;
    }
    png_init_io(aPng, inFile);
    png_set_IHDR(aPng, aInfo, static_cast<png_uint_32>(inImage.width), static_cast<png_uint_32>(inImage.height),
                 inImage.depth, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_pHYs(aPng, aInfo, 2835, 2835, PNG_RESOLUTION_METER);
    SetPngMetadata(aPng, aInfo, inMetadata);
    png_write_info(aPng, aInfo);
    png_write_image(aPng, const_cast<png_bytepp>(inRows.data()));
    png_write_end(aPng, aInfo);
    png_destroy_write_struct(&aPng, &aInfo);
    return true;
}

}  // namespace

bool WritePng(const RgbImage &inImage, const std::string &inPath, const OutputMetadata &inMetadata,
              std::string &outError) {
    const size_t aRowSamples = static_cast<size_t>(inImage.width) * 3;
    const size_t aSampleBytes = inImage.depth == 16 ? 2 : 1;
    std::vector<png_byte> aBytes(aRowSamples * aSampleBytes * static_cast<size_t>(inImage.height));
    for (size_t aIndex = 0; aIndex < inImage.samples.size(); ++aIndex) {
        uint16_t aSample = inImage.samples[aIndex];
        if (aSampleBytes == 2) {
            aBytes[2 * aIndex] = static_cast<png_byte>(aSample >> 8);
            aBytes[2 * aIndex + 1] = static_cast<png_byte>(aSample & 0xFF);
        } else {
            aBytes[aIndex] = static_cast<png_byte>(aSample);
        }
    }
    std::vector<png_bytep> aRows(static_cast<size_t>(inImage.height));
    for (size_t aRow = 0; aRow < aRows.size(); ++aRow) aRows[aRow] = &aBytes[aRow * aRowSamples * aSampleBytes];

    TempOutput aOutput(inPath);
    if (!aOutput.open(outError)) return false;
    FILE *aFile = aOutput.stream();
    if (aFile == nullptr) {
        outError = "cannot open the temporary file";
        return false;
    }
    PngFailure aFailure;
    errno = 0;
    if (!WritePngStream(aFile, inImage, inMetadata, aRows, &aFailure)) {
        outError = aFailure.error != 0          ? std::strerror(aFailure.error)
                   : aFailure.message.empty() ? "libpng could not write the file"
                                              : aFailure.message;
        return false;
    }
    return aOutput.commit(outError);
}

}  // namespace ekv
