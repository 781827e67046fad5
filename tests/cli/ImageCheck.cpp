// Reads PNG (libpng) and TIFF (libtiff) RGB images back for the ekv command-line tests.
//
//   ekv_imagecheck info FILE          -> "WIDTH HEIGHT BITS CHANNELS"
//   ekv_imagecheck stats FILE         -> "min max mean" over all samples
//   ekv_imagecheck pixel FILE X Y     -> "R G B"
//   ekv_imagecheck diff A B           -> one line "X Y inverted|changed" per differing pixel
//   ekv_imagecheck top A B            -> "CHANGED LIT": the rows of A (as wide as B, at most
//                                        as high) that differ from B's top rows, and the
//                                        rows of B below A's height that are not black
//   ekv_imagecheck reduce A16 B8      -> largest |round(a x 255 / 65535) - b| over all samples
//   ekv_imagecheck srgb A16 B8        -> the same for the sRGB-encoded 8-bit value of a
//   ekv_imagecheck profile FILE       -> "none", or the embedded ICC profile's description
//                                        and "linear" or "curved" (its red tone curve),
//                                        as LittleCMS reads it
#include <lcms2.h>
#include <png.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Image {
    unsigned width = 0, height = 0, bits = 0, channels = 0;
    std::vector<unsigned> samples;
};

// Opens a PNG with libpng's classic API, reads its header and calls inRead(png, info);
// false when the file cannot be opened or libpng fails.
template <typename Read>
bool WithPng(const char *inPath, Read inRead) {
    FILE *aIn = std::fopen(inPath, "rb");
    if (aIn == nullptr) return false;
    png_structp aPng = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop aInfo = png_create_info_struct(aPng);
    if (setjmp(png_jmpbuf(aPng))) {
        png_destroy_read_struct(&aPng, &aInfo, nullptr);
        std::fclose(aIn);
        return false;
    }
    png_init_io(aPng, aIn);
    png_read_info(aPng, aInfo);
    inRead(aPng, aInfo);
    png_destroy_read_struct(&aPng, &aInfo, nullptr);
    std::fclose(aIn);
    return true;
}

bool ReadPng(const char *inPath, Image &outImage) {
    png_image aImage;
    std::memset(&aImage, 0, sizeof aImage);
    aImage.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&aImage, inPath)) return false;
    // The simplified API gives the bit depth through the format's linear flag; read the
    // header ourselves for the stored depth.
    FILE *aFile = std::fopen(inPath, "rb");
    unsigned char aHeader[33];
    bool aOk = aFile != nullptr && std::fread(aHeader, 1, 33, aFile) == 33;
    if (aFile != nullptr) std::fclose(aFile);
    if (!aOk) return false;
    outImage.width = aImage.width;
    outImage.height = aImage.height;
    outImage.bits = aHeader[24];
    unsigned aColorType = aHeader[25];
    outImage.channels = aColorType == 2 ? 3 : aColorType == 6 ? 4 : aColorType == 0 ? 1 : aColorType == 4 ? 2 : 0;
    aImage.format = outImage.bits == 16 ? PNG_FORMAT_LINEAR_RGB : PNG_FORMAT_RGB;
    if (outImage.bits == 16) {
        // Linear reading would convert gamma; read raw rows with the classic API instead.
        png_image_free(&aImage);
        return WithPng(inPath, [&](png_structp inPng, png_infop inInfo) {
            size_t aRowBytes = png_get_rowbytes(inPng, inInfo);
            std::vector<unsigned char> aRow(aRowBytes);
            for (unsigned aY = 0; aY < outImage.height; ++aY) {
                png_read_row(inPng, aRow.data(), nullptr);
                for (size_t aIndex = 0; aIndex + 1 < aRowBytes; aIndex += 2)
                    outImage.samples.push_back(aRow[aIndex] << 8 | aRow[aIndex + 1]);
            }
        });
    }
    std::vector<unsigned char> aBytes(PNG_IMAGE_SIZE(aImage));
    if (!png_image_finish_read(&aImage, nullptr, aBytes.data(), 0, nullptr)) return false;
    outImage.samples.assign(aBytes.begin(), aBytes.end());
    return true;
}

