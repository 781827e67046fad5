// Uncompressed, contiguous RGB TIFF at 72 dpi.
#include <tiffio.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "ImageWriters.h"
#include "OutputFile.h"

namespace ekv {

namespace {

std::string sTiffError;
int sTiffErrno = 0;  // the system's reason for a failed write, if that was the error

void CaptureTiffError(const char *, const char *inFormat, va_list inArguments) {
    int aErrno = errno;
    char aText[512];
    std::vsnprintf(aText, sizeof aText, inFormat, inArguments);
    if (sTiffError.empty()) {
        sTiffError = aText;
        sTiffErrno = aErrno;
    }
}

bool WriteRows(TIFF *inTiff, const RgbImage &inImage) {
    const size_t aRowSamples = static_cast<size_t>(inImage.width) * 3;
    std::vector<uint8_t> aRow8(inImage.depth == 8 ? aRowSamples : 0);
    for (int32_t aRow = 0; aRow < inImage.height; ++aRow) {
        const uint16_t *aSource = inImage.samples.data() + aRow * aRowSamples;
        void *aLine;
        std::vector<uint16_t> aRow16;
        if (inImage.depth == 8) {
            for (size_t aIndex = 0; aIndex < aRowSamples; ++aIndex) aRow8[aIndex] = static_cast<uint8_t>(aSource[aIndex]);
            aLine = aRow8.data();
        } else {
            aRow16.assign(aSource, aSource + aRowSamples);
            aLine = aRow16.data();
        }
        if (TIFFWriteScanline(inTiff, aLine, static_cast<uint32_t>(aRow), 0) < 0) return false;
    }
    return true;
}

}  // namespace

bool WriteTiff(const RgbImage &inImage, const std::string &inPath, const OutputMetadata &inMetadata,
               std::string &outError) {
    TempOutput aOutput(inPath);
    if (!aOutput.open(outError)) return false;
    sTiffError.clear();
    sTiffErrno = errno = 0;
    TIFFErrorHandler aPreviousError = TIFFSetErrorHandler(CaptureTiffError);
    TIFFErrorHandler aPreviousWarning = TIFFSetWarningHandler(nullptr);
    TIFF *aTiff = TIFFFdOpen(aOutput.fd(), aOutput.tempPath().c_str(), "w");
    bool aOk = aTiff != nullptr;
    if (aOk) {
        aOutput.released();  // TIFFClose closes the descriptor
        TIFFSetField(aTiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(inImage.width));
        TIFFSetField(aTiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(inImage.height));
        TIFFSetField(aTiff, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(inImage.depth));
        TIFFSetField(aTiff, TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(3));
        TIFFSetField(aTiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(aTiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(aTiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        TIFFSetField(aTiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
        TIFFSetField(aTiff, TIFFTAG_XRESOLUTION, 72.0f);
        TIFFSetField(aTiff, TIFFTAG_YRESOLUTION, 72.0f);
        TIFFSetField(aTiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(aTiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(aTiff, 0));
        aOk = SetTiffMetadata(aTiff, inMetadata) && WriteRows(aTiff, inImage) && FinishTiffMetadata(aTiff, inMetadata);
        if (aOk && !TIFFFlush(aTiff)) aOk = false;
        TIFFClose(aTiff);
    }
    TIFFSetErrorHandler(aPreviousError);
    TIFFSetWarningHandler(aPreviousWarning);
    if (!aOk) {
        outError = sTiffErrno != 0      ? std::strerror(sTiffErrno)
                   : sTiffError.empty() ? "libtiff could not write the file"
                                        : sTiffError;
        return false;
    }
    return aOutput.commit(outError);
}

}  // namespace ekv
