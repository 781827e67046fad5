// The standard TIFF and Exif tags of a raw file (the camera's identification and
// shooting data), read by the host for the outputs' metadata. Free of the module's
// headers so that the image writers can include it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ekv {

struct Rational {
    uint32_t numerator = 0;
    uint32_t denominator = 0;  // 0: absent
    bool present() const { return denominator != 0; }
    double value() const { return static_cast<double>(numerator) / denominator; }
};

// Empty strings and absent rationals for tags the file lacks or holds malformed. Text is
// UTF-8, whatever the file holds.
struct CameraTags {
    // IFD0
    std::string make, model, dateTime, artist, copyright;
    std::vector<std::string> notUtf8;  // the text tags whose bytes were not all UTF-8
    // Exif
    std::string dateTimeOriginal;
    Rational exposureTime, fNumber, focalLength;
    uint16_t iso = 0;  // 0: absent

    bool hasExif() const {
        return !dateTimeOriginal.empty() || exposureTime.present() || fNumber.present() || focalLength.present() ||
               iso != 0;
    }
};

// What the directories say about the thumbnail and the maker note.
struct RawLayout {
    bool hasExif = false;            // IFD0 points to an Exif directory that can be read
    bool hasMakerNote = false;       // the Exif directory has a maker note entry
    bool thumbnailDeclared = false;  // IFD1 names a JPEG (offset and length)
    uint32_t thumbnailOffset = 0, thumbnailLength = 0;
};

// Reads the tags of a TIFF-structured file. Reads only within the file; anything
// malformed (an offset or count out of bounds, a wrong type, text with a control
// character, a date not in the Exif form) is skipped. Text that is not UTF-8 is kept
// with U+FFFD for its stray bytes, and noted in notUtf8. False only when the file
// cannot be opened or has no TIFF header.
bool ReadCameraTags(const std::string &inPath, CameraTags &outTags, RawLayout *outLayout = nullptr);

}  // namespace ekv
