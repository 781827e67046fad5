// Files written by the writer, read back by the module's reader: the record read equals
// the description written, and the rows read (and aligned) equal the mosaic, for both
// byte orders, 1- and 2-byte samples, valid bits at any offset and odd strip layouts.
#include "WriterTestSupport.h"

#include <numeric>

#include "ekvwriter/Jpeg.h"
#include "ekvwriter/Scene.h"

using namespace writertest;

namespace {

enum class Strips { Rows, MidRow, Single, Fifteen };

struct Case {
    const char *name;
    uint16_t endian;
    int bits, offset;
    Strips strips;
    bool shuffle;
    uint32_t gap;
};

// Byte lengths that cut rows in the middle, 7 strips in all.
std::vector<uint32_t> MidRowStrips(uint32_t inTotal) {
    std::vector<uint32_t> aBytes = {1, 333, 1000, 17, 2501, 90};
    uint32_t aSum = std::accumulate(aBytes.begin(), aBytes.end(), 0u);
    aBytes.push_back(inTotal - aSum);
    return aBytes;
}

// Reads every row through RAW_ReadStrip in runs of inRun rows, aligns them and
// compares them with the mosaic.
void ExpectRows(const std::string &inPath, const RAW_Info &inInfo, const std::vector<uint16_t> &inMosaic,
                uint32_t inRun) {
    FSSpec aSpec;
    ASSERT_EQ(NativePathNameToFSSpec(inPath.c_str(), &aSpec, 0), noErr);
    const uint32_t aW = uint32_t(inInfo.image_width), aH = uint32_t(inInfo.image_length);
    for (uint32_t aFrom = 0; aFrom < aH; aFrom += inRun) {
        uint32_t aRows = std::min(inRun, aH - aFrom);
        Handle aData = nullptr;
        ASSERT_EQ(RAW_ReadStrip(&aSpec, &inInfo, aFrom, aRows, nullptr, &aData), 0);
        ASSERT_NE(aData, nullptr);
        ASSERT_EQ(HostGetHandleSize(nullptr, aData), int32(aRows * aW * 2));
        uint16 *aSamples = reinterpret_cast<uint16 *>(RAW_LockHandle(nullptr, aData, false));
        RAW_ShiftRight(aSamples, uint16(aW), uint16(aRows), uint16(inInfo.valid_bits_per_pixel[0]),
                       uint16(inInfo.valid_bits_per_pixel[1]), inInfo.endian);
        std::vector<uint16_t> aGot(aSamples, aSamples + aRows * aW);
        std::vector<uint16_t> aWant(inMosaic.begin() + size_t(aFrom) * aW,
                                    inMosaic.begin() + size_t(aFrom + aRows) * aW);
        RAW_UnlockHandle(nullptr, aData);
        RAW_DisposeHandle(nullptr, aData);
        ASSERT_EQ(aGot, aWant) << "rows " << aFrom << " to " << aFrom + aRows - 1;
    }
}

class RoundTrip : public ::testing::TestWithParam<Case> {};

TEST_P(RoundTrip, InfoAndRowsComeBackAsWritten) {
    const Case c = GetParam();
    const int32_t aW = 100, aH = 46;
    ekvwriter::WriteOptions o;
    o.info = CameraInfo(c.endian, aW, aH, c.bits, c.offset);
    const uint32_t aTotal = uint32_t(aW * aH * ekvwriter::BytesPerSample(c.bits));
    switch (c.strips) {
        case Strips::Rows: o.info.raw_per_strip = 7; break;  // 7 strips, the last of 4 rows
        case Strips::MidRow: o.stripBytes = MidRowStrips(aTotal); break;
        case Strips::Single: o.info.raw_per_strip = aH; break;
        case Strips::Fifteen:  // the most the format holds, cut mid-row
            o.stripBytes.assign(14, aTotal / 15);
            o.stripBytes.push_back(aTotal - 14 * (aTotal / 15));
            break;
    }
    if (c.shuffle) {
        // Placed in the file last strip first, then rotated by one.
        size_t n = !o.stripBytes.empty() ? o.stripBytes.size()
                                         : size_t((aH + o.info.raw_per_strip - 1) / o.info.raw_per_strip);
        o.stripOrder.resize(n);
        std::iota(o.stripOrder.rbegin(), o.stripOrder.rend(), 0);
        std::rotate(o.stripOrder.begin(), o.stripOrder.begin() + 1, o.stripOrder.end());
    }
    o.stripGap = c.gap;
    o.thumbnailJpeg = ekvwriter::EncodeJpeg(ekvwriter::RenderThumbnail(160, 120, 4.0 / 3.0));
    const std::vector<uint16_t> aMosaic = TestMosaic(aW, aH, c.bits);
    ekvwriter::WriteResult r = ekvwriter::WriteEkv(aMosaic, o);
    ASSERT_TRUE(r.ok) << r.error;

    // The record: from the bytes, and from the file through RAW_ReadHeader.
    ReadBack b = ReadHeaderBytes(r.bytes, 0x1234);
    EXPECT_EQ(b.result, 0);
    EXPECT_TRUE(b.hasThumbnail);
    ExpectSameInfo(r.info, b.info);
    // Apart from the table the writer computed, the record read is the description given.
    RAW_Info aGiven = o.info;
    std::copy(r.info.strip_offsets, r.info.strip_offsets + kRAW_MaxStrips, aGiven.strip_offsets);
    std::copy(r.info.strip_byte_count, r.info.strip_byte_count + kRAW_MaxStrips, aGiven.strip_byte_count);
    if (c.endian == kRAW_BigEndian) aGiven.cfa_pattern.size[0] = aGiven.cfa_pattern.size[1] = 512;
    ExpectSameInfo(aGiven, b.info);

    const std::string aPath = SaveScratch(r.bytes, ".ekv");
    FSSpec aSpec;
    ASSERT_EQ(NativePathNameToFSSpec(aPath.c_str(), &aSpec, 0), noErr);
    EXPECT_TRUE(RAW_IsEKV(&aSpec));
    RAW_Info aFromFile = ekvwriter::DefaultInfo(0);
    Handle aThumb = nullptr;
    EXPECT_EQ(RAW_ReadHeader(&aSpec, &aFromFile, nullptr, &aThumb), 0);
    ASSERT_NE(aThumb, nullptr);
    EXPECT_EQ(HostGetHandleSize(nullptr, aThumb), int32(o.thumbnailJpeg.size()));
    RAW_DisposeHandle(nullptr, aThumb);
    ExpectSameInfo(r.info, aFromFile);

    // The rows, in runs that cross strip boundaries, and in runs of the band heights.
    ExpectRows(aPath, b.info, aMosaic, 5);
    ExpectRows(aPath, b.info, aMosaic, 10);
    ExpectRows(aPath, b.info, aMosaic, uint32_t(aH));
}

const Case kCases[] = {
    {"Little10", kRAW_LittleEndian, 10, 0, Strips::Rows, false, 0},
    {"Big10", kRAW_BigEndian, 10, 0, Strips::Rows, false, 0},
    {"Little12Offset2MidRowShuffled", kRAW_LittleEndian, 12, 2, Strips::MidRow, true, 3},
    {"Big12Offset2MidRowShuffled", kRAW_BigEndian, 12, 2, Strips::MidRow, true, 3},
    {"Little16", kRAW_LittleEndian, 16, 0, Strips::Rows, true, 0},
    {"Big10Offset6", kRAW_BigEndian, 10, 6, Strips::Single, false, 0},
    {"Little8OneByte", kRAW_LittleEndian, 8, 0, Strips::MidRow, true, 1},
    {"Big8OneByte", kRAW_BigEndian, 8, 0, Strips::Rows, true, 0},
    {"Big5OneByteFifteenStrips", kRAW_BigEndian, 5, 0, Strips::Fifteen, true, 2},
    {"Little14FifteenStrips", kRAW_LittleEndian, 14, 1, Strips::Fifteen, false, 0},
};

INSTANTIATE_TEST_SUITE_P(Layouts, RoundTrip, ::testing::ValuesIn(kCases),
                         [](const auto &inInfo) { return std::string(inInfo.param.name); });

TEST(RoundTripDirectories, MissingExifOrMakerNoteKeepsTheDefaults) {
    for (bool aExif : {false, true}) {
        ekvwriter::WriteOptions o;
        o.info = CameraInfo(kRAW_BigEndian, 40, 10, 10, 0);  // 10 bits: the default valid bits
        o.exif = aExif;
        o.makerNote = false;
        o.sharpnessTag = false;
        ekvwriter::WriteResult r = ekvwriter::WriteEkv(TestMosaic(40, 10, 10), o);
        ASSERT_TRUE(r.ok) << r.error;
        ReadBack b = ReadHeaderBytes(r.bytes);
        ExpectSameInfo(r.info, b.info);
        EXPECT_EQ(b.info.color_matrix[0], 0);
        EXPECT_EQ(b.info.output_image_width, 2240);
        EXPECT_EQ(b.info.wb_gain_gr, 0);
        EXPECT_EQ(b.info.sharpness, 0);
        EXPECT_EQ(b.info.cfa_pattern.value[0], aExif ? 1 : 0);
        EXPECT_FALSE(b.hasThumbnail);
    }
}

TEST(RoundTripDirectories, CfaSizesLowByteFirstReadAsTwo) {
    ekvwriter::WriteOptions o;
    o.info = CameraInfo(kRAW_BigEndian, 40, 10, 10, 0);
    o.cfaSizeLowByteFirst = true;
    ekvwriter::WriteResult r = ekvwriter::WriteEkv(TestMosaic(40, 10, 10), o);
    ASSERT_TRUE(r.ok) << r.error;
    ReadBack b = ReadHeaderBytes(r.bytes);
    EXPECT_EQ(b.info.cfa_pattern.size[0], 2);
    EXPECT_EQ(b.info.cfa_pattern.size[1], 2);
    ExpectSameInfo(r.info, b.info);
}

TEST(RoundTripDirectories, OddFilesFromTheTestOptions) {
    // A header offset other than 8, an arbitrary maker signature, and extra tags: the
    // 0x100F in the maker note does not count, a second one in IFD0 wins.
    ekvwriter::WriteOptions o;
    o.info = CameraInfo(kRAW_LittleEndian, 40, 10, 10, 0);
    o.headerOffset = 1234;
    o.makerSignature = "\x01\x02zz!";
    o.extraTags.push_back({ekvwriter::Directory::MakerNote, {kRAW_Tag_Sharpness, kTIFF_SHORT, {77}}});
    o.extraTags.push_back({ekvwriter::Directory::IFD0, {kRAW_Tag_Sharpness, kTIFF_SHORT, {55}}});
    o.extraTags.push_back({ekvwriter::Directory::Exif, {0x4242, kTIFF_LONG, {1, 2, 3}}});
    ekvwriter::WriteResult r = ekvwriter::WriteEkv(TestMosaic(40, 10, 10), o);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.bytes[4], 1234 & 0xFF);
    ReadBack b = ReadHeaderBytes(r.bytes);
    EXPECT_EQ(b.info.sharpness, 55);
    RAW_Info aExpected = r.info;
    aExpected.sharpness = 55;
    ExpectSameInfo(aExpected, b.info);
}

