// Hostile files, generated from the writer's small camera file and imported whole through
// ENTRYPOINT: every one is either refused with the message and -128 or imported with a
// defined document, and never misuses or leaks host memory (checked by Import).
//
// Where a damaged file has a defined meaning, the test names an equivalent sound file and
// expects the same document: unreadable sensor bytes are zeros, structures outside the
// bytes read are absent and leave the defaults.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>

#include "ImportSupport.h"
#include "rawfile/EkvTags.h"

using robust::BaseFile;
using robust::Bytes;
using robust::Import;
using robust::ImportOptions;
using robust::Outcome;
using robust::Result;

namespace {

struct Written {
    ekvwriter::WriteResult file;
    Bytes bytes;
    size_t exif = 0, maker = 0, thumb = 0;  // count positions of the directories
};

Written Write(const BaseFile &inBase, const std::vector<uint16_t> *inMosaic = nullptr) {
    Written w;
    w.file = robust::WriteBase(inBase, inMosaic);
    w.bytes = robust::BytesOf(w.file);
    w.exif = w.file.layout.exifIfd;
    w.maker = w.file.layout.makerNote + 8;
    w.thumb = w.file.layout.thumbnailIfd;
    return w;
}

// The file with bytes [inFrom, inTo) set to zero.
std::vector<uint8_t> Zeroed(std::vector<uint8_t> inBytes, size_t inFrom, size_t inTo) {
    std::fill(inBytes.begin() + static_cast<std::ptrdiff_t>(std::min(inFrom, inBytes.size())),
              inBytes.begin() + static_cast<std::ptrdiff_t>(std::min(inTo, inBytes.size())), 0);
    return inBytes;
}

// The strip k's bytes in the file.
std::pair<size_t, size_t> StripRange(const Written &w, int k) {
    size_t aAt = static_cast<size_t>(w.file.info.strip_offsets[k]);
    return {aAt, aAt + static_cast<size_t>(w.file.info.strip_byte_count[k])};
}

int StripCount(const Written &w) {
    int n = 0;
    while (n < kRAW_MaxStrips && w.file.info.strip_offsets[n] != 0) ++n;
    return n;
}

int TypeSize(uint32_t inType) {
    switch (inType) {
        case 3:
        case 8: return 2;
        case 4:
        case 9: return 4;
        case 5:
        case 10: return 8;
        default: return 1;
    }
}

// The units the reader takes whole: directory counts, entries and next offsets, the maker
// note's header, out-of-line arrays, the thumbnail; and the strips.
struct Units {
    std::vector<std::pair<size_t, size_t>> whole;  // [from, to)
    std::vector<std::pair<size_t, size_t>> strips;
};

Units UnitsOf(const Written &w) {
    Units u;
    auto directory = [&](size_t inCountAt, size_t inEntriesAt, bool inNext) {
        if (inCountAt == 0) return;
        u.whole.push_back({inCountAt, inCountAt + 2});
        size_t aCount = w.bytes.u16(inCountAt);
        for (size_t i = 0; i < aCount; ++i) {
            size_t e = inEntriesAt + 12 * i;
            u.whole.push_back({e, e + 12});
            uint64_t aSize = static_cast<uint64_t>(w.bytes.u32(e + 4)) * TypeSize(w.bytes.u16(e + 2));
            if (aSize > 4 && w.bytes.u16(e) != kRAW_Tag_MakerNote)
                u.whole.push_back({w.bytes.u32(e + 8), w.bytes.u32(e + 8) + static_cast<size_t>(aSize)});
        }
        if (inNext) u.whole.push_back({inEntriesAt + 12 * aCount, inEntriesAt + 12 * aCount + 4});
    };
    directory(8, 10, true);
    directory(w.exif, w.exif + 2, true);
    if (w.file.layout.makerNote != 0) {
        u.whole.push_back({w.file.layout.makerNote, w.file.layout.makerNote + 10});
        directory(w.maker, w.maker + 2, false);
    }
    directory(w.thumb, w.thumb + 2, true);
    u.whole.push_back({w.file.layout.jpeg, w.file.layout.jpeg + w.file.layout.jpegSize});
    for (int k = 0; k < StripCount(w); ++k) u.strips.push_back(StripRange(w, k));
    return u;
}

// Every cut worth trying: each unit's first byte, middle, last byte and end, and one byte
// either side.
std::set<size_t> Boundaries(const Written &w, const Units &inUnits) {
    std::set<size_t> b = {2, 4, 8, 10};
    for (const auto &list : {inUnits.whole, inUnits.strips})
        for (auto [aFrom, aTo] : list)
            for (size_t p : {aFrom, (aFrom + aTo) / 2, aTo - 1, aTo}) b.insert(p);
    std::set<size_t> aAll;
    for (size_t p : b)
        for (size_t q : {p - 1, p, p + 1})
            if (q <= w.bytes.data.size()) aAll.insert(q);
    return aAll;
}

// Where the zero fill starts for a cut at inCut: at the start of a unit the cut splits.
size_t ZeroFrom(const Units &inUnits, size_t inCut) {
    size_t aFrom = inCut;
    for (auto [aStart, aEnd] : inUnits.whole)
        if (aStart < inCut && inCut < aEnd) aFrom = std::min(aFrom, aStart);
    return aFrom;
}

ImportOptions WithPoint() {
    ImportOptions o;
    o.method = 2;
    o.point = Point{120, 160};
    return o;
}

}  // namespace

