// The camera identification and shooting data an `ekv dng` output carries, gathered in
// one place so that every source of such data feeds it through this function.
#pragma once

#include <string>

#include "RawHeader.h"
#include "dng/DngWriter.h"

namespace ekv {

// Fills the make, model, unique camera model, software and date of inFile, whose header
// the module's reader gave as inHeader.
void ReadDngIdentity(const std::string &inFile, const HeaderInfo &inHeader, dng::DngIdentity &outIdentity);

}  // namespace ekv
