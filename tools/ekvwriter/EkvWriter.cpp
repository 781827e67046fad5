// Builds an EKV file in memory: directories first (IFD0 at offset 8, then the Exif IFD,
// the maker note and the thumbnail IFD, each followed by its value arrays), then the
// JPEG thumbnail, then the strips.
#include "EkvWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "rawfile/EkvTags.h"

namespace ekvwriter {
namespace {

struct Entry {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    std::vector<uint8_t> data;  // value bytes in file order
    bool extra = false;
    uint32_t valueOffset = 0;  // where data goes when it does not fit the value field
};

struct Dir {
    std::vector<Entry> entries;
    uint32_t offset = 0;
};

int TypeSize(uint16_t inType) {
    switch (inType) {
        case kTIFF_SHORT:
        case kTIFF_SSHORT: return 2;
        case kTIFF_LONG:
        case kTIFF_SLONG: return 4;
        case kTIFF_RATIONAL:
        case kTIFF_SRATIONAL: return 4;  // per half of a pair
        default: return 1;
    }
}

class Encoder {
public:
    explicit Encoder(bool inBig) : mBig(inBig) {}
    void put16(std::vector<uint8_t> &ioBytes, size_t inAt, uint32_t inValue) const {
        uint8_t aHi = uint8_t(inValue >> 8), aLo = uint8_t(inValue);
        ioBytes[inAt] = mBig ? aHi : aLo;
        ioBytes[inAt + 1] = mBig ? aLo : aHi;
    }
    void put32(std::vector<uint8_t> &ioBytes, size_t inAt, uint32_t inValue) const {
        for (int i = 0; i < 4; ++i) {
            int aShift = mBig ? 24 - 8 * i : 8 * i;
            ioBytes[inAt + i] = uint8_t(inValue >> aShift);
        }
    }
    // Values of one type, each in file order.
    std::vector<uint8_t> values(uint16_t inType, const std::vector<int64_t> &inValues) const {
        int aSize = TypeSize(inType);
        std::vector<uint8_t> aBytes(inValues.size() * aSize);
        for (size_t i = 0; i < inValues.size(); ++i) {
            uint32_t v = uint32_t(inValues[i]);
            if (aSize == 1)
                aBytes[i] = uint8_t(v);
            else if (aSize == 2)
                put16(aBytes, i * 2, v);
            else
                put32(aBytes, i * 4, v);
        }
        return aBytes;
    }
    bool big() const { return mBig; }

private:
    bool mBig;
};

Entry MakeEntry(const Encoder &inEnc, uint16_t inTag, uint16_t inType, std::vector<int64_t> inValues) {
    Entry e{inTag, inType, 0, inEnc.values(inType, inValues)};
    e.count = uint32_t(inValues.size());
    if (inType == kTIFF_RATIONAL || inType == kTIFF_SRATIONAL) e.count /= 2;
    return e;
}

Entry MakeBytes(uint16_t inTag, uint16_t inType, std::vector<uint8_t> inBytes) {
    Entry e{inTag, inType, uint32_t(inBytes.size()), std::move(inBytes)};
    return e;
}

Entry *Find(Dir &ioDir, uint16_t inTag) {
    for (Entry &e : ioDir.entries)
        if (e.tag == inTag && !e.extra) return &e;
    return nullptr;
}

uint32_t Even(uint32_t inPos) { return (inPos + 1) & ~1u; }

// Places a directory of TIFF layout (count, entries, next offset) or of maker-note layout
// (10-byte header, entries) at ioPos, then its arrays.
void Place(Dir &ioDir, uint32_t &ioPos, uint32_t inHeadSize, uint32_t inTailSize) {
    std::stable_sort(ioDir.entries.begin(), ioDir.entries.end(),
                     [](const Entry &a, const Entry &b) { return a.tag < b.tag; });
    ioDir.offset = ioPos;
    ioPos += inHeadSize + 12 * uint32_t(ioDir.entries.size()) + inTailSize;
    for (Entry &e : ioDir.entries) {
        if (e.data.size() > 4) {
            ioPos = Even(ioPos);
            e.valueOffset = ioPos;
            ioPos += uint32_t(e.data.size());
        }
    }
    ioPos = Even(ioPos);
}

void Emit(const Dir &inDir, const Encoder &inEnc, std::vector<uint8_t> &ioBytes, uint32_t inEntriesAt) {
    uint32_t aAt = inEntriesAt;
    for (const Entry &e : inDir.entries) {
        inEnc.put16(ioBytes, aAt, e.tag);
        inEnc.put16(ioBytes, aAt + 2, e.type);
        inEnc.put32(ioBytes, aAt + 4, e.count);
        if (e.data.size() > 4) {
            inEnc.put32(ioBytes, aAt + 8, e.valueOffset);
            std::copy(e.data.begin(), e.data.end(), ioBytes.begin() + e.valueOffset);
        } else {
            std::copy(e.data.begin(), e.data.end(), ioBytes.begin() + aAt + 8);
        }
        aAt += 12;
    }
}

std::vector<uint8_t> EncodeSamples(const std::vector<uint16_t> &inMosaic, const RAW_Info &inInfo,
                                   const Encoder &inEnc) {
    int aBits = inInfo.valid_bits_per_pixel[0];
    int aShift = 16 - aBits - inInfo.valid_bits_per_pixel[1];
    if (BytesPerSample(aBits) == 1) return std::vector<uint8_t>(inMosaic.begin(), inMosaic.end());
    std::vector<uint8_t> aBytes(inMosaic.size() * 2);
    for (size_t i = 0; i < inMosaic.size(); ++i) inEnc.put16(aBytes, i * 2, uint32_t(inMosaic[i]) << aShift);
    return aBytes;
}

}  // namespace

int BytesPerSample(int inValidBits) { return inValidBits > 8 ? 2 : 1; }

RAW_Info DefaultInfo(uint16_t inEndian) {
    RAW_Info aInfo{};
    RAW_DefaultInfo(&aInfo);
    aInfo.endian = inEndian;
    return aInfo;
}

int32_t PackGainWord(int16_t inFirst, int16_t inSecond) {
    // first x 65536 + second, both signed, with 32-bit wrap-around.
    return int32_t((uint32_t(int32_t(inFirst)) << 16) + uint32_t(int32_t(inSecond)));
}

int32_t GainWordFor(double inGain) {
    long aSecond = std::lround(inGain * 64.0);
    aSecond = std::clamp(aSecond, 0L, 32767L);
    return PackGainWord(256, int16_t(aSecond));
}

double GainOfWord(int32_t inWord) {
    int32_t aHi = inWord >> 16;
    int32_t aLo = inWord & 0xFFFF;
    return double(aHi * aLo) / 16384.0;
}

WriteResult WriteEkv(const std::vector<uint16_t> &inMosaic, const WriteOptions &inOptions) {
    WriteResult aResult;
    RAW_Info aInfo = inOptions.info;
    aInfo.endian = aInfo.endian == kRAW_BigEndian ? kRAW_BigEndian : kRAW_LittleEndian;
    const Encoder aEnc(aInfo.endian == kRAW_BigEndian);
    auto fail = [&](std::string inWhy) {
        aResult.ok = false;
        aResult.error = std::move(inWhy);
        aResult.bytes.clear();
        return aResult;
    };

    // The samples.
    const int aBits = aInfo.valid_bits_per_pixel[0];
    const int aOffset = aInfo.valid_bits_per_pixel[1];
    if (aBits < 1 || aBits > 16) return fail("valid bits must be 1 to 16, not " + std::to_string(aBits));
    if (BytesPerSample(aBits) == 2 && (aOffset < 0 || aBits + aOffset > 16))
        return fail("valid bits " + std::to_string(aBits) + " at offset " + std::to_string(aOffset) +
                    " do not fit 16 bits");
    if (aInfo.image_width <= 0 || aInfo.image_length <= 0) return fail("image width and length must be positive");
    const uint64_t aSamples = uint64_t(aInfo.image_width) * uint64_t(aInfo.image_length);
    if (inMosaic.size() != aSamples)
        return fail("mosaic holds " + std::to_string(inMosaic.size()) + " samples, " +
                    std::to_string(aInfo.image_width) + " x " + std::to_string(aInfo.image_length) + " expected");
    if (inOptions.checkSamples) {
        const uint32_t aMax = (1u << aBits) - 1;
        for (size_t i = 0; i < inMosaic.size(); ++i)
            if (inMosaic[i] > aMax)
                return fail("sample " + std::to_string(i) + " is " + std::to_string(inMosaic[i]) + ", above " +
                            std::to_string(aMax));
    }
    const std::vector<uint8_t> aStream = EncodeSamples(inMosaic, aInfo, aEnc);

    // The strips.
    std::vector<uint32_t> aStripBytes = inOptions.stripBytes;
    if (aStripBytes.empty()) {
        if (aInfo.raw_per_strip <= 0) return fail("rows per strip must be positive");
        const uint64_t aRowBytes = uint64_t(aInfo.image_width) * BytesPerSample(aBits);
        for (int64_t aRow = 0; aRow < aInfo.image_length; aRow += aInfo.raw_per_strip) {
            int64_t aRows = std::min<int64_t>(aInfo.raw_per_strip, aInfo.image_length - aRow);
            aStripBytes.push_back(uint32_t(aRows * aRowBytes));
        }
    }
    if (aStripBytes.size() > kRAW_MaxStrips)
        return fail(std::to_string(aStripBytes.size()) + " strips, at most 15 allowed");
    if (std::accumulate(aStripBytes.begin(), aStripBytes.end(), uint64_t(0)) != aStream.size())
        return fail("strip lengths do not add up to the " + std::to_string(aStream.size()) + " sample bytes");
    const size_t aStrips = aStripBytes.size();
    std::vector<int> aOrder = inOptions.stripOrder;
    if (aOrder.empty()) {
        aOrder.resize(aStrips);
        std::iota(aOrder.begin(), aOrder.end(), 0);
    }
    {
        std::vector<int> aSorted = aOrder;
        std::sort(aSorted.begin(), aSorted.end());
        std::vector<int> aIdentity(aStrips);
        std::iota(aIdentity.begin(), aIdentity.end(), 0);
        if (aSorted != aIdentity) return fail("strip order is not a permutation of the strips");
    }

    // The directories, with placeholders for the offsets that layout decides.
    const std::vector<int64_t> aZeros(aStrips, 0);
    std::vector<int64_t> aCounts(aStripBytes.begin(), aStripBytes.end());
    Dir aIfd0, aExif, aMaker, aThumb;
    aIfd0.entries.push_back(MakeEntry(aEnc, kRAW_Tag_ImageWidth, kTIFF_LONG, {aInfo.image_width}));
    aIfd0.entries.push_back(MakeEntry(aEnc, kRAW_Tag_ImageLength, kTIFF_LONG, {aInfo.image_length}));
    aIfd0.entries.push_back(MakeEntry(aEnc, kRAW_Tag_BitsPerSample, kTIFF_SHORT, {aInfo.bit_per_sample}));
    aIfd0.entries.push_back(MakeEntry(aEnc, kRAW_Tag_Compression, kTIFF_SHORT, {1}));  // no compression
    aIfd0.entries.push_back(
        MakeEntry(aEnc, kRAW_Tag_PhotometricInterpretation, kTIFF_SHORT, {aInfo.photometric_interpretation}));
    aIfd0.entries.push_back(MakeBytes(kRAW_Tag_Make, kTIFF_ASCII, {'K', 'a', 'r', 'v', 'e', 'x', 0}));
    aIfd0.entries.push_back(MakeEntry(aEnc, kRAW_Tag_StripOffsets, kTIFF_LONG, aZeros));
    aIfd0.entries.push_back(MakeEntry(aEnc, kRAW_Tag_SamplesPerPixel, kTIFF_SHORT, {aInfo.sample_per_pixel}));
    aIfd0.entries.push_back(MakeEntry(aEnc, kRAW_Tag_RowsPerStrip, kTIFF_LONG, {aInfo.raw_per_strip}));
    aIfd0.entries.push_back(MakeEntry(aEnc, kRAW_Tag_StripByteCounts, kTIFF_LONG, aCounts));
    if (inOptions.sharpnessTag)
        aIfd0.entries.push_back(MakeEntry(aEnc, kRAW_Tag_Sharpness, kTIFF_SSHORT, {aInfo.sharpness}));
    if (inOptions.exif) aIfd0.entries.push_back(MakeEntry(aEnc, kRAW_Tag_ExifIFD, kTIFF_LONG, {0}));

    if (inOptions.exif) {
        aExif.entries.push_back(MakeBytes(kRAW_Tag_ExifVersion, kTIFF_UNDEFINED, {'0', '2', '2', '0'}));
        if (inOptions.makerNote) {
            Entry aNote{kRAW_Tag_MakerNote, kTIFF_UNDEFINED, 0, {0, 0, 0, 0}};
            aExif.entries.push_back(aNote);
        }
        std::vector<uint8_t> aCfa(8);
        const Encoder aSizeEnc(inOptions.cfaSizeLowByteFirst ? false : aEnc.big());
        aSizeEnc.put16(aCfa, 0, uint16_t(aInfo.cfa_pattern.size[0]));
        aSizeEnc.put16(aCfa, 2, uint16_t(aInfo.cfa_pattern.size[1]));
        for (int i = 0; i < 4; ++i) aCfa[4 + i] = aInfo.cfa_pattern.value[i];
        aExif.entries.push_back(MakeBytes(kRAW_Tag_CFAPattern, kTIFF_UNDEFINED, aCfa));
    }

    const bool aWithMaker = inOptions.exif && inOptions.makerNote;
    if (aWithMaker) {
        auto halves = [](int32_t inWord) {
            int16_t aSecond = int16_t(uint16_t(uint32_t(inWord) & 0xFFFF));
            int32_t aFirst = int32_t((int64_t(inWord) - aSecond) >> 16);
            return std::vector<int64_t>{aFirst, aSecond};
        };
        const int16 *m = aInfo.color_matrix;
        const int16 *ob = aInfo.optical_black;
        const int16 *cs = aInfo.chromasupless;
        aMaker.entries.push_back(MakeEntry(aEnc, kRAW_Tag_ColorMatrix, kTIFF_SSHORT,
                                           {m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], m[8]}));
        aMaker.entries.push_back(MakeEntry(aEnc, kRAW_Tag_OpticalBlack, kTIFF_SHORT, {ob[0], ob[1], ob[2], ob[3]}));
        aMaker.entries.push_back(MakeEntry(aEnc, kRAW_Tag_WBGainGr, kTIFF_SSHORT, halves(aInfo.wb_gain_gr)));
        aMaker.entries.push_back(MakeEntry(aEnc, kRAW_Tag_WBGainGb, kTIFF_SSHORT, halves(aInfo.wb_gain_gb)));
        aMaker.entries.push_back(MakeEntry(aEnc, kRAW_Tag_ToneMode, kTIFF_SHORT, {aInfo.tone_mode}));
        aMaker.entries.push_back(MakeEntry(aEnc, kRAW_Tag_Enhancer, kTIFF_SSHORT, {aInfo.enhancer}));
        aMaker.entries.push_back(
            MakeEntry(aEnc, kRAW_Tag_ChromaSuppress, kTIFF_SHORT, {cs[0], cs[1], cs[2], cs[3], cs[4], cs[5]}));
        aMaker.entries.push_back(MakeEntry(aEnc, kRAW_Tag_ValidBits, kTIFF_SHORT,
                                           {aInfo.valid_bits_per_pixel[0], aInfo.valid_bits_per_pixel[1]}));
        aMaker.entries.push_back(MakeEntry(aEnc, kRAW_Tag_Coring, kTIFF_SSHORT, {aInfo.coring}));
        aMaker.entries.push_back(MakeEntry(aEnc, kRAW_Tag_OutputImageWidth, kTIFF_LONG, {aInfo.output_image_width}));
        aMaker.entries.push_back(MakeEntry(aEnc, kRAW_Tag_OutputImageHeight, kTIFF_LONG, {aInfo.output_image_height}));
    }