// A file cut at any boundary imports like the whole file with everything from the cut on
// set to zero (from the start of a directory entry, count, offset or array that the cut
// splits): what cannot be read is absent (directories, arrays) or zero (samples). Files of
// fewer than 10 bytes are not EKV files.
// The one exception is a strip byte-count array cut short while its entry survives: the
// counts then keep their defaults, and only the invariants are checked.
TEST(HostileFiles, TruncatedAtEveryBoundaryImportsLikeTheZeroFilledFile) {
    int aFiles = 0;
    for (uint16_t aEndian : {uint16_t(kRAW_LittleEndian), uint16_t(kRAW_BigEndian)})
        for (int aBits : {10, 8}) {
            BaseFile base;
            base.endian = aEndian;
            base.validBits = aBits;
            Written w = Write(base);
            Outcome aWhole = Import(w.file.bytes, "whole file");
            ASSERT_EQ(aWhole.result, Result::Imported);
            EXPECT_EQ(aWhole.thumbnails, 1);
            size_t aCountsEntry = w.bytes.entry(8, kRAW_Tag_StripByteCounts).value();
            size_t aCountsArray = w.bytes.u32(aCountsEntry + 8);
            size_t aCountsEnd = aCountsArray + 4 * w.bytes.u32(aCountsEntry + 4);
            const Units aUnits = UnitsOf(w);
            for (size_t p : Boundaries(w, aUnits)) {
                std::string aWhat = (aEndian == kRAW_BigEndian ? "MM " : "II ") + std::to_string(aBits) +
                                    " bits, cut at " + std::to_string(p);
                std::vector<uint8_t> aCut(w.file.bytes.begin(), w.file.bytes.begin() + static_cast<std::ptrdiff_t>(p));
                Outcome aTruncated = Import(aCut, aWhat, WithPoint());
                ++aFiles;
                if (p < 10) {
                    EXPECT_EQ(aTruncated.result, Result::NotEkv) << aWhat;
                }
                if (p >= w.file.layout.dataStart) {
                    EXPECT_EQ(aTruncated.result, Result::Imported) << aWhat;
                }
                if (p < 10 || (p >= aCountsEntry + 12 && p < aCountsEnd)) continue;
                Outcome aZeroed = Import(Zeroed(w.file.bytes, ZeroFrom(aUnits, p), w.file.bytes.size()),
                                         aWhat + " (zero-filled)", WithPoint());
                robust::ExpectSameImport(aTruncated, aZeroed, aWhat);
            }
        }
    RecordProperty("files", aFiles);
    EXPECT_GT(aFiles, 400);
}

