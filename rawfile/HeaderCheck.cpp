// The check that a parsed header describes an image the conversion can run on safely.
//
// What it guards: every 4×4 window of an output pixel must lie inside a mosaic row, so the
// output is at least 3 columns narrower than the mosaic; the mosaic width travels as a
// 16-bit sample count and the output size in 16-bit rectangles; the sample alignment and
// the tone look-up shift by 16 − ValidBits (− Offset), which must stay within 0..15.
// Fewer than 8 valid bits are accepted: such samples are stored in one byte and no stage
// needs a negative shift for them. Rows below the mosaic read as zeros, so the output
// height is not tied to the mosaic height.
#include "RawInfo.h"

Boolean RAW_IsConvertibleHeader(const RAW_Info *inInfo) {
    if (inInfo == nullptr) return false;
    int32 aWidth = inInfo->image_width;
    int32 aOutWidth = inInfo->output_image_width;
    int32 aOutHeight = inInfo->output_image_height;
    if (aWidth <= 0 || aWidth > 65535) return false;
    if (aOutWidth <= 0 || aOutHeight <= 0) return false;
    if (aOutWidth > 32767 || aOutHeight > 32767) return false;
    if (static_cast<int64_t>(aOutWidth) > static_cast<int64_t>(aWidth) - 3) return false;
    int32 aValidBits = inInfo->valid_bits_per_pixel[0];
    int32 aOffset = inInfo->valid_bits_per_pixel[1];
    if (aValidBits < 1 || aValidBits > 16) return false;
    if (aOffset < 0 || aValidBits + aOffset > 16) return false;
    return true;
}
