// The straightforward white balance: one cell at a time, each sample through its own
// clip. Kept as the reference the optimised stage is compared against.
#include "../Pipeline.h"
#include "../PipelineReference.h"
#include "../PipelineSupport.h"

// One sample less its black level, scaled by a gain (red and blue) and clipped.
static inline uint16 RAW_WBScaled(uint16 s, uint16 inOB, double inGain, double inMax) {
    double v = static_cast<double>(static_cast<int32>(s) - static_cast<int32>(inOB)) * inGain;
    return RAW_ClipToSample(v, inMax);
}

// A green sample less its black level, clipped; greens are never scaled.
static inline uint16 RAW_WBOffset(uint16 s, uint16 inOB, double inMax) {
    double v = static_cast<double>(static_cast<int32>(s) - static_cast<int32>(inOB));
    return RAW_ClipToSample(v, inMax);
}

void RAW_WhiteBalance_Reference(uint16 *Bayer, uint16 Bayer_H, uint16 Bayer_V, const uint8_t *CFA, uint16 OB_R,
                                uint16 OB_Gr, uint16 OB_Gb, uint16 OB_B, double WB_R, double WB_B, uint16 ValidBits) {
    double aMax = RAW_SampleMax(ValidBits);
    int32 aRowPhase, aColumnPhase;
    RAW_PatternPhase(RAW_ReadCFAPatternValue(CFA), &aRowPhase, &aColumnPhase);

    // Whole 2x2 cells only: the red row of a cell holds red and Gr, the blue row Gb and
    // blue; the phase says which row and which column of the cell comes first.
    int32 aCells = Bayer_H / 2;
    for (int32 aCellRow = 0; aCellRow < Bayer_V / 2; ++aCellRow) {
        uint16 *aRedRow = Bayer + static_cast<size_t>(2 * aCellRow + aRowPhase) * Bayer_H;
        uint16 *aBlueRow = Bayer + static_cast<size_t>(2 * aCellRow + 1 - aRowPhase) * Bayer_H;
        uint16 *aRed = aRedRow + aColumnPhase;
        uint16 *aGr = aRedRow + 1 - aColumnPhase;
        uint16 *aGb = aBlueRow + aColumnPhase;
        uint16 *aBlue = aBlueRow + 1 - aColumnPhase;
        for (int32 aCell = 0; aCell < aCells; ++aCell) {
            int32 k = 2 * aCell;
            aRed[k] = RAW_WBScaled(aRed[k], OB_R, WB_R, aMax);
            aGr[k] = RAW_WBOffset(aGr[k], OB_Gr, aMax);
            aGb[k] = RAW_WBOffset(aGb[k], OB_Gb, aMax);
            aBlue[k] = RAW_WBScaled(aBlue[k], OB_B, WB_B, aMax);
        }
    }
}
