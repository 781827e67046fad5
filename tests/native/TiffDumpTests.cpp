// The written container checked with libtiff's tiffdump: with the version field set to
// TIFF's 42, IFD0, the thumbnail IFD, the Exif IFD and the maker note must list exactly
// the tags, types and values that were written.
#include "WriterTestSupport.h"

#include "ekvwriter/Jpeg.h"
#include "ekvwriter/Scene.h"

using namespace writertest;

namespace {

struct Written {
    ekvwriter::WriteOptions options;
    ekvwriter::WriteResult result;
};

Written WriteCamera(uint16_t inEndian) {
    Written w;
    w.options.info = CameraInfo(inEndian, 96, 40, 12, 2);
    w.options.info.raw_per_strip = 9;  // 5 strips, the last of 4 rows
    w.options.stripOrder = {3, 0, 4, 2, 1};
    w.options.thumbnailJpeg = ekvwriter::EncodeJpeg(ekvwriter::RenderThumbnail(160, 120, 80.0 / 36.0));
    w.result = ekvwriter::WriteEkv(TestMosaic(96, 40, 12), w.options);
    EXPECT_TRUE(w.result.ok) << w.result.error;
    return w;
}

void ExpectTag(const DumpDirectory &inDir, uint32_t inTag, const std::string &inType, uint32_t inCount,
               const std::vector<int64_t> &inValues) {
    auto it = inDir.tags.find(inTag);
    ASSERT_NE(it, inDir.tags.end()) << "tag " << inTag << " missing";
    EXPECT_EQ(it->second.type, inType) << "tag " << inTag;
    EXPECT_EQ(it->second.count, inCount) << "tag " << inTag;
    EXPECT_EQ(it->second.values, inValues) << "tag " << inTag;
}

class TiffDumpByteOrder : public ::testing::TestWithParam<uint16_t> {};

TEST_P(TiffDumpByteOrder, Ifd0AndThumbnailIfdListWhatWasWritten) {
    Written w = WriteCamera(GetParam());
    ASSERT_TRUE(w.result.ok);
    const RAW_Info &i = w.result.info;
    std::string aText;
    std::vector<DumpDirectory> d = DumpAsTiff(w.result.bytes, 8, &aText);
    ASSERT_EQ(d.size(), 2u) << aText;
    EXPECT_NE(aText.find(GetParam() == kRAW_BigEndian ? "big-endian" : "little-endian"), std::string::npos);

    const DumpDirectory &aIfd0 = d[0];
    EXPECT_EQ(aIfd0.offset, 8u);
    EXPECT_EQ(aIfd0.next, w.result.layout.thumbnailIfd);
    ExpectTag(aIfd0, kRAW_Tag_ImageWidth, "LONG", 1, {96});
    ExpectTag(aIfd0, kRAW_Tag_ImageLength, "LONG", 1, {40});
    ExpectTag(aIfd0, kRAW_Tag_BitsPerSample, "SHORT", 1, {16});
    ExpectTag(aIfd0, kRAW_Tag_PhotometricInterpretation, "SHORT", 1, {2});
    ExpectTag(aIfd0, kRAW_Tag_StripOffsets, "LONG", 5,
              {i.strip_offsets[0], i.strip_offsets[1], i.strip_offsets[2], i.strip_offsets[3], i.strip_offsets[4]});
    ExpectTag(aIfd0, kRAW_Tag_SamplesPerPixel, "SHORT", 1, {1});
    ExpectTag(aIfd0, kRAW_Tag_RowsPerStrip, "LONG", 1, {9});
    const int64_t aRow = 96 * 2;
    ExpectTag(aIfd0, kRAW_Tag_StripByteCounts, "LONG", 5, {9 * aRow, 9 * aRow, 9 * aRow, 9 * aRow, 4 * aRow});
    ExpectTag(aIfd0, kRAW_Tag_Sharpness, "SSHORT", 1, {-3});
    ExpectTag(aIfd0, kRAW_Tag_ExifIFD, "LONG", 1, {w.result.layout.exifIfd});
    // Strips placed in the order 3, 0, 4, 2, 1 after the metadata.
    EXPECT_GE(i.strip_offsets[3], int32(w.result.layout.metadataEnd));
    EXPECT_LT(i.strip_offsets[3], i.strip_offsets[0]);
    EXPECT_LT(i.strip_offsets[0], i.strip_offsets[4]);
    EXPECT_LT(i.strip_offsets[2], i.strip_offsets[1]);

    const DumpDirectory &aThumb = d[1];
    EXPECT_EQ(aThumb.next, 0u);
    ExpectTag(aThumb, kRAW_Tag_Compression, "SHORT", 1, {6});
    ExpectTag(aThumb, kRAW_Tag_JPEGInterchangeFormat, "LONG", 1, {w.result.layout.jpeg});
    ExpectTag(aThumb, kRAW_Tag_JPEGInterchangeFormatLength, "LONG", 1, {int64_t(w.options.thumbnailJpeg.size())});
    EXPECT_EQ(aThumb.tags.count(kRAW_Tag_ImageWidth), 0u)
        << "an image width in the thumbnail IFD would replace the mosaic's";
    EXPECT_LE(w.result.layout.jpeg + w.options.thumbnailJpeg.size(), size_t(kRAW_HeaderMaxSize));
}

TEST_P(TiffDumpByteOrder, ExifIfdHoldsCfaPatternAndMakerNote) {
    Written w = WriteCamera(GetParam());
    ASSERT_TRUE(w.result.ok);
    std::string aText;
    std::vector<DumpDirectory> d = DumpAsTiff(w.result.bytes, w.result.layout.exifIfd, &aText);
    ASSERT_EQ(d.size(), 1u) << aText;
    const DumpDirectory &aExif = d[0];
    // Repeat sizes 2, 2 stored in the file's byte order, then G B / R G.
    if (GetParam() == kRAW_BigEndian)
        ExpectTag(aExif, kRAW_Tag_CFAPattern, "UNDEFINED", 8, {0, 2, 0, 2, 1, 2, 0, 1});
    else
        ExpectTag(aExif, kRAW_Tag_CFAPattern, "UNDEFINED", 8, {2, 0, 2, 0, 1, 2, 0, 1});
    auto aNote = aExif.tags.find(kRAW_Tag_MakerNote);
    ASSERT_NE(aNote, aExif.tags.end());
    EXPECT_EQ(aNote->second.type, "UNDEFINED");
    EXPECT_EQ(aNote->second.count, w.result.layout.makerNoteSize);
    ASSERT_GE(aNote->second.values.size(), 10u);
    const std::vector<int64_t> aSignature(aNote->second.values.begin(), aNote->second.values.begin() + 8);
    EXPECT_EQ(aSignature, Values({'K', 'A', 'R', 'V', 'X', '0', '1', '0'}));
    // Entry count 11, in the file's byte order.
    if (GetParam() == kRAW_BigEndian)
        EXPECT_EQ(aNote->second.values[9], 11);
    else
        EXPECT_EQ(aNote->second.values[8], 11);
    const std::vector<uint8_t> &b = w.result.bytes;
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + w.result.layout.makerNote, b.begin() + w.result.layout.makerNote + 5),
              std::vector<uint8_t>({'K', 'A', 'R', 'V', 'X'}));
}

