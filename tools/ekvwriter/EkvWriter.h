// Writes EKV raw files: a TIFF-structured container with the EKV magic, IFD0 describing
// the mosaic strips, an Exif IFD with the CFA pattern and the camera's maker note, a
// thumbnail IFD pointing to a JPEG, and the mosaic samples in strips.
//
// The description of what to write is the reader's own record, RAW_Info, plus a few
// layout choices. Options for deliberately malformed files exist for tests; the bytes
// are handed back so that a test may patch anything else.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rawfile/RawInfo.h"

namespace ekvwriter {

// One directory entry given as it is to be stored: the value bytes in host order of the
// given type are converted to the file's byte order by the writer.
struct ExtraTag {
    uint16_t tag = 0;
    uint16_t type = kTIFF_SHORT;
    std::vector<int64_t> values;  // one per TIFF value; RATIONAL types take pairs
    bool countOverride = false;   // store 'count' instead of the number of values
    uint32_t count = 0;
};

enum class Directory { IFD0, Exif, MakerNote, Thumbnail };

struct WriteOptions {
    // info.endian selects the byte order (kRAW_BigEndian or anything else for little).
    // Every field the container can carry is written from info; strip_offsets and
    // strip_byte_count are computed by the writer.
    RAW_Info info{};

    // Strip layout. Empty stripBytes: strips of info.raw_per_strip rows. Otherwise the
    // byte length of each strip (boundaries may fall mid-row); the sum must equal the
    // size of the sample stream.
    std::vector<uint32_t> stripBytes;
    // The order in which strips are placed in the file (a permutation of 0..n-1);
    // empty: natural order.
    std::vector<int> stripOrder;
    uint32_t stripGap = 0;  // bytes of filler between strips in the file

    bool exif = true;                    // write the Exif IFD (with the CFA pattern)
    bool makerNote = true;               // write the maker note in the Exif IFD
    bool sharpnessTag = true;            // write the sharpness tag in IFD0
    std::vector<uint8_t> thumbnailJpeg;  // empty: no thumbnail IFD
    // The CFA pattern's repeat sizes are stored in the file's byte order as Exif does;
    // with this set they are stored low byte first in either order.
    bool cfaSizeLowByteFirst = false;

    // Test options for malformed files.
    uint32_t headerOffset = 8;  // value of the header's first-IFD field
    std::string makerSignature = "KARVX";
    std::string makerVersion = "010";
    std::vector<std::pair<Directory, ExtraTag>> extraTags;
    bool allowLargeHeader = false;  // do not insist on the 51400-byte metadata limit
    bool checkSamples = true;       // refuse samples above 2^ValidBits - 1
};

// Where the writer put things (file offsets).
struct Layout {
    uint32_t ifd0 = 8;
    uint32_t exifIfd = 0;
    uint32_t makerNote = 0;
    uint32_t makerNoteSize = 0;
    uint32_t thumbnailIfd = 0;
    uint32_t jpeg = 0;
    uint32_t jpegSize = 0;
    uint32_t metadataEnd = 0;  // first byte after every directory, array and the JPEG
    uint32_t dataStart = 0;    // first strip byte
};

struct WriteResult {
    bool ok = false;
    std::string error;
    std::vector<uint8_t> bytes;
    // The record the reader should end with when it starts from RAW_DefaultInfo and reads
    // these bytes: info with endian and the strip table filled in, defaults for whatever
    // was not written (strip entries beyond the strips, a missing Exif IFD, maker note or
    // sharpness tag), and the CFA repeat sizes as read low byte first.
    RAW_Info info{};
    Layout layout;
};

// Extra entries for the camera's standard tags: NUL-terminated ASCII text, and one
// unsigned rational.
ExtraTag TextTag(uint16_t inTag, const std::string &inText);
ExtraTag RationalTag(uint16_t inTag, uint32_t inNumerator, uint32_t inDenominator);

// Bytes per stored sample for a valid-bit count: 2 above 8 bits, else 1.
int BytesPerSample(int inValidBits);

// Builds the file in memory. mosaic holds info.image_width x info.image_length samples,
// each from 0 to 2^ValidBits - 1.
WriteResult WriteEkv(const std::vector<uint16_t> &inMosaic, const WriteOptions &inOptions);

// Writes bytes to a file; false (and a message) on failure.
bool SaveFile(const std::string &inPath, const std::vector<uint8_t> &inBytes, std::string &outError);

// A RAW_Info with the reader's defaults and the given byte order.
RAW_Info DefaultInfo(uint16_t inEndian = kRAW_LittleEndian);

// The gain word the reader makes of the maker note's two 16-bit values: first x 65536 +
// second, both taken as signed (the halves 1, -1 give 65535). The writer stores any word
// as the pair that packs back to it.
int32_t PackGainWord(int16_t inFirst, int16_t inSecond);
// Gain word halves for a gain: first 256 and second round(gain x 64), i.e. gain =
// first x second / 16384.
int32_t GainWordFor(double inGain);
double GainOfWord(int32_t inWord);

}  // namespace ekvwriter
