// The thumbnail a written file carries decodes with libjpeg-turbo to the size written and
// shows the chart; the module's reader hands back exactly those bytes.
#include "WriterTestSupport.h"

#include <cmath>

#include "ekvwriter/Jpeg.h"
#include "ekvwriter/Scene.h"

using namespace writertest;

namespace {

struct ThumbSize {
    int width, height;
    uint16_t endian;
    double tolerance;  // mean absolute difference from the chart, 8-bit units
};

class ThumbnailSizes : public ::testing::TestWithParam<ThumbSize> {};

TEST_P(ThumbnailSizes, DecodesToTheSizeWrittenAndShowsTheChart) {
    const ThumbSize s = GetParam();
    ekvwriter::RgbImage aChart = ekvwriter::RenderThumbnail(s.width, s.height, 4.0 / 3.0);
    ekvwriter::WriteOptions o;
    o.info = CameraInfo(s.endian, 48, 24, 10, 0);
    o.thumbnailJpeg = ekvwriter::EncodeJpeg(aChart, 90);
    ASSERT_FALSE(o.thumbnailJpeg.empty());
    ekvwriter::WriteResult r = ekvwriter::WriteEkv(TestMosaic(48, 24, 10), o);
    ASSERT_TRUE(r.ok) << r.error;

    // Taken from the file where the thumbnail IFD says it is.
    const std::vector<uint8_t> aJpeg(r.bytes.begin() + r.layout.jpeg,
                                     r.bytes.begin() + r.layout.jpeg + r.layout.jpegSize);
    ASSERT_GE(aJpeg.size(), 20u);
    EXPECT_EQ(std::vector<uint8_t>(aJpeg.begin(), aJpeg.begin() + 4), std::vector<uint8_t>({0xFF, 0xD8, 0xFF, 0xE0}));
    EXPECT_EQ(std::string(aJpeg.begin() + 6, aJpeg.begin() + 11), std::string("JFIF\0", 5));
    ekvwriter::RgbImage aDecoded;
    std::string aError;
    ASSERT_TRUE(ekvwriter::DecodeJpeg(aJpeg, aDecoded, aError)) << aError;
    EXPECT_EQ(aDecoded.width, s.width);
    EXPECT_EQ(aDecoded.height, s.height);

    // Close to the chart it was made from (JPEG loses little at quality 90, more on tiny
    // images whose every pixel is detail).
    ASSERT_EQ(aDecoded.rgb.size(), aChart.rgb.size());
    double aDiff = 0.0;
    for (size_t i = 0; i < aChart.rgb.size(); ++i) aDiff += std::fabs(double(aDecoded.rgb[i]) - aChart.rgb[i]);
    EXPECT_LT(aDiff / aChart.rgb.size(), s.tolerance);

    // The reader extracts the same bytes.
    ReadBack b = ReadHeaderBytes(r.bytes);
    EXPECT_EQ(b.result, 0);
    ASSERT_TRUE(b.hasThumbnail);
    EXPECT_EQ(b.thumbnail, aJpeg);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ThumbnailSizes,
    ::testing::Values(ThumbSize{160, 120, kRAW_LittleEndian, 6.0}, ThumbSize{320, 240, kRAW_BigEndian, 4.0},
                      ThumbSize{37, 5, kRAW_LittleEndian, 20.0}, ThumbSize{1, 1, kRAW_BigEndian, 6.0}),
    [](const auto &inInfo) { return std::to_string(inInfo.param.width) + "x" + std::to_string(inInfo.param.height); });

TEST(Thumbnail, ChartHasItsParts) {
    // Patches, star, ramp and gradients sit where the chart puts them.
    double c[3];
    ekvwriter::ChartColor(0.05 + 0.06 / (4.0 / 3.0), 0.1, 4.0 / 3.0, c);  // first patch: dark skin
    EXPECT_GT(c[0], c[1]);
    EXPECT_GT(c[1], c[2] * 0.9);
    ekvwriter::ChartColor(0.06, 0.70, 4.0 / 3.0, c);  // dark end of the ramp
    EXPECT_LT(c[1], 0.01);
    ekvwriter::ChartColor(0.94, 0.70, 4.0 / 3.0, c);  // bright end
    EXPECT_GT(c[1], 0.8);
    EXPECT_EQ(c[0], c[2]);
    ekvwriter::RgbImage a = ekvwriter::RenderThumbnail(64, 48, 4.0 / 3.0),
                        b = ekvwriter::RenderThumbnail(64, 48, 4.0 / 3.0);
    EXPECT_EQ(a.rgb, b.rgb);
}

TEST(Thumbnail, TooLargeForTheHeaderIsRefused) {
    // A thumbnail that pushes the metadata past 51400 bytes would not be read whole.
    ekvwriter::RgbImage aNoise;
    aNoise.width = 400;
    aNoise.height = 300;
    aNoise.rgb.resize(400 * 300 * 3);
    uint32_t h = 1;
    for (uint8_t &v : aNoise.rgb) v = uint8_t((h = h * 1664525u + 1013904223u) >> 24);
    ekvwriter::WriteOptions o;
    o.info = CameraInfo(kRAW_LittleEndian, 32, 12, 10, 0);
    o.thumbnailJpeg = ekvwriter::EncodeJpeg(aNoise, 95);
    ASSERT_GT(o.thumbnailJpeg.size(), size_t(kRAW_HeaderMaxSize));
    ekvwriter::WriteResult r = ekvwriter::WriteEkv(TestMosaic(32, 12, 10), o);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("51400"), std::string::npos) << r.error;
    o.allowLargeHeader = true;
    r = ekvwriter::WriteEkv(TestMosaic(32, 12, 10), o);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_GT(r.layout.metadataEnd, uint32_t(kRAW_HeaderMaxSize));
}

}  // namespace