    // The thumbnail IFD carries no image size tags: the reader shares IFD0's tag table
    // for it, so a width there would replace the mosaic's.
    const bool aWithThumb = !inOptions.thumbnailJpeg.empty();
    if (aWithThumb) {
        aThumb.entries.push_back(MakeEntry(aEnc, kRAW_Tag_Compression, kTIFF_SHORT, {6}));  // JPEG
        aThumb.entries.push_back(MakeEntry(aEnc, kRAW_Tag_JPEGInterchangeFormat, kTIFF_LONG, {0}));
        aThumb.entries.push_back(MakeEntry(aEnc, kRAW_Tag_JPEGInterchangeFormatLength, kTIFF_LONG,
                                           {int64_t(inOptions.thumbnailJpeg.size())}));
    }

    for (const auto &[aDir, aTag] : inOptions.extraTags) {
        Entry e = MakeEntry(aEnc, aTag.tag, aTag.type, aTag.values);
        if (aTag.countOverride) e.count = aTag.count;
        e.extra = true;
        Dir *aTarget = aDir == Directory::IFD0        ? &aIfd0
                       : aDir == Directory::Exif      ? &aExif
                       : aDir == Directory::MakerNote ? &aMaker
                                                      : &aThumb;
        if ((aTarget == &aExif && !inOptions.exif) || (aTarget == &aMaker && !aWithMaker) ||
            (aTarget == &aThumb && !aWithThumb))
            return fail("an extra tag names a directory that is not written");
        aTarget->entries.push_back(std::move(e));
    }