bool ReadTiff(const char *inPath, Image &outImage) {
    TIFF *aTiff = TIFFOpen(inPath, "r");
    if (aTiff == nullptr) return false;
    uint32_t aWidth = 0, aHeight = 0;
    uint16_t aBits = 0, aChannels = 0, aPlanar = 1;
    TIFFGetField(aTiff, TIFFTAG_IMAGEWIDTH, &aWidth);
    TIFFGetField(aTiff, TIFFTAG_IMAGELENGTH, &aHeight);
    TIFFGetFieldDefaulted(aTiff, TIFFTAG_BITSPERSAMPLE, &aBits);
    TIFFGetFieldDefaulted(aTiff, TIFFTAG_SAMPLESPERPIXEL, &aChannels);
    TIFFGetFieldDefaulted(aTiff, TIFFTAG_PLANARCONFIG, &aPlanar);
    outImage.width = aWidth;
    outImage.height = aHeight;
    outImage.bits = aBits;
    outImage.channels = aChannels;
    if (aPlanar != PLANARCONFIG_CONTIG || (aBits != 8 && aBits != 16)) {
        TIFFClose(aTiff);
        return false;
    }
    std::vector<unsigned char> aRow(TIFFScanlineSize(aTiff));
    for (uint32_t aY = 0; aY < aHeight; ++aY) {
        if (TIFFReadScanline(aTiff, aRow.data(), aY, 0) < 0) {
            TIFFClose(aTiff);
            return false;
        }
        size_t aCount = static_cast<size_t>(aWidth) * aChannels;
        for (size_t aIndex = 0; aIndex < aCount; ++aIndex) {
            if (aBits == 16) {
                uint16_t aValue;
                std::memcpy(&aValue, &aRow[2 * aIndex], 2);
                outImage.samples.push_back(aValue);
            } else {
                outImage.samples.push_back(aRow[aIndex]);
            }
        }
    }
    TIFFClose(aTiff);
    return true;
}

bool Read(const char *inPath, Image &outImage) {
    FILE *aFile = std::fopen(inPath, "rb");
    unsigned char aMagic[4] = {0};
    if (aFile == nullptr) return false;
    size_t aGot = std::fread(aMagic, 1, 4, aFile);
    std::fclose(aFile);
    if (aGot == 4 && aMagic[0] == 0x89 && aMagic[1] == 'P') return ReadPng(inPath, outImage);
    if (aGot == 4 && (aMagic[0] == 'I' || aMagic[0] == 'M')) return ReadTiff(inPath, outImage);
    return false;
}

// The embedded ICC profile's bytes (TIFF tag 34675 or PNG iCCP); false when unreadable.
bool ReadProfile(const char *inPath, std::vector<unsigned char> &outProfile) {
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandler(nullptr);
    if (TIFF *aTiff = TIFFOpen(inPath, "r")) {
        uint32_t aSize = 0;
        void *aData = nullptr;
        if (TIFFGetField(aTiff, TIFFTAG_ICCPROFILE, &aSize, &aData) && aData != nullptr)
            outProfile.assign(static_cast<unsigned char *>(aData), static_cast<unsigned char *>(aData) + aSize);
        TIFFClose(aTiff);
        return true;
    }
    return WithPng(inPath, [&](png_structp inPng, png_infop inInfo) {
        png_charp aName = nullptr;
        int aCompression = 0;
        png_bytep aData = nullptr;
        png_uint_32 aSize = 0;
        if (png_get_iCCP(inPng, inInfo, &aName, &aCompression, &aData, &aSize)) outProfile.assign(aData, aData + aSize);
    });
}

int PrintProfile(const char *inPath) {
    std::vector<unsigned char> aBytes;
    if (!ReadProfile(inPath, aBytes)) return 1;
    if (aBytes.empty()) {
        std::printf("none\n");
        return 0;
    }
    cmsHPROFILE aProfile = cmsOpenProfileFromMem(aBytes.data(), static_cast<cmsUInt32Number>(aBytes.size()));
    if (aProfile == nullptr) {
        std::printf("unparsable\n");
        return 1;
    }
    char aDescription[128] = "";
    cmsGetProfileInfoASCII(aProfile, cmsInfoDescription, "en", "US", aDescription, sizeof aDescription);
    auto *aCurve = static_cast<cmsToneCurve *>(cmsReadTag(aProfile, cmsSigRedTRCTag));
    bool aRgb = cmsGetColorSpace(aProfile) == cmsSigRgbData;
    std::printf("%s %s%s\n", aDescription,
                aCurve == nullptr              ? "nocurve"
                : cmsIsToneCurveLinear(aCurve) ? "linear"
                                               : "curved",
                aRgb ? "" : " not-rgb");
    cmsCloseProfile(aProfile);
    return 0;
}

long SrgbCode(unsigned inLinear) {
    double aValue = inLinear / 65535.0;
    return std::lround(255.0 * (aValue <= 0.0031308 ? 12.92 * aValue : 1.055 * std::pow(aValue, 1 / 2.4) - 0.055));
}

