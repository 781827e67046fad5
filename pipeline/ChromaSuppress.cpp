// Chroma suppression with edge addition, and the conversion back to RGB samples on the
// 16-bit scale of the host.
#include "Pipeline.h"

#include <math.h>

#include "PipelineSupport.h"
#include "kernels/StageKernels.h"

void RAW_ColorSignalRestrain(const uint16 *YL_R4, const uint16 *YL_G4, const uint16 *YL_B4,
                             const double *YH_Edge1, uint16 CSK1, uint16 CSK2, uint16 CSK3, uint16 CSK4,
                             int16 CSG1, double CSG2, uint16 ValidBits, const Rect *OutSize, int16 x,
                             int16 y, double *Kchrom) {
    double aMax = RAW_SampleMax(ValidBits);
    int32 aIndex = static_cast<int32>(y) * (OutSize->right - OutSize->left) + x;
    double e = YH_Edge1[aIndex];
    *Kchrom = 0.0;

    // The edge ramp through (CSK1, CSK2), slope CSG1 in quarter gain units.
    double Kchrom_tmp1 = CSK2 - ((fabs(e) - CSK1) * CSG1) * 0.25;

    // The brightness ramp through (CSK3, CSK4), measured on the brightest channel or on
    // the detail signal where that is larger.
    uint16 aLargest = YL_R4[aIndex];
    if (YL_G4[aIndex] > aLargest) aLargest = YL_G4[aIndex];
    if (YL_B4[aIndex] > aLargest) aLargest = YL_B4[aIndex];
    double YH_MAX = aLargest;
    if (e >= YH_MAX) YH_MAX = e;
    double Kchrom_tmp2 = CSK4 - (YH_MAX - CSK3) * CSG2;

    double aGain = Kchrom_tmp1 < Kchrom_tmp2 ? Kchrom_tmp1 : Kchrom_tmp2;
    if (aGain < 0.0)
        aGain = 0.0;
    else if (aGain > aMax)
        aGain = aMax;
    *Kchrom = aGain / (aMax + 1.0);
}

// The chroma gain is formed inline, pixel by pixel, exactly as RAW_ColorSignalRestrain
// forms it, without an intermediate gain plane.
void RAW_ColorRestrainEdgeAdd(const double *YL_Y1, const double *YL_Cr1, const double *YL_Cb1,
                              const double *YH_EdgeF, const uint16 *YL_R4, const uint16 *YL_G4,
                              const uint16 *YL_B4, const double *YH_Edge1, uint16 CSK1, uint16 CSK2,
                              uint16 CSK3, uint16 CSK4, int16 CSG1, double CSG2, uint16 ValidBits,
                              const Rect *OutSize, double *YHL_YF, double *YHL_CrF, double *YHL_CbF) {
    int32 aCount = RAW_PixelCount(OutSize);
    if (aCount <= 0) return;
    RAW_RUN_KERNEL(RAW_KRestrainEdgeAdd, YL_Y1, YL_Cr1, YL_Cb1, YH_EdgeF, YL_R4, YL_G4, YL_B4, YH_Edge1, aCount,
                   static_cast<double>(CSK1), static_cast<double>(CSK2), static_cast<double>(CSK3),
                   static_cast<double>(CSK4), static_cast<double>(CSG1), CSG2, RAW_SampleMax(ValidBits), YHL_YF,
                   YHL_CrF, YHL_CbF);
}

void RAW_ConvertToRGB(const double *YHL_YF, const double *YHL_CrF, const double *YHL_CbF, uint16 ValidBits,
                      const Rect *OutSize, uint16 *R_F, uint16 *G_F, uint16 *B_F) {
    // Samples of more than 8 bits go to the host on the 16-bit scale.
    uint32 aShift = (ValidBits > 8 && ValidBits < 16) ? 16u - ValidBits : 0u;
    int32 aCount = RAW_PixelCount(OutSize);
    if (aCount <= 0) return;
    RAW_RUN_KERNEL(RAW_KConvertToRGB, YHL_YF, YHL_CrF, YHL_CbF, aCount, RAW_SampleLimit(ValidBits), aShift, R_F, G_F,
                   B_F);
}
