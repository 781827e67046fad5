// The writer's own contract: how samples are stored, where things are placed, what it
// refuses; the scene's camera model; and the ekv-make command line.
#include "WriterTestSupport.h"

#include <cmath>

#include "ekvwriter/Scene.h"

using namespace writertest;

namespace {

ekvwriter::WriteOptions Small(uint16_t inEndian, int inBits, int inOffset) {
    ekvwriter::WriteOptions o;
    o.info = CameraInfo(inEndian, 8, 4, inBits, inOffset);
    o.info.raw_per_strip = 4;
    return o;
}

std::vector<uint8_t> FirstStripBytes(const ekvwriter::WriteResult &inResult, size_t inCount) {
    auto aAt = inResult.bytes.begin() + inResult.info.strip_offsets[0];
    return std::vector<uint8_t>(aAt, aAt + inCount);
}

TEST(WriterSamples, StoredWithTheValidBitsHighInTheFilesByteOrder) {
    std::vector<uint16_t> m(32, 0);
    m[0] = 1023;
    m[1] = 1;
    ekvwriter::WriteResult r = ekvwriter::WriteEkv(m, Small(kRAW_LittleEndian, 10, 0));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(FirstStripBytes(r, 4), std::vector<uint8_t>({0xC0, 0xFF, 0x40, 0x00}));

    m[0] = 0x123;
    r = ekvwriter::WriteEkv(m, Small(kRAW_BigEndian, 12, 0));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(FirstStripBytes(r, 4), std::vector<uint8_t>({0x12, 0x30, 0x00, 0x10}));

    m[0] = 1023;  // valid bits already at the bottom
    r = ekvwriter::WriteEkv(m, Small(kRAW_BigEndian, 10, 6));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(FirstStripBytes(r, 4), std::vector<uint8_t>({0x03, 0xFF, 0x00, 0x01}));

    m[0] = 0;
    m[1] = 127;
    m[2] = 255;
    r = ekvwriter::WriteEkv(m, Small(kRAW_BigEndian, 8, 0));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(FirstStripBytes(r, 3), std::vector<uint8_t>({0x00, 0x7F, 0xFF}));
    EXPECT_EQ(r.info.strip_byte_count[0], 32);
}

TEST(WriterLayout, MetadataFirstThenStripsWithinTheReadLimit) {
    ekvwriter::WriteOptions o;
    o.info = ekvwriter::DefaultInfo();
    o.info.image_width = 64;
    o.info.image_length = 30;
    o.info.raw_per_strip = 2;  // 15 strips
    o.thumbnailJpeg = ekvwriter::EncodeJpeg(ekvwriter::RenderThumbnail(320, 240, 4.0 / 3.0));
    o.stripGap = 7;
    ekvwriter::WriteResult r = ekvwriter::WriteEkv(TestMosaic(64, 30, 10), o);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.layout.ifd0, 8u);
    EXPECT_LT(r.layout.ifd0, r.layout.exifIfd);
    EXPECT_LT(r.layout.exifIfd, r.layout.makerNote);
    EXPECT_LT(r.layout.makerNote, r.layout.thumbnailIfd);
    EXPECT_LT(r.layout.thumbnailIfd, r.layout.jpeg);
    EXPECT_LE(r.layout.jpeg + r.layout.jpegSize, r.layout.metadataEnd);
    EXPECT_LE(r.layout.metadataEnd, uint32_t(kRAW_HeaderMaxSize));
    EXPECT_GE(r.layout.dataStart, r.layout.metadataEnd);
    EXPECT_EQ(r.layout.jpeg % 2, 0u);
    for (int k = 0; k < 15; ++k) {
        EXPECT_EQ(r.info.strip_offsets[k], int32(r.layout.dataStart + k * (128 * 2 + 7))) << k;
        EXPECT_EQ(r.info.strip_byte_count[k], 256) << k;
    }
    EXPECT_EQ(r.bytes.size(), r.layout.dataStart + 15 * (256 + 7));
    EXPECT_EQ(r.bytes[r.info.strip_offsets[0] + 256], 0xA5);  // the gap filler
}