int Usage() {
    std::fprintf(stderr,
                 "usage: ekv_imagecheck info|stats|profile FILE | pixel FILE X Y | diff A B | reduce|srgb A16 B8\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) return Usage();
    std::string aCommand = argv[1];
    if (aCommand == "profile") return PrintProfile(argv[2]);
    Image aA;
    if (!Read(argv[2], aA)) {
        std::fprintf(stderr, "ekv_imagecheck: cannot read %s\n", argv[2]);
        return 1;
    }
    if (aCommand == "info") {
        std::printf("%u %u %u %u\n", aA.width, aA.height, aA.bits, aA.channels);
        return 0;
    }
    if (aCommand == "stats") {
        unsigned aMin = ~0u, aMax = 0;
        double aSum = 0;
        for (unsigned aValue : aA.samples) {
            aMin = aValue < aMin ? aValue : aMin;
            aMax = aValue > aMax ? aValue : aMax;
            aSum += aValue;
        }
        std::printf("%u %u %.1f\n", aMin, aMax, aA.samples.empty() ? 0.0 : aSum / aA.samples.size());
        return 0;
    }
    if (aCommand == "pixel" && argc == 5) {
        unsigned aX = std::atoi(argv[3]), aY = std::atoi(argv[4]);
        if (aX >= aA.width || aY >= aA.height) return 1;
        size_t aBase = (static_cast<size_t>(aY) * aA.width + aX) * aA.channels;
        for (unsigned aC = 0; aC < aA.channels; ++aC) std::printf(aC ? " %u" : "%u", aA.samples[aBase + aC]);
        std::printf("\n");
        return 0;
    }
    if (aCommand == "top" && argc == 4) {
        Image aB;
        if (!Read(argv[3], aB)) {
            std::fprintf(stderr, "ekv_imagecheck: cannot read %s\n", argv[3]);
            return 1;
        }
        if (aA.width != aB.width || aA.height > aB.height || aA.channels != aB.channels || aA.bits != aB.bits) {
            std::printf("size differs\n");
            return 1;
        }
        const size_t aRow = static_cast<size_t>(aA.width) * aA.channels;
        unsigned aChanged = 0, aLit = 0;
        for (unsigned aY = 0; aY < aB.height; ++aY) {
            const unsigned *aRowB = aB.samples.data() + aY * aRow;
            if (aY < aA.height)
                aChanged += !std::equal(aRowB, aRowB + aRow, aA.samples.data() + aY * aRow);
            else
                aLit += std::any_of(aRowB, aRowB + aRow, [](unsigned aValue) { return aValue != 0; });
        }
        std::printf("%u %u\n", aChanged, aLit);
        return 0;
    }
    if ((aCommand == "diff" || aCommand == "reduce" || aCommand == "srgb") && argc == 4) {
        Image aB;
        if (!Read(argv[3], aB)) {
            std::fprintf(stderr, "ekv_imagecheck: cannot read %s\n", argv[3]);
            return 1;
        }
        if (aA.width != aB.width || aA.height != aB.height || aA.channels != aB.channels) {
            std::printf("size differs\n");
            return 1;
        }
        if (aCommand == "reduce" || aCommand == "srgb") {
            long aWorst = 0;
            for (size_t aIndex = 0; aIndex < aA.samples.size(); ++aIndex) {
                long aExpected = aCommand == "srgb" ? SrgbCode(aA.samples[aIndex])
                                                    : std::lround(aA.samples[aIndex] * 255.0 / 65535.0);
                long aDiff = std::labs(aExpected - static_cast<long>(aB.samples[aIndex]));
                aWorst = aDiff > aWorst ? aDiff : aWorst;
            }
            std::printf("%ld\n", aWorst);
            return 0;
        }
        unsigned aMax = aA.bits == 16 ? 65535 : 255;
        for (unsigned aY = 0; aY < aA.height; ++aY)
            for (unsigned aX = 0; aX < aA.width; ++aX) {
                size_t aBase = (static_cast<size_t>(aY) * aA.width + aX) * aA.channels;
                bool aSame = true, aInverted = true;
                for (unsigned aC = 0; aC < aA.channels; ++aC) {
                    aSame = aSame && aA.samples[aBase + aC] == aB.samples[aBase + aC];
                    aInverted = aInverted && aA.samples[aBase + aC] + aB.samples[aBase + aC] == aMax;
                }
                if (!aSame) std::printf("%u %u %s\n", aX, aY, aInverted ? "inverted" : "changed");
            }
        return 0;
    }
    return Usage();
}
