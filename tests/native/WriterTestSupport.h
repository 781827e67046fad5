// Shared helpers of the writer tests: scratch files, running a command, parsing
// tiffdump's listing, reading a header back with the module's reader, and a test mosaic.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

#include "ekvwriter/EkvWriter.h"
#include "host/MediaLayer.h"
#include "plugin/HostMemory.h"
#include "rawfile/EkvTags.h"
#include "rawfile/RawInfo.h"

namespace writertest {

// A scratch file named after the running test.
inline std::string ScratchPath(const std::string &inSuffix) {
    ::mkdir(KARVEX_NATIVE_TEST_DIR, 0755);
    const ::testing::TestInfo *aTest = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string aName = std::string(aTest->test_suite_name()) + "_" + aTest->name() + inSuffix;
    for (char &c : aName)
        if (c == '/') c = '_';
    return std::string(KARVEX_NATIVE_TEST_DIR) + "/" + aName;
}

inline std::string SaveScratch(const std::vector<uint8_t> &inBytes, const std::string &inSuffix) {
    std::string aPath = ScratchPath(inSuffix), aError;
    EXPECT_TRUE(ekvwriter::SaveFile(aPath, inBytes, aError)) << aError;
    return aPath;
}

inline std::vector<uint8_t> LoadFile(const std::string &inPath) {
    std::vector<uint8_t> aBytes;
    FILE *f = std::fopen(inPath.c_str(), "rb");
    if (!f) return aBytes;
    uint8_t aBuffer[65536];
    size_t n;
    while ((n = std::fread(aBuffer, 1, sizeof aBuffer, f)) > 0) aBytes.insert(aBytes.end(), aBuffer, aBuffer + n);
    std::fclose(f);
    return aBytes;
}

struct CommandResult {
    int status = -1;  // exit status, -1 when it did not exit normally
    std::string out;  // standard output and standard error together
};

inline CommandResult RunCommand(const std::string &inCommand) {
    CommandResult aResult;
    FILE *p = ::popen((inCommand + " 2>&1").c_str(), "r");
    if (!p) return aResult;
    char aBuffer[4096];
    size_t n;
    while ((n = std::fread(aBuffer, 1, sizeof aBuffer, p)) > 0) aResult.out.append(aBuffer, n);
    int aStatus = ::pclose(p);
    aResult.status = WIFEXITED(aStatus) ? WEXITSTATUS(aStatus) : -1;
    return aResult;
}

// One tag line of tiffdump: "Name (256) LONG (4) 1<2256>" or "4111 (0x100f) SSHORT (8) 1<0>".
struct DumpTag {
    std::string type;
    uint32_t count = 0;
    std::vector<int64_t> values;  // as listed (a listing may end early with "...")
};

struct DumpDirectory {
    uint32_t offset = 0;
    uint32_t next = 0;
    std::map<uint32_t, DumpTag> tags;
};

inline std::vector<DumpDirectory> ParseTiffDump(const std::string &inText) {
    std::vector<DumpDirectory> aDirs;
    static const std::regex kDir(R"(^Directory \d+: offset (\d+) \(0x[0-9a-f]+\) next (\d+))");
    static const std::regex kTag(R"(^(\S+) \((\w+)\) (\w+) \(\d+\) (\d+)<(.*)>$)");
    std::istringstream aLines(inText);
    std::string aLine;
    std::smatch m;
    while (std::getline(aLines, aLine)) {
        if (std::regex_search(aLine, m, kDir)) {
            DumpDirectory d;
            d.offset = uint32_t(std::stoul(m[1]));
            d.next = uint32_t(std::stoul(m[2]));
            aDirs.push_back(d);
        } else if (!aDirs.empty() && std::regex_match(aLine, m, kTag)) {
            std::string aFirst = m[1], aSecond = m[2];
            uint32_t aTag = std::isdigit(static_cast<unsigned char>(aFirst[0])) ? uint32_t(std::stoul(aFirst))
                                                                                : uint32_t(std::stoul(aSecond));
            DumpTag t;
            t.type = m[3];
            t.count = uint32_t(std::stoul(m[4]));
            std::istringstream aValues(m[5].str());
            std::string aToken;
            while (aValues >> aToken) {
                if (aToken == "...") break;
                t.values.push_back(std::strtoll(aToken.c_str(), nullptr, 0));
            }
            aDirs.back().tags[aTag] = t;
        }
    }
    return aDirs;
}

// tiffdump of the bytes with the version field turned into TIFF's 42 and the header's
// directory offset pointing at inDirectory.
inline std::vector<DumpDirectory> DumpAsTiff(std::vector<uint8_t> inBytes, uint32_t inDirectory,
                                             std::string *outText = nullptr) {
    const bool aBig = inBytes[0] == 'M';
    inBytes[2] = aBig ? 0 : 42;
    inBytes[3] = aBig ? 42 : 0;
    for (int i = 0; i < 4; ++i) inBytes[4 + i] = uint8_t(inDirectory >> (aBig ? 24 - 8 * i : 8 * i));
    std::string aPath = SaveScratch(inBytes, "_" + std::to_string(inDirectory) + ".tif");
    CommandResult r = RunCommand(std::string(KARVEX_TIFFDUMP) + " '" + aPath + "'");
    EXPECT_EQ(r.status, 0) << r.out;
    if (outText) *outText = r.out;
    return ParseTiffDump(r.out);
}

inline std::vector<int64_t> Values(std::initializer_list<int64_t> inList) { return inList; }

// The module's header parser over the first 51400 bytes, starting from its defaults.
struct ReadBack {
    OSErr result = -1;
    RAW_Info info{};
    std::vector<uint8_t> thumbnail;
    bool hasThumbnail = false;
};

inline ReadBack ReadHeaderBytes(const std::vector<uint8_t> &inBytes, uint16_t inStaleEndian = 0) {
    ReadBack r;
    r.info.endian = inStaleEndian;
    RAW_DefaultInfo(&r.info);
    Handle aThumb = nullptr;
    int32 aSize = int32(std::min<size_t>(inBytes.size(), kRAW_HeaderMaxSize));
    r.result = RAW_ReadHeaderInfo(inBytes.data(), aSize, &r.info, nullptr, &aThumb);
    if (aThumb) {
        r.hasThumbnail = true;
        int32 n = HostGetHandleSize(nullptr, aThumb);
        const uint8_t *p = reinterpret_cast<const uint8_t *>(RAW_LockHandle(nullptr, aThumb, false));
        r.thumbnail.assign(p, p + n);
        RAW_UnlockHandle(nullptr, aThumb);
        RAW_DisposeHandle(nullptr, aThumb);
    }
    return r;
}

// Every field of two records, by name.
inline void ExpectSameInfo(const RAW_Info &inExpected, const RAW_Info &inActual) {
#define KARVEX_SAME(f) EXPECT_EQ(inExpected.f, inActual.f) << #f
#define KARVEX_SAME_ARRAY(f, n) \
    for (int i = 0; i < (n); ++i) EXPECT_EQ(inExpected.f[i], inActual.f[i]) << #f "[" << i << "]"
    KARVEX_SAME(endian);
    KARVEX_SAME(image_width);
    KARVEX_SAME(image_length);
    KARVEX_SAME(bit_per_sample);
    KARVEX_SAME(photometric_interpretation);
    KARVEX_SAME_ARRAY(strip_offsets, kRAW_MaxStrips);
    KARVEX_SAME(sample_per_pixel);
    KARVEX_SAME(raw_per_strip);
    KARVEX_SAME_ARRAY(strip_byte_count, kRAW_MaxStrips);
    KARVEX_SAME(wb_gain_gr);
    KARVEX_SAME(wb_gain_gb);
    KARVEX_SAME(sharpness);
    KARVEX_SAME_ARRAY(cfa_pattern.size, 2);
    KARVEX_SAME_ARRAY(cfa_pattern.value, 4);
    KARVEX_SAME_ARRAY(optical_black, 4);
    KARVEX_SAME(tone_mode);
    KARVEX_SAME_ARRAY(color_matrix, 9);
    KARVEX_SAME(enhancer);
    KARVEX_SAME_ARRAY(chromasupless, 6);
    KARVEX_SAME_ARRAY(valid_bits_per_pixel, 2);
    KARVEX_SAME(coring);
    KARVEX_SAME(output_image_width);
    KARVEX_SAME(output_image_height);
#undef KARVEX_SAME
#undef KARVEX_SAME_ARRAY
}

// A mosaic that uses the whole range of the valid bits with no two neighbouring rows or
// columns alike.
inline std::vector<uint16_t> TestMosaic(int32_t inW, int32_t inH, int inBits) {
    std::vector<uint16_t> m(size_t(inW) * inH);
    const uint32_t aMask = (1u << inBits) - 1;
    for (int32_t y = 0; y < inH; ++y)
        for (int32_t x = 0; x < inW; ++x) {
            uint32_t h = uint32_t(x) * 2654435761u ^ uint32_t(y) * 2246822519u;
            h ^= h >> 15;
            m[size_t(y) * inW + x] = uint16_t(h & aMask);
        }
    m[0] = uint16_t(aMask);  // the largest value occurs
    m[1] = 0;
    return m;
}

// A description with non-default values in every field the container carries.
inline RAW_Info CameraInfo(uint16_t inEndian, int32_t inW, int32_t inH, int inBits, int inOffset) {
    RAW_Info aInfo = ekvwriter::DefaultInfo(inEndian);
    aInfo.image_width = inW;
    aInfo.image_length = inH;
    aInfo.bit_per_sample = int16(ekvwriter::BytesPerSample(inBits) * 8);
    aInfo.photometric_interpretation = 2;
    aInfo.raw_per_strip = 5;
    aInfo.sample_per_pixel = 1;
    aInfo.wb_gain_gr = ekvwriter::PackGainWord(256, 112);
    aInfo.wb_gain_gb = ekvwriter::PackGainWord(1, -1);
    aInfo.sharpness = -3;
    const uint8_t aCfa[4] = {1, 2, 0, 1};
    std::memcpy(aInfo.cfa_pattern.value, aCfa, 4);
    const int16 aBlack[4] = {17, 18, 19, 20};
    std::memcpy(aInfo.optical_black, aBlack, sizeof aBlack);
    aInfo.tone_mode = 2;
    const int16 aMatrix[9] = {300, -28, -16, -20, 296, -20, -12, -40, 308};
    std::memcpy(aInfo.color_matrix, aMatrix, sizeof aMatrix);
    aInfo.enhancer = 260;
    const int16 aChroma[6] = {48, 1023, 800, 1023, 4, -256};
    std::memcpy(aInfo.chromasupless, aChroma, sizeof aChroma);
    aInfo.valid_bits_per_pixel[0] = int16(inBits);
    aInfo.valid_bits_per_pixel[1] = int16(inOffset);
    aInfo.coring = 384;
    aInfo.output_image_width = inW - 16;
    aInfo.output_image_height = inH - 4;
    return aInfo;
}

}  // namespace writertest
