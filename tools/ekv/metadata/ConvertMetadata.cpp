// Colour encoding and metadata of ekv convert's outputs.
#include "metadata/ConvertMetadata.h"

#include "commands/Cli.h"
#include "metadata/ExifBlock.h"
#include "metadata/XmpPacket.h"

namespace ekv {

bool ParseProfileChoice(const std::string &inText, ProfileChoice &outChoice) {
    if (inText == "auto")
        outChoice = ProfileChoice::Auto;
    else if (inText == "srgb")
        outChoice = ProfileChoice::Srgb;
    else if (inText == "linear")
        outChoice = ProfileChoice::Linear;
    else if (inText == "none")
        outChoice = ProfileChoice::None;
    else
        return false;
    return true;
}

ColourEncoding ChooseEncoding(int inMethod, ProfileChoice inChoice, bool inEightBit, bool inKeepLinear,
                              int inDocumentDepth) {
    ColourEncoding aEncoding;
    const bool aLinear = inMethod != 2;
    if (aLinear && inEightBit && !inKeepLinear && inDocumentDepth == 16) aEncoding.curve = EightBitCurve::Srgb;
    switch (inChoice) {
        case ProfileChoice::Srgb: aEncoding.profile = ProfileKind::Srgb; break;
        case ProfileChoice::Linear: aEncoding.profile = ProfileKind::Linear; break;
        case ProfileChoice::None: aEncoding.profile = ProfileKind::None; break;
        case ProfileChoice::Auto:
            if (inMethod == 2 || (inMethod == 1 && aEncoding.curve == EightBitCurve::Srgb))
                aEncoding.profile = ProfileKind::Srgb;
            else if (inMethod == 1)
                aEncoding.profile = ProfileKind::Linear;
            break;
    }
    return aEncoding;
}

OutputMetadata BuildOutputMetadata(const std::string &inRawPath, ProfileKind inProfile) {
    OutputMetadata aMetadata;
    aMetadata.iccProfile = BuildProfile(inProfile);
    if (!aMetadata.iccProfile.empty()) aMetadata.iccName = inProfile == ProfileKind::Srgb ? "sRGB" : "Linear sRGB";
    aMetadata.software = std::string("ekv ") + ToolVersion() + " (Karvex RAW File import)";
    aMetadata.exifColorSpace = inProfile == ProfileKind::Srgb ? kExifColorSpaceSrgb : kExifColorSpaceUncalibrated;
    ReadCameraTags(inRawPath, aMetadata.camera);
    aMetadata.exifBlock = BuildExifBlock(aMetadata.camera, aMetadata.software, aMetadata.exifColorSpace);
    aMetadata.xmpPacket = BuildXmpPacket(aMetadata.camera);
    return aMetadata;
}

std::string TextNote(const CameraTags &inCamera) {
    if (inCamera.notUtf8.empty()) return {};
    std::string aNames;
    for (size_t aIndex = 0; aIndex < inCamera.notUtf8.size(); ++aIndex)
        aNames += (aIndex == 0                             ? ""
                   : aIndex + 1 == inCamera.notUtf8.size() ? " and "
                                                           : ", ") +
                  inCamera.notUtf8[aIndex];
    return aNames + (inCamera.notUtf8.size() == 1 ? " holds" : " hold") +
           " bytes that are not UTF-8, shown and carried as U+FFFD";
}

std::string ColourWarning(const HeaderInfo &inHeader, int inMethod) {
    if (inMethod == 0) return {};
    for (int16 aCoefficient : inHeader.info.color_matrix)
        if (aCoefficient != 0) return {};
    return "warning: the file has no colour matrix (all zeros, or no maker note); method " + std::to_string(inMethod) +
           " gives a black image (method 0 does not use the matrix)";
}

}  // namespace ekv
