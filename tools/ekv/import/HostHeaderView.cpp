// Recognition and header parsing through the module's reader.
#include "import/HostHeaderView.h"

#include <sys/stat.h>

#include "import/AcquireHost.h"
#include "import/ShortPath.h"
#include "plugin/AcquireRun.h"

namespace ekv {

HeaderStatus ReadHeader(const std::string &inPath, HeaderInfo &outHeader, std::string &outReason) {
    ShortPath aShort;
    FSSpec aSpec{};
    if (!aShort.open(inPath, outReason)) return HeaderStatus::NotEKV;
    if (NativePathNameToFSSpec(aShort.path().c_str(), &aSpec, 0) != noErr) {
        outReason = "the path cannot be handed to the module (file name too long)";
        return HeaderStatus::NotEKV;
    }
    if (!RAW_IsEKV(&aSpec)) {
        outReason = "not an EKV file";
        return HeaderStatus::NotEKV;
    }
    hostkit::BlockPool &aPool = HostPool();
    RAW_Info aInfo{};
    aInfo.endian = 0;
    RAW_DefaultInfo(&aInfo);
    Handle aThumbnail = nullptr;
    OSErr aError = RAW_ReadHeader(&aSpec, &aInfo, aPool.handleProcs(), &aThumbnail);
    if (aThumbnail != nullptr) {
        outHeader.thumbnail = aPool.handleBytes(aThumbnail);
        aPool.disposeHandle(aThumbnail);
    }
    outHeader.info = aInfo;
    if (aError == memFullErr) {
        outReason = "out of memory";
        return HeaderStatus::OutOfMemory;
    }
    if (aError != noErr) {
        outReason = "damaged file: the header cannot be read";
        return HeaderStatus::Damaged;
    }
    outHeader.convertible = RAW_IsConvertibleHeader(&aInfo) != 0;
    return HeaderStatus::Ok;
}

int32 DeliveredRows(int32 inOutputWidth, int32 inOutputHeight) {
    int32 aRowsPerBand = static_cast<int32>(DoBandHeight(inOutputWidth)) - 4;
    if (inOutputHeight <= 0) return aRowsPerBand;
    int32 aBands = inOutputHeight / aRowsPerBand;
    if (aBands < 1) aBands = 1;
    return aBands * aRowsPerBand;
}

int64_t MissingSensorBytes(const RAW_Info &inInfo, int64_t inFileSize) {
    if (inInfo.image_width <= 0 || inInfo.image_length <= 0) return 0;
    int64_t aRows = static_cast<int64_t>(DeliveredRows(inInfo.output_image_width, inInfo.output_image_height)) + 4;
    if (aRows > inInfo.image_length) aRows = inInfo.image_length;
    int64_t aSampleBytes = inInfo.valid_bits_per_pixel[0] > 8 ? 2 : 1;
    int64_t aNeeded = aRows * inInfo.image_width * aSampleBytes;
    int64_t aMissing = 0;
    // The strips form one stream of rows; walk it as far as the import reads.
    for (int aStrip = 0; aStrip < kRAW_MaxStrips && aNeeded > 0; ++aStrip) {
        int64_t aBytes = inInfo.strip_byte_count[aStrip] > 0 ? inInfo.strip_byte_count[aStrip] : 0;
        int64_t aPart = aBytes < aNeeded ? aBytes : aNeeded;
        int64_t aOffset = inInfo.strip_offsets[aStrip];
        if (aOffset <= 0)
            aMissing += aPart;
        else if (aOffset + aPart > inFileSize)
            aMissing += aOffset >= inFileSize ? aPart : aOffset + aPart - inFileSize;
        aNeeded -= aPart;
    }
    return aMissing + aNeeded;
}

namespace {

// The module's own test of a header, with the reason spelt out.
std::string HeaderRefusal(const RAW_Info &inInfo) {
    if (inInfo.image_width <= 0 || inInfo.image_width > 65535) return "the sensor width is out of range";
    if (inInfo.output_image_width <= 0 || inInfo.output_image_height <= 0 || inInfo.output_image_width > 32767 ||
        inInfo.output_image_height > 32767)
        return "the output size is out of range";
    if (static_cast<int64_t>(inInfo.output_image_width) > static_cast<int64_t>(inInfo.image_width) - 3)
        return "the output is wider than the sensor allows";
    return "the valid bits per sample are out of range";
}

}  // namespace

std::string RefusalReason(const std::string &inPath, const HeaderInfo &inHeader) {
    if (!inHeader.convertible) return "damaged file: " + HeaderRefusal(inHeader.info) + " (the module refuses it)";
    struct stat aStat;
    if (stat(inPath.c_str(), &aStat) != 0) return {};
    int64_t aMissing = MissingSensorBytes(inHeader.info, aStat.st_size);
    if (aMissing <= 0) return {};
    return "damaged file: " + std::to_string(aMissing) + " bytes of sensor data are missing (truncated?)";
}

int DocumentDepth(const RAW_Info &inInfo) { return inInfo.valid_bits_per_pixel[0] > 8 ? 16 : 8; }

}  // namespace ekv
