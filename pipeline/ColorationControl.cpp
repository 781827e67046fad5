// Coloration control: keeps clipped highlights near neutral when a white-balance gain
// is below 1, by ceilings on each colour that fall steeply as the other colour clips.
#include "Pipeline.h"

#include <string.h>

#include "PipelineSupport.h"
#include "StageCoefficients.h"
#include "kernels/StageKernels.h"

void RAW_ColorationControl(const uint16 *YL_R1, const uint16 *YL_G1, const uint16 *YL_B1, double WB_R, double WB_B,
                           int16 /*ToneMode*/, uint16 ValidBits, uint16 OB_R, uint16 /*OB_Gr*/, uint16 /*OB_Gb*/,
                           uint16 OB_B, const Rect *OutSize, uint16 *YL_R2, uint16 *YL_G2, uint16 *YL_B2) {
    int32 aCount = RAW_PixelCount(OutSize);
    if (aCount <= 0) return;
    if (WB_R >= 1.0 && WB_B >= 1.0) {
        memcpy(YL_R2, YL_R1, static_cast<size_t>(aCount) * sizeof(uint16));
        memcpy(YL_G2, YL_G1, static_cast<size_t>(aCount) * sizeof(uint16));
        memcpy(YL_B2, YL_B1, static_cast<size_t>(aCount) * sizeof(uint16));
        return;
    }

    int32 aMax = static_cast<int32>(RAW_SampleMax(ValidBits));
    RAW_ColorationLevels aLevels;
    RAW_ColorationLevelsOf(aMax, OB_R, OB_B, WB_R, WB_B, &aLevels);
    double m = kRAW_CeilingSlope;
    // The ceilings are b * m + clip_sb - m * clip_max_b and r * m + clip_sr - m * clip_max_r.
    RAW_RUN_KERNEL(RAW_KColorationControl, YL_R1, YL_G1, YL_B1, aCount, aLevels.clip_sr, aLevels.clip_sb,
                   m * aLevels.clip_max_r, m * aLevels.clip_max_b, aMax, YL_R2, YL_G2, YL_B2);
}