    // Layout.
    Layout &aLayout = aResult.layout;
    uint32_t aPos = 8;
    Place(aIfd0, aPos, 2, 4);
    aLayout.ifd0 = aIfd0.offset;
    if (inOptions.exif) {
        Place(aExif, aPos, 2, 4);
        aLayout.exifIfd = aExif.offset;
    }
    if (aWithMaker) {
        // Four zero bytes after the entries, as after a TIFF directory: the reader does not
        // look at them, and TIFF tools can walk the maker note like any directory.
        Place(aMaker, aPos, 10, 4);
        aLayout.makerNote = aMaker.offset;
        aLayout.makerNoteSize = aPos - aMaker.offset;
    }
    if (aWithThumb) {
        Place(aThumb, aPos, 2, 4);
        aLayout.thumbnailIfd = aThumb.offset;
        aLayout.jpeg = aPos;
        aLayout.jpegSize = uint32_t(inOptions.thumbnailJpeg.size());
        aPos = Even(aPos + aLayout.jpegSize);
    }
    aLayout.metadataEnd = aPos;
    if (aPos > kRAW_HeaderMaxSize && !inOptions.allowLargeHeader)
        return fail("directories and thumbnail take " + std::to_string(aPos) +
                    " bytes, more than the 51400 the reader reads");
    aLayout.dataStart = (aPos + 15) & ~15u;

