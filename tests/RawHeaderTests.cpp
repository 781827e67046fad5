// The EKV header reader: recognition, the directories and their tag tables, byte order,
// value extraction, the thumbnail, bounds against the bytes read, and the check that a
// header is safe to convert.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "EkvTestBytes.h"
#include "TestHost.h"
#include "plugin/HostMemory.h"
#include "rawfile/EkvTags.h"
#include "rawfile/RawInfo.h"

using ekvtest::Bytes;
using ekvtest::Entry;
using ekvtest::TempFile;
using testhost::Options;
using testhost::TestHost;

namespace {

enum : uint16_t { kByte = 1, kShort = 3, kLong = 4, kUndefined = 7, kSShort = 8 };

const size_t kJPEGAt = 1000;
const uint32_t kJPEGLength = 64;

std::vector<int> kMatrix = {300, -40, -20, -50, 330, -30, 10, -90, 280};
std::vector<int> kBlack = {64, 65, 66, 67};
std::vector<int> kChroma = {1, 2, 3, 4, 5, -6};

// A complete header: IFD0 at 8, Exif IFD at 200, thumbnail IFD at 300, arrays from 400,
// maker note at 600, thumbnail JPEG at 1000.
Bytes StandardFile(bool inBig, uint32_t inHeaderOffset = 8, const std::string &inSignature = "KRVX") {
    Bytes b(inBig);
    b.header(0x454B, inHeaderOffset);
    b.directory(8,
                {{kRAW_Tag_ImageWidth, kShort, 1, 1000},
                 {kRAW_Tag_ImageLength, kLong, 1, 700},
                 {kRAW_Tag_BitsPerSample, kShort, 1, 12},
                 {kRAW_Tag_PhotometricInterpretation, kShort, 1, 32803},
                 {kRAW_Tag_StripOffsets, kLong, 3, 400},
                 {kRAW_Tag_SamplesPerPixel, kShort, 1, 1},
                 {kRAW_Tag_RowsPerStrip, kLong, 1, 50},
                 {kRAW_Tag_StripByteCounts, kLong, 3, 420},
                 {kRAW_Tag_Sharpness, kSShort, 1, 0xFFFD},
                 {kRAW_Tag_ExifIFD, kLong, 1, 200}},
                300);
    b.directory(200, {{kRAW_Tag_CFAPattern, kUndefined, 8, 460}, {kRAW_Tag_MakerNote, kUndefined, 200, 600}});
    b.directory(300, {{kRAW_Tag_JPEGInterchangeFormat, kLong, 1, kJPEGAt},
                      {kRAW_Tag_JPEGInterchangeFormatLength, kLong, 1, kJPEGLength}});
    b.longs(400, {5000, 60000, 120000});
    b.longs(420, {55000, 60000, 5000});
    b.shorts(460, {2, 2});
    b.raw(464, {1, 0, 2, 1});
    b.shorts(480, kMatrix);
    b.shorts(500, kBlack);
    b.shorts(520, kChroma);
    b.makerNote(600, inSignature + std::string(1, '\0') + "01",
                {{kRAW_Tag_ColorMatrix, kSShort, 9, 480},
                 {kRAW_Tag_OpticalBlack, kShort, 4, 500},
                 {kRAW_Tag_WBGainGr, kSShort, 2, 1, 0xFFFF},
                 {kRAW_Tag_WBGainGb, kSShort, 2, 256, 300},
                 {kRAW_Tag_ToneMode, kShort, 1, 2},
                 {kRAW_Tag_Enhancer, kShort, 1, 3},
                 {kRAW_Tag_ChromaSuppress, kSShort, 6, 520},
                 {kRAW_Tag_ValidBits, kShort, 2, 12, 2},
                 {kRAW_Tag_Coring, kShort, 1, 4},
                 {kRAW_Tag_OutputImageWidth, kLong, 1, 900},
                 {kRAW_Tag_OutputImageHeight, kShort, 1, 600},
                 {kRAW_Tag_Sharpness, kShort, 1, 77},
                 {0x1013, kShort, 1, 9},
                 {kRAW_Tag_ImageWidth, kLong, 1, 5}});
    std::vector<uint8_t> aJPEG(kJPEGLength);
    for (size_t i = 0; i < aJPEG.size(); ++i) aJPEG[i] = static_cast<uint8_t>((i * 5 + 1) & 0x7F);
    aJPEG[0] = 0xFF, aJPEG[1] = 0xD8, aJPEG[2] = 0xFF, aJPEG[3] = 0xE0;
    aJPEG[kJPEGLength - 2] = 0xFF, aJPEG[kJPEGLength - 1] = 0xD9;
    b.raw(kJPEGAt, aJPEG);
    b.grow(kJPEGAt + kJPEGLength + 36);
    return b;
}

RAW_Info Defaults(uint16 inEndian = 0x1111) {
    RAW_Info aInfo;
    std::memset(&aInfo, 0, sizeof aInfo);
    aInfo.endian = inEndian;
    RAW_DefaultInfo(&aInfo);
    return aInfo;
}

// Parses an exact-size copy of inBytes (nothing past its end is addressable as data).
OSErr Parse(const std::vector<uint8_t> &inBytes, size_t inSize, TestHost &ioHost, RAW_Info *ioInfo,
            std::vector<uint8_t> *outThumbnail = nullptr) {
    std::vector<uint8_t> aCopy(inBytes.begin(), inBytes.begin() + static_cast<std::ptrdiff_t>(inSize));
    HandleProcs *aProcs = ioHost.record()->handleProcs;
    Handle aThumbnail = reinterpret_cast<Handle>(1);
    OSErr aResult = RAW_ReadHeaderInfo(aCopy.empty() ? nullptr : aCopy.data(), static_cast<int32>(inSize), ioInfo,
                                       aProcs, &aThumbnail);
    if (outThumbnail != nullptr) outThumbnail->clear();
    if (aThumbnail != nullptr) {
        int32 aSize = HostGetHandleSize(aProcs, aThumbnail);
        const char *aData = RAW_LockHandle(aProcs, aThumbnail, false);
        if (outThumbnail != nullptr && aData != nullptr) outThumbnail->assign(aData, aData + aSize);
        RAW_UnlockHandle(aProcs, aThumbnail);
        RAW_DisposeHandle(aProcs, aThumbnail);
        if (outThumbnail != nullptr && aSize == 0) outThumbnail->push_back(0xEE);  // an empty handle is a fault
    }
    return aResult;
}

OSErr Parse(const Bytes &inBytes, TestHost &ioHost, RAW_Info *ioInfo, std::vector<uint8_t> *outThumbnail = nullptr) {
    return Parse(inBytes.data(), inBytes.data().size(), ioHost, ioInfo, outThumbnail);
}

// Every field of two records, with the endian mark and the repeat size optional.
void ExpectSameInfo(const RAW_Info &a, const RAW_Info &b, bool inCompareEndianAndSize = true) {
    if (inCompareEndianAndSize) {
        EXPECT_EQ(a.endian, b.endian);
        EXPECT_EQ(a.cfa_pattern.size[0], b.cfa_pattern.size[0]);
        EXPECT_EQ(a.cfa_pattern.size[1], b.cfa_pattern.size[1]);
    }
    EXPECT_EQ(a.image_width, b.image_width);
    EXPECT_EQ(a.image_length, b.image_length);
    EXPECT_EQ(a.bit_per_sample, b.bit_per_sample);
    EXPECT_EQ(a.photometric_interpretation, b.photometric_interpretation);
    for (int i = 0; i < kRAW_MaxStrips; ++i) {
        EXPECT_EQ(a.strip_offsets[i], b.strip_offsets[i]) << i;
        EXPECT_EQ(a.strip_byte_count[i], b.strip_byte_count[i]) << i;
    }
    EXPECT_EQ(a.sample_per_pixel, b.sample_per_pixel);
    EXPECT_EQ(a.raw_per_strip, b.raw_per_strip);
    EXPECT_EQ(a.wb_gain_gr, b.wb_gain_gr);
    EXPECT_EQ(a.wb_gain_gb, b.wb_gain_gb);
    EXPECT_EQ(a.sharpness, b.sharpness);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(a.cfa_pattern.value[i], b.cfa_pattern.value[i]) << i;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(a.optical_black[i], b.optical_black[i]) << i;
    EXPECT_EQ(a.tone_mode, b.tone_mode);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(a.color_matrix[i], b.color_matrix[i]) << i;
    EXPECT_EQ(a.enhancer, b.enhancer);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(a.chromasupless[i], b.chromasupless[i]) << i;
    EXPECT_EQ(a.valid_bits_per_pixel[0], b.valid_bits_per_pixel[0]);
    EXPECT_EQ(a.valid_bits_per_pixel[1], b.valid_bits_per_pixel[1]);
    EXPECT_EQ(a.coring, b.coring);
    EXPECT_EQ(a.output_image_width, b.output_image_width);
    EXPECT_EQ(a.output_image_height, b.output_image_height);
}

void ExpectMakerNoteDefaults(const RAW_Info &inInfo) {
    RAW_Info aDefaults = Defaults();
    for (int i = 0; i < 9; ++i) EXPECT_EQ(inInfo.color_matrix[i], 0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(inInfo.optical_black[i], 0);
    EXPECT_EQ(inInfo.wb_gain_gr, 0);
    EXPECT_EQ(inInfo.wb_gain_gb, 0);
    EXPECT_EQ(inInfo.tone_mode, 0);
    EXPECT_EQ(inInfo.valid_bits_per_pixel[0], 10);
    EXPECT_EQ(inInfo.valid_bits_per_pixel[1], 0);
    EXPECT_EQ(inInfo.output_image_width, 2240);
    EXPECT_EQ(inInfo.output_image_height, 1680);
    EXPECT_EQ(inInfo.coring, aDefaults.coring);
    EXPECT_EQ(inInfo.enhancer, aDefaults.enhancer);
}

void ExpectCleanHost(const TestHost &inHost) {
    EXPECT_EQ(inHost.liveHandles(), 0u);
    EXPECT_TRUE(inHost.misuse().empty()) << (inHost.misuse().empty() ? "" : inHost.misuse()[0]);
}

TIFF_IFD_Entry MakeEntry(uint16 inType, uint32 inField, uint32 inLength = 1) {
    TIFF_IFD_Entry aEntry;
    aEntry.tag = kRAW_Tag_ImageWidth;
    aEntry.type = inType;
    aEntry.length = inLength;
    aEntry.offset = inField;
    return aEntry;
}

// The entry at inAt of inBytes, copied as it stands into the host-order record.
TIFF_IFD_Entry RawEntry(const Bytes &inBytes, size_t inAt) {
    TIFF_IFD_Entry aEntry;
    std::memcpy(&aEntry, inBytes.data().data() + inAt, sizeof aEntry);
    return aEntry;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Recognition

TEST(EkvRecognition, EkvMagicInEitherByteOrderIsAccepted) {
    TempFile aLittle("karvex_hdr_le.ekv", StandardFile(false).data());
    TempFile aBig("karvex_hdr_be.ekv", StandardFile(true).data());
    ASSERT_TRUE(aLittle.ok() && aBig.ok());
    EXPECT_TRUE(RAW_IsEKV(aLittle.fsSpec()));
    EXPECT_TRUE(RAW_IsEKV(aBig.fsSpec()));
}

TEST(EkvRecognition, PlainTiffShortAndMissingFilesAreRefused) {
    Bytes aTiff(false);
    aTiff.header(42);
    aTiff.directory(8, {{kRAW_Tag_ImageWidth, kShort, 1, 10}});
    Bytes aBigTiff(true);
    aBigTiff.header(42);
    aBigTiff.directory(8, {{kRAW_Tag_ImageWidth, kShort, 1, 10}});
    // The EKV magic with the bytes of the other order.
    Bytes aSwapped(false);
    aSwapped.header(0x4B45);
    aSwapped.directory(8, {});
    Bytes aStandard = StandardFile(false);
    std::vector<uint8_t> aShort(aStandard.data().begin(), aStandard.data().begin() + 9);
    TempFile aTiffFile("karvex_hdr_tiff.tif", aTiff.data());
    TempFile aBigTiffFile("karvex_hdr_tiff_be.tif", aBigTiff.data());
    TempFile aSwappedFile("karvex_hdr_swapped.ekv", aSwapped.data());
    TempFile aShortFile("karvex_hdr_short.ekv", aShort);
    EXPECT_FALSE(RAW_IsEKV(aTiffFile.fsSpec()));
    EXPECT_FALSE(RAW_IsEKV(aBigTiffFile.fsSpec()));
    EXPECT_FALSE(RAW_IsEKV(aSwappedFile.fsSpec()));
    EXPECT_FALSE(RAW_IsEKV(aShortFile.fsSpec()));
    FSSpec aMissing;
    ASSERT_EQ(NativePathNameToFSSpec(ekvtest::TempPath("karvex_hdr_missing.ekv").c_str(), &aMissing, 0), noErr);
    EXPECT_FALSE(RAW_IsEKV(&aMissing));
}

TEST(EkvRecognition, HeaderTestLooksOnlyAtTheVersion) {
    TIFF_Header aHeader{0x1234, 0x454B, 99, 0};
    EXPECT_TRUE(RAW_IsEKVHeader(&aHeader));
    aHeader.version = 42;
    EXPECT_FALSE(RAW_IsEKVHeader(&aHeader));
}

// ---------------------------------------------------------------------------------------
// Directories and tag tables

TEST(EkvHeader, LittleEndianFileFillsEveryField) {
    TestHost aHost;
    RAW_Info aInfo = Defaults();
    std::vector<uint8_t> aThumbnail;
    Bytes aFile = StandardFile(false);
    EXPECT_EQ(Parse(aFile, aHost, &aInfo, &aThumbnail), 0);
    EXPECT_EQ(aInfo.endian, 0x4949);
    EXPECT_EQ(aInfo.image_width, 1000);
    EXPECT_EQ(aInfo.image_length, 700);
    EXPECT_EQ(aInfo.bit_per_sample, 12);
    EXPECT_EQ(aInfo.photometric_interpretation, static_cast<int16>(32803));
    EXPECT_EQ(aInfo.strip_offsets[0], 5000);
    EXPECT_EQ(aInfo.strip_offsets[1], 60000);
    EXPECT_EQ(aInfo.strip_offsets[2], 120000);
    EXPECT_EQ(aInfo.strip_offsets[3], 0);
    EXPECT_EQ(aInfo.strip_byte_count[0], 55000);
    EXPECT_EQ(aInfo.strip_byte_count[1], 60000);
    EXPECT_EQ(aInfo.strip_byte_count[2], 5000);
    EXPECT_EQ(aInfo.strip_byte_count[3], 523392);
    EXPECT_EQ(aInfo.strip_byte_count[14], 270720);
    EXPECT_EQ(aInfo.sample_per_pixel, 1);
    EXPECT_EQ(aInfo.raw_per_strip, 50);
    EXPECT_EQ(aInfo.sharpness, -3);  // 0x100F of IFD0 counts, that of the maker note not
    EXPECT_EQ(aInfo.cfa_pattern.size[0], 2);
    EXPECT_EQ(aInfo.cfa_pattern.size[1], 2);
    EXPECT_EQ(aInfo.cfa_pattern.value[0], 1);
    EXPECT_EQ(aInfo.cfa_pattern.value[1], 0);
    EXPECT_EQ(aInfo.cfa_pattern.value[2], 2);
    EXPECT_EQ(aInfo.cfa_pattern.value[3], 1);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(aInfo.color_matrix[i], kMatrix[i]);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(aInfo.optical_black[i], kBlack[i]);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(aInfo.chromasupless[i], kChroma[i]);
    EXPECT_EQ(aInfo.wb_gain_gr, 65535);
    EXPECT_EQ(aInfo.wb_gain_gb, 16777516);
    EXPECT_EQ(aInfo.tone_mode, 2);
    EXPECT_EQ(aInfo.enhancer, 3);
    EXPECT_EQ(aInfo.valid_bits_per_pixel[0], 12);
    EXPECT_EQ(aInfo.valid_bits_per_pixel[1], 2);
    EXPECT_EQ(aInfo.coring, 4);
    EXPECT_EQ(aInfo.output_image_width, 900);
    EXPECT_EQ(aInfo.output_image_height, 600);
    std::vector<uint8_t> aExpected(aFile.data().begin() + kJPEGAt, aFile.data().begin() + kJPEGAt + kJPEGLength);
    EXPECT_EQ(aThumbnail, aExpected);
    ExpectCleanHost(aHost);
}

TEST(EkvHeader, BigEndianTwinDiffersOnlyInEndianAndRepeatSize) {
    TestHost aHost;
    RAW_Info aLittle = Defaults();
    RAW_Info aBig = Defaults();
    std::vector<uint8_t> aLittleThumb, aBigThumb;
    EXPECT_EQ(Parse(StandardFile(false), aHost, &aLittle, &aLittleThumb), 0);
    EXPECT_EQ(Parse(StandardFile(true), aHost, &aBig, &aBigThumb), 0);
    EXPECT_EQ(aBig.endian, 0x4D4D);
    EXPECT_EQ(aLittle.endian, 0x4949);
    EXPECT_EQ(aBig.cfa_pattern.size[0], 512);
    EXPECT_EQ(aBig.cfa_pattern.size[1], 512);
    EXPECT_EQ(aLittle.cfa_pattern.size[0], 2);
    ExpectSameInfo(aLittle, aBig, false);
    EXPECT_EQ(aBig.wb_gain_gr, 65535);
    EXPECT_EQ(aBig.image_width, 1000);
    EXPECT_FALSE(aBigThumb.empty());
    EXPECT_EQ(aLittleThumb, aBigThumb);
    ExpectCleanHost(aHost);
}

TEST(EkvHeader, FirstIFDOffsetIsIgnored) {
    TestHost aHost;
    RAW_Info aAt8 = Defaults();
    RAW_Info aElsewhere = Defaults();
    Parse(StandardFile(false), aHost, &aAt8);
    Parse(StandardFile(false, 1234), aHost, &aElsewhere);
    ExpectSameInfo(aAt8, aElsewhere);
    EXPECT_EQ(aElsewhere.image_width, 1000);
    RAW_Info aBig = Defaults();
    Parse(StandardFile(true, 0xFFFFFFFF), aHost, &aBig);
    EXPECT_EQ(aBig.image_width, 1000);
}

TEST(EkvHeader, ReadHeaderReadsTheFileAndReleasesItsBuffer) {
    TestHost aHost;
    Bytes aFile = StandardFile(true);
    TempFile aTemp("karvex_hdr_read.ekv", aFile.data());
    RAW_Info aFromFile = Defaults();
    RAW_Info aFromBytes = Defaults();
    Handle aThumbnail = nullptr;
    EXPECT_EQ(RAW_ReadHeader(aTemp.fsSpec(), &aFromFile, aHost.record()->handleProcs, &aThumbnail), 0);
    ASSERT_NE(aThumbnail, nullptr);
    EXPECT_EQ(HostGetHandleSize(aHost.record()->handleProcs, aThumbnail), static_cast<int32>(kJPEGLength));
    EXPECT_EQ(aHost.liveHandles(), 1u);  // only the thumbnail
    RAW_DisposeHandle(aHost.record()->handleProcs, aThumbnail);
    Parse(aFile, aHost, &aFromBytes);
    ExpectSameInfo(aFromFile, aFromBytes);
    ExpectCleanHost(aHost);
}

TEST(EkvHeader, NoExifOrNoMakerNoteKeepsMakerNoteDefaults) {
    TestHost aHost;
    Bytes aNoExif(false);
    aNoExif.header();
    aNoExif.directory(8, {{kRAW_Tag_ImageWidth, kLong, 1, 3000}}, 0);
    RAW_Info aInfo = Defaults();
    EXPECT_EQ(Parse(aNoExif, aHost, &aInfo), 0);
    EXPECT_EQ(aInfo.image_width, 3000);
    ExpectMakerNoteDefaults(aInfo);

    Bytes aNoMaker(true);
    aNoMaker.header();
    aNoMaker.directory(8, {{kRAW_Tag_ExifIFD, kLong, 1, 40}}, 0);
    aNoMaker.directory(40, {{kRAW_Tag_CFAPattern, kUndefined, 8, 80}});
    aNoMaker.shorts(80, {2, 2});
    aNoMaker.raw(84, {2, 1, 1, 0});
    aInfo = Defaults();
    EXPECT_EQ(Parse(aNoMaker, aHost, &aInfo), 0);
    EXPECT_EQ(aInfo.cfa_pattern.value[0], 2);  // the Exif IFD itself was read
    ExpectMakerNoteDefaults(aInfo);
    ExpectCleanHost(aHost);
}

TEST(EkvHeader, StripArrayOfOneValueSetsOnlyEntryZero) {
    TestHost aHost;
    Bytes b(true);
    b.header();
    b.directory(8, {{kRAW_Tag_StripOffsets, kLong, 1, 777}, {kRAW_Tag_StripByteCounts, kShort, 1, 4321}}, 0);
    RAW_Info aInfo = Defaults();
    for (int i = 0; i < kRAW_MaxStrips; ++i) aInfo.strip_offsets[i] = 100 + i;
    Parse(b, aHost, &aInfo);
    EXPECT_EQ(aInfo.strip_offsets[0], 777);
    for (int i = 1; i < kRAW_MaxStrips; ++i) EXPECT_EQ(aInfo.strip_offsets[i], 100 + i);
    // A SHORT value field: its swapped halves put the value in the first 16 bits.
    EXPECT_EQ(aInfo.strip_byte_count[0], 4321);
    EXPECT_EQ(aInfo.strip_byte_count[1], 523392);
}

TEST(EkvHeader, MoreThanFifteenStripsKeepTheFirstFifteen) {
    TestHost aHost;
    for (bool aBig : {false, true}) {
        Bytes b(aBig);
        b.header();
        b.directory(8, {{kRAW_Tag_StripOffsets, kLong, 20, 100}, {kRAW_Tag_StripByteCounts, kLong, 20, 200}}, 0);
        std::vector<uint32_t> aOffsets, aCounts;
        for (uint32_t i = 0; i < 20; ++i) aOffsets.push_back(1000 + i), aCounts.push_back(50 + i);
        b.longs(100, aOffsets);
        b.longs(200, aCounts);
        RAW_Info aInfo = Defaults();
        Parse(b, aHost, &aInfo);
        for (int i = 0; i < kRAW_MaxStrips; ++i) {
            EXPECT_EQ(aInfo.strip_offsets[i], 1000 + i);
            EXPECT_EQ(aInfo.strip_byte_count[i], 50 + i);
        }
        // Only the 15 values kept need to lie inside the bytes read.
        RAW_Info aCut = Defaults();
        Parse(b.data(), 200 + 15 * 4, aHost, &aCut);
        for (int i = 0; i < kRAW_MaxStrips; ++i) EXPECT_EQ(aCut.strip_byte_count[i], 50 + i);
        RAW_Info aShorter = Defaults();
        Parse(b.data(), 200 + 15 * 4 - 1, aHost, &aShorter);
        for (int i = 0; i < kRAW_MaxStrips; ++i)
            EXPECT_EQ(aShorter.strip_byte_count[i], Defaults().strip_byte_count[i]);
    }
}

TEST(EkvHeader, MakerNoteTagsCountOnlyInTheMakerNoteAndSharpnessOnlyInTheMainTable) {
    TestHost aHost;
    Bytes b(false);
    b.header();
    b.directory(8,
                {{kRAW_Tag_ToneMode, kShort, 1, 5},
                 {kRAW_Tag_OutputImageWidth, kLong, 1, 100},
                 {kRAW_Tag_ExifIFD, kLong, 1, 60}},
                0);
    b.directory(60, {{kRAW_Tag_MakerNote, kUndefined, 30, 100}});
    b.makerNote(100, "\x01\x02\x03\x04\x05zzz",
                {{kRAW_Tag_Sharpness, kShort, 1, 9}, {kRAW_Tag_ToneMode, kShort, 1, 1}});
    RAW_Info aInfo = Defaults();
    Parse(b, aHost, &aInfo);
    EXPECT_EQ(aInfo.sharpness, 0);
    EXPECT_EQ(aInfo.tone_mode, 1);  // an arbitrary signature does not stop the maker note
    EXPECT_EQ(aInfo.output_image_width, 2240);
}

TEST(EkvHeader, LaterMainTableDirectoriesOverwriteEarlierOnes) {
    TestHost aHost;
    Bytes b(true);
    b.header();
    b.directory(8,
                {{kRAW_Tag_ImageWidth, kLong, 1, 2000},
                 {kRAW_Tag_ImageLength, kLong, 1, 1500},
                 {kRAW_Tag_ExifIFD, kLong, 1, 60}},
                100);
    b.directory(60, {{kRAW_Tag_ImageLength, kShort, 1, 1400}});
    b.directory(100, {{kRAW_Tag_ImageWidth, kShort, 1, 160}});
    RAW_Info aInfo = Defaults();
    Parse(b, aHost, &aInfo);
    EXPECT_EQ(aInfo.image_width, 160);
    EXPECT_EQ(aInfo.image_length, 1400);
}

TEST(EkvHeader, PointersCountOnlyInTheirDirectoryAndTheLastOneWins) {
    TestHost aHost;
    Bytes b(false);
    b.header();
    // IFD0: two Exif pointers (the second wins) and a MakerNote entry that does not count.
    b.directory(8,
                {{kRAW_Tag_ExifIFD, kLong, 1, 100},
                 {kRAW_Tag_MakerNote, kUndefined, 20, 300},
                 {kRAW_Tag_ExifIFD, kLong, 1, 150}},
                200);
    b.directory(100, {{kRAW_Tag_CFAPattern, kUndefined, 8, 400}});
    // Exif IFD: an Exif pointer that does not count, two maker notes (the second wins).
    b.directory(150, {{kRAW_Tag_ExifIFD, kLong, 1, 100},
                      {kRAW_Tag_MakerNote, kUndefined, 20, 300},
                      {kRAW_Tag_MakerNote, kUndefined, 20, 340}});
    // Thumbnail IFD: an Exif pointer and a MakerNote that do not count.
    b.directory(200, {{kRAW_Tag_ExifIFD, kLong, 1, 100}, {kRAW_Tag_MakerNote, kUndefined, 20, 300}});
    b.makerNote(300, "AAAAA000", {{kRAW_Tag_ToneMode, kShort, 1, 7}, {kRAW_Tag_Coring, kShort, 1, 70}});
    b.makerNote(340, "BBBBB000", {{kRAW_Tag_ToneMode, kShort, 1, 8}});
    b.shorts(400, {2, 2});
    b.raw(404, {2, 2, 2, 2});
    RAW_Info aInfo = Defaults();
    Parse(b, aHost, &aInfo);
    EXPECT_EQ(aInfo.cfa_pattern.value[0], 0);  // the first Exif IFD was not used
    EXPECT_EQ(aInfo.tone_mode, 8);
    EXPECT_EQ(aInfo.coring, 0);

    // An out-of-range last pointer wins too: the Exif IFD is then absent.
    Bytes c(false);
    c.header();
    c.directory(8, {{kRAW_Tag_ExifIFD, kLong, 1, 100}, {kRAW_Tag_ExifIFD, kLong, 1, 0x7FFFFFF0}}, 0);
    c.directory(100, {{kRAW_Tag_CFAPattern, kUndefined, 8, 400}});
    c.shorts(400, {2, 2});
    c.raw(404, {2, 2, 2, 2});
    aInfo = Defaults();
    Parse(c, aHost, &aInfo);
    EXPECT_EQ(aInfo.cfa_pattern.value[0], 0);
}

// ---------------------------------------------------------------------------------------
// Entry normalisation and value extraction

TEST(EkvEntries, BigEndianEntriesAreNormalised) {
    Bytes b(true);
    b.entry(0, {kRAW_Tag_ImageWidth, kShort, 2, 0x1234, 0xABCD});
    b.entry(12, {kRAW_Tag_ImageLength, kShort, 3, 0x01020304});
    b.entry(24, {kRAW_Tag_BitsPerSample, kLong, 1, 0x00012345});
    b.entry(36, {kRAW_Tag_Compression, kSShort, 1, 0xFFFF});
    TIFF_IFD_Entry aTwo = RawEntry(b, 0);
    RAW_EndianIFDEntry(&aTwo, 0x4D4D);
    EXPECT_EQ(aTwo.tag, kRAW_Tag_ImageWidth);
    EXPECT_EQ(aTwo.type, kShort);
    EXPECT_EQ(aTwo.length, 2u);
    EXPECT_EQ(aTwo.offset & 0xFFFF, 0x1234u);  // first value in the first 16 bits
    EXPECT_EQ(aTwo.offset >> 16, 0xABCDu);
    TIFF_IFD_Entry aThree = RawEntry(b, 12);
    RAW_EndianIFDEntry(&aThree, 0x4D4D);
    EXPECT_EQ(aThree.offset, 0x01020304u);  // three values: an offset
    TIFF_IFD_Entry aLong = RawEntry(b, 24);
    RAW_EndianIFDEntry(&aLong, 0x4D4D);
    EXPECT_EQ(aLong.offset, 0x00012345u);
    EXPECT_EQ(RAW_ReadIFD_ShortOrLong(&aLong), 0x2345);
    TIFF_IFD_Entry aSigned = RawEntry(b, 36);
    RAW_EndianIFDEntry(&aSigned, 0x4D4D);
    EXPECT_EQ(RAW_ReadIFD_LongOrShort(&aSigned), -1);

    // Any other mark leaves the entry as read.
    TIFF_IFD_Entry aAsRead = RawEntry(b, 0);
    TIFF_IFD_Entry aCopy = aAsRead;
    RAW_EndianIFDEntry(&aCopy, 0x4949);
    EXPECT_EQ(std::memcmp(&aCopy, &aAsRead, sizeof aCopy), 0);
    RAW_EndianIFDEntry(&aCopy, 0x4D49);
    EXPECT_EQ(std::memcmp(&aCopy, &aAsRead, sizeof aCopy), 0);
}

TEST(EkvEntries, ShortOrLongAndLongOrShort) {
    TIFF_IFD_Entry aShort = MakeEntry(kShort, 0xFFFF);
    EXPECT_EQ(RAW_ReadIFD_LongOrShort(&aShort), -1);
    EXPECT_EQ(RAW_ReadIFD_ShortOrLong(&aShort), -1);
    TIFF_IFD_Entry aHigh = MakeEntry(kShort, 0x00058000);
    EXPECT_EQ(RAW_ReadIFD_LongOrShort(&aHigh), -32768);
    TIFF_IFD_Entry aSShort = MakeEntry(kSShort, 0x00007FFF);
    EXPECT_EQ(RAW_ReadIFD_LongOrShort(&aSShort), 32767);
    TIFF_IFD_Entry aLong = MakeEntry(kLong, 0x00012345);
    EXPECT_EQ(RAW_ReadIFD_ShortOrLong(&aLong), 0x2345);
    EXPECT_EQ(RAW_ReadIFD_LongOrShort(&aLong), 0x12345);
    TIFF_IFD_Entry aNegative = MakeEntry(kLong, 0x80000000u);
    EXPECT_EQ(RAW_ReadIFD_LongOrShort(&aNegative), INT32_MIN);
    TIFF_IFD_Entry aByte = MakeEntry(kByte, 0xFFFFFFFFu);
    EXPECT_EQ(RAW_ReadIFD_LongOrShort(&aByte), -1);
}

TEST(EkvEntries, GainHalvesArePackedAsSignedValues) {
    RAW_Info aInfo = Defaults();
    uint8_t aNothing[4] = {0, 0, 0, 0};
    TIFF_IFD_Entry aEntry = MakeEntry(kSShort, 0xFFFF0001u, 2);  // halves (1, -1)
    aEntry.tag = kRAW_Tag_WBGainGr;
    EXPECT_EQ(RAW_ReadIFD(&aEntry, aNothing, 4, 0x4949, kRAW_MakerNoteIFD, &aInfo), nullptr);
    EXPECT_EQ(aInfo.wb_gain_gr, 65535);
    aEntry.tag = kRAW_Tag_WBGainGb;
    aEntry.offset = (300u << 16) | 256u;  // halves (256, 300)
    RAW_ReadIFD(&aEntry, aNothing, 4, 0x4949, kRAW_MakerNoteIFD, &aInfo);
    EXPECT_EQ(aInfo.wb_gain_gb, 16777516);
    aEntry.offset = 0x0001FFFFu;  // halves (-1, 1)
    RAW_ReadIFD(&aEntry, aNothing, 4, 0x4949, kRAW_MakerNoteIFD, &aInfo);
    EXPECT_EQ(aInfo.wb_gain_gb, -65535);
    aEntry.offset = 0xFFFF8000u;  // halves (-32768, -1): wraps around in 32 bits
    RAW_ReadIFD(&aEntry, aNothing, 4, 0x4949, kRAW_MakerNoteIFD, &aInfo);
    EXPECT_EQ(aInfo.wb_gain_gb, INT32_MAX);
    // The same tag in the main table does nothing.
    aEntry.offset = 0x00010001u;
    RAW_ReadIFD(&aEntry, aNothing, 4, 0x4949, kRAW_IFD0, &aInfo);
    EXPECT_EQ(aInfo.wb_gain_gb, INT32_MAX);
}

TEST(EkvEntries, PointerTagsReturnPositionsInsideTheBytesOnly) {
    RAW_Info aInfo = Defaults();
    uint8_t aBytes[64] = {0};
    TIFF_IFD_Entry aEntry = MakeEntry(kLong, 40);
    for (uint16 aTag : {kRAW_Tag_ExifIFD, kRAW_Tag_JPEGInterchangeFormat}) {
        aEntry.tag = aTag;
        aEntry.offset = 40;
        EXPECT_EQ(RAW_ReadIFD(&aEntry, aBytes, 64, 0x4949, kRAW_ThumbnailIFD, &aInfo), aBytes + 40);
        aEntry.offset = 63;
        EXPECT_EQ(RAW_ReadIFD(&aEntry, aBytes, 64, 0x4949, kRAW_IFD0, &aInfo), aBytes + 63);
        aEntry.offset = 64;
        EXPECT_EQ(RAW_ReadIFD(&aEntry, aBytes, 64, 0x4949, kRAW_ExifIFD, &aInfo), nullptr);
        aEntry.offset = 0xFFFFFFFFu;
        EXPECT_EQ(RAW_ReadIFD(&aEntry, aBytes, 64, 0x4949, kRAW_IFD0, &aInfo), nullptr);
        EXPECT_EQ(RAW_ReadIFD(&aEntry, aBytes, 64, 0x4949, kRAW_MakerNoteIFD, &aInfo), nullptr);
    }
    aEntry.tag = kRAW_Tag_ImageWidth;
    aEntry.offset = 40;
    EXPECT_EQ(RAW_ReadIFD(&aEntry, aBytes, 64, 0x4949, kRAW_IFD0, &aInfo), nullptr);
    EXPECT_EQ(aInfo.image_width, 40);
}

// ---------------------------------------------------------------------------------------
// Thumbnail

namespace {

// IFD0 at 8 pointing to a thumbnail IFD at 40 whose entries are inEntries; inJPEG at 100.
Bytes ThumbnailFile(const std::vector<Entry> &inEntries, const std::vector<uint8_t> &inJPEG, bool inBig = false) {
    Bytes b(inBig);
    b.header();
    b.directory(8, {{kRAW_Tag_ImageWidth, kLong, 1, 3000}}, 40);
    b.directory(40, inEntries);
    b.raw(100, inJPEG);
    return b;
}

std::vector<uint8_t> Slice(const Bytes &inBytes, size_t inFrom, size_t inTo) {
    return std::vector<uint8_t>(inBytes.data().begin() + inFrom, inBytes.data().begin() + inTo);
}

}  // namespace

TEST(EkvThumbnail, LengthZeroOrNoJPEGPositionGivesNone) {
    TestHost aHost;
    std::vector<uint8_t> aJPEG = {0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3, 4, 0xFF, 0xD9};
    std::vector<uint8_t> aThumbnail;
    RAW_Info aInfo = Defaults();
    EXPECT_EQ(Parse(ThumbnailFile({{kRAW_Tag_JPEGInterchangeFormat, kLong, 1, 100},
                                   {kRAW_Tag_JPEGInterchangeFormatLength, kLong, 1, 0}},
                                  aJPEG),
                    aHost, &aInfo, &aThumbnail),
              0);
    EXPECT_TRUE(aThumbnail.empty());
    EXPECT_EQ(
        Parse(ThumbnailFile({{kRAW_Tag_JPEGInterchangeFormat, kLong, 1, 100}}, aJPEG), aHost, &aInfo, &aThumbnail), 0);
    EXPECT_TRUE(aThumbnail.empty());
    EXPECT_EQ(
        Parse(ThumbnailFile({{kRAW_Tag_JPEGInterchangeFormatLength, kLong, 1, 10}}, aJPEG), aHost, &aInfo, &aThumbnail),
        0);
    EXPECT_TRUE(aThumbnail.empty());
    // Control: both tags give the stream.
    Bytes aFile = ThumbnailFile(
        {{kRAW_Tag_JPEGInterchangeFormat, kLong, 1, 100}, {kRAW_Tag_JPEGInterchangeFormatLength, kLong, 1, 10}}, aJPEG);
    EXPECT_EQ(Parse(aFile, aHost, &aInfo, &aThumbnail), 0);
    EXPECT_EQ(aThumbnail, aJPEG);
    // A thumbnail-IFD offset of 0: none.
    Bytes aNone(false);
    aNone.header();
    aNone.directory(8, {{kRAW_Tag_ImageWidth, kLong, 1, 3000}}, 0);
    aNone.directory(
        40, {{kRAW_Tag_JPEGInterchangeFormat, kLong, 1, 100}, {kRAW_Tag_JPEGInterchangeFormatLength, kLong, 1, 10}});
    aNone.raw(100, aJPEG);
    EXPECT_EQ(Parse(aNone, aHost, &aInfo, &aThumbnail), 0);
    EXPECT_TRUE(aThumbnail.empty());
    ExpectCleanHost(aHost);
}

TEST(EkvThumbnail, LaterStartMarkerAtAnEvenDistanceMovesTheStartNotTheEnd) {
    TestHost aHost;
    std::vector<uint8_t> aJPEG = {0,    0, 0xFF, 0xD8, 0xFF, 0xDB, 7, 7,    0xFF, 0xD8, 0xFF,
                                  0xE0, 1, 2,    3,    4,    5,    6, 0xFF, 0xD9, 9,    9};
    std::vector<uint8_t> aThumbnail;
    RAW_Info aInfo = Defaults();
    // The scan starts at 100 and finds the first marker at 102; the end is 102 + 18 = 120.
    Bytes aFile = ThumbnailFile(
        {{kRAW_Tag_JPEGInterchangeFormat, kLong, 1, 100}, {kRAW_Tag_JPEGInterchangeFormatLength, kLong, 1, 18}}, aJPEG,
        true);
    EXPECT_EQ(Parse(aFile, aHost, &aInfo, &aThumbnail), 0);
    EXPECT_EQ(aThumbnail, Slice(aFile, 108, 120));

    // A marker at an odd distance is not seen.
    std::vector<uint8_t> aOdd = {0xFF, 0xD8, 0xFF, 0xDB, 7, 0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3};
    aFile = ThumbnailFile(
        {{kRAW_Tag_JPEGInterchangeFormat, kLong, 1, 100}, {kRAW_Tag_JPEGInterchangeFormatLength, kLong, 1, 12}}, aOdd);
    EXPECT_EQ(Parse(aFile, aHost, &aInfo, &aThumbnail), 0);
    EXPECT_EQ(aThumbnail, aOdd);

    // Of several, the last one before the end is the start.
    std::vector<uint8_t> aThree = {0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0xD8, 0xFF, 0xE0, 5, 6};
    aFile = ThumbnailFile(
        {{kRAW_Tag_JPEGInterchangeFormat, kLong, 1, 100}, {kRAW_Tag_JPEGInterchangeFormatLength, kLong, 1, 14}},
        aThree);
    EXPECT_EQ(Parse(aFile, aHost, &aInfo, &aThumbnail), 0);
    EXPECT_EQ(aThumbnail, Slice(aFile, 108, 114));

    // A marker found where the scan stops, at the end itself, leaves no bytes: no thumbnail.
    std::vector<uint8_t> aAtEnd = {0xFF, 0xD8, 0xFF, 0xDB, 0xFF, 0xD8, 0xFF, 0xE0, 1, 2};
    aFile = ThumbnailFile(
        {{kRAW_Tag_JPEGInterchangeFormat, kLong, 1, 100}, {kRAW_Tag_JPEGInterchangeFormatLength, kLong, 1, 4}}, aAtEnd);
    EXPECT_EQ(Parse(aFile, aHost, &aInfo, &aThumbnail), 0);
    EXPECT_TRUE(aThumbnail.empty());
    ExpectCleanHost(aHost);
}

TEST(EkvThumbnail, StreamsOutsideTheBytesReadGiveNone) {
    TestHost aHost;
    std::vector<uint8_t> aThumbnail;
    RAW_Info aInfo = Defaults();
    // No FF D8 at an even distance anywhere up to the end of the bytes.
    Bytes aNoMarker = ThumbnailFile(
        {{kRAW_Tag_JPEGInterchangeFormat, kLong, 1, 100}, {kRAW_Tag_JPEGInterchangeFormatLength, kLong, 1, 4}},
        {0, 0xFF, 0xD8, 0xFF, 0xE0, 0});
    EXPECT_EQ(Parse(aNoMarker, aHost, &aInfo, &aThumbnail), 0);
    EXPECT_TRUE(aThumbnail.empty());
    EXPECT_EQ(aInfo.image_width, 3000);
    // FF D8 as the last two bytes: a 2-byte stream fits, a longer one does not.
    Bytes aAtEnd = ThumbnailFile(
        {{kRAW_Tag_JPEGInterchangeFormat, kLong, 1, 100}, {kRAW_Tag_JPEGInterchangeFormatLength, kLong, 1, 2}},
        {0, 0, 0xFF, 0xD8});
    EXPECT_EQ(Parse(aAtEnd, aHost, &aInfo, &aThumbnail), 0);
    EXPECT_EQ(aThumbnail, (std::vector<uint8_t>{0xFF, 0xD8}));
    aAtEnd = ThumbnailFile(
        {{kRAW_Tag_JPEGInterchangeFormat, kLong, 1, 100}, {kRAW_Tag_JPEGInterchangeFormatLength, kLong, 1, 3}},
        {0, 0, 0xFF, 0xD8});
    EXPECT_EQ(Parse(aAtEnd, aHost, &aInfo, &aThumbnail), 0);
    EXPECT_TRUE(aThumbnail.empty());
    // A single byte left after the JPEG position, and a position past the bytes.
    Bytes aOneByte = ThumbnailFile(
        {{kRAW_Tag_JPEGInterchangeFormat, kLong, 1, 100}, {kRAW_Tag_JPEGInterchangeFormatLength, kLong, 1, 1}}, {0xFF});
    EXPECT_EQ(Parse(aOneByte, aHost, &aInfo, &aThumbnail), 0);
    EXPECT_TRUE(aThumbnail.empty());
    Bytes aPast = ThumbnailFile(
        {{kRAW_Tag_JPEGInterchangeFormat, kLong, 1, 5000}, {kRAW_Tag_JPEGInterchangeFormatLength, kLong, 1, 4}},
        {0xFF, 0xD8, 0xFF, 0xE0});
    EXPECT_EQ(Parse(aPast, aHost, &aInfo, &aThumbnail), 0);
    EXPECT_TRUE(aThumbnail.empty());
    // A length reaching past the bytes, up to the largest.
    for (uint32_t aLength : {7u, 1000u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        Bytes aLong = ThumbnailFile({{kRAW_Tag_JPEGInterchangeFormat, kLong, 1, 100},
                                     {kRAW_Tag_JPEGInterchangeFormatLength, kLong, 1, aLength}},
                                    {0xFF, 0xD8, 0xFF, 0xE0, 1, 2});
        EXPECT_EQ(Parse(aLong, aHost, &aInfo, &aThumbnail), 0);
        EXPECT_TRUE(aThumbnail.empty()) << aLength;
    }
    ExpectCleanHost(aHost);
}

TEST(EkvThumbnail, FailedAllocationReportsOutOfMemoryAndStillReadsTheMakerNote) {
    Options aOptions;
    aOptions.failAllocationAt = 1;
    TestHost aHost(aOptions);
    RAW_Info aInfo = Defaults();
    std::vector<uint8_t> aThumbnail;
    EXPECT_EQ(Parse(StandardFile(false), aHost, &aInfo, &aThumbnail), -108);
    EXPECT_TRUE(aThumbnail.empty());
    EXPECT_EQ(aInfo.output_image_width, 900);
    EXPECT_EQ(aInfo.tone_mode, 2);
    ExpectCleanHost(aHost);
}

TEST(EkvThumbnail, ReadHeaderReportsEachFailedAllocation) {
    TempFile aTemp("karvex_hdr_alloc.ekv", StandardFile(false).data());
    {
        Options aOptions;
        aOptions.failAllocationAt = 1;  // the header buffer
        TestHost aHost(aOptions);
        RAW_Info aInfo = Defaults();
        Handle aThumbnail = reinterpret_cast<Handle>(1);
        EXPECT_EQ(RAW_ReadHeader(aTemp.fsSpec(), &aInfo, aHost.record()->handleProcs, &aThumbnail), -108);
        EXPECT_EQ(aThumbnail, nullptr);
        ExpectSameInfo(aInfo, Defaults());
        ExpectCleanHost(aHost);
    }
    {
        Options aOptions;
        aOptions.failAllocationAt = 2;  // the thumbnail
        TestHost aHost(aOptions);
        RAW_Info aInfo = Defaults();
        Handle aThumbnail = reinterpret_cast<Handle>(1);
        EXPECT_EQ(RAW_ReadHeader(aTemp.fsSpec(), &aInfo, aHost.record()->handleProcs, &aThumbnail), -108);
        EXPECT_EQ(aThumbnail, nullptr);
        EXPECT_EQ(aInfo.output_image_height, 600);
        ExpectCleanHost(aHost);
    }
}

// ---------------------------------------------------------------------------------------
// Bounds against the bytes read

TEST(EkvBounds, EveryTruncationParsesWithinTheBytesAndKeepsDefaultsOrFullValues) {
    for (bool aBig : {false, true}) {
        TestHost aHost;
        Bytes aFile = StandardFile(aBig);
        RAW_Info aFull = Defaults();
        std::vector<uint8_t> aFullThumbnail;
        Parse(aFile, aHost, &aFull, &aFullThumbnail);
        const RAW_Info aDefault = Defaults();

        std::vector<size_t> aCuts;
        for (size_t n = 0; n <= 200; ++n) aCuts.push_back(n);
        for (size_t aBoundary : {226, 230, 300, 302, 326, 330, 400, 412, 420, 432,  460,  468,  480, 498,
                                 500, 508, 520, 532, 600, 608, 610, 622, 778, 1000, 1002, 1063, 1064})
            for (int d : {-1, 0, 1}) aCuts.push_back(static_cast<size_t>(static_cast<int>(aBoundary) + d));
        aCuts.push_back(aFile.data().size());

        for (size_t n : aCuts) {
            SCOPED_TRACE(n);
            RAW_Info aInfo = Defaults();
            std::vector<uint8_t> aThumbnail;
            EXPECT_EQ(Parse(aFile.data(), n, aHost, &aInfo, &aThumbnail), 0);
            EXPECT_TRUE(aThumbnail.empty() || aThumbnail == aFullThumbnail);
            EXPECT_TRUE(aInfo.endian == aDefault.endian || aInfo.endian == aFull.endian);
            auto aEither = [](int64_t v, int64_t d, int64_t f) { return v == d || v == f; };
#define KARVEX_EITHER(field) EXPECT_TRUE(aEither(aInfo.field, aDefault.field, aFull.field)) << #field
            KARVEX_EITHER(image_width);
            KARVEX_EITHER(image_length);
            KARVEX_EITHER(bit_per_sample);
            KARVEX_EITHER(photometric_interpretation);
            KARVEX_EITHER(sample_per_pixel);
            KARVEX_EITHER(raw_per_strip);
            KARVEX_EITHER(wb_gain_gr);
            KARVEX_EITHER(wb_gain_gb);
            KARVEX_EITHER(sharpness);
            KARVEX_EITHER(tone_mode);
            KARVEX_EITHER(enhancer);
            KARVEX_EITHER(coring);
            KARVEX_EITHER(output_image_width);
            KARVEX_EITHER(output_image_height);
            KARVEX_EITHER(valid_bits_per_pixel[0]);
            KARVEX_EITHER(valid_bits_per_pixel[1]);
            KARVEX_EITHER(cfa_pattern.size[0]);
            for (int i = 0; i < kRAW_MaxStrips; ++i) {
                KARVEX_EITHER(strip_offsets[i]);
                KARVEX_EITHER(strip_byte_count[i]);
            }
            for (int i = 0; i < 9; ++i) KARVEX_EITHER(color_matrix[i]);
            for (int i = 0; i < 4; ++i) KARVEX_EITHER(optical_black[i]);
            for (int i = 0; i < 6; ++i) KARVEX_EITHER(chromasupless[i]);
            for (int i = 0; i < 4; ++i) KARVEX_EITHER(cfa_pattern.value[i]);
#undef KARVEX_EITHER
            // Arrays are all or nothing.
            EXPECT_TRUE(aInfo.color_matrix[8] == aFull.color_matrix[8] || aInfo.color_matrix[0] == 0);
        }
        // Spot checks that the cuts do remove what lies past them.
        RAW_Info aCut = Defaults();
        Parse(aFile.data(), 609, aHost, &aCut);  // maker note count cut in half
        ExpectMakerNoteDefaults(aCut);
        EXPECT_EQ(aCut.cfa_pattern.value[0], 1);
        aCut = Defaults();
        Parse(aFile.data(), 10 + 12 * 3 - 1, aHost, &aCut);  // third entry of IFD0 cut
        EXPECT_EQ(aCut.image_width, 1000);
        EXPECT_EQ(aCut.image_length, 700);
        EXPECT_EQ(aCut.bit_per_sample, 16);
        aCut = Defaults();
        Parse(aFile.data(), 1063, aHost, &aCut);  // the JPEG's last byte missing
        EXPECT_EQ(aCut.output_image_height, 600);
        ExpectCleanHost(aHost);
    }
}

TEST(EkvBounds, EntryCountRunningPastTheBytesAppliesTheWholeEntriesOnly) {
    TestHost aHost;
    Bytes b(false);
    b.header();
    b.directory(8, {{kRAW_Tag_ImageWidth, kLong, 1, 1234}, {kRAW_Tag_ImageLength, kLong, 1, 999}}, -1);
    b.u16(8, 0xFFFF);                   // claims 65535 entries
    b.u16(34, kRAW_Tag_BitsPerSample);  // the start of a third entry, cut short
    RAW_Info aInfo = Defaults();
    std::vector<uint8_t> aThumbnail;
    EXPECT_EQ(Parse(b.data(), 40, aHost, &aInfo, &aThumbnail), 0);
    EXPECT_EQ(aInfo.image_width, 1234);
    EXPECT_EQ(aInfo.image_length, 999);
    EXPECT_EQ(aInfo.bit_per_sample, 16);
    EXPECT_TRUE(aThumbnail.empty());
    // The same in a header of the full size whose tail is zeros: every entry is read.
    b.grow(kRAW_HeaderMaxSize);
    aInfo = Defaults();
    EXPECT_EQ(Parse(b, aHost, &aInfo, &aThumbnail), 0);
    EXPECT_EQ(aInfo.image_width, 1234);
    ExpectCleanHost(aHost);
}

TEST(EkvBounds, ValueArraysAndDirectoriesOutsideTheBytesHaveNoEffect) {
    TestHost aHost;
    for (uint32_t aFar : {0xFFFFFFF0u, 0x7FFFFFFFu, 51400u, 190u, 200u}) {
        SCOPED_TRACE(aFar);
        Bytes b(true);
        b.header();
        b.directory(8,
                    {{kRAW_Tag_StripOffsets, kLong, 4, aFar},
                     {kRAW_Tag_CFAPattern, kUndefined, 8, aFar + 6},
                     {kRAW_Tag_ExifIFD, kLong, 1, 60}},
                    aFar);
        b.directory(60, {{kRAW_Tag_MakerNote, kUndefined, 40, 100}});
        b.makerNote(100, "KRVX0000",
                    {{kRAW_Tag_ColorMatrix, kSShort, 9, aFar - 1},
                     {kRAW_Tag_OpticalBlack, kShort, 4, aFar + 4},
                     {kRAW_Tag_ChromaSuppress, kShort, 6, aFar},
                     {kRAW_Tag_OutputImageWidth, kLong, 1, 321}});
        b.grow(200);  // 200 bytes: every array above reaches past them
        RAW_Info aInfo = Defaults();
        std::vector<uint8_t> aThumbnail;
        EXPECT_EQ(Parse(b, aHost, &aInfo, &aThumbnail), 0);
        EXPECT_EQ(aInfo.output_image_width, 321);
        ExpectSameInfo(aInfo, [&] {
            RAW_Info d = Defaults(0x4D4D);
            d.output_image_width = 321;
            return d;
        }());
        EXPECT_TRUE(aThumbnail.empty());
    }
    // A maker note whose header does not fit, and one past the bytes.
    for (uint32_t aMaker : {195u, 5000u, 0xFFFFFFFFu}) {
        Bytes b(false);
        b.header();
        b.directory(8, {{kRAW_Tag_ExifIFD, kLong, 1, 60}}, 0);
        b.directory(60, {{kRAW_Tag_MakerNote, kUndefined, 40, aMaker}});
        b.grow(200);
        b.u16(198, 1);
        RAW_Info aInfo = Defaults();
        EXPECT_EQ(Parse(b, aHost, &aInfo), 0);
        ExpectMakerNoteDefaults(aInfo);
    }
    ExpectCleanHost(aHost);
}

TEST(EkvBounds, DirectoriesPastTheHeaderSizeAreNotRead) {
    // The file is longer than the header: the parts past 51400 are not read at all.
    auto aMake = [](uint32_t inExif, uint32_t inThumb) {
        Bytes b(false);
        b.header();
        b.directory(8, {{kRAW_Tag_ExifIFD, kLong, 1, inExif}}, inThumb);
        b.directory(inExif, {{kRAW_Tag_CFAPattern, kUndefined, 8, inExif + 40}, {kRAW_Tag_ImageWidth, kLong, 1, 4444}});
        b.shorts(inExif + 40, {2, 2});
        b.raw(inExif + 44, {2, 1, 1, 0});
        b.directory(inThumb, {{kRAW_Tag_JPEGInterchangeFormat, kLong, 1, inThumb + 40},
                              {kRAW_Tag_JPEGInterchangeFormatLength, kLong, 1, 4}});
        b.raw(inThumb + 40, {0xFF, 0xD8, 0xFF, 0xD9});
        b.grow(60000);
        return b;
    };
    TestHost aHost;
    HandleProcs *aProcs = aHost.record()->handleProcs;
    {
        TempFile aInside("karvex_hdr_inside.ekv", aMake(50000, 51000).data());
        RAW_Info aInfo = Defaults();
        Handle aThumbnail = nullptr;
        EXPECT_EQ(RAW_ReadHeader(aInside.fsSpec(), &aInfo, aProcs, &aThumbnail), 0);
        EXPECT_EQ(aInfo.image_width, 4444);
        EXPECT_EQ(aInfo.cfa_pattern.value[0], 2);
        EXPECT_NE(aThumbnail, nullptr);
        RAW_DisposeHandle(aProcs, aThumbnail);
    }
    {
        TempFile aOutside("karvex_hdr_outside.ekv", aMake(51390, 55000).data());
        RAW_Info aInfo = Defaults();
        Handle aThumbnail = nullptr;
        EXPECT_EQ(RAW_ReadHeader(aOutside.fsSpec(), &aInfo, aProcs, &aThumbnail), 0);
        EXPECT_EQ(aInfo.image_width, 2256);
        EXPECT_EQ(aInfo.cfa_pattern.value[0], 0);
        EXPECT_EQ(aThumbnail, nullptr);
    }
    ExpectCleanHost(aHost);
}

TEST(EkvBounds, TooFewBytesForTheHeaderParseNothing) {
    TestHost aHost;
    Bytes aFile = StandardFile(true);
    for (size_t n = 0; n < 10; ++n) {
        RAW_Info aInfo = Defaults(0x1111);
        std::vector<uint8_t> aThumbnail;
        EXPECT_EQ(Parse(aFile.data(), n, aHost, &aInfo, &aThumbnail), 0);
        ExpectSameInfo(aInfo, Defaults(0x1111));
        EXPECT_TRUE(aThumbnail.empty());
    }
    RAW_Info aInfo = Defaults(0x1111);
    Parse(aFile.data(), 10, aHost, &aInfo);
    EXPECT_EQ(aInfo.endian, 0x4D4D);
    // A file that cannot be opened: nothing read, nothing parsed, no error.
    FSSpec aMissing;
    ASSERT_EQ(NativePathNameToFSSpec(ekvtest::TempPath("karvex_hdr_missing2.ekv").c_str(), &aMissing, 0), noErr);
    aInfo = Defaults(0x1111);
    Handle aThumbnail = reinterpret_cast<Handle>(1);
    EXPECT_EQ(RAW_ReadHeader(&aMissing, &aInfo, aHost.record()->handleProcs, &aThumbnail), 0);
    EXPECT_EQ(aThumbnail, nullptr);
    ExpectSameInfo(aInfo, Defaults(0x1111));
    ExpectCleanHost(aHost);
}

// ---------------------------------------------------------------------------------------
// Convertibility

TEST(EkvHeaderCheck, DefaultsAndBoundaryValuesAreAccepted) {
    RAW_Info aInfo = Defaults();
    EXPECT_TRUE(RAW_IsConvertibleHeader(&aInfo));
    aInfo.image_width = 65535;
    aInfo.output_image_width = 32767;
    aInfo.output_image_height = 32767;
    EXPECT_TRUE(RAW_IsConvertibleHeader(&aInfo));
    aInfo = Defaults();
    aInfo.output_image_width = aInfo.image_width - 3;
    EXPECT_TRUE(RAW_IsConvertibleHeader(&aInfo));
    aInfo = Defaults();
    aInfo.image_width = 4;
    aInfo.output_image_width = 1;
    aInfo.output_image_height = 1;
    EXPECT_TRUE(RAW_IsConvertibleHeader(&aInfo));
    // Rows below the mosaic read as zeros: a tall output is not unsafe.
    aInfo = Defaults();
    aInfo.output_image_height = aInfo.image_length + 1000;
    EXPECT_TRUE(RAW_IsConvertibleHeader(&aInfo));
    for (int aBits = 1; aBits <= 16; ++aBits) {
        aInfo = Defaults();
        aInfo.valid_bits_per_pixel[0] = static_cast<int16>(aBits);
        aInfo.valid_bits_per_pixel[1] = static_cast<int16>(16 - aBits);
        EXPECT_TRUE(RAW_IsConvertibleHeader(&aInfo)) << aBits;
        aInfo.valid_bits_per_pixel[1] = 0;
        EXPECT_TRUE(RAW_IsConvertibleHeader(&aInfo)) << aBits;
    }
    // The repeat size is not looked at.
    aInfo = Defaults();
    aInfo.cfa_pattern.size[0] = 512;
    aInfo.cfa_pattern.size[1] = -1;
    EXPECT_TRUE(RAW_IsConvertibleHeader(&aInfo));
}

TEST(EkvHeaderCheck, UnsafeHeadersAreRefused) {
    struct Case {
        const char *what;
        void (*change)(RAW_Info *);
    };
    const Case aCases[] = {
        {"output width 0", [](RAW_Info *i) { i->output_image_width = 0; }},
        {"output width negative", [](RAW_Info *i) { i->output_image_width = -5; }},
        {"output height 0", [](RAW_Info *i) { i->output_image_height = 0; }},
        {"output height negative", [](RAW_Info *i) { i->output_image_height = INT32_MIN; }},
        {"image width 0", [](RAW_Info *i) { i->image_width = 0; }},
        {"image width negative", [](RAW_Info *i) { i->image_width = -2256; }},
        {"image width 65536", [](RAW_Info *i) { i->image_width = 65536; }},
        {"output one column too wide", [](RAW_Info *i) { i->output_image_width = i->image_width - 2; }},
        {"output as wide as the mosaic", [](RAW_Info *i) { i->output_image_width = i->image_width; }},
        {"narrow mosaic", [](RAW_Info *i) { i->image_width = 3, i->output_image_width = 1; }},
        {"output width 32768", [](RAW_Info *i) { i->image_width = 40000, i->output_image_width = 32768; }},
        {"output height 32768", [](RAW_Info *i) { i->output_image_height = 32768; }},
        {"output height huge", [](RAW_Info *i) { i->output_image_height = INT32_MAX; }},
        {"valid bits 0", [](RAW_Info *i) { i->valid_bits_per_pixel[0] = 0; }},
        {"valid bits negative", [](RAW_Info *i) { i->valid_bits_per_pixel[0] = -1; }},
        {"valid bits 17", [](RAW_Info *i) { i->valid_bits_per_pixel[0] = 17; }},
        {"offset negative", [](RAW_Info *i) { i->valid_bits_per_pixel[1] = -1; }},
        {"bits and offset 17", [](RAW_Info *i) { i->valid_bits_per_pixel[1] = 7; }},
        {"offset huge", [](RAW_Info *i) { i->valid_bits_per_pixel[1] = 32767; }},
    };
    for (const Case &aCase : aCases) {
        RAW_Info aInfo = Defaults();
        aCase.change(&aInfo);
        EXPECT_FALSE(RAW_IsConvertibleHeader(&aInfo)) << aCase.what;
    }
}
