// ekv-make: writes EKV raw files of a procedural test chart ("sample") or of one value
// per CFA colour ("flat"), in the camera's default format or any variation of it.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "dng/DngCamera.h"
#include "ekvwriter/EkvWriter.h"
#include "ekvwriter/Jpeg.h"
#include "ekvwriter/Scene.h"
#include "rawfile/EkvTags.h"

namespace {

const char kUsage[] =
    "Usage: ekv-make sample -o FILE [options]\n"
    "   or: ekv-make flat -o FILE [--value V | --value R,GR,GB,B] [options]\n"
    "   or: ekv-make --help\n"
    "   or: ekv-make --version\n"
    "\n"
    "sample writes a test chart (colour patches, grey ramp and steps, a radial star,\n"
    "colour gradients) as the camera would record it; flat writes one raw value per CFA\n"
    "colour without noise. Defaults are the camera's: sensor 2256x1684, 10 valid bits,\n"
    "output 2240x1680, little-endian, RGGB, 15 strips (14 of 116 rows and one of 60).\n"
    "\n"
    "format:\n"
    "  --width W --height H   sensor size (even, at least 8x8)\n"
    "  --output WxH           output size (default: sensor width - 16 x height - 4)\n"
    "  --bits N               valid bits 1..16; 8 or fewer store 1-byte samples\n"
    "  --bit-offset N         bit offset of the valid bits in 2-byte samples (default 0)\n"
    "  --big-endian, --little-endian\n"
    "  --pattern P            RGGB, GRBG, GBRG or BGGR\n"
    "  --strips N             1..15 strips of equal rows (the last one shorter)\n"
    "  --rows-per-strip N     rows per strip (default 116, more above 1740 rows)\n"
    "  --no-exif              no Exif IFD (and so no CFA pattern and no maker note)\n"
    "  --no-makernote         Exif IFD without the maker note\n"
    "  --no-thumbnail         no thumbnail IFD\n"
    "  --thumbnail WxH        thumbnail size (default 320x240)\n"
    "  --quality Q            thumbnail JPEG quality 1..100 (default 85)\n"
    "settings (defaults scale with --bits; shown for 10 bits):\n"
    "  --black N|R,GR,GB,B    optical black levels (16)\n"
    "  --wb-red G, --wb-blue G  white-balance gains (1.75, 1.5), stored as 256 x round(G*64)\n"
    "  --wb-gr HI,LO, --wb-gb HI,LO  gain word halves as stored\n"
    "  --matrix M1,...,M9     colour matrix in 1/256 (300,-28,-16,-20,296,-20,-12,-40,308)\n"
    "  --tone-mode N (1)  --enhancer N (256)  --coring N (384)  --sharpness N (0)\n"
    "  --chroma K1,K2,K3,K4,G1,G2  chroma suppression (48,1023,800,1023,4,256)\n"
    "  --exposure X           scene white at this fraction of the range (0.92)\n"
    "  --noise X              noise scale, 0 for none (1)\n"
    "camera tags (none by default):\n"
    "  --model TEXT --artist TEXT --copyright TEXT   IFD0 text tags\n"
    "  --datetime 'YYYY:MM:DD HH:MM:SS'  IFD0 DateTime and Exif DateTimeOriginal\n"
    "  --iso N  --exposure-time N/D  --f-number N/D  --focal-length N/D   Exif values\n"
    "also:\n"
    "  --dng FILE             write the same mosaic as a plain DNG as well (uncompressed\n"
    "                         CFA, black and white levels, CFA pattern, the camera's white\n"
    "                         balance and colour matrix), for other raw converters\n";

int Fail(const std::string &inMessage) {
    std::fprintf(stderr, "ekv-make: %s\n", inMessage.c_str());
    return 2;
}

// The mosaic as a DNG, described from the record the module's reader makes of the EKV
// file: exactly the samples an import reads, with the camera's settings.
bool SaveDng(const std::string &inPath, const std::vector<uint16_t> &inMosaic, const RAW_Info &inInfo,
             std::string &outError) {
    dng::DngDescription aDng;
    std::vector<std::string> aNotes;
    dng::DescribeCamera(inInfo, aDng, aNotes);
    for (const std::string &aNote : aNotes)
        std::fprintf(stderr, "ekv-make: %s: note: %s\n", inPath.c_str(), aNote.c_str());
    aDng.identity.make = "Karvex";
    aDng.identity.uniqueCameraModel = "Karvex EKV";
    aDng.identity.software = "ekv-make";
    int aFd = open(inPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (aFd < 0) {
        outError = inPath + ": " + std::strerror(errno);
        return false;
    }
    const size_t aWidth = aDng.raw.width;
    auto aRows = [&](uint32_t inFirst, uint32_t inCount, std::vector<uint16_t> &outRows, std::string &) {
        outRows.assign(inMosaic.begin() + inFirst * aWidth, inMosaic.begin() + (inFirst + inCount) * aWidth);
        return true;
    };
    if (dng::WriteDng(aFd, inPath, aDng, aRows, outError)) return true;
    outError = inPath + ": " + outError;
    unlink(inPath.c_str());
    return false;
}

bool ParseInt(const std::string &inText, long inMin, long inMax, long &outValue) {
    if (inText.empty()) return false;
    char *aEnd = nullptr;
    long v = std::strtol(inText.c_str(), &aEnd, 10);
    if (*aEnd != 0 || v < inMin || v > inMax) return false;
    outValue = v;
    return true;
}

bool ParseReal(const std::string &inText, double inMin, double inMax, double &outValue) {
    if (inText.empty()) return false;
    char *aEnd = nullptr;
    double v = std::strtod(inText.c_str(), &aEnd);
    if (*aEnd != 0 || !(v >= inMin && v <= inMax)) return false;
    outValue = v;
    return true;
}

bool ParseList(const std::string &inText, size_t inCount, long inMin, long inMax, std::vector<long> &outValues) {
    std::vector<long> aValues;
    std::stringstream aStream(inText);
    std::string aItem;
    while (std::getline(aStream, aItem, ',')) {
        long v;
        if (!ParseInt(aItem, inMin, inMax, v)) return false;
        aValues.push_back(v);
    }
    if (aValues.size() != inCount || (!inText.empty() && inText.back() == ',')) return false;
    outValues = aValues;
    return true;
}

bool ParseSize(const std::string &inText, long &outW, long &outH) {
    size_t x = inText.find('x');
    return x != std::string::npos && ParseInt(inText.substr(0, x), 1, 65535, outW) &&
           ParseInt(inText.substr(x + 1), 1, 65535, outH);
}

}  // namespace

// The camera's standard tags given on the command line, as extra directory entries;
// an error message, or empty.
std::string AddCameraTags(std::map<std::string, std::string> &inValues, ekvwriter::WriteOptions &ioOptions) {
    using ekvwriter::Directory;
    const std::pair<const char *, uint16_t> aTexts[] = {
        {"--model", kRAW_Tag_Model}, {"--artist", kRAW_Tag_Artist}, {"--copyright", kRAW_Tag_Copyright}};
    for (const auto &[aName, aTag] : aTexts)
        if (inValues.count(aName))
            ioOptions.extraTags.push_back({Directory::IFD0, ekvwriter::TextTag(aTag, inValues[aName])});
    if (inValues.count("--datetime")) {
        ioOptions.extraTags.push_back({Directory::IFD0, ekvwriter::TextTag(kRAW_Tag_DateTime, inValues["--datetime"])});
        ioOptions.extraTags.push_back(
            {Directory::Exif, ekvwriter::TextTag(kRAW_Tag_DateTimeOriginal, inValues["--datetime"])});
    }
    long aIso = 0;
    if (inValues.count("--iso") && !ParseInt(inValues["--iso"], 1, 65535, aIso))
        return "bad value for --iso: expected 1..65535";
    if (aIso != 0) ioOptions.extraTags.push_back({Directory::Exif, {kRAW_Tag_ISOSpeedRatings, kTIFF_SHORT, {aIso}}});
    const std::pair<const char *, uint16_t> aRationals[] = {{"--exposure-time", kRAW_Tag_ExposureTime},
                                                            {"--f-number", kRAW_Tag_FNumber},
                                                            {"--focal-length", kRAW_Tag_FocalLength}};
    for (const auto &[aName, aTag] : aRationals) {
        if (!inValues.count(aName)) continue;
        const std::string &aText = inValues[aName];
        size_t aSlash = aText.find('/');
        long aNumerator = 0, aDenominator = 0;
        if (aSlash == std::string::npos || !ParseInt(aText.substr(0, aSlash), 0, 0xFFFFFFFFL, aNumerator) ||
            !ParseInt(aText.substr(aSlash + 1), 1, 0xFFFFFFFFL, aDenominator))
            return std::string("bad value for ") + aName + ": expected N/D";
        ioOptions.extraTags.push_back(
            {Directory::Exif, ekvwriter::RationalTag(aTag, uint32_t(aNumerator), uint32_t(aDenominator))});
    }
    return {};
}

int main(int argc, char **argv) {
    std::vector<std::string> aArgs(argv + 1, argv + argc);
    for (const std::string &a : aArgs)
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--version") {
            std::printf("ekv-make %s\n", EKV_VERSION);
            return 0;
        }
    if (aArgs.empty()) return Fail("no command given (sample or flat); see --help");
    const std::string aCommand = aArgs[0];
    if (aCommand != "sample" && aCommand != "flat")
        return Fail("unknown command '" + aCommand + "'; expected sample or flat");

