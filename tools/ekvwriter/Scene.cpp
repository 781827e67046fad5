// The chart is a pure function of position, so the mosaic and the thumbnail are rendered
// from the same definition at any size. Noise comes from a hash of the sample position,
// which keeps every rendering identical from run to run and machine to machine.
#include "Scene.h"

#include <algorithm>
#include <cmath>

#include "EkvWriter.h"

namespace ekvwriter {
namespace {

constexpr double kPi = 3.14159265358979323846;

double SrgbToLinear(double inV) { return inV <= 0.04045 ? inV / 12.92 : std::pow((inV + 0.055) / 1.055, 2.4); }

double LinearToSrgb(double inV) {
    inV = std::clamp(inV, 0.0, 1.0);
    return inV <= 0.0031308 ? inV * 12.92 : 1.055 * std::pow(inV, 1.0 / 2.4) - 0.055;
}

// The 24 patches of a colour-rendition chart, in 8-bit sRGB.
const uint8_t kPatches[24][3] = {{115, 82, 68},   {194, 150, 130}, {98, 122, 157}, {87, 108, 67},   {133, 128, 177},
                                 {103, 189, 170}, {214, 126, 44},  {80, 91, 166},  {193, 90, 99},   {94, 60, 108},
                                 {157, 188, 64},  {224, 163, 46},  {56, 61, 150},  {70, 148, 73},   {175, 54, 60},
                                 {231, 199, 31},  {187, 86, 149},  {8, 133, 161},  {243, 243, 242}, {200, 200, 200},
                                 {160, 160, 160}, {122, 122, 121}, {85, 85, 85},   {52, 52, 52}};

void SetGrey(double inV, double outRgb[3]) { outRgb[0] = outRgb[1] = outRgb[2] = inV; }

// Hue (0..1) at full saturation and value, in linear RGB.
void Hue(double inH, double outRgb[3]) {
    for (int c = 0; c < 3; ++c) {
        double k = std::fmod(inH * 6.0 + (c == 0 ? 5.0 : c == 1 ? 3.0 : 1.0), 6.0);
        double v = 1.0 - std::clamp(std::min(k, 4.0 - k), 0.0, 1.0);
        outRgb[c] = SrgbToLinear(v);
    }
}

uint64_t Mix(uint64_t inZ) {
    inZ += 0x9E3779B97F4A7C15ull;
    inZ = (inZ ^ (inZ >> 30)) * 0xBF58476D1CE4E5B9ull;
    inZ = (inZ ^ (inZ >> 27)) * 0x94D049BB133111EBull;
    return inZ ^ (inZ >> 31);
}

// Roughly normal, mean 0, variance 1: a sum of four uniform values.
double Gaussian(uint32_t inSeed, uint32_t inX, uint32_t inY) {
    uint64_t h = Mix(uint64_t(inSeed) << 32 ^ Mix(uint64_t(inY) << 32 | inX));
    double aSum = 0.0;
    for (int i = 0; i < 4; ++i) aSum += double((h >> (16 * i)) & 0xFFFF) / 65536.0;
    return (aSum - 2.0) * std::sqrt(3.0);
}

bool Invert3(const double inM[9], double outI[9]) {
    double aDet = inM[0] * (inM[4] * inM[8] - inM[5] * inM[7]) - inM[1] * (inM[3] * inM[8] - inM[5] * inM[6]) +
                  inM[2] * (inM[3] * inM[7] - inM[4] * inM[6]);
    if (std::fabs(aDet) < 1e-9) return false;
    outI[0] = (inM[4] * inM[8] - inM[5] * inM[7]) / aDet;
    outI[1] = (inM[2] * inM[7] - inM[1] * inM[8]) / aDet;
    outI[2] = (inM[1] * inM[5] - inM[2] * inM[4]) / aDet;
    outI[3] = (inM[5] * inM[6] - inM[3] * inM[8]) / aDet;
    outI[4] = (inM[0] * inM[8] - inM[2] * inM[6]) / aDet;
    outI[5] = (inM[2] * inM[3] - inM[0] * inM[5]) / aDet;
    outI[6] = (inM[3] * inM[7] - inM[4] * inM[6]) / aDet;
    outI[7] = (inM[1] * inM[6] - inM[0] * inM[7]) / aDet;
    outI[8] = (inM[0] * inM[4] - inM[1] * inM[3]) / aDet;
    return true;
}

// CFA colour of a sensor position: 0 red, 1 Gr, 2 Gb, 3 blue.
int CellColour(const RAW_Info &inInfo, int32_t inX, int32_t inY) {
    const uint8_t *v = inInfo.cfa_pattern.value;
    int aCell = (inY & 1) * 2 + (inX & 1);
    if (v[aCell] == 0) return 0;
    if (v[aCell] == 2) return 3;
    int aNeighbour = (inY & 1) * 2 + ((inX & 1) ^ 1);
    return v[aNeighbour] == 2 ? 2 : 1;
}

}  // namespace

void ChartColor(double inU, double inV, double inAspect, double outRgb[3]) {
    const double x = inU * inAspect, y = inV;

    // Background: a smooth, slightly tinted gradient.
    outRgb[0] = 0.10 + 0.08 * inU + 0.03 * y;
    outRgb[1] = 0.11 + 0.05 * inU;
    outRgb[2] = 0.14 + 0.04 * (1.0 - y);

    // Colour patches: 6 x 4 in the upper left.
    const double aPatchL = 0.04, aPatchT = 0.05, aCellW = 0.125, aCellH = 0.145, aGap = 0.012;
    if (x >= aPatchL && x < aPatchL + 6 * aCellW && y >= aPatchT && y < aPatchT + 4 * aCellH) {
        int aCol = int((x - aPatchL) / aCellW), aRow = int((y - aPatchT) / aCellH);
        double px = x - aPatchL - aCol * aCellW, py = y - aPatchT - aRow * aCellH;
        if (px >= aGap && px < aCellW - aGap && py >= aGap && py < aCellH - aGap) {
            const uint8_t *p = kPatches[std::min(aRow, 3) * 6 + std::min(aCol, 5)];
            for (int c = 0; c < 3; ++c) outRgb[c] = SrgbToLinear(p[c] / 255.0);
        } else {
            SetGrey(0.02, outRgb);
        }
        return;
    }

    // Radial star of 36 black and white spoke pairs in the upper right.
    const double aCx = inAspect - 0.27, aCy = 0.33, aRadius = 0.24;
    double dx = x - aCx, dy = y - aCy, r = std::sqrt(dx * dx + dy * dy);
    if (r < aRadius + 0.01) {
        if (r >= aRadius)
            SetGrey(0.02, outRgb);
        else if (r < 0.006)
            SetGrey(0.18, outRgb);
        else
            SetGrey(std::sin(36.0 * std::atan2(dy, dx)) >= 0.0 ? 0.80 : 0.03, outRgb);
        return;
    }

    // Grey: a continuous ramp, even in sRGB, above a wedge of 12 steps.
    const double aRampL = 0.04, aRampR = inAspect - 0.04;
    if (x >= aRampL && x < aRampR && y >= 0.66 && y < 0.80) {
        double t = (x - aRampL) / (aRampR - aRampL);
        if (y < 0.73) {
            SetGrey(SrgbToLinear(t), outRgb);
        } else {
            int aStep = std::min(int(t * 12.0), 11);
            SetGrey(SrgbToLinear(aStep / 11.0), outRgb);
        }
        return;
    }

    // Smooth colour: hue across, fading to white downwards.
    if (x >= aRampL && x < aRampR && y >= 0.83 && y < 0.96) {
        double t = (x - aRampL) / (aRampR - aRampL), s = (y - 0.83) / 0.13;
        double aHue[3];
        Hue(t, aHue);
        for (int c = 0; c < 3; ++c) outRgb[c] = 0.75 * (aHue[c] * (1.0 - s) + s);
        return;
    }
}

std::vector<uint16_t> RenderMosaic(const RAW_Info &inInfo, const SceneOptions &inOptions) {
    const int32_t aW = inInfo.image_width, aH = inInfo.image_length;
    std::vector<uint16_t> aMosaic(size_t(std::max(aW, 0)) * size_t(std::max(aH, 0)));
    if (aMosaic.empty()) return aMosaic;
    const double aOutW = inInfo.output_image_width > 0 ? inInfo.output_image_width : aW;
    const double aOutH = inInfo.output_image_height > 0 ? inInfo.output_image_height : aH;
    const double aAspect = aOutW / aOutH;
    const int aBits = std::clamp<int>(inInfo.valid_bits_per_pixel[0], 1, 16);
    const double aMax = double((1u << aBits) - 1);

    double aMatrix[9], aInverse[9];
    for (int i = 0; i < 9; ++i) aMatrix[i] = inInfo.color_matrix[i] / 256.0;
    if (!Invert3(aMatrix, aInverse))
        for (int i = 0; i < 9; ++i) aInverse[i] = i % 4 == 0 ? 1.0 : 0.0;
    double aGainR = GainOfWord(inInfo.wb_gain_gr), aGainB = GainOfWord(inInfo.wb_gain_gb);
    if (!(aGainR > 0.0)) aGainR = 1.0;
    if (!(aGainB > 0.0)) aGainB = 1.0;
    double aBlack[4], aTopBlack = 0.0;
    for (int i = 0; i < 4; ++i) {
        aBlack[i] = uint16_t(inInfo.optical_black[i]);
        aTopBlack = std::max(aTopBlack, aBlack[i]);
    }
    const double aScale = std::max(aMax - aTopBlack, 0.0) * inOptions.exposure;
    const double aUnit = aMax / 1023.0;  // noise in 10-bit terms
    const double aRead = 0.6 * aUnit, aShot = 0.012 * aUnit;

    for (int32_t y = 0; y < aH; ++y) {
        for (int32_t x = 0; x < aW; ++x) {
            const int aColour = CellColour(inInfo, x, y);
            const int aChannel = aColour == 0 ? 0 : aColour == 3 ? 2 : 1;
            // 2 x 2 supersampling inside the photosite.
            double aScene[3] = {0, 0, 0};
            for (int sy = 0; sy < 2; ++sy)
                for (int sx = 0; sx < 2; ++sx) {
                    double aRgb[3];
                    double u = (x - 1.25 + 0.5 * sx) / aOutW, v = (y - 1.25 + 0.5 * sy) / aOutH;
                    ChartColor(u, v, aAspect, aRgb);
                    for (int c = 0; c < 3; ++c) aScene[c] += 0.25 * aRgb[c];
                }
            double aCamera = aInverse[aChannel * 3] * aScene[0] + aInverse[aChannel * 3 + 1] * aScene[1] +
                             aInverse[aChannel * 3 + 2] * aScene[2];
            aCamera = std::max(aCamera, 0.0) * aScale;
            if (aChannel == 0) aCamera /= aGainR;
            if (aChannel == 2) aCamera /= aGainB;
            double aSigma = std::sqrt(aRead * aRead + aShot * aCamera);
            double aValue = aBlack[aColour] + aCamera +
                            inOptions.noise * aSigma * Gaussian(inOptions.seed, uint32_t(x), uint32_t(y));
            aMosaic[size_t(y) * aW + x] = uint16_t(std::clamp(std::lround(aValue), 0L, long(aMax)));
        }
    }
    return aMosaic;
}

RgbImage RenderThumbnail(int inWidth, int inHeight, double inAspect) {
    RgbImage aImage;
    if (inWidth <= 0 || inHeight <= 0) return aImage;
    aImage.width = inWidth;
    aImage.height = inHeight;
    aImage.rgb.resize(size_t(inWidth) * inHeight * 3);
    for (int y = 0; y < inHeight; ++y)
        for (int x = 0; x < inWidth; ++x) {
            double aSum[3] = {0, 0, 0};
            for (int sy = 0; sy < 3; ++sy)
                for (int sx = 0; sx < 3; ++sx) {
                    double aRgb[3];
                    ChartColor((x + (sx + 0.5) / 3.0) / inWidth, (y + (sy + 0.5) / 3.0) / inHeight, inAspect, aRgb);
                    for (int c = 0; c < 3; ++c) aSum[c] += aRgb[c] / 9.0;
                }
            for (int c = 0; c < 3; ++c)
                aImage.rgb[(size_t(y) * inWidth + x) * 3 + c] = uint8_t(std::lround(LinearToSrgb(aSum[c]) * 255.0));
        }
    return aImage;
}

std::vector<uint16_t> FlatMosaic(const RAW_Info &inInfo, const uint16_t inValues[4]) {
    const int32_t aW = std::max<int32_t>(inInfo.image_width, 0), aH = std::max<int32_t>(inInfo.image_length, 0);
    std::vector<uint16_t> aMosaic(size_t(aW) * size_t(aH));
    for (int32_t y = 0; y < aH; ++y)
        for (int32_t x = 0; x < aW; ++x) aMosaic[size_t(y) * aW + x] = inValues[CellColour(inInfo, x, y)];
    return aMosaic;
}

}  // namespace ekvwriter