// A structure moved to a file position and pointed to there: inside the first 51400
// bytes it is read as before, at or across that limit (or past the end of the file, or at
// a position that does not fit) it is absent.
TEST(HostileFiles, StructuresAtOrPastTheHeaderLimitAreAbsent) {
    BaseFile base;
    base.cfa[0] = 1, base.cfa[1] = 0, base.cfa[2] = 2, base.cfa[3] = 1;  // not the default pattern
    Written w = Write(base);
    const size_t kPadded = 60000;

    BaseFile zeroMatrix = base;
    std::fill(std::begin(zeroMatrix.colorMatrix), std::end(zeroMatrix.colorMatrix), 0);
    BaseFile defaultCfa = base;
    defaultCfa.cfa[0] = 0, defaultCfa.cfa[1] = 1, defaultCfa.cfa[2] = 1, defaultCfa.cfa[3] = 2;
    std::vector<uint16_t> aBlack(static_cast<size_t>(base.width) * base.length, 0);

    Outcome aBase = Import(w.file.bytes, "base");
    ASSERT_EQ(aBase.result, Result::Imported);
    Outcome aZeroMatrix = Import(Write(zeroMatrix).file.bytes, "zero matrix");
    Outcome aDefaultCfa = Import(Write(defaultCfa).file.bytes, "default pattern");
    Outcome aBlackImage = Import(Write(base, &aBlack).file.bytes, "black mosaic");
    Outcome aRefused;
    aRefused.result = Result::Refused;

    struct Pointer {
        const char *name;
        size_t field;           // the value field that holds the position
        size_t at, size;        // the structure
        const Outcome *absent;  // the import when the structure is absent (null: refused)
        int thumbnailsWhenAbsent;
        // A directory across the limit keeps the whole entries before it: checked for
        // the invariants only.
        bool partialDirectory = false;
    };
    size_t aIfd0Next = 10 + 12 * w.bytes.u16(8);
    size_t aStrips = w.bytes.field(8, kRAW_Tag_StripOffsets), aCounts = w.bytes.field(8, kRAW_Tag_StripByteCounts);
    size_t aMatrix = w.bytes.field(w.maker, kRAW_Tag_ColorMatrix), aCfa = w.bytes.field(w.exif, kRAW_Tag_CFAPattern);
    size_t aJpeg = w.bytes.field(w.thumb, kRAW_Tag_JPEGInterchangeFormat);
    const int n = StripCount(w);
    std::vector<Pointer> aPointers = {
        {"Exif IFD", w.bytes.field(8, kRAW_Tag_ExifIFD), w.exif, 2u + 12u * w.bytes.u16(w.exif), nullptr, 1, true},
        // The last entry of the thumbnail IFD is its JPEG length: cut off, no thumbnail.
        {"thumbnail IFD", aIfd0Next, w.thumb, 2u + 12u * w.bytes.u16(w.thumb), &aBase, 0},
        {"maker note", w.bytes.field(w.exif, kRAW_Tag_MakerNote), w.file.layout.makerNote,
         10u + 12u * w.bytes.u16(w.maker), nullptr, 1, true},
        {"colour matrix", aMatrix, w.bytes.u32(aMatrix), 18, &aZeroMatrix, 1},
        {"CFA pattern", aCfa, w.bytes.u32(aCfa), 8, &aDefaultCfa, 1},
        {"strip offsets", aStrips, w.bytes.u32(aStrips), 4u * n, &aBlackImage, 1},
        // Default byte counts read the whole stream on from strip 0, which here is the
        // same: the strips lie one after the other.
        {"strip byte counts", aCounts, w.bytes.u32(aCounts), 4u * n, &aBase, 1},
        {"JPEG", aJpeg, w.file.layout.jpeg, w.file.layout.jpegSize, &aBase, 0},
    };
    for (const Pointer &ptr : aPointers) {
        const std::vector<int64_t> aTargets = {
            static_cast<int64_t>(kRAW_HeaderMaxSize - ptr.size),  // the last position inside
            kRAW_HeaderMaxSize - static_cast<int64_t>(ptr.size) + 2,
            kRAW_HeaderMaxSize,
            kRAW_HeaderMaxSize + 2,
            static_cast<int64_t>(kPadded),
            static_cast<int64_t>(kPadded) + 4,
            0x7FFFFFF0,
            0x80000000LL,
            0xFFFFFFF0LL};
        for (int64_t t : aTargets) {
            std::string aWhat = std::string(ptr.name) + " at " + std::to_string(t);
            Bytes b = w.bytes;
            b.data.resize(kPadded, 0);
            if (t + static_cast<int64_t>(ptr.size) <= static_cast<int64_t>(kPadded))
                std::copy(w.bytes.data.begin() + static_cast<std::ptrdiff_t>(ptr.at),
                          w.bytes.data.begin() + static_cast<std::ptrdiff_t>(ptr.at + ptr.size), b.data.begin() + t);
            b.put32(ptr.field, static_cast<uint32_t>(t));
            Outcome o = Import(b.data, aWhat);
            bool aInside = t + static_cast<int64_t>(ptr.size) <= kRAW_HeaderMaxSize;
            bool aAcross = !aInside && t < kRAW_HeaderMaxSize;
            if (aAcross && ptr.partialDirectory) continue;
            if (aInside) {
                robust::ExpectSameImport(o, aBase, aWhat);
                EXPECT_EQ(o.thumbnails, 1) << aWhat;
            } else if (ptr.absent == nullptr) {
                EXPECT_EQ(o.result, Result::Refused) << aWhat;
            } else {
                robust::ExpectSameImport(o, *ptr.absent, aWhat);
                EXPECT_EQ(o.thumbnails, ptr.thumbnailsWhenAbsent) << aWhat;
            }
        }
    }
}