    // Options taking a value, and flags.
    std::map<std::string, std::string> aValues;
    std::map<std::string, bool> aFlags;
    const char *aValued[] = {"-o",           "--width",         "--height",    "--output",         "--bits",
                             "--bit-offset", "--pattern",       "--strips",    "--rows-per-strip", "--thumbnail",
                             "--quality",    "--black",         "--wb-red",    "--wb-blue",        "--wb-gr",
                             "--wb-gb",      "--matrix",        "--tone-mode", "--enhancer",       "--coring",
                             "--sharpness",  "--chroma",        "--exposure",  "--noise",          "--value",
                             "--dng",        "--model",         "--artist",    "--copyright",      "--datetime",
                             "--iso",        "--exposure-time", "--f-number",  "--focal-length"};
    const char *aFlagNames[] = {"--big-endian", "--little-endian", "--no-exif", "--no-makernote", "--no-thumbnail"};
    for (size_t i = 1; i < aArgs.size(); ++i) {
        const std::string &a = aArgs[i];
        bool aKnown = false;
        for (const char *f : aFlagNames)
            if (a == f) aFlags[a] = aKnown = true;
        for (const char *v : aValued)
            if (a == v) {
                if (i + 1 >= aArgs.size()) return Fail("option " + a + " needs a value");
                aValues[a] = aArgs[++i];
                aKnown = true;
            }
        if (!aKnown) return Fail("unknown option '" + a + "'; see --help");
    }
    if (!aValues.count("-o")) return Fail("no output file given (-o FILE)");
    if (aFlags["--big-endian"] && aFlags["--little-endian"]) return Fail("--big-endian and --little-endian both given");
    if (aCommand != "flat" && aValues.count("--value")) return Fail("--value applies to flat only");
    auto has = [&](const char *inName) { return aValues.count(inName) > 0; };
    auto integer = [&](const char *inName, long inMin, long inMax, long &ioValue) {
        if (!has(inName)) return true;
        return ParseInt(aValues[inName], inMin, inMax, ioValue);
    };
    auto bad = [&](const char *inName, const std::string &inWhat) {
        return Fail("bad value '" + aValues[inName] + "' for " + inName + ": expected " + inWhat);
    };

