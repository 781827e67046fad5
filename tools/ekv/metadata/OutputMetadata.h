// What an output image carries besides its pixels: a colour profile, the camera's
// identification and shooting data, the software that wrote it. The image writers call
// these hooks; they add nothing when the record is empty.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "metadata/RawTags.h"

// libtiff's and libpng's handles, declared here so that this header stays free of their
// integer typedefs (which clash with the module's).
typedef struct tiff TIFF;
typedef struct png_struct_def png_struct;
typedef struct png_info_def png_info;

namespace ekv {

// Exif's ColorSpace: sRGB, or anything else ("uncalibrated").
constexpr uint16_t kExifColorSpaceSrgb = 1;
constexpr uint16_t kExifColorSpaceUncalibrated = 0xFFFF;

struct OutputMetadata {
    std::vector<uint8_t> iccProfile;  // an ICC profile to embed, or empty for none
    std::string iccName;              // the profile's name (PNG's iCCP chunk needs one)
    std::string software;             // the program that wrote the file
    CameraTags camera;                // the raw file's identification and shooting data
    std::vector<uint8_t> exifBlock;   // the same (with software) as PNG's eXIf carries it
    std::string xmpPacket;            // the camera's text in full when it is not ASCII, or empty
    // The pixels' colour space as Exif names it.
    uint16_t exifColorSpace = kExifColorSpaceUncalibrated;
};

// Text tags go into TIFF and Exif in their ASCII form, with the full text in the XMP
// packet (TIFF tag 700, PNG iTXt "XML:com.adobe.xmp"); PNG's own Author and Copyright
// keywords are iTXt (UTF-8) for text that is not ASCII.
// TIFF: called once the image's basic fields are set, before the first row is written.
bool SetTiffMetadata(TIFF *ioTiff, const OutputMetadata &inMetadata);
// TIFF: called after the last row, before the file is closed (for directories that
// must follow the image's own, such as Exif).
bool FinishTiffMetadata(TIFF *ioTiff, const OutputMetadata &inMetadata);
// TIFF: once the image directories are written, IFD0 among them with the Exif
// placeholder SetTiffMetadata gave it, writes the Exif directory after them and
// rewrites IFD0 with its offset. Nothing without Exif values. The directory carries the
// versions and the ColorSpace that Exif requires besides the camera's values.
bool WriteTiffExif(TIFF *ioTiff, const CameraTags &inCamera, uint16_t inColorSpace);
// PNG: called after the header is set, before png_write_info.
void SetPngMetadata(png_struct *ioPng, png_info *ioInfo, const OutputMetadata &inMetadata);

// How a 16-bit document becomes an 8-bit file: rounded as it stands, or, for a document
// in linear light, through the sRGB transfer curve first.
enum class EightBitCurve { Rounded, Srgb };
void ReduceRowTo8Bits(const uint16_t *inRow, uint8_t *outRow, size_t inCount, EightBitCurve inCurve);

}  // namespace ekv
