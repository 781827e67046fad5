// White balance of the mosaic band and the fixed-point conversions the pipeline shares.
#include "Pipeline.h"
#include "PipelineSupport.h"
#include "kernels/StageKernels.h"

uint32 RAW_ReadCFAPatternValue(const uint8_t *CFA) {
    if (CFA == nullptr) return kRAW_Pattern_RGGB;
    uint32 aValue = (static_cast<uint32>(CFA[0]) << 24) | (static_cast<uint32>(CFA[1]) << 16) |
                    (static_cast<uint32>(CFA[2]) << 8) | static_cast<uint32>(CFA[3]);
    switch (aValue) {
        case kRAW_Pattern_RGGB:
        case kRAW_Pattern_GRBG:
        case kRAW_Pattern_GBRG:
        case kRAW_Pattern_BGGR:
            return aValue;
        default:
            return kRAW_Pattern_RGGB;
    }
}

double RAW_SInt16ToX(int16 inValue) { return inValue * 0.00390625; }

double RAW_SInt32ToGainRatio(int32 inValue) {
    // The upper half is signed, the lower unsigned; their product always fits 32 bits.
    int32 aHi = inValue >> 16;
    int32 aLo = inValue & 0xFFFF;
    return static_cast<double>(aHi * aLo) * 6.103515625e-05;
}

void RAW_WhiteBalance(uint16 *Bayer, uint16 Bayer_H, uint16 Bayer_V, const uint8_t *CFA, uint16 OB_R,
                      uint16 OB_Gr, uint16 OB_Gb, uint16 OB_B, double WB_R, double WB_B, uint16 ValidBits) {
    double aMax = RAW_SampleLimit(ValidBits);
    int32 aRowPhase, aColumnPhase;
    RAW_PatternPhase(RAW_ReadCFAPatternValue(CFA), &aRowPhase, &aColumnPhase);

    // Whole 2x2 cells only: the red row of a cell holds red and Gr, the blue row Gb and
    // blue; the phase says which row and which column of the cell comes first. Greens are
    // not scaled: their gain is exactly 1.0.
    int32 aCells = Bayer_H / 2;
    uint16 aRedOB[2], aBlueOB[2];
    double aRedGain[2], aBlueGain[2];
    aRedOB[aColumnPhase] = OB_R; aRedGain[aColumnPhase] = WB_R;
    aRedOB[1 - aColumnPhase] = OB_Gr; aRedGain[1 - aColumnPhase] = 1.0;
    aBlueOB[aColumnPhase] = OB_Gb; aBlueGain[aColumnPhase] = 1.0;
    aBlueOB[1 - aColumnPhase] = OB_B; aBlueGain[1 - aColumnPhase] = WB_B;
    for (int32 aCellRow = 0; aCellRow < Bayer_V / 2; ++aCellRow) {
        uint16 *aRedRow = Bayer + static_cast<size_t>(2 * aCellRow + aRowPhase) * Bayer_H;
        uint16 *aBlueRow = Bayer + static_cast<size_t>(2 * aCellRow + 1 - aRowPhase) * Bayer_H;
        RAW_RUN_KERNEL(RAW_KWhiteBalanceRow, aRedRow, aCells, aRedOB[0], aRedGain[0], aRedOB[1], aRedGain[1], aMax);
        RAW_RUN_KERNEL(RAW_KWhiteBalanceRow, aBlueRow, aCells, aBlueOB[0], aBlueGain[0], aBlueOB[1], aBlueGain[1],
                       aMax);
    }
}