    ekvwriter::WriteOptions aOptions;
    RAW_Info &aInfo = aOptions.info;
    aInfo = ekvwriter::DefaultInfo(aFlags["--big-endian"] ? kRAW_BigEndian : kRAW_LittleEndian);

    long aWidth = 2256, aHeight = 1684, aBits = 10, aBitOffset = 0;
    if (!integer("--width", 8, 32766, aWidth) || aWidth % 2) return bad("--width", "an even number 8..32766");
    if (!integer("--height", 8, 32766, aHeight) || aHeight % 2) return bad("--height", "an even number 8..32766");
    if (!integer("--bits", 1, 16, aBits)) return bad("--bits", "1..16");
    if (!integer("--bit-offset", 0, 15, aBitOffset)) return bad("--bit-offset", "0..15");
    if (aBits > 8 && aBits + aBitOffset > 16) return Fail("--bits plus --bit-offset exceed 16");
    if (aBits <= 8 && aBitOffset != 0) return Fail("--bit-offset applies to 2-byte samples (more than 8 bits) only");
    long aOutW = aWidth - 16, aOutH = aHeight - 4;
    if (has("--output") && !ParseSize(aValues["--output"], aOutW, aOutH)) return bad("--output", "WxH");
    if (aOutW < 1 || aOutH < 1 || aOutW + 3 > aWidth || aOutH + 4 > aHeight)
        return Fail("output " + std::to_string(aOutW) + "x" + std::to_string(aOutH) +
                    " does not fit the sensor: it needs at least 3 more columns and 4 more rows");
    aInfo.image_width = int32(aWidth);
    aInfo.image_length = int32(aHeight);
    aInfo.output_image_width = int32(aOutW);
    aInfo.output_image_height = int32(aOutH);
    aInfo.valid_bits_per_pixel[0] = int16(aBits);
    aInfo.valid_bits_per_pixel[1] = int16(aBitOffset);
    aInfo.bit_per_sample = int16(ekvwriter::BytesPerSample(int(aBits)) * 8);