TEST_P(TiffDumpByteOrder, MakerNoteEntriesHoldTheSettings) {
    Written w = WriteCamera(GetParam());
    ASSERT_TRUE(w.result.ok);
    std::string aText;
    std::vector<DumpDirectory> d = DumpAsTiff(w.result.bytes, w.result.layout.makerNote + 8, &aText);
    ASSERT_EQ(d.size(), 1u) << aText;
    const DumpDirectory &m = d[0];
    EXPECT_EQ(m.tags.size(), 11u);
    ExpectTag(m, kRAW_Tag_ColorMatrix, "SSHORT", 9, {300, -28, -16, -20, 296, -20, -12, -40, 308});
    ExpectTag(m, kRAW_Tag_OpticalBlack, "SHORT", 4, {17, 18, 19, 20});
    ExpectTag(m, kRAW_Tag_WBGainGr, "SSHORT", 2, {256, 112});
    ExpectTag(m, kRAW_Tag_WBGainGb, "SSHORT", 2, {1, -1});
    ExpectTag(m, kRAW_Tag_ToneMode, "SHORT", 1, {2});
    ExpectTag(m, kRAW_Tag_Enhancer, "SSHORT", 1, {260});
    ExpectTag(m, kRAW_Tag_ChromaSuppress, "SHORT", 6, {48, 1023, 800, 1023, 4, 65280});
    ExpectTag(m, kRAW_Tag_ValidBits, "SHORT", 2, {12, 2});
    ExpectTag(m, kRAW_Tag_Coring, "SSHORT", 1, {384});
    ExpectTag(m, kRAW_Tag_OutputImageWidth, "LONG", 1, {80});
    ExpectTag(m, kRAW_Tag_OutputImageHeight, "LONG", 1, {36});
}

