// Imports streamed band by band through the writer thread into TIFF and PNG files, read
// back and compared with the document the host assembles in memory: every sample the
// same (rows the module does not deliver black), over methods, depths, byte orders,
// patterns and band heights, uncompressed and compressed, 16 and 8 bits.
#include <png.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

#include "metadata/OutputMetadata.h"
#include "output/StreamWriter.h"
#include "WholeTestSupport.h"

namespace {

struct ReadBack {
    uint32_t width = 0, height = 0, bits = 0;
    std::vector<uint16_t> samples;
};

bool ReadTiff(const std::string &inPath, ReadBack &outImage) {
    TIFF *aTiff = TIFFOpen(inPath.c_str(), "r");
    if (aTiff == nullptr) return false;
    uint16_t aBits = 0;
    TIFFGetField(aTiff, TIFFTAG_IMAGEWIDTH, &outImage.width);
    TIFFGetField(aTiff, TIFFTAG_IMAGELENGTH, &outImage.height);
    TIFFGetFieldDefaulted(aTiff, TIFFTAG_BITSPERSAMPLE, &aBits);
    outImage.bits = aBits;
    std::vector<uint8_t> aRow(static_cast<size_t>(TIFFScanlineSize(aTiff)));
    bool aOk = true;
    for (uint32_t y = 0; y < outImage.height && aOk; ++y) {
        aOk = TIFFReadScanline(aTiff, aRow.data(), y, 0) >= 0;
        for (size_t i = 0; i < static_cast<size_t>(outImage.width) * 3; ++i) {
            uint16_t v = aRow[i];
            if (aBits == 16) std::memcpy(&v, &aRow[2 * i], 2);
            outImage.samples.push_back(v);
        }
    }
    TIFFClose(aTiff);
    return aOk;
}

bool ReadPngRows(FILE *inFile, png_structp inPng, png_infop inInfo, ReadBack &outImage) {
    if (setjmp(png_jmpbuf(inPng))) return false;
    png_init_io(inPng, inFile);
    png_read_info(inPng, inInfo);
    outImage.width = png_get_image_width(inPng, inInfo);
    outImage.height = png_get_image_height(inPng, inInfo);
    outImage.bits = png_get_bit_depth(inPng, inInfo);
    std::vector<uint8_t> aRow(png_get_rowbytes(inPng, inInfo));
    for (uint32_t y = 0; y < outImage.height; ++y) {
        png_read_row(inPng, aRow.data(), nullptr);
        for (size_t i = 0; i < static_cast<size_t>(outImage.width) * 3; ++i)
            outImage.samples.push_back(outImage.bits == 16 ? static_cast<uint16_t>(aRow[2 * i] << 8 | aRow[2 * i + 1])
                                                           : aRow[i]);
    }
    return true;
}

bool ReadPng(const std::string &inPath, ReadBack &outImage) {
    FILE *aFile = std::fopen(inPath.c_str(), "rb");
    if (aFile == nullptr) return false;
    png_structp aPng = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop aInfo = png_create_info_struct(aPng);
    bool aOk = ReadPngRows(aFile, aPng, aInfo, outImage);
    png_destroy_read_struct(&aPng, &aInfo, nullptr);
    std::fclose(aFile);
    return aOk;
}

struct Encoding {
    const char *name;
    bool png;
    ekv::TiffCompression compression;
    int pngLevel;
    bool eightBit;
};

const Encoding kEncodings[] = {
    {"tiff", false, ekv::TiffCompression::None, -1, false},
    {"tiff-deflate", false, ekv::TiffCompression::Deflate, -1, false},
    {"tiff-zstd", false, ekv::TiffCompression::Zstd, -1, false},
    {"tiff-lzw-8bit", false, ekv::TiffCompression::Lzw, -1, true},
    {"png", true, ekv::TiffCompression::None, -1, false},
    {"png-level9", true, ekv::TiffCompression::None, 9, false},
    {"png-8bit", true, ekv::TiffCompression::None, -1, true},
};

struct FileCase {
    const char *name;
    const char *arguments;
    int16 method;
    Point point;
};

const FileCase kFiles[] = {
    {"s-b10-le-rggb", "--width 262 --height 96", 2, {120, 160}},
    {"s-b12-be-bggr", "--width 1030 --height 60 --bits 12 --big-endian --pattern BGGR", 1, {60, 200}},
    {"s-b14-be-grbg", "--width 2090 --height 40 --bits 14 --big-endian --pattern GRBG", 0, {-1, -1}},
    {"s-b16-le-gbrg", "--width 342 --height 64 --bits 16 --pattern GBRG", 2, {-1, -1}},
    {"s-b8-gbrg", "--width 3026 --height 30 --bits 8 --pattern GBRG", 2, {239, 319}},
};

uint16_t Expected(const ekv::RgbImage &inDocument, size_t inIndex, bool inEightBit) {
    const size_t aRow = inIndex / (static_cast<size_t>(inDocument.width) * 3);
    const uint16_t aSample = aRow < static_cast<size_t>(inDocument.rowsDelivered) ? inDocument.samples[inIndex] : 0;
    if (!inEightBit || inDocument.depth == 8) return aSample;
    uint8_t aByte;
    ekv::ReduceRowTo8Bits(&aSample, &aByte, 1, ekv::EightBitCurve::Rounded);
    return aByte;
}

TEST(StreamedOutput, FilesEqualTheDocumentInMemory) {
    for (const FileCase &aFile : kFiles) {
        const std::string aPath = wholetest::MakeSample(aFile.name, aFile.arguments);
        const wholetest::Import aMemory = wholetest::RunImport(aPath, aFile.method, aFile.point, false);
        const ekv::RgbImage &aDocument = aMemory.result.image;
        for (const Encoding &aEncoding : kEncodings) {
            const std::string aCase = std::string(aFile.name) + " as " + aEncoding.name;
            const std::string aOut = wholetest::ScratchFolder() + "/" + aFile.name + "-" + aEncoding.name;
            ekv::EncoderOptions aOptions;
            aOptions.png = aEncoding.png;
            aOptions.tiffCompression = aEncoding.compression;
            aOptions.pngLevel = aEncoding.pngLevel;
            aOptions.eightBit = aEncoding.eightBit;
            ekv::StreamWriter aWriter(aOut, aOptions);
            const ekv::ImportResult aStreamed = wholetest::StreamImport(aPath, aFile.method, aFile.point, aWriter);
            ASSERT_EQ(aStreamed.status, ekv::ImportStatus::Ok) << aCase << ": " << aStreamed.detail;
            ASSERT_EQ(aStreamed.rowsStreamed, aDocument.rowsDelivered) << aCase;
            std::string aError;
            ASSERT_TRUE(aWriter.finish(aStreamed.rowsStreamed, aError)) << aCase << ": " << aError;

            ReadBack aBack;
            ASSERT_TRUE(aEncoding.png ? ReadPng(aOut, aBack) : ReadTiff(aOut, aBack)) << aCase;
            ASSERT_EQ(aBack.width, static_cast<uint32_t>(aDocument.width)) << aCase;
            ASSERT_EQ(aBack.height, static_cast<uint32_t>(aDocument.height)) << aCase;
            ASSERT_EQ(aBack.bits, aEncoding.eightBit ? 8u : static_cast<uint32_t>(aDocument.depth)) << aCase;
            ASSERT_EQ(aBack.samples.size(), aDocument.samples.size()) << aCase;
            size_t aDiffering = 0;
            for (size_t i = 0; i < aBack.samples.size(); ++i)
                aDiffering += aBack.samples[i] != Expected(aDocument, i, aEncoding.eightBit);
            EXPECT_EQ(aDiffering, 0u) << aCase;
        }
    }
}

// A write that fails part-way (the file-size limit of this process, as a full disk
// would) stops the import: the module is finished and cleaned up, nothing is left.
TEST(StreamedOutput, WriteErrorPartWayStopsTheImportAndLeavesNothing) {
    const std::string aPath = wholetest::MakeSample("s-write-error", "--width 1030 --height 300");
    const std::string aFolder = wholetest::ScratchFolder() + "/write-error";
    ::mkdir(aFolder.c_str(), 0755);
    {
        ekv::StreamWriter aWriter(aFolder + "/out.tif", ekv::EncoderOptions{});
        ekv::ImportResult aResult;
        // The limit applies to every file this process writes; held only for the import.
        struct rlimit aOld;
        ::getrlimit(RLIMIT_FSIZE, &aOld);
        struct rlimit aSmall = aOld;
        aSmall.rlim_cur = 100000;
        auto aPreviousHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &aSmall);
        aResult = wholetest::StreamImport(aPath, 2, {-1, -1}, aWriter);
        ::setrlimit(RLIMIT_FSIZE, &aOld);
        std::signal(SIGXFSZ, aPreviousHandler);
        EXPECT_EQ(aResult.status, ekv::ImportStatus::OutputFailed);
        EXPECT_LT(aResult.rowsStreamed, 280);
        EXPECT_NE(aWriter.error().find("File too large"), std::string::npos) << aWriter.error();
        std::string aError;
        EXPECT_FALSE(aWriter.finish(aResult.rowsStreamed, aError));
    }
    EXPECT_EQ(::rmdir(aFolder.c_str()), 0) << "files left in " << aFolder;
}

// An output that cannot be created stops the import before the first band.
TEST(StreamedOutput, UnwritableTargetStopsBeforeTheFirstBand) {
    const std::string aPath = wholetest::MakeSample("s-no-dir", "--width 262 --height 96");
    ekv::StreamWriter aWriter(wholetest::ScratchFolder() + "/no/such/dir/out.png", ekv::EncoderOptions{});
    const ekv::ImportResult aResult = wholetest::StreamImport(aPath, 0, {-1, -1}, aWriter);
    EXPECT_EQ(aResult.status, ekv::ImportStatus::OutputFailed);
    EXPECT_EQ(aResult.continueCalls, 0);
    EXPECT_FALSE(aWriter.error().empty());
}

}  // namespace
