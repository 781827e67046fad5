// The straightforward chroma suppression with edge addition, the chroma gain by a call
// per pixel. Kept as the reference the optimised stage is compared against.
#include "../Pipeline.h"

#include <math.h>

#include "../PipelineReference.h"
#include "../PipelineSupport.h"
#include "../StageCoefficients.h"

// The chroma gain of the pixel (x, y) of OutSize, 0 to 1.
void RAW_ColorSignalRestrain(const uint16 *YL_R4, const uint16 *YL_G4, const uint16 *YL_B4, const double *YH_Edge1,
                             uint16 CSK1, uint16 CSK2, uint16 CSK3, uint16 CSK4, int16 CSG1, double CSG2,
                             uint16 ValidBits, const Rect *OutSize, int16 x, int16 y, double *Kchrom) {
    double aMax = RAW_SampleMax(ValidBits);
    int32 aIndex = static_cast<int32>(y) * (OutSize->right - OutSize->left) + x;
    double e = YH_Edge1[aIndex];
    *Kchrom = 0.0;

    // The edge ramp through (CSK1, CSK2), slope CSG1 in quarter gain units.
    double Kchrom_tmp1 = CSK2 - ((fabs(e) - CSK1) * CSG1) * kRAW_ChromaSlopeUnit;

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

void RAW_ColorRestrainEdgeAdd_Reference(const double *YL_Y1, const double *YL_Cr1, const double *YL_Cb1,
                                        const double *YH_EdgeF, const uint16 *YL_R4, const uint16 *YL_G4,
                                        const uint16 *YL_B4, const double *YH_Edge1, uint16 CSK1, uint16 CSK2,
                                        uint16 CSK3, uint16 CSK4, int16 CSG1, double CSG2, uint16 ValidBits,
                                        const Rect *OutSize, double *YHL_YF, double *YHL_CrF, double *YHL_CbF) {
    double aMax = RAW_SampleMax(ValidBits);
    double aMin = -aMax;
    int32 aWidth = OutSize->right - OutSize->left;
    int32 aHeight = OutSize->bottom - OutSize->top;
    if (aWidth <= 0 || aHeight <= 0) return;
    int32 aIndex = 0;
    for (int32 aRow = 0; aRow < aHeight; ++aRow) {
        for (int32 aColumn = 0; aColumn < aWidth; ++aColumn, ++aIndex) {
            double aKchrom;
            RAW_ColorSignalRestrain(YL_R4, YL_G4, YL_B4, YH_Edge1, CSK1, CSK2, CSK3, CSK4, CSG1, CSG2, ValidBits,
                                    OutSize, static_cast<int16>(aColumn), static_cast<int16>(aRow), &aKchrom);
            double ay = YL_Y1[aIndex] + YH_EdgeF[aIndex];
            double acr = YL_Cr1[aIndex] * aKchrom;
            double acb = YL_Cb1[aIndex] * aKchrom;
            if (ay > aMax) ay = aMax;
            if (acr > aMax) acr = aMax;
            if (acb > aMax) acb = aMax;
            if (ay < 0.0) ay = 0.0;
            if (acr < aMin) acr = aMin;
            if (acb < aMin) acb = aMin;
            YHL_YF[aIndex] = ay;
            YHL_CrF[aIndex] = acr;
            YHL_CbF[aIndex] = acb;
        }
    }
}
