// The rows an import reads and the size checks shared by the commands.
#include "import/ImportBounds.h"

#include "plugin/AcquireRun.h"

namespace ekv {

namespace {

int64_t SampleBytes(const RAW_Info &inInfo) { return inInfo.valid_bits_per_pixel[0] > 8 ? 2 : 1; }

int64_t StripBytes(const RAW_Info &inInfo, int inStrip) {
    return inInfo.strip_byte_count[inStrip] > 0 ? inInfo.strip_byte_count[inStrip] : 0;
}

}  // namespace

int32 DeliveredRows(int32 inOutputWidth, int32 inOutputHeight) {
    int32 aRowsPerBand = static_cast<int32>(DoBandHeight(inOutputWidth)) - 4;
    if (inOutputHeight <= 0) return aRowsPerBand;
    int32 aBands = inOutputHeight / aRowsPerBand;
    if (aBands < 1) aBands = 1;
    return aBands * aRowsPerBand;
}

int64_t MosaicRows(const RAW_Info &inInfo) {
    int64_t aImportRows =
        static_cast<int64_t>(DeliveredRows(inInfo.output_image_width, inInfo.output_image_height)) + 4;
    return inInfo.image_length > aImportRows ? inInfo.image_length : aImportRows;
}

int64_t MissingSensorBytes(const RAW_Info &inInfo, int64_t inFileSize) {
    // Widths past 65535 are refused by the module's own check before this one.
    if (inInfo.image_width <= 0 || inInfo.image_width > 65535) return 0;
    int64_t aNeeded = MosaicRows(inInfo) * inInfo.image_width * SampleBytes(inInfo);
    int64_t aMissing = 0;
    // The strips form one stream of rows; walk it as far as the conversion reads.
    for (int aStrip = 0; aStrip < kRAW_MaxStrips && aNeeded > 0; ++aStrip) {
        int64_t aPart = StripBytes(inInfo, aStrip) < aNeeded ? StripBytes(inInfo, aStrip) : aNeeded;
        int64_t aOffset = inInfo.strip_offsets[aStrip];
        if (aOffset <= 0)
            aMissing += aPart;
        else if (aOffset + aPart > inFileSize)
            aMissing += aOffset >= inFileSize ? aPart : aOffset + aPart - inFileSize;
        aNeeded -= aPart;
    }
    return aMissing + aNeeded;
}

std::string StripRefusal(const RAW_Info &inInfo) {
    if (inInfo.image_width <= 0 || inInfo.image_length <= 0) return {};
    int64_t aDeclared = 0;
    for (int aStrip = 0; aStrip < kRAW_MaxStrips; ++aStrip)
        if (inInfo.strip_offsets[aStrip] > 0) aDeclared += StripBytes(inInfo, aStrip);
    // Rows of the header's width that the strips hold (a division: no product can overflow).
    int64_t aRowBytes = static_cast<int64_t>(inInfo.image_width) * SampleBytes(inInfo);
    if (inInfo.image_length <= aDeclared / aRowBytes) return {};
    return "damaged file: the header's " + std::to_string(inInfo.image_width) + " x " +
           std::to_string(inInfo.image_length) + " mosaic is more than its strips hold (" +
           std::to_string(aDeclared / aRowBytes) + " rows)";
}

std::string SizeRefusal(const RAW_Info &inInfo, int64_t inFileSize) {
    std::string aStrips = StripRefusal(inInfo);
    if (!aStrips.empty()) return aStrips;
    int32 aRowsPerBand = static_cast<int32>(DoBandHeight(inInfo.output_image_width)) - 4;
    if (inInfo.output_image_height < aRowsPerBand)
        return "unsupported file: the output's height (" + std::to_string(inInfo.output_image_height) +
               ") is lower than the one band of " + std::to_string(aRowsPerBand) +
               " rows that the module always delivers";
    int64_t aMissing = MissingSensorBytes(inInfo, inFileSize);
    if (aMissing > 0)
        return "damaged file: " + std::to_string(aMissing) + " bytes of sensor data are missing (truncated?)";
    // Strips that overlap can hold a mosaic larger than the file: a repetition of its bytes.
    int64_t aMosaicBytes = MosaicRows(inInfo) * inInfo.image_width * SampleBytes(inInfo);
    if (aMosaicBytes > inFileSize)
        return "damaged file: the strips overlap: the " + std::to_string(aMosaicBytes) +
               " bytes of the mosaic are more than the file's " + std::to_string(inFileSize);
    return {};
}

}  // namespace ekv
