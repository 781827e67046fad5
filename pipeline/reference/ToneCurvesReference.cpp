// The straightforward tone look-ups, one sample at a time. Kept as the reference the
// optimised stages are compared against.
#include "../Pipeline.h"
#include "../PipelineReference.h"
#include "../PipelineSupport.h"

// The look-up of one depth: index = low 16 bits of (v << shift), entry >> shift, at
// most the largest sample. Without a table the entry is the index (the identity table).
typedef struct RAW_ToneLookup {
    const uint16 *table;
    uint32 shift;
    uint32 max;
} RAW_ToneLookup;

static void RAW_InitToneLookup(RAW_ToneLookup *outLookup, const uint16 *inTable, uint16 inValidBits) {
    uint32 aBits = inValidBits > 16 ? 16 : inValidBits;
    outLookup->table = inTable;
    outLookup->shift = 16 - aBits;
    outLookup->max = (static_cast<uint32>(1) << aBits) - 1;
}

static inline uint16 RAW_ToneLookupSample(const RAW_ToneLookup *inLookup, uint16 v) {
    uint32 aIndex = (static_cast<uint32>(v) << inLookup->shift) & 0xFFFF;
    uint32 aEntry = inLookup->table != nullptr ? inLookup->table[aIndex] : aIndex;
    // A division by 2^shift of an unsigned value: the shift truncates the same way.
    uint32 aOut = aEntry >> inLookup->shift;
    return static_cast<uint16>(aOut > inLookup->max ? inLookup->max : aOut);
}

void RAW_LUTAdjust_Reference(const uint16 *YL_R3, const uint16 *YL_G3, const uint16 *YL_B3, const uint16 *Tone_LUT0,
                             const uint16 *Tone_LUT1, const uint16 *Tone_LUT2, int16 ToneMode, uint16 ValidBits,
                             const Rect *OutSize, uint16 *YL_R4, uint16 *YL_G4, uint16 *YL_B4) {
    const uint16 *aTable = RAW_ToneTableOfMode(ToneMode, Tone_LUT0, Tone_LUT1, Tone_LUT2);
    RAW_ToneLookup aLookup;
    RAW_InitToneLookup(&aLookup, aTable, ValidBits);
    int32 aCount = RAW_PixelCount(OutSize);
    for (int32 aIndex = 0; aIndex < aCount; ++aIndex) {
        YL_R4[aIndex] = RAW_ToneLookupSample(&aLookup, YL_R3[aIndex]);
        YL_G4[aIndex] = RAW_ToneLookupSample(&aLookup, YL_G3[aIndex]);
        YL_B4[aIndex] = RAW_ToneLookupSample(&aLookup, YL_B3[aIndex]);
    }
}

void RAW_EdgeLUTAdjust_Reference(const uint16 *Bayer_WB, uint16 Bayer_H, uint16 Bayer_V, const uint16 *ToneEdge_LUT,
                                 int16 /*ToneMode*/, uint16 ValidBits, uint16 *Bayer_Edge) {
    RAW_ToneLookup aLookup;
    RAW_InitToneLookup(&aLookup, ToneEdge_LUT, ValidBits);
    size_t aCount = static_cast<size_t>(Bayer_H) * Bayer_V;
    for (size_t aIndex = 0; aIndex < aCount; ++aIndex)
        Bayer_Edge[aIndex] = RAW_ToneLookupSample(&aLookup, Bayer_WB[aIndex]);
}
