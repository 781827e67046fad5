// Metadata hooks of the image writers.
#include "OutputMetadata.h"

#include <tiffio.h>
#include <png.h>

namespace ekv {

bool SetTiffMetadata(TIFF *ioTiff, const OutputMetadata &inMetadata) {
    if (!inMetadata.software.empty()) TIFFSetField(ioTiff, TIFFTAG_SOFTWARE, inMetadata.software.c_str());
    return true;
}

bool FinishTiffMetadata(TIFF *, const OutputMetadata &) { return true; }

void SetPngMetadata(png_struct *, png_info *, const OutputMetadata &) {}

void ReduceRowTo8Bits(const uint16_t *inRow, uint8_t *outRow, size_t inCount, EightBitCurve) {
    for (size_t aIndex = 0; aIndex < inCount; ++aIndex)
        outRow[aIndex] = static_cast<uint8_t>((static_cast<uint32_t>(inRow[aIndex]) * 255u + 32767u) / 65535u);
}

}  // namespace ekv
