// Recognition and header parsing through the module's reader.
#include "import/HostHeaderView.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

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
    if (stat(inPath.c_str(), &aStat) != 0) return "cannot be read: " + std::string(std::strerror(errno));
    return SizeRefusal(inHeader.info, aStat.st_size);
}

int DocumentDepth(const RAW_Info &inInfo) { return inInfo.valid_bits_per_pixel[0] > 8 ? 16 : 8; }

}  // namespace ekv
