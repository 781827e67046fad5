// The conversions between RGB and luminance/colour differences: the toned planes into Y,
// Cr and Cb, and the final Y, Cr and Cb back to RGB samples on the 16-bit scale of the host.
#include "Pipeline.h"
#include "PipelineSupport.h"
#include "kernels/StageKernels.h"

void RAW_Convert2YC(const uint16 *YL_R4, const uint16 *YL_G4, const uint16 *YL_B4, uint16 ValidBits,
                    const Rect *OutSize, double *YL_Y1, double *YL_Cr1, double *YL_Cb1) {
    int32 aCount = RAW_PixelCount(OutSize);
    if (aCount <= 0) return;
    RAW_RUN_KERNEL(RAW_KConvert2YC, YL_R4, YL_G4, YL_B4, aCount, RAW_SampleMax(ValidBits), YL_Y1, YL_Cr1, YL_Cb1);
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