// Entry counts of 0 leave a directory empty; 65535 runs the walk over whatever follows
// and off the end of the bytes read without reading outside them.
TEST(HostileFiles, EntryCountsZeroAndAllOnes) {
    BaseFile base;
    Written w = Write(base);
    Outcome aBase = Import(w.file.bytes, "base", WithPoint());
    for (uint32_t aCount : {0u, 65535u}) {
        struct Dir {
            const char *name;
            size_t at;
        };
        for (Dir d :
             {Dir{"IFD0", 8}, Dir{"Exif IFD", w.exif}, Dir{"maker note", w.maker}, Dir{"thumbnail IFD", w.thumb}}) {
            std::string aWhat = std::string(d.name) + " with " + std::to_string(aCount) + " entries";
            Bytes b = w.bytes;
            b.put16(d.at, aCount);
            Outcome o = Import(b.data, aWhat, WithPoint());
            if (aCount != 0) continue;  // the invariants only
            if (d.at == 8) {
                // Nothing from the file: the default camera, whose strips are all absent.
                EXPECT_EQ(o.result, Result::Imported) << aWhat;
                EXPECT_EQ(o.doc.width, 2240);
                for (int p = 0; p < 3; ++p) {
                    std::set<uint16_t> aValues(o.doc.planes[p].begin(), o.doc.planes[p].end());
                    aValues.erase(0xFFFF);  // rows not delivered before the host stopped
                    EXPECT_EQ(aValues.size(), 1u) << aWhat << ": an all-black mosaic gives one value";
                }
            } else if (d.at == w.thumb) {
                robust::ExpectSameImport(o, aBase, aWhat);
                EXPECT_EQ(o.thumbnails, 0);
            } else {
                EXPECT_EQ(o.result, Result::Refused) << aWhat;  // default output size
            }
        }
    }
}

// Strip offsets that are zero, negative or past the end of the file give zero rows where
// that strip's bytes belong; byte counts whose sums pass 32 bits are read as 64-bit sums.
TEST(HostileFiles, StripOffsetsAndCountsOutOfRange) {
    for (uint16_t aEndian : {uint16_t(kRAW_LittleEndian), uint16_t(kRAW_BigEndian)}) {
        BaseFile base;
        base.endian = aEndian;
        Written w = Write(base);
        Outcome aBase = Import(w.file.bytes, "base");
        const int n = StripCount(w);
        size_t aOffsets = w.bytes.u32(w.bytes.field(8, kRAW_Tag_StripOffsets));
        size_t aCounts = w.bytes.u32(w.bytes.field(8, kRAW_Tag_StripByteCounts));
        const uint32_t aSize = static_cast<uint32_t>(w.bytes.data.size());
        for (int k : {0, 3, n - 1})
            for (uint32_t aOffset : {0u, 0xFFFFFFFFu, 0x80000000u, 0xFFFFFF00u, aSize, aSize + 100, 0x7FFFFFF0u}) {
                std::string aWhat = "strip " + std::to_string(k) + " at " + std::to_string(aOffset);
                Bytes b = w.bytes;
                b.put32(aOffsets + 4 * k, aOffset);
                auto [aFrom, aTo] = StripRange(w, k);
                Outcome o = Import(b.data, aWhat, WithPoint());
                Outcome aExpected = Import(Zeroed(w.bytes.data, aFrom, aTo), aWhat + " (zeroed strip)", WithPoint());
                robust::ExpectSameImport(o, aExpected, aWhat);
            }
        for (uint32_t aCount : {0x7FFFFFFFu, 0x40000000u, 0x3FFFFFFFu}) {
            std::string aWhat = "every strip " + std::to_string(aCount) + " bytes";
            Bytes b = w.bytes;
            for (int k = 0; k < n; ++k) b.put32(aCounts + 4 * k, aCount);
            robust::ExpectSameImport(Import(b.data, aWhat), aBase, aWhat);  // one contiguous stream from strip 0
        }
        {
            // A negative count is a strip of no bytes: the last strip's rows are zeros.
            Bytes b = w.bytes;
            b.put32(aCounts + 4 * (n - 1), 0xFFFFFFFFu);
            auto [aFrom, aTo] = StripRange(w, n - 1);
            robust::ExpectSameImport(Import(b.data, "last strip -1 bytes"),
                                     Import(Zeroed(w.bytes.data, aFrom, aTo), "zeroed last strip"), "negative count");
        }
        for (uint32_t aCount : {0x80000000u, 0xFFFFFFF0u, 0u}) {
            // Strip 0 of no bytes: the stream starts with strip 1. Invariants only.
            Bytes b = w.bytes;
            b.put32(aCounts, aCount);
            EXPECT_EQ(Import(b.data, "strip 0 of " + std::to_string(aCount)).result, Result::Imported);
        }
    }
}

