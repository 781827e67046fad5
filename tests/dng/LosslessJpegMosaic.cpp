// Writes a lossless-JPEG DNG of a made-up mosaic, and the same samples as the 16-bit PGM
// that `dcraw -D -4` gives, so that a decoder other than ours can be checked against it
// on content a camera file rarely has:
//
//   dng_ljpeg_mosaic OUT.dng OUT.pgm
//
// The mosaic is 600 x 300 samples of 16 bits, so tiles are cut at the right and bottom.
// In the first tile (256 x 256) each component's differences have the categories 1..16
// 1, 2, 3, 5, 8, ... times (Fibonacci) and category 0 the rest: the optimal Huffman code
// for that is 17 bits deep and has to be limited to 16. The other tiles hold uniform
// noise (every category, many 0xFF bytes to stuff).
#include <fcntl.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <random>
#include <vector>

#include "dng/DngWriter.h"

namespace {

constexpr uint32_t kWidth = 600, kHeight = 300, kTile = 256;

std::vector<uint16_t> MakeMosaic() {
    std::mt19937 aRandom(22);
    std::vector<uint16_t> aMosaic(static_cast<size_t>(kWidth) * kHeight);
    for (uint16_t &aSample : aMosaic) aSample = static_cast<uint16_t>(aRandom());
    // The first tile's categories, for each component in a shuffled order.
    std::vector<int> aCategories[2];
    for (std::vector<int> &aList : aCategories) {
        for (int c = 1, a = 1, b = 2; c <= 16; ++c, b = a + b, a = b - a) aList.insert(aList.end(), a, c);
        aList.resize(kTile * kTile / 2, 0);
        std::shuffle(aList.begin(), aList.end(), aRandom);
    }
    // Samples made from those differences under the encoder's prediction: the sample two
    // columns left, the one above in the first two columns, 2^15 to start.
    size_t aNext[2] = {0, 0};
    for (uint32_t y = 0; y < kTile; ++y)
        for (uint32_t x = 0; x < kTile; ++x) {
            uint16_t *aSample = &aMosaic[static_cast<size_t>(y) * kWidth + x];
            uint16_t aPrediction = x >= 2 ? aSample[-2] : y > 0 ? aSample[-static_cast<ptrdiff_t>(kWidth)] : 0x8000;
            int aCategory = aCategories[x & 1][aNext[x & 1]++];
            int aDifference = aCategory == 0 ? 0 : (aRandom() & 1 ? 1 : -1) * (1 << (aCategory - 1));
            *aSample = static_cast<uint16_t>(aPrediction + aDifference);
        }
    return aMosaic;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: dng_ljpeg_mosaic OUT.dng OUT.pgm\n");
        return 2;
    }
    const std::vector<uint16_t> aMosaic = MakeMosaic();
    dng::DngDescription aDng;
    aDng.raw.compression = dng::MosaicCompression::LosslessJpeg;
    aDng.raw.width = kWidth;
    aDng.raw.height = kHeight;
    aDng.raw.cropOrigin[0] = aDng.raw.cropOrigin[1] = 2;
    aDng.raw.cropSize[0] = kWidth - 4;
    aDng.raw.cropSize[1] = kHeight - 4;
    aDng.identity.make = "Karvex";
    aDng.identity.model = "Test";
    aDng.identity.uniqueCameraModel = "Karvex Test";
    auto aRows = [&](uint32_t inFirst, uint32_t inCount, std::vector<uint16_t> &outRows, std::string &) {
        outRows.assign(aMosaic.begin() + static_cast<size_t>(inFirst) * kWidth,
                       aMosaic.begin() + static_cast<size_t>(inFirst + inCount) * kWidth);
        return true;
    };
    std::string aError;
    int aFd = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (aFd < 0 || !dng::WriteDng(aFd, argv[1], aDng, aRows, aError)) {
        std::fprintf(stderr, "dng_ljpeg_mosaic: cannot write %s: %s\n", argv[1], aError.c_str());
        return 1;
    }
    FILE *aPgm = std::fopen(argv[2], "wb");
    if (aPgm == nullptr) return 1;
    std::fprintf(aPgm, "P5\n%u %u\n65535\n", kWidth, kHeight);
    for (uint16_t aSample : aMosaic) {
        const unsigned char aBytes[2] = {static_cast<unsigned char>(aSample >> 8), static_cast<unsigned char>(aSample)};
        std::fwrite(aBytes, 1, 2, aPgm);
    }
    return std::fclose(aPgm) == 0 ? 0 : 1;
}
