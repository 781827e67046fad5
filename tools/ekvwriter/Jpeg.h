// JPEG encoding and decoding of 8-bit RGB images through libjpeg-turbo.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ekvwriter {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // width x height x 3, row-major
};

// A baseline JFIF (APP0) stream; empty on failure.
std::vector<uint8_t> EncodeJpeg(const RgbImage &inImage, int inQuality = 85);
// Decodes a JPEG stream to RGB; false (and a message) when it is not a valid JPEG.
bool DecodeJpeg(const std::vector<uint8_t> &inJpeg, RgbImage &outImage, std::string &outError);

}  // namespace ekvwriter
