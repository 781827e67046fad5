// An RGB image with three interleaved samples per pixel. Free of the module's headers
// so that the libtiff writer can include it (libtiff declares int16 and int32 itself).
#pragma once

#include <cstdint>
#include <vector>

namespace ekv {

// The document as delivered: 0 to 65535 per sample for depth 16, 0 to 255 for depth 8.
// Rows the module never delivered stay 0.
struct RgbImage {
    int32_t width = 0;
    int32_t height = 0;
    int depth = 16;
    std::vector<uint16_t> samples;
    int32_t rowsDelivered = 0;  // rows (from the top) whose three planes all arrived
};

}  // namespace ekv
