// The camera tags as an Exif block: a little-endian TIFF structure with IFD0 (Make,
// Model, Software, DateTime, Artist, Copyright) and an Exif directory, as PNG's eXIf
// chunk carries it. libpng takes the block as bytes; nothing in Debian builds it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "metadata/RawTags.h"

namespace ekv {

// Text in its ASCII form. Empty when there is nothing to carry. An Exif directory (made when the camera has Exif
// values) also holds the Exif and Flashpix versions and inColorSpace.
std::vector<uint8_t> BuildExifBlock(const CameraTags &inTags, const std::string &inSoftware, uint16_t inColorSpace);

}  // namespace ekv
