// Writes the seed corpora of the fuzz targets with the EKV writer: small files in every
// byte order and sample width, several strip layouts, with and without maker note and
// thumbnail (and, for dng, each with a crafted image length). Usage: karvex_fuzz_seeds DIR
// (makes DIR/header, DIR/import, DIR/strip, DIR/dng).
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "ekvwriter/EkvWriter.h"
#include "ekvwriter/Jpeg.h"

namespace {

bool Save(const std::filesystem::path &inPath, const std::vector<uint8_t> &inBytes) {
    std::string aError;
    if (ekvwriter::SaveFile(inPath.string(), inBytes, aError)) return true;
    std::fprintf(stderr, "karvex_fuzz_seeds: %s\n", aError.c_str());
    return false;
}

void Put32(std::vector<uint8_t> &ioBytes, uint32_t inValue) {
    for (int i = 0; i < 4; ++i) ioBytes.push_back(static_cast<uint8_t>(inValue >> (8 * i)));
}

// A copy of a written file whose IFD0 ImageLength is the LONG 0x7FFFFFFF: a header whose
// strips cannot hold its mosaic, for the dng target's corpus.
std::vector<uint8_t> WithCraftedLength(std::vector<uint8_t> inBytes, bool inBig) {
    auto aPut = [&](size_t inAt, uint32_t inValue, int inSize) {
        for (int i = 0; i < inSize; ++i)
            inBytes[inAt + static_cast<size_t>(i)] =
                static_cast<uint8_t>(inValue >> (8 * (inBig ? inSize - 1 - i : i)));
    };
    auto aGet16 = [&](size_t inAt) {
        return inBig ? (inBytes[inAt] << 8 | inBytes[inAt + 1]) : (inBytes[inAt] | inBytes[inAt + 1] << 8);
    };
    const size_t aCount = static_cast<size_t>(aGet16(8));
    for (size_t i = 0; i < aCount && 10 + 12 * i + 12 <= inBytes.size(); ++i) {
        const size_t aEntry = 10 + 12 * i;
        if (aGet16(aEntry) != 257) continue;
        aPut(aEntry + 2, 4, 2);
        aPut(aEntry + 4, 1, 4);
        aPut(aEntry + 8, 0x7FFFFFFF, 4);
    }
    return inBytes;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: karvex_fuzz_seeds DIR\n");
        return 2;
    }
    const std::filesystem::path aDir = argv[1];
    for (const char *aSub : {"header", "import", "strip", "dng"}) std::filesystem::create_directories(aDir / aSub);

    const int32_t W = 24, H = 36;
    ekvwriter::RgbImage aThumb{8, 6, std::vector<uint8_t>(8 * 6 * 3)};
    for (size_t i = 0; i < aThumb.rgb.size(); ++i) aThumb.rgb[i] = static_cast<uint8_t>(i * 11);
    const std::vector<uint8_t> aJpeg = ekvwriter::EncodeJpeg(aThumb, 50);