TEST(RoundTripSample, EkvMakeVariationsReadBack) {
    const std::string aPath = ScratchPath(".ekv");
    CommandResult c = RunCommand(std::string(KARVEX_EKV_MAKE) + " sample -o '" + aPath +
                                 "' --width 200 --height 64 --bits 12 --big-endian --pattern GBRG --strips 5"
                                 " --no-thumbnail --black 60,61,62,63 --wb-gr 256,120 --tone-mode 0 --sharpness 4");
    ASSERT_EQ(c.status, 0) << c.out;
    std::vector<uint8_t> aBytes = LoadFile(aPath);
    ReadBack b = ReadHeaderBytes(aBytes);
    EXPECT_EQ(b.result, 0);
    EXPECT_FALSE(b.hasThumbnail);
    EXPECT_EQ(b.info.endian, kRAW_BigEndian);
    EXPECT_EQ(b.info.image_width, 200);
    EXPECT_EQ(b.info.image_length, 64);
    EXPECT_EQ(b.info.output_image_width, 184);
    EXPECT_EQ(b.info.output_image_height, 60);
    EXPECT_EQ(b.info.valid_bits_per_pixel[0], 12);
    EXPECT_EQ(b.info.raw_per_strip, 13);
    EXPECT_EQ(b.info.strip_byte_count[4], 12 * 200 * 2);
    EXPECT_EQ(b.info.strip_offsets[5], 0);
    EXPECT_EQ(b.info.cfa_pattern.value[0], 1);
    EXPECT_EQ(b.info.cfa_pattern.value[1], 2);
    EXPECT_EQ(b.info.optical_black[3], 63);
    EXPECT_EQ(b.info.wb_gain_gr, 256 * 65536 + 120);
    EXPECT_EQ(b.info.wb_gain_gb, 256 * 65536 + 96);
    EXPECT_EQ(b.info.tone_mode, 0);
    EXPECT_EQ(b.info.sharpness, 4);
    EXPECT_EQ(b.info.chromasupless[1], 4095);
    EXPECT_TRUE(RAW_IsConvertibleHeader(&b.info));

    // Rows: every sample within the valid bits and above the black level on average.
    FSSpec aSpec;
    ASSERT_EQ(NativePathNameToFSSpec(aPath.c_str(), &aSpec, 0), noErr);
    Handle aData = nullptr;
    ASSERT_EQ(RAW_ReadStrip(&aSpec, &b.info, 0, 64, nullptr, &aData), 0);
    uint16 *s = reinterpret_cast<uint16 *>(RAW_LockHandle(nullptr, aData, false));
    RAW_ShiftRight(s, 200, 64, 12, 0, b.info.endian);
    double aSum = 0;
    uint16 aMax = 0;
    for (int i = 0; i < 200 * 64; ++i) {
        aSum += s[i];
        aMax = std::max(aMax, s[i]);
    }
    RAW_UnlockHandle(nullptr, aData);
    RAW_DisposeHandle(nullptr, aData);
    EXPECT_LE(aMax, 4095);
    EXPECT_GT(aSum / (200 * 64), 100.0);
}

