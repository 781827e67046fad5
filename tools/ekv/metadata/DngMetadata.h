// The camera identification and shooting data an `ekv dng` output carries, gathered in
// one place so that every source of such data feeds it through this function.
#pragma once

#include <string>

#include "dng/DngWriter.h"

namespace ekv {

// Fills the identity of ioDescription (make, model, unique camera model, software) and
// its metadata hooks from inFile's own tags, carried as convert carries them: the date,
// artist and copyright in IFD0, the shooting data in an Exif directory.
void AddDngMetadata(const std::string &inFile, dng::DngDescription &ioDescription);

}  // namespace ekv