    if (has("--pattern")) {
        const std::map<std::string, std::vector<uint8_t>> aPatterns = {
            {"RGGB", {0, 1, 1, 2}}, {"GRBG", {1, 0, 2, 1}}, {"GBRG", {1, 2, 0, 1}}, {"BGGR", {2, 1, 1, 0}}};
        auto it = aPatterns.find(aValues["--pattern"]);
        if (it == aPatterns.end()) return bad("--pattern", "RGGB, GRBG, GBRG or BGGR");
        for (int i = 0; i < 4; ++i) aInfo.cfa_pattern.value[i] = it->second[i];
    }

    // 116 rows per strip, or as many more as keep a tall sensor within 15 strips.
    long aRowsPerStrip = std::max(116L, (aHeight + 14) / 15);
    if (has("--strips") && has("--rows-per-strip")) return Fail("--strips and --rows-per-strip both given");
    if (has("--strips")) {
        long aStrips;
        if (!integer("--strips", 1, 15, aStrips)) return bad("--strips", "1..15");
        if (aStrips > aHeight) return Fail("more strips than rows");
        aRowsPerStrip = (aHeight + aStrips - 1) / aStrips;
    }
    if (!integer("--rows-per-strip", 1, aHeight, aRowsPerStrip)) return bad("--rows-per-strip", "1..height");
    if ((aHeight + aRowsPerStrip - 1) / aRowsPerStrip > 15)
        return Fail(std::to_string(aRowsPerStrip) + " rows per strip make more than 15 strips");
    aInfo.raw_per_strip = int32(aRowsPerStrip);

    // Camera settings, scaled from their 10-bit values.
    const double aScale = std::ldexp(1.0, int(aBits) - 10);
    const long aMax = (1L << aBits) - 1;
    auto scaled = [&](double inTenBit) { return long(std::lround(inTenBit * aScale)); };
    std::vector<long> aBlack(4, scaled(16));
    if (has("--black")) {
        long v;
        if (ParseInt(aValues["--black"], 0, aMax, v))
            aBlack.assign(4, v);
        else if (!ParseList(aValues["--black"], 4, 0, aMax, aBlack))
            return bad("--black", "N or R,GR,GB,B within the valid bits");
    }
    for (int i = 0; i < 4; ++i) aInfo.optical_black[i] = int16(aBlack[i]);

    double aRedGain = 1.75, aBlueGain = 1.5;
    if (has("--wb-red") && !ParseReal(aValues["--wb-red"], 0.0, 511.0, aRedGain))
        return bad("--wb-red", "a gain 0..511");
    if (has("--wb-blue") && !ParseReal(aValues["--wb-blue"], 0.0, 511.0, aBlueGain))
        return bad("--wb-blue", "a gain 0..511");
    aInfo.wb_gain_gr = ekvwriter::GainWordFor(aRedGain);
    aInfo.wb_gain_gb = ekvwriter::GainWordFor(aBlueGain);
    std::vector<long> aHalves;
    if (has("--wb-gr")) {
        if (has("--wb-red")) return Fail("--wb-red and --wb-gr both given");
        if (!ParseList(aValues["--wb-gr"], 2, -32768, 32767, aHalves)) return bad("--wb-gr", "HI,LO (16-bit each)");
        aInfo.wb_gain_gr = ekvwriter::PackGainWord(int16_t(aHalves[0]), int16_t(aHalves[1]));
    }
    if (has("--wb-gb")) {
        if (has("--wb-blue")) return Fail("--wb-blue and --wb-gb both given");
        if (!ParseList(aValues["--wb-gb"], 2, -32768, 32767, aHalves)) return bad("--wb-gb", "HI,LO (16-bit each)");
        aInfo.wb_gain_gb = ekvwriter::PackGainWord(int16_t(aHalves[0]), int16_t(aHalves[1]));
    }

