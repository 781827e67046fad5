// The detail signal: a green band-pass over the toned mosaic, then coring, gain and
// limits.
#include "Pipeline.h"

#include <math.h>

#include "PipelineSupport.h"
#include "kernels/StageKernels.h"

void RAW_EdgeBPF(const uint16 *Bayer_Edge, uint16 Bayer_H, uint16 /*Bayer_V*/, const uint8_t *CFA, double BPF_Ka2,
                 double BPF_Kb2, double BPF_Kc2, uint16 ValidBits, const Rect *OutSize, double *YH_Edge1) {
    int32 aRowPhase, aColumnPhase;
    RAW_PatternPhase(RAW_ReadCFAPatternValue(CFA), &aRowPhase, &aColumnPhase);
    // Greens sit where row + column is odd in the RGGB cell.
    int32 aGreenPhase = (aRowPhase + aColumnPhase + 1) & 1;
    // The limits are +-2^ValidBits, one more than the largest sample.
    double aMax = RAW_SampleMax(ValidBits) + 1.0;
    int32 aWidth = OutSize->right - OutSize->left;
    int32 aHeight = OutSize->bottom - OutSize->top;
    if (aWidth <= 0 || aHeight <= 0) return;
    // The band-pass reads the mosaic in place through four row cursors.
    for (int32 i = 0; i < aHeight; ++i) {
        const uint16 *p1 = Bayer_Edge + static_cast<size_t>(OutSize->top + i) * Bayer_H + OutSize->left;
        const uint16 *p2 = p1 + Bayer_H;
        const uint16 *p3 = p2 + Bayer_H;
        const uint16 *p4 = p3 + Bayer_H;
        Boolean aGreenFirst = ((i + aGreenPhase) & 1) == 0;
        RAW_RUN_KERNEL(RAW_KEdgeBPFRow, p1, p2, p3, p4, aWidth, aGreenFirst, BPF_Ka2, BPF_Kb2, BPF_Kc2, aMax,
                       YH_Edge1 + static_cast<size_t>(i) * static_cast<size_t>(aWidth));
    }
}

void RAW_CoringEdge(const double *YH_Edge1, int16 Edge_THH, int16 Edge_THL, double Kedge, double Kcoring,
                    uint16 ValidBits, const Rect *OutSize, double *YH_EdgeF) {
    // The limits are given on the 16-bit scale: divide by 2^(16 - ValidBits).
    double thh = ldexp(static_cast<double>(Edge_THH), static_cast<int>(ValidBits) - 16);
    double thl = ldexp(static_cast<double>(Edge_THL), static_cast<int>(ValidBits) - 16);
    int32 aCount = RAW_PixelCount(OutSize);
    if (aCount <= 0) return;
    RAW_RUN_KERNEL(RAW_KCoringEdge, YH_Edge1, aCount, Kedge, Kcoring, thh, thl, YH_EdgeF);
}
