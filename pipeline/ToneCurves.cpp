// Tone by table look-up: a sample is scaled to 16 bits, looked up, and scaled back.
#include "Pipeline.h"
#include "PipelineSupport.h"
#include "kernels/StageKernels.h"

// The shift between a depth and the 16-bit scale of the tables.
static inline uint32 RAW_ToneShift(uint16 inValidBits) { return 16u - (inValidBits > 16 ? 16u : inValidBits); }

void RAW_LUTAdjust(const uint16 *YL_R3, const uint16 *YL_G3, const uint16 *YL_B3, const uint16 *Tone_LUT0,
                   const uint16 *Tone_LUT1, const uint16 *Tone_LUT2, int16 ToneMode, uint16 ValidBits,
                   const Rect *OutSize, uint16 *YL_R4, uint16 *YL_G4, uint16 *YL_B4) {
    const uint16 *aTable = RAW_ToneTableOfMode(ToneMode, Tone_LUT0, Tone_LUT1, Tone_LUT2);
    int32 aCount = RAW_PixelCount(OutSize);
    if (aCount <= 0) return;
    uint32 aShift = RAW_ToneShift(ValidBits);
    size_t n = static_cast<size_t>(aCount);
    RAW_RUN_KERNEL(RAW_KToneLookup, YL_R3, n, aTable, aShift, YL_R4);
    RAW_RUN_KERNEL(RAW_KToneLookup, YL_G3, n, aTable, aShift, YL_G4);
    RAW_RUN_KERNEL(RAW_KToneLookup, YL_B3, n, aTable, aShift, YL_B4);
}

void RAW_EdgeLUTAdjust(const uint16 *Bayer_WB, uint16 Bayer_H, uint16 Bayer_V, const uint16 *ToneEdge_LUT,
                       int16 /*ToneMode*/, uint16 ValidBits, uint16 *Bayer_Edge) {
    size_t aCount = static_cast<size_t>(Bayer_H) * Bayer_V;
    RAW_RUN_KERNEL(RAW_KToneLookup, Bayer_WB, aCount, ToneEdge_LUT, RAW_ToneShift(ValidBits), Bayer_Edge);
}