TEST(WriterRefusals, BadDescriptionsGetAReason) {
    auto refused = [](const std::vector<uint16_t> &inMosaic, const ekvwriter::WriteOptions &inOptions,
                      const std::string &inWords) {
        ekvwriter::WriteResult r = ekvwriter::WriteEkv(inMosaic, inOptions);
        EXPECT_FALSE(r.ok) << inWords;
        EXPECT_TRUE(r.bytes.empty());
        EXPECT_NE(r.error.find(inWords), std::string::npos) << r.error;
    };
    const std::vector<uint16_t> m = TestMosaic(8, 4, 10);
    ekvwriter::WriteOptions o = Small(kRAW_LittleEndian, 10, 0);
    EXPECT_TRUE(ekvwriter::WriteEkv(m, o).ok);

    refused(TestMosaic(8, 3, 10), o, "samples");
    std::vector<uint16_t> aHigh = m;
    aHigh[5] = 1024;
    refused(aHigh, o, "above 1023");
    ekvwriter::WriteOptions p = o;
    p.info.valid_bits_per_pixel[1] = 7;
    refused(m, p, "do not fit");
    p = o;
    p.info.valid_bits_per_pixel[0] = 0;
    refused(m, p, "valid bits");
    p = o;
    p.stripBytes.assign(16, 4);
    refused(m, p, "16 strips");
    p = o;
    p.stripBytes = {60, 3};
    refused(m, p, "add up");
    p = o;
    p.info.raw_per_strip = 1;
    p.stripOrder = {0, 1, 1, 3};
    refused(m, p, "permutation");
    p = o;
    p.makerNote = false;
    p.extraTags.push_back({ekvwriter::Directory::MakerNote, {kRAW_Tag_ToneMode, kTIFF_SHORT, {1}}});
    refused(m, p, "not written");
    p = o;
    p.checkSamples = false;
    EXPECT_TRUE(ekvwriter::WriteEkv(aHigh, p).ok);
}

TEST(WriterGainWords, PackedAsTheReaderUnpacksThem) {
    EXPECT_EQ(ekvwriter::PackGainWord(1, -1), 65535);
    EXPECT_EQ(ekvwriter::PackGainWord(256, 300), 16777516);
    EXPECT_EQ(ekvwriter::GainOfWord(ekvwriter::PackGainWord(256, 96)), 1.5);
    EXPECT_EQ(ekvwriter::GainWordFor(1.75), ekvwriter::PackGainWord(256, 112));
    EXPECT_EQ(ekvwriter::GainOfWord(ekvwriter::GainWordFor(2.0)), 2.0);
}

// Mean of one CFA colour over an output-pixel rectangle of the mosaic.
double MeanOf(const std::vector<uint16_t> &inMosaic, const RAW_Info &inInfo, int inColour, int inX0, int inY0, int inX1,
              int inY1) {
    double aSum = 0;
    int aCount = 0;
    for (int y = inY0 + 1; y <= inY1 + 2; ++y)
        for (int x = inX0 + 1; x <= inX1 + 2; ++x) {
            int aCell = (y & 1) * 2 + (x & 1), aColour = inInfo.cfa_pattern.value[aCell];
            if (aColour == 1)
                aColour = inInfo.cfa_pattern.value[(y & 1) * 2 + ((x & 1) ^ 1)] == 0 ? 1 : 2;
            else if (aColour == 2)
                aColour = 3;
            if (aColour != inColour) continue;
            aSum += inMosaic[size_t(y) * inInfo.image_width + x];
            ++aCount;
        }
    return aSum / aCount;
}

