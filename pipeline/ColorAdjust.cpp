// The 3x3 colour matrix from camera RGB to the output primaries.
#include "Pipeline.h"
#include "PipelineSupport.h"
#include "kernels/StageKernels.h"

void RAW_ColorAdjust(const uint16 *YL_R2, const uint16 *YL_G2, const uint16 *YL_B2, double CMX1, double CMX2,
                     double CMX3, double CMX4, double CMX5, double CMX6, double CMX7, double CMX8, double CMX9,
                     uint16 ValidBits, const Rect *OutSize, uint16 *YL_R3, uint16 *YL_G3, uint16 *YL_B3) {
    int32 aCount = RAW_PixelCount(OutSize);
    if (aCount <= 0) return;
    const double aMatrix[9] = {CMX1, CMX2, CMX3, CMX4, CMX5, CMX6, CMX7, CMX8, CMX9};
    RAW_RUN_KERNEL(RAW_KColorMatrix, YL_R2, YL_G2, YL_B2, aCount, aMatrix, RAW_SampleLimit(ValidBits), YL_R3, YL_G3,
                   YL_B3);
}