    std::vector<int64_t> aStripOffsets(aStrips);
    uint64_t aFilePos = aLayout.dataStart;
    for (int k : aOrder) {
        aStripOffsets[k] = int64_t(aFilePos);
        aFilePos += aStripBytes[k] + inOptions.stripGap;
    }
    if (aFilePos > 0xFFFFFFFFull) return fail("file larger than 4 GiB");

    // Offsets known now.
    Find(aIfd0, kRAW_Tag_StripOffsets)->data = aEnc.values(kTIFF_LONG, aStripOffsets);
    if (inOptions.exif) Find(aIfd0, kRAW_Tag_ExifIFD)->data = aEnc.values(kTIFF_LONG, {aLayout.exifIfd});
    if (aWithMaker) {
        Entry *aNote = Find(aExif, kRAW_Tag_MakerNote);
        aNote->count = aLayout.makerNoteSize;
        aNote->data = aEnc.values(kTIFF_LONG, {aLayout.makerNote});
    }
    if (aWithThumb) Find(aThumb, kRAW_Tag_JPEGInterchangeFormat)->data = aEnc.values(kTIFF_LONG, {aLayout.jpeg});

    // Bytes.
    std::vector<uint8_t> &aBytes = aResult.bytes;
    aBytes.assign(size_t(aFilePos), 0);
    aEnc.put16(aBytes, 0, aInfo.endian);
    aEnc.put16(aBytes, 2, kRAW_EKVVersion);
    aEnc.put32(aBytes, 4, inOptions.headerOffset);
    aEnc.put16(aBytes, 8, uint32_t(aIfd0.entries.size()));
    Emit(aIfd0, aEnc, aBytes, 10);
    aEnc.put32(aBytes, 10 + 12 * aIfd0.entries.size(), aLayout.thumbnailIfd);
    if (inOptions.exif) {
        aEnc.put16(aBytes, aExif.offset, uint32_t(aExif.entries.size()));
        Emit(aExif, aEnc, aBytes, aExif.offset + 2);
        aEnc.put32(aBytes, aExif.offset + 2 + 12 * aExif.entries.size(), 0);
    }
    if (aWithMaker) {
        for (size_t i = 0; i < 5; ++i)
            aBytes[aMaker.offset + i] = i < inOptions.makerSignature.size() ? uint8_t(inOptions.makerSignature[i]) : 0;
        for (size_t i = 0; i < 3; ++i)
            aBytes[aMaker.offset + 5 + i] = i < inOptions.makerVersion.size() ? uint8_t(inOptions.makerVersion[i]) : 0;
        aEnc.put16(aBytes, aMaker.offset + 8, uint32_t(aMaker.entries.size()));
        Emit(aMaker, aEnc, aBytes, aMaker.offset + 10);
        aEnc.put32(aBytes, aMaker.offset + 10 + 12 * aMaker.entries.size(), 0);
    }
    if (aWithThumb) {
        aEnc.put16(aBytes, aThumb.offset, uint32_t(aThumb.entries.size()));
        Emit(aThumb, aEnc, aBytes, aThumb.offset + 2);
        aEnc.put32(aBytes, aThumb.offset + 2 + 12 * aThumb.entries.size(), 0);
        std::copy(inOptions.thumbnailJpeg.begin(), inOptions.thumbnailJpeg.end(), aBytes.begin() + aLayout.jpeg);
    }
    uint64_t aStreamPos = 0;
    for (size_t k = 0; k < aStrips; ++k) {
        std::copy(aStream.begin() + aStreamPos, aStream.begin() + aStreamPos + aStripBytes[k],
                  aBytes.begin() + aStripOffsets[k]);
        aStreamPos += aStripBytes[k];
    }
    for (int k : aOrder) {
        uint64_t aGap = uint64_t(aStripOffsets[k]) + aStripBytes[k];
        std::fill(aBytes.begin() + aGap, aBytes.begin() + aGap + inOptions.stripGap, 0xA5);
    }

