// A small TIFF serialiser for the Exif block.
#include "metadata/ExifBlock.h"

#include <algorithm>

#include "metadata/TextEncoding.h"
#include "rawfile/EkvTags.h"

namespace ekv {

namespace {

constexpr uint16_t kAscii = 2, kShort = 3, kLong = 4, kRational = 5, kUndefined = 7;
constexpr uint16_t kTagFlashpixVersion = 0xA000, kTagColorSpace = 0xA001;

struct Field {
    uint16_t tag, type;
    uint32_t count;
    std::vector<uint8_t> bytes;  // the values, little-endian
};

void Put16(std::vector<uint8_t> &ioBytes, uint32_t inValue) {
    ioBytes.push_back(static_cast<uint8_t>(inValue));
    ioBytes.push_back(static_cast<uint8_t>(inValue >> 8));
}

void Put32(std::vector<uint8_t> &ioBytes, uint32_t inValue) {
    Put16(ioBytes, inValue & 0xFFFF);
    Put16(ioBytes, inValue >> 16);
}

void AddText(std::vector<Field> &ioFields, uint16_t inTag, const std::string &inText) {
    if (inText.empty()) return;
    std::vector<uint8_t> aBytes(inText.begin(), inText.end());
    aBytes.push_back(0);
    ioFields.push_back({inTag, kAscii, static_cast<uint32_t>(aBytes.size()), aBytes});
}

void AddRational(std::vector<Field> &ioFields, uint16_t inTag, const Rational &inValue) {
    if (!inValue.present()) return;
    std::vector<uint8_t> aBytes;
    Put32(aBytes, inValue.numerator);
    Put32(aBytes, inValue.denominator);
    ioFields.push_back({inTag, kRational, 1, aBytes});
}

// Appends a directory at the end of ioBytes (its values after its entry table); the
// fields are in ascending tag order. Returns the directory's offset.
uint32_t AppendDirectory(std::vector<uint8_t> &ioBytes, const std::vector<Field> &inFields) {
    const uint32_t aStart = static_cast<uint32_t>(ioBytes.size());
    uint32_t aData = aStart + 2 + 12 * static_cast<uint32_t>(inFields.size()) + 4;
    std::vector<uint8_t> aValues;
    Put16(ioBytes, static_cast<uint32_t>(inFields.size()));
    for (const Field &aField : inFields) {
        Put16(ioBytes, aField.tag);
        Put16(ioBytes, aField.type);
        Put32(ioBytes, aField.count);
        if (aField.bytes.size() <= 4) {
            std::vector<uint8_t> aInline = aField.bytes;
            aInline.resize(4, 0);
            ioBytes.insert(ioBytes.end(), aInline.begin(), aInline.end());
        } else {
            Put32(ioBytes, aData + static_cast<uint32_t>(aValues.size()));
            aValues.insert(aValues.end(), aField.bytes.begin(), aField.bytes.end());
            if (aValues.size() % 2) aValues.push_back(0);  // values start on a word boundary
        }
    }
    Put32(ioBytes, 0);  // no next directory
    ioBytes.insert(ioBytes.end(), aValues.begin(), aValues.end());
    return aStart;
}

}  // namespace

std::vector<uint8_t> BuildExifBlock(const CameraTags &inTags, const std::string &inSoftware, uint16_t inColorSpace) {
    std::vector<Field> aIfd0, aExif;
    AddText(aIfd0, kRAW_Tag_Make, AsciiForm(inTags.make));
    AddText(aIfd0, kRAW_Tag_Model, AsciiForm(inTags.model));
    AddText(aIfd0, kRAW_Tag_Software, inSoftware);
    AddText(aIfd0, kRAW_Tag_DateTime, inTags.dateTime);
    AddText(aIfd0, kRAW_Tag_Artist, AsciiForm(inTags.artist));
    AddText(aIfd0, kRAW_Tag_Copyright, AsciiForm(inTags.copyright));
    AddRational(aExif, kRAW_Tag_ExposureTime, inTags.exposureTime);
    AddRational(aExif, kRAW_Tag_FNumber, inTags.fNumber);
    if (inTags.iso != 0) {
        std::vector<uint8_t> aIso;
        Put16(aIso, inTags.iso);
        aExif.push_back({kRAW_Tag_ISOSpeedRatings, kShort, 1, aIso});
    }
    AddText(aExif, kRAW_Tag_DateTimeOriginal, inTags.dateTimeOriginal);
    AddRational(aExif, kRAW_Tag_FocalLength, inTags.focalLength);
    if (!aExif.empty()) {
        aExif.push_back({kRAW_Tag_ExifVersion, kUndefined, 4, {'0', '2', '3', '2'}});
        aExif.push_back({kTagFlashpixVersion, kUndefined, 4, {'0', '1', '0', '0'}});
        std::vector<uint8_t> aSpace;
        Put16(aSpace, inColorSpace);
        aExif.push_back({kTagColorSpace, kShort, 1, aSpace});
        std::sort(aExif.begin(), aExif.end(), [](const Field &a, const Field &b) { return a.tag < b.tag; });
    }
    if (aIfd0.empty() && aExif.empty()) return {};
    if (!aExif.empty()) aIfd0.push_back({kRAW_Tag_ExifIFD, kLong, 1, {0, 0, 0, 0}});  // patched below

    std::vector<uint8_t> aBytes = {'I', 'I', 42, 0};
    Put32(aBytes, 8);
    const uint32_t aIfd0Offset = AppendDirectory(aBytes, aIfd0);
    if (!aExif.empty()) {
        if (aBytes.size() % 2) aBytes.push_back(0);
        const uint32_t aExifOffset = AppendDirectory(aBytes, aExif);
        // The pointer is IFD0's last entry (the highest tag): its value field.
        const size_t aPointer = aIfd0Offset + 2 + 12 * (aIfd0.size() - 1) + 8;
        for (int aByte = 0; aByte < 4; ++aByte)
            aBytes[aPointer + aByte] = static_cast<uint8_t>(aExifOffset >> (8 * aByte));
    }
    return aBytes;
}

}  // namespace ekv