TEST(RoundTripSample, BundledSampleIsTheCameraDefault) {
    std::vector<uint8_t> aBytes = LoadFile(KARVEX_SAMPLE_FILE);
    ReadBack b = ReadHeaderBytes(aBytes);
    EXPECT_EQ(b.result, 0);
    ASSERT_TRUE(b.hasThumbnail);
    ekvwriter::RgbImage aThumb;
    std::string aError;
    ASSERT_TRUE(ekvwriter::DecodeJpeg(b.thumbnail, aThumb, aError)) << aError;
    EXPECT_EQ(aThumb.width, 320);
    EXPECT_EQ(aThumb.height, 240);
    RAW_Info aDefault = ekvwriter::DefaultInfo(kRAW_LittleEndian);
    EXPECT_EQ(b.info.image_width, aDefault.image_width);
    EXPECT_EQ(b.info.image_length, aDefault.image_length);
    for (int k = 0; k < kRAW_MaxStrips; ++k) EXPECT_EQ(b.info.strip_byte_count[k], aDefault.strip_byte_count[k]);
    EXPECT_EQ(b.info.output_image_width, 2240);
    EXPECT_EQ(b.info.output_image_height, 1680);
    EXPECT_EQ(b.info.valid_bits_per_pixel[0], 10);
    EXPECT_EQ(b.info.optical_black[0], 16);
    EXPECT_NEAR(ekvwriter::GainOfWord(b.info.wb_gain_gr), 1.75, 1e-9);
    EXPECT_NEAR(ekvwriter::GainOfWord(b.info.wb_gain_gb), 1.5, 1e-9);
    EXPECT_EQ(b.info.tone_mode, 1);
    EXPECT_TRUE(RAW_IsConvertibleHeader(&b.info));
}

}  // namespace
