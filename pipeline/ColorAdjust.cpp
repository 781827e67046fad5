// Coloration control (keeps clipped highlights near neutral when a white-balance gain
// is below 1) and the 3x3 colour matrix.
#include "Pipeline.h"

#include <string.h>

#include "PipelineSupport.h"
#include "kernels/StageKernels.h"

void RAW_ColorationControl(const uint16 *YL_R1, const uint16 *YL_G1, const uint16 *YL_B1, double WB_R,
                           double WB_B, int16 /*ToneMode*/, uint16 ValidBits, uint16 OB_R, uint16 /*OB_Gr*/,
                           uint16 /*OB_Gb*/, uint16 OB_B, const Rect *OutSize, uint16 *YL_R2,
                           uint16 *YL_G2, uint16 *YL_B2) {
    int32 aCount = RAW_PixelCount(OutSize);
    if (aCount <= 0) return;
    if (WB_R >= 1.0 && WB_B >= 1.0) {
        memcpy(YL_R2, YL_R1, static_cast<size_t>(aCount) * sizeof(uint16));
        memcpy(YL_G2, YL_G1, static_cast<size_t>(aCount) * sizeof(uint16));
        memcpy(YL_B2, YL_B1, static_cast<size_t>(aCount) * sizeof(uint16));
        return;
    }

    int32 aMax = static_cast<int32>(RAW_SampleMax(ValidBits));
    double clip_max_r = static_cast<double>(aMax - static_cast<int32>(OB_R)) * WB_R;
    double clip_max_b = static_cast<double>(aMax - static_cast<int32>(OB_B)) * WB_B;
    double m = -12.0;
    double clip_sr = RAW_ClampReal(1.05 * clip_max_r, aMax);
    double clip_sb = RAW_ClampReal(1.05 * clip_max_b, aMax);
    // The ceilings are b * m + clip_sb - m * clip_max_b and r * m + clip_sr - m * clip_max_r.
    RAW_RUN_KERNEL(RAW_KColorationControl, YL_R1, YL_G1, YL_B1, aCount, clip_sr, clip_sb, m * clip_max_r,
                   m * clip_max_b, aMax, YL_R2, YL_G2, YL_B2);
}

void RAW_ColorAdjust(const uint16 *YL_R2, const uint16 *YL_G2, const uint16 *YL_B2, double CMX1,
                     double CMX2, double CMX3, double CMX4, double CMX5, double CMX6, double CMX7,
                     double CMX8, double CMX9, uint16 ValidBits, const Rect *OutSize, uint16 *YL_R3,
                     uint16 *YL_G3, uint16 *YL_B3) {
    int32 aCount = RAW_PixelCount(OutSize);
    if (aCount <= 0) return;
    const double aMatrix[9] = {CMX1, CMX2, CMX3, CMX4, CMX5, CMX6, CMX7, CMX8, CMX9};
    RAW_RUN_KERNEL(RAW_KColorMatrix, YL_R2, YL_G2, YL_B2, aCount, aMatrix, RAW_SampleLimit(ValidBits), YL_R3, YL_G3,
                   YL_B3);
}
