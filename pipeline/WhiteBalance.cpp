// White balance of the mosaic band: black levels off, red and blue scaled by their gains.
#include "Pipeline.h"
#include "PipelineSupport.h"
#include "kernels/StageKernels.h"

void RAW_WhiteBalance(uint16 *Bayer, uint16 Bayer_H, uint16 Bayer_V, const uint8_t *CFA, uint16 OB_R, uint16 OB_Gr,
                      uint16 OB_Gb, uint16 OB_B, double WB_R, double WB_B, uint16 ValidBits) {
    double aMax = RAW_SampleLimit(ValidBits);
    int32 aRowPhase, aColumnPhase;
    RAW_PatternPhase(RAW_ReadCFAPatternValue(CFA), &aRowPhase, &aColumnPhase);

    // Whole 2x2 cells only: the red row of a cell holds red and Gr, the blue row Gb and
    // blue; the phase says which row and which column of the cell comes first. Greens are
    // not scaled: their gain is exactly 1.0.
    int32 aCells = Bayer_H / 2;
    uint16 aRedOB[2], aBlueOB[2];
    double aRedGain[2], aBlueGain[2];
    aRedOB[aColumnPhase] = OB_R;
    aRedGain[aColumnPhase] = WB_R;
    aRedOB[1 - aColumnPhase] = OB_Gr;
    aRedGain[1 - aColumnPhase] = 1.0;
    aBlueOB[aColumnPhase] = OB_Gb;
    aBlueGain[aColumnPhase] = 1.0;
    aBlueOB[1 - aColumnPhase] = OB_B;
    aBlueGain[1 - aColumnPhase] = WB_B;
    for (int32 aCellRow = 0; aCellRow < Bayer_V / 2; ++aCellRow) {
        uint16 *aRedRow = Bayer + static_cast<size_t>(2 * aCellRow + aRowPhase) * Bayer_H;
        uint16 *aBlueRow = Bayer + static_cast<size_t>(2 * aCellRow + 1 - aRowPhase) * Bayer_H;
        RAW_RUN_KERNEL(RAW_KWhiteBalanceRow, aRedRow, aCells, aRedOB[0], aRedGain[0], aRedOB[1], aRedGain[1], aMax);
        RAW_RUN_KERNEL(RAW_KWhiteBalanceRow, aBlueRow, aCells, aBlueOB[0], aBlueGain[0], aBlueOB[1], aBlueGain[1],
                       aMax);
    }
}
