// The straightforward chroma suppression with edge addition (the chroma gain by a call
// per pixel) and conversion to RGB. Kept as the reference the optimised stages are
// compared against.
#include "../Pipeline.h"

#include <math.h>

#include "../PipelineReference.h"
#include "../PipelineSupport.h"

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

void RAW_ConvertToRGB_Reference(const double *YHL_YF, const double *YHL_CrF, const double *YHL_CbF, uint16 ValidBits,
                                const Rect *OutSize, uint16 *R_F, uint16 *G_F, uint16 *B_F) {
    double aMax = RAW_SampleMax(ValidBits);
    // Samples of more than 8 bits go to the host on the 16-bit scale.
    uint32 aShift = (ValidBits > 8 && ValidBits < 16) ? 16u - ValidBits : 0u;
    int32 aCount = RAW_PixelCount(OutSize);
    for (int32 aIndex = 0; aIndex < aCount; ++aIndex) {
        double y = YHL_YF[aIndex], cr = YHL_CrF[aIndex], cb = YHL_CbF[aIndex];
        double r = y + 1.402 * cr;
        double g = y - 0.714 * cr - 0.344 * cb;
        double b = y + 1.773 * cb;
        R_F[aIndex] = static_cast<uint16>(static_cast<uint32>(RAW_ClipToSample(r, aMax)) << aShift);
        G_F[aIndex] = static_cast<uint16>(static_cast<uint32>(RAW_ClipToSample(g, aMax)) << aShift);
        B_F[aIndex] = static_cast<uint16>(static_cast<uint32>(RAW_ClipToSample(b, aMax)) << aShift);
    }
}