// A strip table of 28 strips (2 rows each): the first 15 are read, the rows of the rest
// are zeros.
TEST(HostileFiles, MoreThanFifteenStrips) {
    BaseFile base;
    base.rowsPerStrip = base.length;  // one strip; the tables below replace it
    const int n = 28;
    const uint32_t aStripBytes = static_cast<uint32_t>(base.width) * 2 * 2;
    auto write = [&](uint32_t inDataStart) {
        std::vector<int64_t> aOffsets, aCounts;
        for (int k = 0; k < n; ++k) {
            aOffsets.push_back(inDataStart + k * aStripBytes);
            aCounts.push_back(aStripBytes);
        }
        // The extra tables follow the writer's own one-strip tables and so replace them.
        ekvwriter::WriteOptions opt;
        opt.info = Write(base).file.info;
        opt.extraTags.push_back({ekvwriter::Directory::IFD0, {kRAW_Tag_StripOffsets, kTIFF_LONG, aOffsets}});
        opt.extraTags.push_back({ekvwriter::Directory::IFD0, {kRAW_Tag_StripByteCounts, kTIFF_LONG, aCounts}});
        return ekvwriter::WriteEkv(robust::BaseMosaic(base), opt);
    };
    ekvwriter::WriteResult aFirst = write(0);
    ASSERT_TRUE(aFirst.ok) << aFirst.error;
    ekvwriter::WriteResult aFile = write(aFirst.layout.dataStart);
    ASSERT_TRUE(aFile.ok) << aFile.error;
    ASSERT_EQ(aFile.layout.dataStart, aFirst.layout.dataStart);
    const size_t aFrom = aFile.layout.dataStart + 15 * aStripBytes;
    Outcome o = Import(aFile.bytes, "28 strips", WithPoint());
    EXPECT_EQ(o.result, Result::Imported);
    robust::ExpectSameImport(o, Import(Zeroed(aFile.bytes, aFrom, aFile.bytes.size()), "15 strips read", WithPoint()),
                             "more than 15 strips");
    // The same mosaic in one strip is read whole: the zeros above are the strips past 15.
    Outcome aWhole = Import(Write(base).file.bytes, "one strip", WithPoint());
    EXPECT_FALSE(aWhole.doc.planes == o.doc.planes);
}

