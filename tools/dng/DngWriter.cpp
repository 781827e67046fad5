// DNG through libtiff: IFD0 with the preview (or the mosaic), the mosaic in a SubIFD.
#include "DngWriter.h"

#include <jpeglib.h>
#include <tiffio.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

#include "LosslessJpeg.h"

namespace dng {

const char kOutOfMemory[] = "out of memory";

namespace {

constexpr ttag_t kTagProfileToneCurve = 50940;
constexpr uint32_t kRowsPerBand = 64;
// Lossless JPEG tiles: a multiple of 16 as TIFF requires, small enough for a band of
// them to stay in a few MiB, large enough that the tables and markers cost little.
constexpr uint32_t kTileSize = 256;

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
    if (inRaw.compression == MosaicCompression::LosslessJpeg) {
        // Compression 7 with tiles: the encoded tiles go in as they are, so libtiff's
        // JPEG codec is never run (and writes no JPEGTables).
        TIFFSetField(ioTiff, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
        TIFFSetField(ioTiff, TIFFTAG_TILEWIDTH, kTileSize);
        TIFFSetField(ioTiff, TIFFTAG_TILELENGTH, kTileSize);
    } else {
        TIFFSetField(ioTiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        TIFFSetField(ioTiff, TIFFTAG_ROWSPERSTRIP, kRowsPerBand);
    }
    TIFFSetField(ioTiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_CFA);
    TIFFSetField(ioTiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(ioTiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
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
    // Whole numbers: darktable's reader refuses a crop that is not.
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

// Bits the samples use, as the JPEG precision: that of the white level, 2 at least.
int PrecisionOf(uint32_t inWhite) {
    int aBits = 2;
    while (aBits < 16 && (inWhite >> aBits) != 0) ++aBits;
    return aBits;
}

// Codes the tiles of one band (kTileSize rows of inPaddedWidth samples) into outTiles,
// their lengths into outSizes, on up to inThreads threads; the calling thread takes part.
// False when memory ran out.
bool EncodeBand(const std::vector<uint16_t> &inBand, uint32_t inPaddedWidth, int inPrecision, unsigned inThreads,
                std::vector<std::vector<uint8_t>> &outTiles, std::vector<size_t> &outSizes) {
    std::atomic<size_t> aNext{0};
    std::atomic<bool> aOutOfMemory{false};
    auto aWork = [&]() {
        try {
            for (size_t aTile; (aTile = aNext++) < outTiles.size();) {
                outSizes[aTile] = EncodeLosslessJpeg(inBand.data() + aTile * kTileSize, inPaddedWidth, kTileSize,
                                                     kTileSize, inPrecision, outTiles[aTile]);
            }
        } catch (const std::bad_alloc &) {
            aOutOfMemory = true;
        }
    };
    std::vector<std::thread> aHelpers;
    for (unsigned i = 1; i < inThreads && i < outTiles.size(); ++i) {
        try {
            aHelpers.emplace_back(aWork);
        } catch (const std::system_error &) {
            break;  // no more threads: those running (and this one) do the work
        }
    }
    aWork();
    for (std::thread &aHelper : aHelpers) aHelper.join();
    return !aOutOfMemory;
}

// The mosaic as lossless JPEG tiles, a band of tiles at a time. Tiles past the right or
// bottom edge are filled by repeating the last sample of each colour and the last row,
// which codes in about one bit a sample.
bool WriteMosaicTiles(TIFF *ioTiff, const DngRaw &inRaw, const RowSource &inRows, std::string &outError) {
    const uint32_t aAcross = (inRaw.width + kTileSize - 1) / kTileSize;
    const uint32_t aPaddedWidth = aAcross * kTileSize;
    const int aPrecision = PrecisionOf(inRaw.white);
    unsigned aThreads = inRaw.threads != 0 ? inRaw.threads : std::max(1u, std::thread::hardware_concurrency());
    std::vector<uint16_t> aRows;
    std::vector<uint16_t> aBand(static_cast<size_t>(aPaddedWidth) * kTileSize);
    std::vector<std::vector<uint8_t>> aTiles(aAcross);
    std::vector<size_t> aSizes(aAcross);
    for (uint32_t aFirst = 0; aFirst < inRaw.height; aFirst += kTileSize) {
        uint32_t aCount = std::min(inRaw.height - aFirst, kTileSize);
        aRows.clear();
        if (!inRows(aFirst, aCount, aRows, outError)) return false;
        if (aRows.size() != static_cast<size_t>(aCount) * inRaw.width) {
            outError = "the mosaic rows did not arrive whole";
            return false;
        }
        for (uint32_t r = 0; r < kTileSize; ++r) {
            const uint16_t *aSource = aRows.data() + static_cast<size_t>(std::min(r, aCount - 1)) * inRaw.width;
            uint16_t *aRow = aBand.data() + static_cast<size_t>(r) * aPaddedWidth;
            std::copy(aSource, aSource + inRaw.width, aRow);
            for (uint32_t x = inRaw.width; x < aPaddedWidth; ++x) aRow[x] = aRow[x >= 2 ? x - 2 : 0];
        }
        if (!EncodeBand(aBand, aPaddedWidth, aPrecision, aThreads, aTiles, aSizes)) {
            outError = kOutOfMemory;
            return false;
        }
        for (uint32_t t = 0; t < aAcross; ++t) {
            tmsize_t aBytes = static_cast<tmsize_t>(aSizes[t]);
            if (TIFFWriteRawTile(ioTiff, aFirst / kTileSize * aAcross + t, aTiles[t].data(), aBytes) != aBytes)
                return false;
        }
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
    const bool aWritten = inDescription.raw.compression == MosaicCompression::LosslessJpeg
                              ? WriteMosaicTiles(ioTiff, inDescription.raw, inRows, outError)
                              : WriteMosaicRows(ioTiff, inDescription.raw, inRows, outError);
    if (!aWritten || !TIFFWriteDirectory(ioTiff)) return false;
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
        try {
            aOk = WriteAll(aTiff, inDescription, inRows, aSourceError);
        } catch (const std::bad_alloc &) {
            aSourceError = kOutOfMemory;
        }
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
