// Colour interpolation: every output pixel lies at the centre of a 4x4 window of the
// white-balanced mosaic, and each colour is the weighted sum of that colour's samples in
// the window (inner rows and columns weigh Ka, mixed Kb, outer Kc; green halved).
#include "Pipeline.h"
#include "PipelineSupport.h"
#include "kernels/StageKernels.h"

// Rows specialised by parity; within a row the kernel forms every weight x sample product
// once and the windows add the same products in the same order as the reference form.
void RAW_LowPassFilter(const uint16 *Bayer, uint16 Bayer_H, uint16 /*Bayer_V*/, const uint8_t *CFA, double LPF_Ka1,
                       double LPF_Kb1, double LPF_Kc1, uint16 ValidBits, const Rect *OutSize, uint16 *YL_R1,
                       uint16 *YL_G1, uint16 *YL_B1) {
    double aMax = RAW_SampleLimit(ValidBits);
    int32 aRowPhase, aColumnPhase;
    RAW_PatternPhase(RAW_ReadCFAPatternValue(CFA), &aRowPhase, &aColumnPhase);
    int32 aWidth = OutSize->right - OutSize->left;
    int32 aHeight = OutSize->bottom - OutSize->top;
    if (aWidth <= 0 || aHeight <= 0) return;
    Boolean aCornerFirst = (aColumnPhase & 1) == 0;
    for (int32 i = 0; i < aHeight; ++i) {
        const uint16 *p1 = Bayer + static_cast<size_t>(OutSize->top + i) * Bayer_H + OutSize->left;
        const uint16 *p2 = p1 + Bayer_H;
        const uint16 *p3 = p2 + Bayer_H;
        const uint16 *p4 = p3 + Bayer_H;
        size_t aRow = static_cast<size_t>(i) * static_cast<size_t>(aWidth);
        // Red rows give c0 = red, c1 = blue; blue rows the other way round, and there the
        // windows of even columns start with green.
        if (((i + aRowPhase) & 1) == 0)
            RAW_RUN_KERNEL(RAW_KLowPassRow, p1, p2, p3, p4, aWidth, aCornerFirst, LPF_Ka1, LPF_Kb1, LPF_Kc1, aMax,
                           YL_R1 + aRow, YL_G1 + aRow, YL_B1 + aRow);
        else
            RAW_RUN_KERNEL(RAW_KLowPassRow, p1, p2, p3, p4, aWidth, !aCornerFirst, LPF_Ka1, LPF_Kb1, LPF_Kc1, aMax,
                           YL_B1 + aRow, YL_G1 + aRow, YL_R1 + aRow);
    }
}
