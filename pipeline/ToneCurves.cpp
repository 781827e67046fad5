// Tone by table look-up: a sample is scaled to 16 bits, looked up, and scaled back.
#include "Pipeline.h"
#include "PipelineSupport.h"
#include "ToneLookup.h"
#include "kernels/StageKernels.h"

void RAW_PrepareToneLookup(const uint16 *inTable, uint16 inValidBits, RAW_ToneLookup *outLookup) {
    outLookup->table = inTable;
    outLookup->shift = RAW_ToneShift(inValidBits);
    outLookup->mask = 0xFFFFu >> outLookup->shift;
    // Worth it only when the table is read many more times than it has entries to gather.
    outLookup->compact = inTable != nullptr && outLookup->shift >= 16u - kRAW_CompactToneBits;
    if (!outLookup->compact) return;
    const uint32 aEntries = outLookup->mask + 1u;
    outLookup->compactEntries[aEntries] = 0;
    for (uint32 v = 0; v < aEntries; ++v)
        outLookup->compactEntries[v] =
            static_cast<uint16>(inTable[(v << outLookup->shift) & 0xFFFFu] >> outLookup->shift);
}

void RAW_RunToneLookup(const RAW_ToneLookup *inLookup, const uint16 *inSamples, size_t inCount, uint16 *outSamples) {
    if (inLookup->compact)
        RAW_RUN_KERNEL(RAW_KCompactLookup, inSamples, inCount, inLookup->compactEntries, inLookup->mask, outSamples);
    else
        RAW_RUN_KERNEL(RAW_KToneLookup, inSamples, inCount, inLookup->table, inLookup->shift, outSamples);
}

void RAW_LUTAdjust(const uint16 *YL_R3, const uint16 *YL_G3, const uint16 *YL_B3, const uint16 *Tone_LUT0,
                   const uint16 *Tone_LUT1, const uint16 *Tone_LUT2, int16 ToneMode, uint16 ValidBits,
                   const Rect *OutSize, uint16 *YL_R4, uint16 *YL_G4, uint16 *YL_B4) {
    const uint16 *aTable = RAW_ToneTableOfMode(ToneMode, Tone_LUT0, Tone_LUT1, Tone_LUT2);
    int32 aCount = RAW_PixelCount(OutSize);
    if (aCount <= 0) return;
    RAW_ToneLookup aLookup;
    RAW_PrepareToneLookup(aTable, ValidBits, &aLookup);
    size_t n = static_cast<size_t>(aCount);
    RAW_RunToneLookup(&aLookup, YL_R3, n, YL_R4);
    RAW_RunToneLookup(&aLookup, YL_G3, n, YL_G4);
    RAW_RunToneLookup(&aLookup, YL_B3, n, YL_B4);
}

void RAW_EdgeLUTAdjust(const uint16 *Bayer_WB, uint16 Bayer_H, uint16 Bayer_V, const uint16 *ToneEdge_LUT,
                       int16 /*ToneMode*/, uint16 ValidBits, uint16 *Bayer_Edge) {
    size_t aCount = static_cast<size_t>(Bayer_H) * Bayer_V;
    if (aCount == 0) return;
    RAW_ToneLookup aLookup;
    RAW_PrepareToneLookup(ToneEdge_LUT, ValidBits, &aLookup);
    RAW_RunToneLookup(&aLookup, Bayer_WB, aCount, Bayer_Edge);
}
