// The straightforward band-pass and coring of the detail signal, one pixel at a time.
// Kept as the reference the optimised stages are compared against.
#include "../Pipeline.h"

#include <math.h>

#include "../PipelineReference.h"
#include "../PipelineSupport.h"

void RAW_EdgeBPF_Reference(const uint16 *Bayer_Edge, uint16 Bayer_H, uint16 /*Bayer_V*/, const uint8_t *CFA,
                           double BPF_Ka2, double BPF_Kb2, double BPF_Kc2, uint16 ValidBits, const Rect *OutSize,
                           double *YH_Edge1) {
    int32 aRowPhase, aColumnPhase;
    RAW_PatternPhase(RAW_ReadCFAPatternValue(CFA), &aRowPhase, &aColumnPhase);
    // Greens sit where row + column is odd in the RGGB cell.
    int32 aGreenPhase = (aRowPhase + aColumnPhase + 1) & 1;
    // The limits are +-2^ValidBits, one more than the largest sample.
    double aMax = RAW_SampleMax(ValidBits) + 1.0;
    double aMin = -aMax;
    int32 aWidth = OutSize->right - OutSize->left;
    int32 aHeight = OutSize->bottom - OutSize->top;
    double *aOut = YH_Edge1;

    for (int32 i = 0; i < aHeight; ++i) {
        const uint16 *p1 = Bayer_Edge + static_cast<size_t>(OutSize->top + i) * Bayer_H + OutSize->left;
        const uint16 *p2 = p1 + Bayer_H;
        const uint16 *p3 = p2 + Bayer_H;
        const uint16 *p4 = p3 + Bayer_H;
        for (int32 j = 0; j < aWidth; ++j) {
            double e;
            if (((i + j + aGreenPhase) & 1) == 0)  // green at the window's top-left
                e = BPF_Ka2 * (p2[1] + p3[2]) + BPF_Kb2 * (p1[2] + p3[0] + p2[3] + p4[1]) + BPF_Kc2 * (p1[0] + p4[3]);
            else
                e = BPF_Ka2 * (p2[2] + p3[1]) + BPF_Kb2 * (p1[1] + p2[0] + p3[3] + p4[2]) + BPF_Kc2 * (p1[3] + p4[0]);
            if (e < aMin)
                e = aMin;
            else if (e > aMax)
                e = aMax;
            *aOut++ = e;
            ++p1;
            ++p2;
            ++p3;
            ++p4;
        }
    }
}

void RAW_CoringEdge_Reference(const double *YH_Edge1, int16 Edge_THH, int16 Edge_THL, double Kedge, double Kcoring,
                              uint16 ValidBits, const Rect *OutSize, double *YH_EdgeF) {
    // The limits are given on the 16-bit scale: divide by 2^(16 - ValidBits).
    double thh = ldexp(static_cast<double>(Edge_THH), static_cast<int>(ValidBits) - 16);
    double thl = ldexp(static_cast<double>(Edge_THL), static_cast<int>(ValidBits) - 16);
    int32 aCount = RAW_PixelCount(OutSize);
    for (int32 aIndex = 0; aIndex < aCount; ++aIndex) {
        double x = YH_Edge1[aIndex];
        double e;
        if (-Kcoring > x)
            e = x + Kcoring;
        else if (x < Kcoring)
            e = 0.0;
        else
            e = x - Kcoring;
        e = e * Kedge;
        if (e > thh)
            e = thh;
        else if (e < thl)
            e = thl;
        YH_EdgeF[aIndex] = e;
    }
}