TEST(Scene, CameraModelIsUndoneByBlackLevelsGainsAndMatrix) {
    RAW_Info aInfo = ekvwriter::DefaultInfo();
    aInfo.image_width = 448;
    aInfo.image_length = 340;
    aInfo.output_image_width = 432;
    aInfo.output_image_height = 336;
    const uint8_t aGrbg[4] = {1, 0, 2, 1};
    std::memcpy(aInfo.cfa_pattern.value, aGrbg, 4);
    const int16 aBlack[4] = {30, 31, 32, 33};
    std::memcpy(aInfo.optical_black, aBlack, sizeof aBlack);
    aInfo.wb_gain_gr = ekvwriter::GainWordFor(2.0);
    aInfo.wb_gain_gb = ekvwriter::GainWordFor(1.25);
    const int16 aMatrix[9] = {300, -28, -16, -20, 296, -20, -12, -40, 308};
    std::memcpy(aInfo.color_matrix, aMatrix, sizeof aMatrix);
    std::vector<uint16_t> m = ekvwriter::RenderMosaic(aInfo);
    EXPECT_EQ(m, ekvwriter::RenderMosaic(aInfo)) << "not deterministic";

    // The white patch (row 3, column 0 of the patches): neutral after black and gains.
    const double aAspect = 432.0 / 336.0;
    auto px = [&](double inX) { return int(inX / aAspect * 432); };
    auto py = [](double inY) { return int(inY * 336); };
    const int x0 = px(0.04 + 0.03), x1 = px(0.04 + 0.095), y0 = py(0.05 + 3 * 0.145 + 0.03),
              y1 = py(0.05 + 3 * 0.145 + 0.11);
    double r = (MeanOf(m, aInfo, 0, x0, y0, x1, y1) - 30) * 2.0;
    double gr = MeanOf(m, aInfo, 1, x0, y0, x1, y1) - 31;
    double gb = MeanOf(m, aInfo, 2, x0, y0, x1, y1) - 32;
    double b = (MeanOf(m, aInfo, 3, x0, y0, x1, y1) - 33) * 1.25;
    const double aWhite = (1023 - 33) * 0.92 * std::pow((243 / 255.0 + 0.055) / 1.055, 2.4);
    EXPECT_NEAR(gr, aWhite, 3.0);
    EXPECT_NEAR(gb, aWhite, 3.0);
    EXPECT_NEAR(r, aWhite, 6.0);
    EXPECT_NEAR(b, aWhite * std::pow((242 / 255.0 + 0.055) / (243 / 255.0 + 0.055), 2.4), 6.0);

    // The red patch (row 2, column 2): red well above green and blue in camera terms.
    const int rx0 = px(0.04 + 2 * 0.125 + 0.03), rx1 = px(0.04 + 2 * 0.125 + 0.095);
    const int ry0 = py(0.05 + 2 * 0.145 + 0.03), ry1 = py(0.05 + 2 * 0.145 + 0.11);
    EXPECT_GT((MeanOf(m, aInfo, 0, rx0, ry0, rx1, ry1) - 30) * 2.0, 4 * (MeanOf(m, aInfo, 1, rx0, ry0, rx1, ry1) - 31));

    // Noise: present but mild.
    double aVar = 0;
    int n = 0;
    const double aMean = MeanOf(m, aInfo, 1, x0, y0, x1, y1);
    for (int y = y0 + 1; y <= y1 + 2; ++y)
        for (int x = x0 + 1; x <= x1 + 2; ++x)
            if ((y & 1) == 0 && (x & 1) == 0) {  // Gr sites of GRBG
                aVar += std::pow(m[size_t(y) * 448 + x] - aMean, 2);
                ++n;
            }
    const double aSigma = std::sqrt(aVar / n);
    EXPECT_GT(aSigma, 1.0);
    EXPECT_LT(aSigma, 6.0);

    ekvwriter::SceneOptions aQuiet;
    aQuiet.noise = 0;
    std::vector<uint16_t> q = ekvwriter::RenderMosaic(aInfo, aQuiet);
    EXPECT_EQ(q[size_t(y0 + 2) * 448 + x0 + 2], q[size_t(y0 + 4) * 448 + x0 + 2]);
}

TEST(Scene, FlatMosaicFollowsThePattern) {
    RAW_Info aInfo = ekvwriter::DefaultInfo();
    aInfo.image_width = 4;
    aInfo.image_length = 2;
    const uint8_t aBggr[4] = {2, 1, 1, 0};
    std::memcpy(aInfo.cfa_pattern.value, aBggr, 4);
    const uint16_t aValues[4] = {10, 20, 30, 40};  // R, Gr, Gb, B
    EXPECT_EQ(ekvwriter::FlatMosaic(aInfo, aValues), std::vector<uint16_t>({40, 30, 40, 30, 20, 10, 20, 10}));
}

