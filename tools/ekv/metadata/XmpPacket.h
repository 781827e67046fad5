// An XMP packet with the camera's text tags in full, for outputs whose TIFF text tags
// can hold only an ASCII form of text that is not ASCII.
#pragma once

#include <string>

#include "metadata/RawTags.h"

namespace ekv {

// tiff:Make, tiff:Model, dc:creator (the Artist) and dc:rights (the Copyright) as UTF-8,
// each when present; empty when all of them are ASCII, which the TIFF tags then carry
// as they are.
std::string BuildXmpPacket(const CameraTags &inTags);

}  // namespace ekv
