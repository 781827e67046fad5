// DNG through libtiff: IFD0 with the preview (or the mosaic), the mosaic in a SubIFD.
#include "DngWriter.h"

#include <jpeglib.h>
#include <tiffio.h>

#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace dng {

namespace {

constexpr ttag_t kTagProfileToneCurve = 50940;
constexpr uint32_t kRowsPerBand = 64;

// The first error libtiff reports for one file, and the system's error behind it when a
// write or an allocation failed ("Write error at scanline N" says less than "No space
// left on device").
struct TiffError {
    std::string text;
    int systemError = 0;
};

bool IsSystemError(int inErrno) {
    switch (inErrno) {
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
        case EIO:
        case EROFS:
        case EPIPE:
        case EBADF:
        case ENOMEM: return true;
        default: return false;
    }
}

// libtiff reports to handlers of this one file: the first error is kept, warnings are
// dropped. Returning 1 keeps the process-wide handlers out of it.
int CaptureError(TIFF *, void *inError, const char *, const char *inFormat, va_list inArguments) {
    const int aErrno = errno;
    TiffError *aError = static_cast<TiffError *>(inError);
    char aText[512];
    std::vsnprintf(aText, sizeof aText, inFormat, inArguments);
    if (aError->text.empty()) {
        aError->text = aText;
        if (IsSystemError(aErrno)) aError->systemError = aErrno;
    }
    return 1;
}

int IgnoreWarning(TIFF *, void *, const char *, const char *, va_list) { return 1; }

// Size and colour layout of a JPEG stream, read with libjpeg.
struct JpegShape {
    uint32_t width = 0;
    uint32_t height = 0;
    int components = 0;
    int hSampling = 1;  // luma over chroma sampling ratio
    int vSampling = 1;
};

struct JpegFailure {
    jpeg_error_mgr manager;
    jmp_buf jump;
};

void JpegFailed(j_common_ptr inInfo) { longjmp(reinterpret_cast<JpegFailure *>(inInfo->err)->jump, 1); }

bool ReadJpegShape(const std::vector<uint8_t> &inJpeg, JpegShape &outShape) {
    jpeg_decompress_struct aInfo;
    JpegFailure aFailure;
    aInfo.err = jpeg_std_error(&aFailure.manager);
    aFailure.manager.error_exit = JpegFailed;
    if (setjmp(aFailure.jump)) {
        jpeg_destroy_decompress(&aInfo);
        return false;
    }
    jpeg_create_decompress(&aInfo);
    jpeg_mem_src(&aInfo, inJpeg.data(), static_cast<unsigned long>(inJpeg.size()));
    bool aOk = jpeg_read_header(&aInfo, TRUE) == JPEG_HEADER_OK;
    if (aOk) {
        outShape.width = aInfo.image_width;
        outShape.height = aInfo.image_height;
        outShape.components = aInfo.num_components;
        if (aInfo.num_components == 3) {
            const jpeg_component_info *aLuma = &aInfo.comp_info[0];
            const jpeg_component_info *aChroma = &aInfo.comp_info[1];
            outShape.hSampling = aLuma->h_samp_factor / aChroma->h_samp_factor;
            outShape.vSampling = aLuma->v_samp_factor / aChroma->v_samp_factor;
        }
        aOk = (outShape.components == 1 || outShape.components == 3) && outShape.width > 0 && outShape.height > 0;
    }
    jpeg_destroy_decompress(&aInfo);
    return aOk;
}

void SetText(TIFF *ioTiff, ttag_t inTag, const std::string &inText) {
    if (!inText.empty()) TIFFSetField(ioTiff, inTag, inText.c_str());
}

// What a DNG reader looks for in IFD0 whatever it holds: versions, the camera and its
// colour description.
void SetCameraFields(TIFF *ioTiff, const DngDescription &inDescription) {
    const uint8_t aVersion[4] = {1, 4, 0, 0};
    const uint8_t aBackward[4] = {1, 1, 0, 0};
    TIFFSetField(ioTiff, TIFFTAG_DNGVERSION, aVersion);
    TIFFSetField(ioTiff, TIFFTAG_DNGBACKWARDVERSION, aBackward);
    const DngIdentity &aIdentity = inDescription.identity;
    SetText(ioTiff, TIFFTAG_MAKE, aIdentity.make);
    SetText(ioTiff, TIFFTAG_MODEL, aIdentity.model);
    SetText(ioTiff, TIFFTAG_UNIQUECAMERAMODEL, aIdentity.uniqueCameraModel);
    SetText(ioTiff, TIFFTAG_SOFTWARE, aIdentity.software);
    SetText(ioTiff, TIFFTAG_DATETIME, aIdentity.dateTime);

    const DngColor &aColor = inDescription.color;
    float aMatrix[9];
    for (int i = 0; i < 9; ++i) aMatrix[i] = static_cast<float>(aColor.colorMatrix[i]);
    TIFFSetField(ioTiff, TIFFTAG_COLORMATRIX1, 9, aMatrix);
    TIFFSetField(ioTiff, TIFFTAG_CALIBRATIONILLUMINANT1, 21);  // D65
    if (aColor.hasNeutral) {
        float aNeutral[3];
        for (int i = 0; i < 3; ++i) aNeutral[i] = static_cast<float>(aColor.asShotNeutral[i]);
        TIFFSetField(ioTiff, TIFFTAG_ASSHOTNEUTRAL, 3, aNeutral);
    }
    if (!aColor.toneCurve.empty())
        TIFFSetField(ioTiff, kTagProfileToneCurve, static_cast<uint32_t>(aColor.toneCurve.size()),
                     aColor.toneCurve.data());
}

bool WritePreview(TIFF *ioTiff, const std::vector<uint8_t> &inJpeg, const JpegShape &inShape) {
    TIFFSetField(ioTiff, TIFFTAG_SUBFILETYPE, FILETYPE_REDUCEDIMAGE);
    TIFFSetField(ioTiff, TIFFTAG_IMAGEWIDTH, inShape.width);
    TIFFSetField(ioTiff, TIFFTAG_IMAGELENGTH, inShape.height);
    TIFFSetField(ioTiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(ioTiff, TIFFTAG_SAMPLESPERPIXEL, inShape.components);
    TIFFSetField(ioTiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(ioTiff, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
    if (inShape.components == 3) {
        TIFFSetField(ioTiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
        TIFFSetField(ioTiff, TIFFTAG_YCBCRSUBSAMPLING, inShape.hSampling, inShape.vSampling);
    } else {
        TIFFSetField(ioTiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    }
    TIFFSetField(ioTiff, TIFFTAG_ROWSPERSTRIP, inShape.height);
    TIFFSetField(ioTiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(ioTiff, TIFFTAG_XRESOLUTION, 72.0f);
    TIFFSetField(ioTiff, TIFFTAG_YRESOLUTION, 72.0f);
    TIFFSetField(ioTiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    // The stream goes in as it stands: one strip of the whole JPEG.
    tmsize_t aBytes = static_cast<tmsize_t>(inJpeg.size());
    return TIFFWriteRawStrip(ioTiff, 0, const_cast<uint8_t *>(inJpeg.data()), aBytes) == aBytes;
}

void SetMosaicFields(TIFF *ioTiff, const DngRaw &inRaw) {
    TIFFSetField(ioTiff, TIFFTAG_SUBFILETYPE, 0);
    TIFFSetField(ioTiff, TIFFTAG_IMAGEWIDTH, inRaw.width);
    TIFFSetField(ioTiff, TIFFTAG_IMAGELENGTH, inRaw.height);
    TIFFSetField(ioTiff, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(ioTiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(ioTiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(ioTiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_CFA);
    TIFFSetField(ioTiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(ioTiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(ioTiff, TIFFTAG_ROWSPERSTRIP, kRowsPerBand);
    const uint16_t aDim[2] = {2, 2};
    TIFFSetField(ioTiff, TIFFTAG_CFAREPEATPATTERNDIM, aDim);
    TIFFSetField(ioTiff, TIFFTAG_CFAPATTERN, 4, inRaw.cfa);
    const uint8_t aPlanes[3] = {0, 1, 2};
    TIFFSetField(ioTiff, TIFFTAG_CFAPLANECOLOR, 3, aPlanes);
    TIFFSetField(ioTiff, TIFFTAG_CFALAYOUT, 1);
    TIFFSetField(ioTiff, TIFFTAG_BLACKLEVELREPEATDIM, aDim);
    float aBlack[4];
    for (int i = 0; i < 4; ++i) aBlack[i] = static_cast<float>(inRaw.black[i]);
    TIFFSetField(ioTiff, TIFFTAG_BLACKLEVEL, 4, aBlack);
    uint32_t aWhite = inRaw.white;
    TIFFSetField(ioTiff, TIFFTAG_WHITELEVEL, 1, &aWhite);
    const float aOrigin[2] = {static_cast<float>(inRaw.cropOrigin[0]), static_cast<float>(inRaw.cropOrigin[1])};
    const float aSize[2] = {static_cast<float>(inRaw.cropSize[0]), static_cast<float>(inRaw.cropSize[1])};
    TIFFSetField(ioTiff, TIFFTAG_DEFAULTCROPORIGIN, aOrigin);
    TIFFSetField(ioTiff, TIFFTAG_DEFAULTCROPSIZE, aSize);
}

bool WriteMosaicRows(TIFF *ioTiff, const DngRaw &inRaw, const RowSource &inRows, std::string &outError) {
    std::vector<uint16_t> aRows;
    for (uint32_t aFirst = 0; aFirst < inRaw.height; aFirst += kRowsPerBand) {
        uint32_t aCount = inRaw.height - aFirst < kRowsPerBand ? inRaw.height - aFirst : kRowsPerBand;
        aRows.clear();
        if (!inRows(aFirst, aCount, aRows, outError)) return false;
        if (aRows.size() != static_cast<size_t>(aCount) * inRaw.width) {
            outError = "the mosaic rows did not arrive whole";
            return false;
        }
        tmsize_t aBytes = static_cast<tmsize_t>(aRows.size() * sizeof(uint16_t));
        if (TIFFWriteEncodedStrip(ioTiff, aFirst / kRowsPerBand, aRows.data(), aBytes) != aBytes) return false;
    }
    return true;
}

bool WriteAll(TIFF *ioTiff, const DngDescription &inDescription, const RowSource &inRows, std::string &outError) {
    static const TIFFFieldInfo kToneCurveField = {kTagProfileToneCurve,
                                                  TIFF_VARIABLE2,
                                                  TIFF_VARIABLE2,
                                                  TIFF_FLOAT,
                                                  FIELD_CUSTOM,
                                                  1,
                                                  1,
                                                  const_cast<char *>("ProfileToneCurve")};
    if (TIFFMergeFieldInfo(ioTiff, &kToneCurveField, 1) != 0) return false;

    JpegShape aShape;
    const bool aPreview = !inDescription.previewJpeg.empty() && ReadJpegShape(inDescription.previewJpeg, aShape);
    SetCameraFields(ioTiff, inDescription);
    if (inDescription.setMetadata && !inDescription.setMetadata(ioTiff)) return false;
    if (aPreview) {
        uint64_t aSubIfd = 0;
        TIFFSetField(ioTiff, TIFFTAG_SUBIFD, 1, &aSubIfd);
        if (!WritePreview(ioTiff, inDescription.previewJpeg, aShape) || !TIFFWriteDirectory(ioTiff)) return false;
    }
    SetMosaicFields(ioTiff, inDescription.raw);
    if (!WriteMosaicRows(ioTiff, inDescription.raw, inRows, outError) || !TIFFWriteDirectory(ioTiff)) return false;
    return !inDescription.finishMetadata || inDescription.finishMetadata(ioTiff);
}

}  // namespace

bool WriteDng(int inFd, const std::string &inName, const DngDescription &inDescription, const RowSource &inRows,
              std::string &outError) {
    TiffError aTiffError;
    std::string aSourceError;
    errno = 0;
    TIFFOpenOptions *aOptions = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(aOptions, CaptureError, &aTiffError);
    TIFFOpenOptionsSetWarningHandlerExtR(aOptions, IgnoreWarning, nullptr);
    TIFF *aTiff = TIFFFdOpenExt(inFd, inName.c_str(), "w", aOptions);
    TIFFOpenOptionsFree(aOptions);
    bool aOk = false;
    if (aTiff != nullptr) {
        aOk = WriteAll(aTiff, inDescription, inRows, aSourceError);
        // An explicit flush reports a failed write (a full disk) that closing would hide.
        aOk = TIFFFlush(aTiff) != 0 && aOk;
        TIFFClose(aTiff);
    } else {
        close(inFd);
    }
    if (!aOk)
        outError = !aSourceError.empty()         ? aSourceError
                   : aTiffError.systemError != 0 ? std::strerror(aTiffError.systemError)
                   : !aTiffError.text.empty()    ? aTiffError.text
                                                 : "libtiff could not write the file";
    errno = aOk || !aSourceError.empty() ? 0 : aTiffError.systemError;
    return aOk;
}

}  // namespace dng