TEST(EkvMake, HelpAndErrors) {
    CommandResult h = RunCommand(std::string(KARVEX_EKV_MAKE) + " --help");
    EXPECT_EQ(h.status, 0);
    EXPECT_NE(h.out.find("Usage: ekv-make sample"), std::string::npos);
    CommandResult v = RunCommand(std::string(KARVEX_EKV_MAKE) + " --version");
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out.rfind("ekv-make ", 0), 0u) << v.out;

    const std::string aPath = ScratchPath(".ekv");
    std::remove(aPath.c_str());
    const char *aBad[] = {"",
                          "frobnicate -o X",
                          "sample",
                          "sample -o X --bits 0",
                          "sample -o X --bits 17",
                          "sample -o X --width 15",
                          "sample -o X --pattern RGBG",
                          "sample -o X --strips 16",
                          "sample -o X --rows-per-strip 100",
                          "sample -o X --output 2254x1680",
                          "sample -o X --black 1,2,3",
                          "sample -o X --bits 12 --bit-offset 5",
                          "sample -o X --thumbnail 0x5",
                          "sample -o X --no-thumbnail --thumbnail 10x10",
                          "sample -o X --value 3",
                          "flat -o X --value 1024",
                          "sample -o X --matrix 1,2",
                          "sample -o",
                          "sample -o /nonexistent-dir/x.ekv --width 16 --height 8 --output 12x4"};
    for (const char *a : aBad) {
        std::string aArgs = a;
        size_t x = aArgs.find(" X");
        if (x != std::string::npos) aArgs.replace(x, 2, " '" + aPath + "'");
        CommandResult r = RunCommand(std::string(KARVEX_EKV_MAKE) + " " + aArgs);
        EXPECT_EQ(r.status, 2) << a << ": " << r.out;
        EXPECT_EQ(r.out.rfind("ekv-make: ", 0), 0u) << a << ": " << r.out;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << a << ": " << r.out;
    }
    EXPECT_TRUE(LoadFile(aPath).empty()) << "a refused command wrote a file";
}

TEST(EkvMake, FlatWritesOneValuePerColourAndIsDeterministic) {
    const std::string aPath = ScratchPath(".ekv");
    CommandResult r =
        RunCommand(std::string(KARVEX_EKV_MAKE) + " flat -o '" + aPath +
                   "' --width 16 --height 8 --output 12x4 --bits 8 --value 10,20,30,40 --pattern GRBG --no-thumbnail");
    ASSERT_EQ(r.status, 0) << r.out;
    std::vector<uint8_t> aBytes = LoadFile(aPath);
    ReadBack b = ReadHeaderBytes(aBytes);
    ASSERT_EQ(b.info.strip_offsets[0] + 16 * 8, int32(aBytes.size()));
    const uint8_t *s = aBytes.data() + b.info.strip_offsets[0];
    EXPECT_EQ(std::vector<uint8_t>(s, s + 4), std::vector<uint8_t>({20, 10, 20, 10}));        // Gr R
    EXPECT_EQ(std::vector<uint8_t>(s + 16, s + 20), std::vector<uint8_t>({40, 30, 40, 30}));  // B Gb
    EXPECT_EQ(b.info.bit_per_sample, 8);
    EXPECT_EQ(b.info.optical_black[0], 4);  // 16 at 10 bits, scaled to 8

    const std::string aOne = ScratchPath("_1.ekv"), aTwo = ScratchPath("_2.ekv");
    for (const std::string &p : {aOne, aTwo})
        ASSERT_EQ(RunCommand(std::string(KARVEX_EKV_MAKE) + " sample -o '" + p + "' --width 128 --height 96").status,
                  0);
    EXPECT_EQ(LoadFile(aOne), LoadFile(aTwo));
}

}  // namespace
