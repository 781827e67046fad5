// Depth reduction of delivered images.
#include "RgbImage.h"

namespace ekv {

RgbImage ReduceTo8Bits(const RgbImage &inImage) {
    if (inImage.depth == 8) return inImage;
    RgbImage aImage = inImage;
    aImage.depth = 8;
    for (uint16_t &aSample : aImage.samples)
        aSample = static_cast<uint16_t>((static_cast<uint32_t>(aSample) * 255u + 32767u) / 65535u);
    return aImage;
}

}  // namespace ekv
