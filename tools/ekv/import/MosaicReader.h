// The sensor mosaic as a DNG holds it: the rows, read and aligned by the module's own
// strip reader (RAW_ReadStrip, RAW_ShiftRight) with this host's handle callbacks, and
// the mosaic's height.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "import/HostHeaderView.h"

namespace ekv {

class MosaicReader {
public:
    MosaicReader(const FSSpec &inSpec, const RAW_Info &inInfo) : mSpec(inSpec), mInfo(inInfo) {}
    bool outOfMemory() const { return mOutOfMemory; }
    // Rows [inFirst, inFirst + inCount) of image_width samples each.
    bool read(uint32_t inFirst, uint32_t inCount, std::vector<uint16_t> &outRows, std::string &outError);

private:
    FSSpec mSpec;
    RAW_Info mInfo;
    bool mOutOfMemory = false;
};

// Why no exact DNG can be made of the file whose header ioHeader holds (read through
// inReadPath), or empty: the refusals of convert (RefusalReason). When empty, ioHeader's
// image length is the height of the mosaic the DNG holds: the header's, or the rows the
// import reads when more (MosaicRows), every one of them in the file.
std::string DngMosaicRefusal(const std::string &inReadPath, HeaderInfo &ioHeader);

}  // namespace ekv
