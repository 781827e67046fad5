// Shared helpers of the pipeline stage tests: the four CFA layouts, a colour lookup that
// reads the 2x2 cell directly, plane geometry and seeded random planes.
#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "pipeline/Pipeline.h"

namespace pipetest {

enum Colour { kRed = 0, kGreen = 1, kBlue = 2 };
// The four colours a white-balance stage tells apart.
enum CellColour { kCellR, kCellGr, kCellGb, kCellB };

struct Layout {
    const char *name;
    std::array<uint8_t, 4> cfa;  // top-left, top-right, bottom-left, bottom-right
    uint32 code;
};

inline const std::array<Layout, 4> &Layouts() {
    static const std::array<Layout, 4> kLayouts = {{
        {"RGGB", {0, 1, 1, 2}, 0x00010102},
        {"GRBG", {1, 0, 2, 1}, 0x01000201},
        {"GBRG", {1, 2, 0, 1}, 0x01020001},
        {"BGGR", {2, 1, 1, 0}, 0x02010100},
    }};
    return kLayouts;
}

// Colour of band sample (r, c) read straight from the cell bytes.
inline int ColourAt(const std::array<uint8_t, 4> &inCFA, int r, int c) { return inCFA[(r % 2) * 2 + (c % 2)]; }

inline CellColour CellColourAt(const std::array<uint8_t, 4> &inCFA, int r, int c) {
    int aColour = ColourAt(inCFA, r, c);
    if (aColour == kRed) return kCellR;
    if (aColour == kBlue) return kCellB;
    // A green shares its row with red (Gr) or with blue (Gb).
    return ColourAt(inCFA, r, c + 1) == kRed ? kCellGr : kCellGb;
}

inline Rect OutRect(int inWidth, int inHeight) {
    return Rect{0, 0, static_cast<int16>(inHeight), static_cast<int16>(inWidth)};
}

inline double SampleMax(int inValidBits) { return static_cast<double>((1u << inValidBits) - 1); }

// Clip to 0 .. max, then truncate toward zero.
inline uint16 ClipTruncate(double v, double inMax) {
    if (v < 0.0) v = 0.0;
    if (v > inMax) v = inMax;
    return static_cast<uint16>(v);
}

inline std::vector<uint16> RandomSamples(std::mt19937 &ioRandom, size_t inCount, uint32 inLimit) {
    std::uniform_int_distribution<uint32> aDist(0, inLimit);
    std::vector<uint16> aOut(inCount);
    for (auto &s : aOut) s = static_cast<uint16>(aDist(ioRandom));
    return aOut;
}

inline std::vector<double> RandomReals(std::mt19937 &ioRandom, size_t inCount, double inLow, double inHigh) {
    std::uniform_real_distribution<double> aDist(inLow, inHigh);
    std::vector<double> aOut(inCount);
    for (auto &v : aOut) v = aDist(ioRandom);
    return aOut;
}

inline double RandomReal(std::mt19937 &ioRandom, double inLow, double inHigh) {
    return std::uniform_real_distribution<double>(inLow, inHigh)(ioRandom);
}

inline int RandomInt(std::mt19937 &ioRandom, int inLow, int inHigh) {
    return std::uniform_int_distribution<int>(inLow, inHigh)(ioRandom);
}

}  // namespace pipetest
