// The conversion dialog's preview: the thumbnail JPEG decoded and scaled to fill the
// 320 x 240 preview exactly, with the white-balance marker inverted on it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "import/RgbImage.h"

namespace ekv {

enum { kPreviewWidth = 320, kPreviewHeight = 240 };

// Decodes a JPEG stream into an 8-bit RGB image; false with the reason on failure.
bool DecodeJpeg(const std::vector<uint8_t> &inJpeg, RgbImage &outImage, std::string &outError);
// Reads only the JPEG's frame size; false when the stream has no readable header.
bool JpegSize(const std::vector<uint8_t> &inJpeg, int32_t &outWidth, int32_t &outHeight);

// Scales an 8-bit image bilinearly (pixel centres mapped onto pixel centres) to the size.
RgbImage ScaleBilinear(const RgbImage &inImage, int32_t inWidth, int32_t inHeight);

// The preview as the dialog shows it: the scaled thumbnail, or the dialog's grey
// background when there is none (an empty stream).
bool MakePreview(const std::vector<uint8_t> &inJpeg, RgbImage &outPreview, std::string &outError);

// Inverts the 2 x 2 square whose lower-right pixel is (inH, inV), clipped to the
// preview, as the dialog marks the picked point. Inverting twice restores the pixels.
void InvertMarker(RgbImage &ioPreview, int32_t inH, int32_t inV);

}  // namespace ekv