    // What the reader will make of it, starting from its defaults: fields of directories
    // not written keep the defaults, and so do strip entries beyond the strips written.
    const RAW_Info aDefault = DefaultInfo(aInfo.endian);
    for (size_t k = aStrips; k < kRAW_MaxStrips; ++k) {
        aInfo.strip_offsets[k] = aDefault.strip_offsets[k];
        aInfo.strip_byte_count[k] = aDefault.strip_byte_count[k];
    }
    if (!inOptions.sharpnessTag) aInfo.sharpness = aDefault.sharpness;
    if (!inOptions.exif) aInfo.cfa_pattern = aDefault.cfa_pattern;
    if (!aWithMaker) {
        RAW_Info aKept = aDefault;
        std::copy(aInfo.strip_offsets, aInfo.strip_offsets + kRAW_MaxStrips, aKept.strip_offsets);
        std::copy(aInfo.strip_byte_count, aInfo.strip_byte_count + kRAW_MaxStrips, aKept.strip_byte_count);
        aKept.image_width = aInfo.image_width;
        aKept.image_length = aInfo.image_length;
        aKept.bit_per_sample = aInfo.bit_per_sample;
        aKept.photometric_interpretation = aInfo.photometric_interpretation;
        aKept.sample_per_pixel = aInfo.sample_per_pixel;
        aKept.raw_per_strip = aInfo.raw_per_strip;
        aKept.sharpness = aInfo.sharpness;
        aKept.cfa_pattern = aInfo.cfa_pattern;
        aInfo = aKept;
    }
    for (size_t k = 0; k < aStrips; ++k) {
        aInfo.strip_offsets[k] = int32(aStripOffsets[k]);
        aInfo.strip_byte_count[k] = int32(aStripBytes[k]);
    }
    if (inOptions.exif && aEnc.big() && !inOptions.cfaSizeLowByteFirst) {
        for (int16 &aSize : aInfo.cfa_pattern.size) aSize = int16(uint16_t(aSize) >> 8 | uint16_t(aSize) << 8);
    }
    aResult.info = aInfo;
    aResult.ok = true;
    return aResult;
}

bool SaveFile(const std::string &inPath, const std::vector<uint8_t> &inBytes, std::string &outError) {
    FILE *aFile = std::fopen(inPath.c_str(), "wb");
    if (!aFile) {
        outError = "cannot create " + inPath;
        return false;
    }
    bool aOk = std::fwrite(inBytes.data(), 1, inBytes.size(), aFile) == inBytes.size();
    aOk = std::fclose(aFile) == 0 && aOk;
    if (!aOk) outError = "cannot write " + inPath;
    return aOk;
}

ExtraTag TextTag(uint16_t inTag, const std::string &inText) {
    ExtraTag aTag;
    aTag.tag = inTag;
    aTag.type = kTIFF_ASCII;
    for (unsigned char aChar : inText) aTag.values.push_back(aChar);
    aTag.values.push_back(0);
    return aTag;
}

ExtraTag RationalTag(uint16_t inTag, uint32_t inNumerator, uint32_t inDenominator) {
    ExtraTag aTag;
    aTag.tag = inTag;
    aTag.type = kTIFF_RATIONAL;
    aTag.values = {inNumerator, inDenominator};
    return aTag;
}

}  // namespace ekvwriter
