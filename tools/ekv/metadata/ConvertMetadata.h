// What ekv convert puts around the pixels: the colour profile chosen for the method, the
// 8-bit encoding, and the metadata carried over from the raw file.
#pragma once

#include <string>

#include "metadata/ColorProfiles.h"
#include "import/HostHeaderView.h"
#include "metadata/OutputMetadata.h"

namespace ekv {

enum class ProfileChoice { Auto, Srgb, Linear, None };

// "auto", "srgb", "linear" or "none"; false for anything else.
bool ParseProfileChoice(const std::string &inText, ProfileChoice &outChoice);

struct ColourEncoding {
    ProfileKind profile = ProfileKind::None;
    EightBitCurve curve = EightBitCurve::Rounded;  // for a 16-bit document written in 8 bits
};

// Methods 0 and 1 deliver linear light (0 in the camera's own RGB, 1 with sRGB primaries
// after the colour matrix); method 2 the camera's rendering, taken as sRGB. A 16-bit
// linear document written in 8 bits goes through the sRGB curve unless inKeepLinear,
// and its automatic profile is then sRGB.
ColourEncoding ChooseEncoding(int inMethod, ProfileChoice inChoice, bool inEightBit, bool inKeepLinear,
                              int inDocumentDepth);

// The profile, the software and the camera tags of the raw file inRawPath.
OutputMetadata BuildOutputMetadata(const std::string &inRawPath, ProfileKind inProfile);

// A note naming the text tags that held bytes that are not UTF-8 (carried with U+FFFD in
// their place), or empty.
std::string TextNote(const CameraTags &inCamera);

// A warning for imports that cannot give a useful picture (methods 1 and 2 of a file
// without the maker note, whose colour matrix is then all zeros), or empty.
std::string ColourWarning(const HeaderInfo &inHeader, int inMethod);

}  // namespace ekv
