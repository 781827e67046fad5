// The camera identification and shooting data an `ekv dng` output carries, gathered in
// one place so that every source of such data feeds it through this function.
#pragma once

#include <string>

#include "dng/DngWriter.h"

namespace ekv {

// Fills the make, model, unique camera model, software, date, artist and copyright of
// inFile, and its shooting data, from the tags convert carries into its outputs.
void ReadDngIdentity(const std::string &inFile, dng::DngIdentity &outIdentity, dng::DngShooting &outShooting);

}  // namespace ekv
