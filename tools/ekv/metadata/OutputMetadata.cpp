// Metadata hooks of the image writers.
#include "metadata/OutputMetadata.h"

#include <tiffio.h>
#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "metadata/TextEncoding.h"

namespace ekv {

namespace {

// The Exif and Flashpix versions whose tags the Exif directories hold.
uint8_t kExifVersion[4] = {'0', '2', '3', '2'};
uint8_t kFlashpixVersion[4] = {'0', '1', '0', '0'};

void SetTiffText(TIFF *ioTiff, uint32_t inTag, const std::string &inText) {
    if (!inText.empty()) TIFFSetField(ioTiff, inTag, inText.c_str());
}

void SetTiffRational(TIFF *ioTiff, uint32_t inTag, const Rational &inValue) {
    if (inValue.present()) TIFFSetField(ioTiff, inTag, inValue.value());
}

// Exif's "YYYY:MM:DD HH:MM:SS" as the RFC 1123 date PNG's Creation Time keyword takes,
// "DD Mon YYYY HH:MM:SS", without a zone: Exif's time has none. Empty for another form.
void PngDate(const std::string &inExif, char (&outText)[21]) {
    static const char *const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    outText[0] = 0;
    int aMonth = inExif.size() == 19 ? std::atoi(inExif.substr(5, 2).c_str()) : 0;
    if (aMonth < 1 || aMonth > 12) return;
    std::snprintf(outText, sizeof outText, "%.2s %s %.4s %.8s", inExif.c_str() + 8, kMonths[aMonth - 1], inExif.c_str(),
                  inExif.c_str() + 11);
}

// The sRGB transfer curve from 16-bit linear to 8-bit codes, rounded to nearest.
const uint8_t *SrgbTable() {
    static const std::vector<uint8_t> sTable = [] {
        std::vector<uint8_t> aTable(65536);
        for (uint32_t aIndex = 0; aIndex < 65536; ++aIndex) {
            double aLinear = aIndex / 65535.0;
            double aEncoded = aLinear <= 0.0031308 ? 12.92 * aLinear : 1.055 * std::pow(aLinear, 1.0 / 2.4) - 0.055;
            long aCode = std::lround(aEncoded * 255.0);
            aTable[aIndex] = static_cast<uint8_t>(aCode < 0 ? 0 : aCode > 255 ? 255 : aCode);
        }
        return aTable;
    }();
    return sTable.data();
}

}  // namespace

bool SetTiffMetadata(TIFF *ioTiff, const OutputMetadata &inMetadata) {
    if (!inMetadata.iccProfile.empty() &&
        !TIFFSetField(ioTiff, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(inMetadata.iccProfile.size()),
                      inMetadata.iccProfile.data()))
        return false;
    const CameraTags &aCamera = inMetadata.camera;
    SetTiffText(ioTiff, TIFFTAG_SOFTWARE, inMetadata.software);
    SetTiffText(ioTiff, TIFFTAG_MAKE, AsciiForm(aCamera.make));
    SetTiffText(ioTiff, TIFFTAG_MODEL, AsciiForm(aCamera.model));
    SetTiffText(ioTiff, TIFFTAG_DATETIME, aCamera.dateTime);
    SetTiffText(ioTiff, TIFFTAG_ARTIST, AsciiForm(aCamera.artist));
    SetTiffText(ioTiff, TIFFTAG_COPYRIGHT, AsciiForm(aCamera.copyright));
    const std::string &aXmp = inMetadata.xmpPacket;
    if (!aXmp.empty() && !TIFFSetField(ioTiff, TIFFTAG_XMLPACKET, static_cast<uint32_t>(aXmp.size()), aXmp.data()))
        return false;
    // The Exif directory follows the image; its offset is filled in once it is written.
    if (aCamera.hasExif() && !TIFFSetField(ioTiff, TIFFTAG_EXIFIFD, static_cast<uint64_t>(0))) return false;
    return true;
}

bool FinishTiffMetadata(TIFF *ioTiff, const OutputMetadata &inMetadata) {
    if (!inMetadata.camera.hasExif()) return true;
    return TIFFWriteDirectory(ioTiff) && WriteTiffExif(ioTiff, inMetadata.camera, inMetadata.exifColorSpace);
}

// IFD0 is written first (with a zero Exif offset), then the Exif directory after it;
// IFD0 is then read back, given the Exif offset and rewritten. This needs a file that
// can be read and seeked, which every writer's target is.
bool WriteTiffExif(TIFF *ioTiff, const CameraTags &inCamera, uint16_t inColorSpace) {
    const CameraTags &aCamera = inCamera;
    if (!aCamera.hasExif()) return true;
    if (TIFFCreateEXIFDirectory(ioTiff) != 0) return false;
    TIFFSetField(ioTiff, EXIFTAG_EXIFVERSION, kExifVersion);
    TIFFSetField(ioTiff, EXIFTAG_FLASHPIXVERSION, kFlashpixVersion);
    TIFFSetField(ioTiff, EXIFTAG_COLORSPACE, inColorSpace);
    SetTiffText(ioTiff, EXIFTAG_DATETIMEORIGINAL, aCamera.dateTimeOriginal);
    SetTiffRational(ioTiff, EXIFTAG_EXPOSURETIME, aCamera.exposureTime);
    SetTiffRational(ioTiff, EXIFTAG_FNUMBER, aCamera.fNumber);
    SetTiffRational(ioTiff, EXIFTAG_FOCALLENGTH, aCamera.focalLength);
    if (aCamera.iso != 0) {
        uint16_t aIso = aCamera.iso;
        TIFFSetField(ioTiff, EXIFTAG_ISOSPEEDRATINGS, static_cast<uint16_t>(1), &aIso);
    }
    uint64_t aExifOffset = 0;
    if (!TIFFWriteCustomDirectory(ioTiff, &aExifOffset)) return false;
    if (!TIFFSetDirectory(ioTiff, 0) || !TIFFSetField(ioTiff, TIFFTAG_EXIFIFD, aExifOffset)) return false;
    return TIFFRewriteDirectory(ioTiff) != 0;
}

void SetPngMetadata(png_struct *ioPng, png_info *ioInfo, const OutputMetadata &inMetadata) {
    if (!inMetadata.iccProfile.empty())
        png_set_iCCP(ioPng, ioInfo, inMetadata.iccName.empty() ? "ICC profile" : inMetadata.iccName.c_str(),
                     PNG_COMPRESSION_TYPE_BASE, inMetadata.iccProfile.data(),
                     static_cast<png_uint_32>(inMetadata.iccProfile.size()));
    // Every tag goes into the eXIf chunk, handed to libpng as a raw chunk placed before
    // the image data: libpng's own eXIf support writes it a second time at png_write_end,
    // which PNG forbids.
    if (!inMetadata.exifBlock.empty()) {
        png_unknown_chunk aExif = {};
        const char aName[] = "eXIf";
        for (int aIndex = 0; aIndex < 5; ++aIndex) aExif.name[aIndex] = static_cast<png_byte>(aName[aIndex]);
        aExif.data = const_cast<png_bytep>(inMetadata.exifBlock.data());
        aExif.size = inMetadata.exifBlock.size();
        aExif.location = PNG_HAVE_PLTE;
        png_set_unknown_chunks(ioPng, ioInfo, &aExif, 1);
    }
    // PNG's own text keywords besides, which more readers show. Fixed buffers only, since
    // libpng may leave this function by longjmp.
    const CameraTags &aCamera = inMetadata.camera;
    char aCreated[21] = "";
    PngDate(aCamera.dateTime, aCreated);
    // tEXt is Latin-1: text that is not ASCII, and the XMP packet, go into iTXt (UTF-8).
    const char *aPairs[][2] = {{"Software", inMetadata.software.c_str()},
                               {"Author", aCamera.artist.c_str()},
                               {"Copyright", aCamera.copyright.c_str()},
                               {"Creation Time", aCreated},
                               {"XML:com.adobe.xmp", inMetadata.xmpPacket.c_str()}};
    png_text aTexts[sizeof aPairs / sizeof aPairs[0]] = {};
    int aCount = 0;
    for (const auto &aPair : aPairs) {
        if (aPair[1][0] == 0) continue;
        const bool aUtf8 = aPair[1] == inMetadata.xmpPacket.c_str() || !IsAscii(aPair[1]);
        aTexts[aCount].compression = aUtf8 ? PNG_ITXT_COMPRESSION_NONE : PNG_TEXT_COMPRESSION_NONE;
        aTexts[aCount].key = const_cast<char *>(aPair[0]);
        aTexts[aCount].text = const_cast<char *>(aPair[1]);
        ++aCount;
    }
    if (aCount > 0) png_set_text(ioPng, ioInfo, aTexts, aCount);
}

void ReduceRowTo8Bits(const uint16_t *inRow, uint8_t *outRow, size_t inCount, EightBitCurve inCurve) {
    if (inCurve == EightBitCurve::Srgb) {
        const uint8_t *aTable = SrgbTable();
        for (size_t aIndex = 0; aIndex < inCount; ++aIndex) outRow[aIndex] = aTable[inRow[aIndex]];
        return;
    }
    for (size_t aIndex = 0; aIndex < inCount; ++aIndex)
        outRow[aIndex] = static_cast<uint8_t>((static_cast<uint32_t>(inRow[aIndex]) * 255u + 32767u) / 65535u);
}

}  // namespace ekv