INSTANTIATE_TEST_SUITE_P(BothOrders, TiffDumpByteOrder,
                         ::testing::Values(uint16_t(kRAW_LittleEndian), uint16_t(kRAW_BigEndian)),
                         [](const auto &inInfo) { return inInfo.param == kRAW_BigEndian ? "Big" : "Little"; });

TEST(TiffDumpOptions, WithoutExifOrMakerNoteOrThumbnail) {
    ekvwriter::WriteOptions o;
    o.info = CameraInfo(kRAW_LittleEndian, 32, 12, 10, 0);
    o.exif = false;
    o.sharpnessTag = false;
    ekvwriter::WriteResult r = ekvwriter::WriteEkv(TestMosaic(32, 12, 10), o);
    ASSERT_TRUE(r.ok) << r.error;
    std::vector<DumpDirectory> d = DumpAsTiff(r.bytes, 8);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].next, 0u);
    EXPECT_EQ(d[0].tags.count(kRAW_Tag_ExifIFD), 0u);
    EXPECT_EQ(d[0].tags.count(kRAW_Tag_Sharpness), 0u);
    ExpectTag(d[0], kRAW_Tag_StripOffsets, "LONG", 3,
              {r.info.strip_offsets[0], r.info.strip_offsets[1], r.info.strip_offsets[2]});

    o.exif = true;
    o.makerNote = false;
    r = ekvwriter::WriteEkv(TestMosaic(32, 12, 10), o);
    ASSERT_TRUE(r.ok) << r.error;
    d = DumpAsTiff(r.bytes, r.layout.exifIfd);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].tags.count(kRAW_Tag_MakerNote), 0u);
    EXPECT_EQ(d[0].tags.count(kRAW_Tag_CFAPattern), 1u);
    EXPECT_EQ(r.layout.makerNote, 0u);
}

TEST(TiffDumpOptions, SingleStripStandsInTheValueField) {
    ekvwriter::WriteOptions o;
    o.info = CameraInfo(kRAW_BigEndian, 16, 8, 8, 0);
    o.info.raw_per_strip = 8;
    ekvwriter::WriteResult r = ekvwriter::WriteEkv(TestMosaic(16, 8, 8), o);
    ASSERT_TRUE(r.ok) << r.error;
    std::vector<DumpDirectory> d = DumpAsTiff(r.bytes, 8);
    ASSERT_EQ(d.size(), 1u);
    ExpectTag(d[0], kRAW_Tag_StripOffsets, "LONG", 1, {r.layout.dataStart});
    ExpectTag(d[0], kRAW_Tag_StripByteCounts, "LONG", 1, {16 * 8});
    ExpectTag(d[0], kRAW_Tag_BitsPerSample, "SHORT", 1, {8});
}

TEST(TiffDumpOptions, BundledSampleHasTheCameraGeometry) {
    std::vector<uint8_t> aBytes = LoadFile(KARVEX_SAMPLE_FILE);
    ASSERT_GT(aBytes.size(), 7598208u) << KARVEX_SAMPLE_FILE;
    std::vector<DumpDirectory> d = DumpAsTiff(aBytes, 8);
    ASSERT_EQ(d.size(), 2u);
    ExpectTag(d[0], kRAW_Tag_ImageWidth, "LONG", 1, {2256});
    ExpectTag(d[0], kRAW_Tag_ImageLength, "LONG", 1, {1684});
    ExpectTag(d[0], kRAW_Tag_RowsPerStrip, "LONG", 1, {116});
    std::vector<int64_t> aCounts(14, 523392);
    aCounts.push_back(270720);
    ExpectTag(d[0], kRAW_Tag_StripByteCounts, "LONG", 15, aCounts);
    ASSERT_EQ(d[0].tags.count(kRAW_Tag_ExifIFD), 1u);
    std::vector<DumpDirectory> e = DumpAsTiff(aBytes, uint32_t(d[0].tags[kRAW_Tag_ExifIFD].values.at(0)));
    ASSERT_EQ(e.size(), 1u);
    ExpectTag(e[0], kRAW_Tag_CFAPattern, "UNDEFINED", 8, {2, 0, 2, 0, 0, 1, 1, 2});
    EXPECT_EQ(e[0].tags.count(kRAW_Tag_MakerNote), 1u);
}

}  // namespace