// Valid bits and bit offsets the alignment cannot shift by are refused; so are output
// sizes the mosaic or the host's 16-bit rectangles cannot hold, and sensor widths past
// 16 bits.
TEST(HostileFiles, ValidBitsAndSizesOutOfRangeAreRefused) {
    BaseFile base;
    Written w = Write(base);
    size_t aBits = w.bytes.field(w.maker, kRAW_Tag_ValidBits);
    struct Bits {
        int bits, offset;
        Result expected;
    };
    for (Bits v : {Bits{0, 0, Result::Refused}, Bits{17, 0, Result::Refused}, Bits{255, 0, Result::Refused},
                   Bits{-1, 0, Result::Refused}, Bits{10, 7, Result::Refused}, Bits{16, 1, Result::Refused},
                   Bits{8, 9, Result::Refused}, Bits{10, -1, Result::Refused}, Bits{10, 6, Result::Imported},
                   Bits{16, 0, Result::Imported}, Bits{1, 15, Result::Imported}}) {
        Bytes b = w.bytes;
        b.put16(aBits, static_cast<uint32_t>(v.bits) & 0xFFFF);
        b.put16(aBits + 2, static_cast<uint32_t>(v.offset) & 0xFFFF);
        std::string aWhat = "valid bits " + std::to_string(v.bits) + " offset " + std::to_string(v.offset);
        EXPECT_EQ(Import(b.data, aWhat, WithPoint()).result, v.expected) << aWhat;
    }
    struct Size {
        uint16_t tag;
        uint32_t value;
        Result expected;
    };
    for (Size s :
         {Size{kRAW_Tag_OutputImageWidth, 0, Result::Refused},
          Size{kRAW_Tag_OutputImageWidth, 0xFFFFFFFF, Result::Refused},
          Size{kRAW_Tag_OutputImageWidth, 30, Result::Refused}, Size{kRAW_Tag_OutputImageWidth, 32, Result::Refused},
          Size{kRAW_Tag_OutputImageWidth, 32768, Result::Refused},
          Size{kRAW_Tag_OutputImageWidth, 0x80000000, Result::Refused},
          Size{kRAW_Tag_OutputImageWidth, 29, Result::Imported}, Size{kRAW_Tag_OutputImageHeight, 0, Result::Refused},
          Size{kRAW_Tag_OutputImageHeight, 0xFFFFFFFF, Result::Refused},
          Size{kRAW_Tag_OutputImageHeight, 32768, Result::Refused},
          Size{kRAW_Tag_OutputImageHeight, 1, Result::Imported},
          Size{kRAW_Tag_OutputImageHeight, 32767, Result::Imported}, Size{kRAW_Tag_ImageWidth, 65536, Result::Refused},
          Size{kRAW_Tag_ImageWidth, 0xFFFFFFFF, Result::Refused}, Size{kRAW_Tag_ImageWidth, 0, Result::Refused},
          Size{kRAW_Tag_ImageWidth, 30, Result::Refused}, Size{kRAW_Tag_ImageWidth, 31, Result::Imported},
          Size{kRAW_Tag_ImageWidth, 65535, Result::Imported}}) {
        Bytes b = w.bytes;
        b.put32(b.field(s.tag == kRAW_Tag_ImageWidth ? 8 : w.maker, s.tag), s.value);
        std::string aWhat = "tag " + std::to_string(s.tag) + " = " + std::to_string(s.value);
        EXPECT_EQ(Import(b.data, aWhat, WithPoint()).result, s.expected) << aWhat;
    }
}

// An output taller than the mosaic: the rows below it are zeros, as if the mosaic went on
// in black.
TEST(HostileFiles, ImageFarShorterThanTheOutput) {
    for (int32_t aOutHeight : {52, 200}) {
        BaseFile aShort;
        aShort.length = 4;
        aShort.rowsPerStrip = 2;
        aShort.outHeight = aOutHeight;
        BaseFile aTall = aShort;
        aTall.length = aOutHeight + 4;
        aTall.rowsPerStrip = 16;
        std::vector<uint16_t> aMosaic = robust::BaseMosaic(aTall);
        std::fill(aMosaic.begin() + 4 * aTall.width, aMosaic.end(), 0);
        std::string aWhat = "4 rows for " + std::to_string(aOutHeight);
        Outcome o = Import(Write(aShort).file.bytes, aWhat, WithPoint());
        EXPECT_EQ(o.result, Result::Imported);
        robust::ExpectSameImport(o, Import(Write(aTall, &aMosaic).file.bytes, aWhat + " (black below)", WithPoint()),
                                 aWhat);
    }
}

