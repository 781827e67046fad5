// Small helpers shared by the pipeline stages: the sample range of a bit depth, real to
// sample conversion (clip, then truncate toward zero) and the CFA phase of a pattern code.
#ifndef KARVEX_PIPELINE_PIPELINESUPPORT_H
#define KARVEX_PIPELINE_PIPELINESUPPORT_H

#include "Pipeline.h"
#include "StageCoefficients.h"

// 2^inValidBits - 1 as a double, the largest sample of that depth.
static inline double RAW_SampleMax(uint16 inValidBits) {
    return static_cast<double>((static_cast<uint32>(1) << (inValidBits > 31 ? 31 : inValidBits)) - 1);
}

// The largest sample of a depth that a uint16 can hold: the ceiling of clip-to-sample.
static inline double RAW_SampleLimit(uint16 inValidBits) {
    double aMax = RAW_SampleMax(inValidBits);
    return aMax < 65535.0 ? aMax : 65535.0;
}

// v limited to 0 .. inMax.
static inline double RAW_ClampReal(double v, double inMax) {
    if (v < 0.0) return 0.0;
    if (v > inMax) return inMax;
    return v;
}

// The table a tone mode selects: the modes name the tables in reverse order; any other
// mode has none (the samples are kept).
static inline const uint16 *RAW_ToneTableOfMode(int16 inToneMode, const uint16 *inLUT0, const uint16 *inLUT1,
                                                const uint16 *inLUT2) {
    switch (inToneMode) {
        case 0: return inLUT2;
        case 1: return inLUT1;
        case 2: return inLUT0;
        default: return nullptr;
    }
}

// The levels of coloration control for a depth's largest sample inMax: the white-balanced
// maximum of red and of blue, and their clip levels with headroom, at most inMax.
typedef struct RAW_ColorationLevels {
    double clip_max_r, clip_max_b, clip_sr, clip_sb;
} RAW_ColorationLevels;

static inline void RAW_ColorationLevelsOf(int32 inMax, uint16 inOB_R, uint16 inOB_B, double inWB_R, double inWB_B,
                                          RAW_ColorationLevels *outLevels) {
    outLevels->clip_max_r = static_cast<double>(inMax - static_cast<int32>(inOB_R)) * inWB_R;
    outLevels->clip_max_b = static_cast<double>(inMax - static_cast<int32>(inOB_B)) * inWB_B;
    outLevels->clip_sr = RAW_ClampReal(kRAW_ClipHeadroom * outLevels->clip_max_r, inMax);
    outLevels->clip_sb = RAW_ClampReal(kRAW_ClipHeadroom * outLevels->clip_max_b, inMax);
}

// The number of pixels of OutSize; 0 when it has no rows or no columns.
static inline int32 RAW_PixelCount(const Rect *inOutSize) {
    int32 aWidth = inOutSize->right - inOutSize->left;
    int32 aHeight = inOutSize->bottom - inOutSize->top;
    return (aWidth > 0 && aHeight > 0) ? aWidth * aHeight : 0;
}

// Clips v to 0 .. inMax and truncates it toward zero. A value that is not a number
// counts as below the range, so no conversion ever sees one.
static inline uint16 RAW_ClipToSample(double v, double inMax) {
    if (!(v > 0.0)) return 0;
    if (v > inMax) v = inMax;
    if (v > 65535.0) v = 65535.0;  // depths above 16 bits cannot be stored
    return static_cast<uint16>(v);
}

// The pattern code as the offset of its 2x2 cell from the RGGB cell: a sample at band
// row r, column c has the colour that RGGB gives to (r + outRowPhase, c + outColumnPhase).
static inline void RAW_PatternPhase(uint32 inPattern, int32 *outRowPhase, int32 *outColumnPhase) {
    switch (inPattern) {
        case kRAW_Pattern_GRBG:
            *outRowPhase = 0;
            *outColumnPhase = 1;
            break;
        case kRAW_Pattern_GBRG:
            *outRowPhase = 1;
            *outColumnPhase = 0;
            break;
        case kRAW_Pattern_BGGR:
            *outRowPhase = 1;
            *outColumnPhase = 1;
            break;
        default:
            *outRowPhase = 0;
            *outColumnPhase = 0;
            break;
    }
}

#endif