    std::vector<long> aMatrix = {300, -28, -16, -20, 296, -20, -12, -40, 308};
    if (has("--matrix") && !ParseList(aValues["--matrix"], 9, -32768, 32767, aMatrix))
        return bad("--matrix", "nine 16-bit values");
    for (int i = 0; i < 9; ++i) aInfo.color_matrix[i] = int16(aMatrix[i]);

    long aTone = 1, aEnhancer = 256, aCoring = scaled(384), aSharpness = 0;
    if (!integer("--tone-mode", -32768, 32767, aTone)) return bad("--tone-mode", "a 16-bit value");
    if (!integer("--enhancer", -32768, 32767, aEnhancer)) return bad("--enhancer", "a 16-bit value");
    if (!integer("--coring", -32768, 32767, aCoring)) return bad("--coring", "a 16-bit value");
    if (!integer("--sharpness", -32768, 32767, aSharpness)) return bad("--sharpness", "a 16-bit value");
    aInfo.tone_mode = int16(aTone);
    aInfo.enhancer = int16(aEnhancer);
    aInfo.coring = int16(std::min(aCoring, 32767L));
    aInfo.sharpness = int16(aSharpness);

    std::vector<long> aChroma = {scaled(48), aMax, std::lround(aMax * 800.0 / 1023.0), aMax, 4, 256};
    if (has("--chroma") && !ParseList(aValues["--chroma"], 6, -32768, 65535, aChroma))
        return bad("--chroma", "six 16-bit values");
    for (int i = 0; i < 6; ++i) aInfo.chromasupless[i] = int16(uint16_t(aChroma[i]));

    ekvwriter::SceneOptions aScene;
    if (has("--exposure") && !ParseReal(aValues["--exposure"], 0.0, 100.0, aScene.exposure))
        return bad("--exposure", "a number 0..100");
    if (has("--noise") && !ParseReal(aValues["--noise"], 0.0, 1000.0, aScene.noise))
        return bad("--noise", "a number 0..1000");

    aOptions.exif = !aFlags["--no-exif"];
    std::string aTagError = AddCameraTags(aValues, aOptions);
    if (!aTagError.empty()) return Fail(aTagError);
    aOptions.makerNote = !aFlags["--no-makernote"];
    if (aFlags["--no-thumbnail"] && (has("--thumbnail") || has("--quality")))
        return Fail("--no-thumbnail with --thumbnail or --quality");
    if (!aFlags["--no-thumbnail"]) {
        long aThumbW = 320, aThumbH = 240, aQuality = 85;
        if (has("--thumbnail") && !ParseSize(aValues["--thumbnail"], aThumbW, aThumbH))
            return bad("--thumbnail", "WxH");
        if (!integer("--quality", 1, 100, aQuality)) return bad("--quality", "1..100");
        ekvwriter::RgbImage aThumb =
            ekvwriter::RenderThumbnail(int(aThumbW), int(aThumbH), double(aOutW) / double(aOutH));
        aOptions.thumbnailJpeg = ekvwriter::EncodeJpeg(aThumb, int(aQuality));
        if (aOptions.thumbnailJpeg.empty()) return Fail("the thumbnail could not be encoded");
    }

    std::vector<uint16_t> aMosaic;
    if (aCommand == "flat") {
        std::vector<long> aFlat(4, aMax / 2);
        if (has("--value")) {
            long v;
            if (ParseInt(aValues["--value"], 0, aMax, v))
                aFlat.assign(4, v);
            else if (!ParseList(aValues["--value"], 4, 0, aMax, aFlat))
                return bad("--value", "V or R,GR,GB,B within the valid bits");
        }
        const uint16_t aFour[4] = {uint16_t(aFlat[0]), uint16_t(aFlat[1]), uint16_t(aFlat[2]), uint16_t(aFlat[3])};
        aMosaic = ekvwriter::FlatMosaic(aInfo, aFour);
    } else {
        aMosaic = ekvwriter::RenderMosaic(aInfo, aScene);
    }

    ekvwriter::WriteResult aResult = ekvwriter::WriteEkv(aMosaic, aOptions);
    if (!aResult.ok) return Fail(aResult.error);
    std::string aError;
    if (!ekvwriter::SaveFile(aValues["-o"], aResult.bytes, aError)) return Fail(aError);
    if (has("--dng") && !SaveDng(aValues["--dng"], aMosaic, aResult.info, aError)) return Fail(aError);
    return 0;
}
