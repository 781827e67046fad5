// RGB image files: TIFF through libtiff and PNG through libpng, 8 or 16 bits per sample
// as the image's depth says, 72 pixels per inch, written atomically.
#pragma once

#include <string>

#include "OutputMetadata.h"
#include "RgbImage.h"

namespace ekv {

bool WriteTiff(const RgbImage &inImage, const std::string &inPath, const OutputMetadata &inMetadata,
               std::string &outError);
bool WritePng(const RgbImage &inImage, const std::string &inPath, const OutputMetadata &inMetadata,
              std::string &outError);

}  // namespace ekv
