// The camera identification and shooting data an `ekv dng` output carries, gathered in
// one place so that every source of such data feeds it through this function.
#pragma once

#include <string>
#include <vector>

#include "dng/DngWriter.h"

namespace ekv {

// Fills the identity of ioDescription (make, model, unique camera model, software) and
// its metadata hooks from inFile's own tags, carried as convert carries them: the date,
// artist and copyright in IFD0, the shooting data in an Exif directory, text that is not
// ASCII in an XMP packet. A note for text that was not UTF-8 goes to ioNotes.
void AddDngMetadata(const std::string &inFile, dng::DngDescription &ioDescription, std::vector<std::string> &ioNotes);

}  // namespace ekv
