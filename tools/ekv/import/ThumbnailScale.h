// The thumbnail scaled down for file managers: the size that fits a square, and an
// area-averaging reduction that keeps fine detail from aliasing as a bilinear one would.
#pragma once

#include <cstdint>

#include "import/RgbImage.h"

namespace ekv {

// The size of an image of inWidth x inHeight whose longer side is at most inLongest,
// with the aspect ratio kept (rounded to the nearest pixel, at least 1). An image that
// already fits keeps its size: a thumbnail is never enlarged.
void FitWithin(int32_t inWidth, int32_t inHeight, int32_t inLongest, int32_t &outWidth, int32_t &outHeight);

// Reduces an 8-bit image to inWidth x inHeight (each at most the image's own): every
// output pixel is the mean of the source area it covers, partial pixels weighted by
// their covered fraction, rounded to the nearest value.
RgbImage ScaleByArea(const RgbImage &inImage, int32_t inWidth, int32_t inHeight);

}  // namespace ekv