    int aCount = 0;
    for (uint16_t aEndian : {uint16_t(kRAW_LittleEndian), uint16_t(kRAW_BigEndian)})
        for (int aBits : {8, 10, 12, 16})
            for (int aLayout = 0; aLayout < 4; ++aLayout)
                for (int aExtras = 0; aExtras < 4; ++aExtras) {
                    ekvwriter::WriteOptions o;
                    o.info = ekvwriter::DefaultInfo(aEndian);
                    o.info.image_width = W;
                    o.info.image_length = H;
                    o.info.output_image_width = W - 4;
                    o.info.output_image_height = H - 4;
                    o.info.valid_bits_per_pixel[0] = static_cast<int16>(aBits);
                    o.info.valid_bits_per_pixel[1] = static_cast<int16>(aBits == 12 ? 2 : 0);
                    o.info.wb_gain_gr = ekvwriter::GainWordFor(1.5);
                    o.info.wb_gain_gb = ekvwriter::GainWordFor(1.25);
                    o.info.tone_mode = static_cast<int16>(aLayout);
                    o.info.enhancer = 128;
                    for (int i = 0; i < 3; ++i) o.info.color_matrix[4 * i] = 256;
                    const int aSample = ekvwriter::BytesPerSample(aBits);
                    const uint32_t aStream = static_cast<uint32_t>(W * H * aSample);
                    switch (aLayout) {
                        case 0: o.info.raw_per_strip = H; break;  // one strip
                        case 1: o.info.raw_per_strip = 8; break;  // whole rows
                        case 2:
                            o.stripBytes = {aStream / 3 + 7, aStream / 3 - 5, aStream - 2 * (aStream / 3) - 2};
                            break;
                        default:  // out of order, with gaps
                            o.info.raw_per_strip = 6;
                            o.stripOrder = {5, 4, 3, 2, 1, 0};
                            o.stripGap = 6;
                            break;
                    }
                    o.makerNote = (aExtras & 1) == 0;
                    if ((aExtras & 2) == 0) o.thumbnailJpeg = aJpeg;
                    std::vector<uint16_t> aMosaic(static_cast<size_t>(W) * H);
                    const uint32_t aMax = (1u << aBits) - 1;
                    for (size_t i = 0; i < aMosaic.size(); ++i)
                        aMosaic[i] = static_cast<uint16_t>((i * 2654435761u >> 7) & aMax);
                    ekvwriter::WriteResult r = ekvwriter::WriteEkv(aMosaic, o);
                    if (!r.ok) {
                        std::fprintf(stderr, "karvex_fuzz_seeds: %s\n", r.error.c_str());
                        return 1;
                    }
                    const std::string aName = std::string(aEndian == kRAW_BigEndian ? "mm" : "ii") + "_" +
                                              std::to_string(aBits) + "_l" + std::to_string(aLayout) + "_x" +
                                              std::to_string(aExtras) + ".ekv";
                    std::vector<uint8_t> aImport = {static_cast<uint8_t>(aCount % 3),
                                                    static_cast<uint8_t>(aCount % 2 ? 0xFF : 40), 60};
                    aImport.insert(aImport.end(), r.bytes.begin(), r.bytes.end());
                    // The strip target: table, width, bits, offset, byte order, rows, first row, file.
                    std::vector<uint8_t> aStrip;
                    for (int k = 0; k < kRAW_MaxStrips; ++k)
                        Put32(aStrip, static_cast<uint32_t>(r.info.strip_offsets[k]));
                    for (int k = 0; k < kRAW_MaxStrips; ++k)
                        Put32(aStrip, static_cast<uint32_t>(r.info.strip_byte_count[k]));
                    aStrip.push_back(static_cast<uint8_t>(W));
                    aStrip.push_back(0);
                    aStrip.push_back(static_cast<uint8_t>(aBits));
                    aStrip.push_back(static_cast<uint8_t>(o.info.valid_bits_per_pixel[1]));
                    aStrip.push_back(aEndian == kRAW_BigEndian ? 1 : 0);
                    aStrip.push_back(static_cast<uint8_t>(10 + aLayout * 5));
                    Put32(aStrip, static_cast<uint32_t>(aLayout * 7));
                    aStrip.insert(aStrip.end(), r.bytes.begin(), r.bytes.end());
                    if (!Save(aDir / "header" / aName, r.bytes) || !Save(aDir / "import" / aName, aImport) ||
                        !Save(aDir / "strip" / aName, aStrip) || !Save(aDir / "dng" / aName, r.bytes) ||
                        !Save(aDir / "dng" / ("long_" + aName), WithCraftedLength(r.bytes, aEndian == kRAW_BigEndian)))
                        return 1;
                    ++aCount;
                }
    std::printf("karvex_fuzz_seeds: %d files in each of %s/{header,import,strip,dng}\n", aCount, aDir.string().c_str());
    return 0;
}