// Thumbnails without a start-of-image marker, with one at the very end of the bytes read,
// or longer than those bytes: none is offered (or the two bytes that are there), and the
// import is not touched.
TEST(HostileFiles, DamagedThumbnails) {
    BaseFile base;
    Written w = Write(base);
    Outcome aBase = Import(w.file.bytes, "base");
    size_t aJpeg = w.bytes.field(w.thumb, kRAW_Tag_JPEGInterchangeFormat),
           aLength = w.bytes.field(w.thumb, kRAW_Tag_JPEGInterchangeFormatLength);
    struct Case {
        std::string name;
        std::function<void(Bytes &)> edit;
        int thumbnails;
    };
    const size_t j = w.file.layout.jpeg;
    std::vector<Case> aCases = {
        {"no FF D8", [&](Bytes &b) { b.data[j] = 0, b.data[j + 1] = 0; }, 0},
        {"length past the file", [&](Bytes &b) { b.put32(aLength, static_cast<uint32_t>(b.data.size())); }, 0},
        {"length all ones", [&](Bytes &b) { b.put32(aLength, 0xFFFFFFFFu); }, 0},
        {"length 0", [&](Bytes &b) { b.put32(aLength, 0); }, 0},
        {"FF D8 at the end of the header bytes",
         [&](Bytes &b) {
             b.data.resize(60000, 0);
             b.data[kRAW_HeaderMaxSize - 2] = 0xFF, b.data[kRAW_HeaderMaxSize - 1] = 0xD8;
             b.put32(aJpeg, kRAW_HeaderMaxSize - 2);
             b.put32(aLength, 2);
         },
         1},
        {"FF D8 at the end of the header bytes, longer",
         [&](Bytes &b) {
             b.data.resize(60000, 0);
             b.data[kRAW_HeaderMaxSize - 2] = 0xFF, b.data[kRAW_HeaderMaxSize - 1] = 0xD8;
             b.put32(aJpeg, kRAW_HeaderMaxSize - 2);
             b.put32(aLength, 3);
         },
         0},
        {"FF D8 at the end of the file",
         [&](Bytes &b) {
             b.data.push_back(0xFF), b.data.push_back(0xD8);
             b.put32(aJpeg, static_cast<uint32_t>(b.data.size() - 2));
             b.put32(aLength, 2);
         },
         1},
        {"FF D8 at the end of the file, length past it",
         [&](Bytes &b) {
             b.data.push_back(0xFF), b.data.push_back(0xD8);
             b.put32(aJpeg, static_cast<uint32_t>(b.data.size() - 2));
             b.put32(aLength, 100);
         },
         0},
        {"pointer at the last byte",
         [&](Bytes &b) {
             b.data.back() = 0xFF;
             b.put32(aJpeg, static_cast<uint32_t>(b.data.size() - 1));
         },
         0},
    };
    for (const Case &c : aCases) {
        Bytes b = w.bytes;
        c.edit(b);
        Outcome o = Import(b.data, c.name, WithPoint());
        Outcome aPlain = Import(w.bytes.data, c.name, WithPoint());
        robust::ExpectSameImport(o, aPlain, c.name);
        EXPECT_EQ(o.thumbnails, c.thumbnails) << c.name;
    }
    EXPECT_EQ(aBase.thumbnails, 1);
}

// Every CFA byte combination of 0 to 3: the four layouts convert as themselves, every
// other combination as R, G / G, B.
TEST(HostileFiles, EveryCfaByteCombination) {
    BaseFile base;
    Written w = Write(base);
    size_t aCfa = w.bytes.u32(w.bytes.field(w.exif, kRAW_Tag_CFAPattern));
    std::map<uint32_t, Outcome> aLayouts;
    for (uint32_t code : {0x00010102u, 0x01000201u, 0x01020001u, 0x02010100u}) {
        Bytes b = w.bytes;
        for (int i = 0; i < 4; ++i) b.data[aCfa + 4 + i] = static_cast<uint8_t>(code >> (24 - 8 * i));
        aLayouts[code] = Import(b.data, "layout");
        EXPECT_EQ(aLayouts[code].result, Result::Imported);
    }
    EXPECT_FALSE(aLayouts[0x00010102u].doc.planes == aLayouts[0x02010100u].doc.planes);
    for (uint32_t code = 0; code < 256; ++code) {
        Bytes b = w.bytes;
        uint32_t aBytes = 0;
        for (int i = 0; i < 4; ++i) {
            uint8_t v = static_cast<uint8_t>((code >> (2 * (3 - i))) & 3);
            b.data[aCfa + 4 + i] = v;
            aBytes = (aBytes << 8) | v;
        }
        Outcome o = Import(b.data, "CFA " + std::to_string(aBytes));
        auto it = aLayouts.find(aBytes);
        robust::ExpectSameImport(o, it != aLayouts.end() ? it->second : aLayouts[0x00010102u],
                                 "CFA bytes " + std::to_string(aBytes));
    }
    for (uint8_t v : {uint8_t(4), uint8_t(255)}) {
        Bytes b = w.bytes;
        for (int i = 0; i < 4; ++i) b.data[aCfa + 4 + i] = v;
        robust::ExpectSameImport(Import(b.data, "CFA high"), aLayouts[0x00010102u],
                                 "CFA bytes all " + std::to_string(v));
    }
}
