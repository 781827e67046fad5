// The mosaic rows of a DNG through the module's reader.
#include "import/MosaicReader.h"

#include "import/AcquireHost.h"

namespace ekv {

bool MosaicReader::read(uint32_t inFirst, uint32_t inCount, std::vector<uint16_t> &outRows, std::string &outError) {
    hostkit::BlockPool &aPool = HostPool();
    Handle aRows = nullptr;
    if (RAW_ReadStrip(&mSpec, &mInfo, inFirst, inCount, aPool.handleProcs(), &aRows) != noErr || aRows == nullptr) {
        mOutOfMemory = true;
        outError = "out of memory";
        return false;
    }
    uint16 *aSamples = reinterpret_cast<uint16 *>(aPool.lockHandle(aRows));
    if (aSamples == nullptr) {
        aPool.disposeHandle(aRows);
        mOutOfMemory = true;
        outError = "out of memory";
        return false;
    }
    const size_t aCount = static_cast<size_t>(inCount) * static_cast<size_t>(mInfo.image_width);
    RAW_ShiftRight(aSamples, static_cast<uint16>(mInfo.image_width), static_cast<uint16>(inCount),
                   static_cast<uint16>(mInfo.valid_bits_per_pixel[0]),
                   static_cast<uint16>(mInfo.valid_bits_per_pixel[1]), mInfo.endian);
    outRows.assign(aSamples, aSamples + aCount);
    aPool.unlockHandle(aRows);
    aPool.disposeHandle(aRows);
    return true;
}

std::string DngMosaicRefusal(const std::string &inReadPath, HeaderInfo &ioHeader) {
    std::string aRefusal = RefusalReason(inReadPath, ioHeader);
    if (aRefusal.empty()) ioHeader.info.image_length = static_cast<int32>(MosaicRows(ioHeader.info));
    return aRefusal;
}

}  // namespace ekv
