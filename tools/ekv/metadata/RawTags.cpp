// A bounded reader of TIFF directories: every read is checked against the file's size.
#include "metadata/RawTags.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "metadata/TextEncoding.h"
#include "rawfile/EkvTags.h"

namespace ekv {

namespace {

constexpr uint16_t kAscii = 2, kShort = 3, kLong = 4, kRational = 5;
constexpr uint32_t kMaxEntries = 1024;  // more entries than any real directory holds
constexpr uint32_t kMaxText = 65536;    // longer text is taken as malformed

class TiffFile {
public:
    explicit TiffFile(const std::string &inPath) : mFd(::open(inPath.c_str(), O_RDONLY | O_CLOEXEC)) {
        struct stat aStat;
        if (mFd >= 0 && fstat(mFd, &aStat) == 0 && S_ISREG(aStat.st_mode)) mSize = static_cast<uint64_t>(aStat.st_size);
    }
    ~TiffFile() {
        if (mFd >= 0) close(mFd);
    }
    TiffFile(const TiffFile &) = delete;
    TiffFile &operator=(const TiffFile &) = delete;

    bool header(uint32_t &outFirstIfd) {
        uint8_t aBytes[8];
        if (!read(0, aBytes, 8)) return false;
        if (aBytes[0] == 'I' && aBytes[1] == 'I')
            mBig = false;
        else if (aBytes[0] == 'M' && aBytes[1] == 'M')
            mBig = true;
        else
            return false;
        outFirstIfd = u32(aBytes + 4);
        return true;
    }
    // inCount bytes at inOffset, when the file holds all of them.
    bool read(uint64_t inOffset, void *outBytes, uint64_t inCount) const {
        if (mFd < 0 || inOffset > mSize || inCount > mSize - inOffset) return false;
        return pread(mFd, outBytes, inCount, static_cast<off_t>(inOffset)) == static_cast<ssize_t>(inCount);
    }
    uint16_t u16(const uint8_t *inBytes) const {
        return mBig ? uint16_t(inBytes[0] << 8 | inBytes[1]) : uint16_t(inBytes[1] << 8 | inBytes[0]);
    }
    uint32_t u32(const uint8_t *inBytes) const {
        return mBig ? uint32_t(inBytes[0]) << 24 | uint32_t(inBytes[1]) << 16 | uint32_t(inBytes[2]) << 8 | inBytes[3]
                    : uint32_t(inBytes[3]) << 24 | uint32_t(inBytes[2]) << 16 | uint32_t(inBytes[1]) << 8 | inBytes[0];
    }

private:
    int mFd;
    uint64_t mSize = 0;
    bool mBig = false;
};

struct Entry {
    uint16_t tag = 0, type = 0;
    uint32_t count = 0;
    uint8_t field[4] = {};  // the value, or the offset of values longer than 4 bytes
};

// A directory's entries and the offset of the next one; false when the entry table
// does not lie within the file.
bool ReadDirectory(const TiffFile &inFile, uint32_t inOffset, std::vector<Entry> &outEntries, uint32_t &outNext) {
    uint8_t aCount[2];
    if (inOffset == 0 || !inFile.read(inOffset, aCount, 2)) return false;
    uint32_t aEntries = inFile.u16(aCount);
    if (aEntries == 0 || aEntries > kMaxEntries) return false;
    std::vector<uint8_t> aTable(aEntries * 12u + 4u);
    if (!inFile.read(uint64_t(inOffset) + 2, aTable.data(), aEntries * 12u)) return false;
    uint8_t aNext[4] = {};
    outNext = inFile.read(uint64_t(inOffset) + 2 + aEntries * 12u, aNext, 4) ? inFile.u32(aNext) : 0;
    outEntries.clear();
    for (uint32_t aIndex = 0; aIndex < aEntries; ++aIndex) {
        const uint8_t *aAt = aTable.data() + aIndex * 12u;
        Entry aEntry;
        aEntry.tag = inFile.u16(aAt);
        aEntry.type = inFile.u16(aAt + 2);
        aEntry.count = inFile.u32(aAt + 4);
        for (int aByte = 0; aByte < 4; ++aByte) aEntry.field[aByte] = aAt[8 + aByte];
        outEntries.push_back(aEntry);
    }
    return true;
}

// The entry's value bytes (of inUnit bytes per value), inline or at their offset.
bool ValueBytes(const TiffFile &inFile, const Entry &inEntry, uint32_t inUnit, std::vector<uint8_t> &outBytes) {
    uint64_t aSize = uint64_t(inEntry.count) * inUnit;
    if (inEntry.count == 0 || aSize > kMaxText) return false;
    outBytes.resize(aSize);
    if (aSize <= 4) {
        for (uint64_t aByte = 0; aByte < aSize; ++aByte) outBytes[aByte] = inEntry.field[aByte];
        return true;
    }
    return inFile.read(inFile.u32(inEntry.field), outBytes.data(), aSize);
}

// Text up to its first NUL, without trailing blanks, as UTF-8 (bytes that are not UTF-8
// as U+FFFD, with outReplaced set); empty when malformed (a control character).
std::string Text(const TiffFile &inFile, const Entry &inEntry, bool *outReplaced = nullptr) {
    std::vector<uint8_t> aBytes;
    if (inEntry.type != kAscii || !ValueBytes(inFile, inEntry, 1, aBytes)) return {};
    std::string aText;
    for (uint8_t aByte : aBytes) {
        if (aByte == 0) break;
        if (aByte < 0x20 || aByte == 0x7F) return {};
        aText += static_cast<char>(aByte);
    }
    while (!aText.empty() && aText.back() == ' ') aText.pop_back();
    bool aReplaced = false;
    aText = ValidUtf8(aText, aReplaced);
    if (outReplaced != nullptr) *outReplaced = aReplaced;
    return aText;
}

// A text tag of the camera's, its name noted when it holds bytes that are not UTF-8.
std::string CameraText(const TiffFile &inFile, const Entry &inEntry, const char *inName, CameraTags &ioTags) {
    bool aReplaced = false;
    std::string aText = Text(inFile, inEntry, &aReplaced);
    if (aReplaced) ioTags.notUtf8.push_back(inName);
    return aText;
}

// "YYYY:MM:DD HH:MM:SS", the only form Exif allows.
std::string DateText(const TiffFile &inFile, const Entry &inEntry) {
    std::string aText = Text(inFile, inEntry);
    if (aText.size() != 19) return {};
    for (size_t aIndex = 0; aIndex < aText.size(); ++aIndex) {
        char aChar = aText[aIndex];
        bool aOk = aIndex == 4 || aIndex == 7 || aIndex == 13 || aIndex == 16 ? aChar == ':'
                   : aIndex == 10                                             ? aChar == ' '
                                                                              : aChar >= '0' && aChar <= '9';
        if (!aOk) return {};
    }
    return aText;
}

Rational FirstRational(const TiffFile &inFile, const Entry &inEntry) {
    std::vector<uint8_t> aBytes;
    Rational aValue;
    if (inEntry.type != kRational || !ValueBytes(inFile, inEntry, 8, aBytes)) return aValue;
    aValue.numerator = inFile.u32(aBytes.data());
    aValue.denominator = inFile.u32(aBytes.data() + 4);
    return aValue;
}

// The first value of a SHORT or LONG entry.
bool FirstInteger(const TiffFile &inFile, const Entry &inEntry, uint32_t &outValue) {
    std::vector<uint8_t> aBytes;
    if (inEntry.type == kShort && ValueBytes(inFile, inEntry, 2, aBytes)) {
        outValue = inFile.u16(aBytes.data());
        return true;
    }
    if (inEntry.type == kLong && ValueBytes(inFile, inEntry, 4, aBytes)) {
        outValue = inFile.u32(aBytes.data());
        return true;
    }
    return false;
}

}  // namespace

bool ReadCameraTags(const std::string &inPath, CameraTags &outTags, RawLayout *outLayout) {
    outTags = CameraTags();
    RawLayout aLayout;
    TiffFile aFile(inPath);
    uint32_t aIfd0 = 0, aIfd1 = 0, aExifIfd = 0, aNext = 0;
    if (!aFile.header(aIfd0)) return false;
    std::vector<Entry> aEntries;
    if (ReadDirectory(aFile, aIfd0, aEntries, aIfd1)) {
        for (const Entry &aEntry : aEntries) {
            switch (aEntry.tag) {
                case kRAW_Tag_Make: outTags.make = CameraText(aFile, aEntry, "Make", outTags); break;
                case kRAW_Tag_Model: outTags.model = CameraText(aFile, aEntry, "Model", outTags); break;
                case kRAW_Tag_DateTime: outTags.dateTime = DateText(aFile, aEntry); break;
                case kRAW_Tag_Artist: outTags.artist = CameraText(aFile, aEntry, "Artist", outTags); break;
                case kRAW_Tag_Copyright: outTags.copyright = CameraText(aFile, aEntry, "Copyright", outTags); break;
                case kRAW_Tag_ExifIFD: FirstInteger(aFile, aEntry, aExifIfd); break;
                default: break;
            }
        }
    }
    if (aExifIfd != 0 && aExifIfd != aIfd0 && ReadDirectory(aFile, aExifIfd, aEntries, aNext)) {
        aLayout.hasExif = true;
        uint32_t aIso = 0;
        for (const Entry &aEntry : aEntries) {
            switch (aEntry.tag) {
                case kRAW_Tag_ExposureTime: outTags.exposureTime = FirstRational(aFile, aEntry); break;
                case kRAW_Tag_FNumber: outTags.fNumber = FirstRational(aFile, aEntry); break;
                case kRAW_Tag_ISOSpeedRatings:
                    if (aEntry.type == kShort && FirstInteger(aFile, aEntry, aIso)) outTags.iso = uint16_t(aIso);
                    break;
                case kRAW_Tag_DateTimeOriginal: outTags.dateTimeOriginal = DateText(aFile, aEntry); break;
                case kRAW_Tag_FocalLength: outTags.focalLength = FirstRational(aFile, aEntry); break;
                case kRAW_Tag_MakerNote: aLayout.hasMakerNote = true; break;
                default: break;
            }
        }
    }
    if (aIfd1 != 0 && aIfd1 != aIfd0 && ReadDirectory(aFile, aIfd1, aEntries, aNext)) {
        bool aHasOffset = false, aHasLength = false;
        for (const Entry &aEntry : aEntries) {
            if (aEntry.tag == kRAW_Tag_JPEGInterchangeFormat)
                aHasOffset = FirstInteger(aFile, aEntry, aLayout.thumbnailOffset);
            if (aEntry.tag == kRAW_Tag_JPEGInterchangeFormatLength)
                aHasLength = FirstInteger(aFile, aEntry, aLayout.thumbnailLength);
        }
        aLayout.thumbnailDeclared = aHasOffset || aHasLength;
    }
    if (outLayout != nullptr) *outLayout = aLayout;
    return true;
}

}  // namespace ekv
