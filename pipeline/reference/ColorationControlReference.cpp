// The straightforward coloration control, one pixel at a time. Kept as the reference
// the optimised stage is compared against.
#include "../Pipeline.h"
#include "../PipelineReference.h"
#include "../PipelineSupport.h"
#include "../StageCoefficients.h"

// A ceiling as an unsigned sample: limited to inMax from above (a value that is not a
// number counts as above) and, below zero, clamped to 0.
static inline uint16 RAW_CeilingToSample(double inLevel, int32 inMax) {
    if (!(inLevel <= inMax)) inLevel = inMax;
    if (inLevel < 0.0) return 0;
    return static_cast<uint16>(inLevel);
}

void RAW_ColorationControl_Reference(const uint16 *YL_R1, const uint16 *YL_G1, const uint16 *YL_B1, double WB_R,
                                     double WB_B, int16 /*ToneMode*/, uint16 ValidBits, uint16 OB_R, uint16 /*OB_Gr*/,
                                     uint16 /*OB_Gb*/, uint16 OB_B, const Rect *OutSize, uint16 *YL_R2, uint16 *YL_G2,
                                     uint16 *YL_B2) {
    int32 aCount = RAW_PixelCount(OutSize);
    if (aCount <= 0) return;
    if (WB_R >= 1.0 && WB_B >= 1.0) {
        for (int32 aIndex = 0; aIndex < aCount; ++aIndex) {
            YL_R2[aIndex] = YL_R1[aIndex];
            YL_G2[aIndex] = YL_G1[aIndex];
            YL_B2[aIndex] = YL_B1[aIndex];
        }
        return;
    }

    int32 aMax = static_cast<int32>(RAW_SampleMax(ValidBits));
    RAW_ColorationLevels aLevels;
    RAW_ColorationLevelsOf(aMax, OB_R, OB_B, WB_R, WB_B, &aLevels);
    double m = kRAW_CeilingSlope;

    for (int32 aIndex = 0; aIndex < aCount; ++aIndex) {
        uint16 r = YL_R1[aIndex], g = YL_G1[aIndex], b = YL_B1[aIndex];
        double level_r = b * m + aLevels.clip_sb - m * aLevels.clip_max_b;
        double level_b = r * m + aLevels.clip_sr - m * aLevels.clip_max_r;
        uint16 sr = RAW_CeilingToSample(level_r, aMax);
        uint16 sb = RAW_CeilingToSample(level_b, aMax);
        uint16 sg = sr < sb ? sr : sb;
        YL_R2[aIndex] = r <= sr ? r : sr;
        YL_G2[aIndex] = g <= sg ? g : sg;
        YL_B2[aIndex] = b <= sb ? b : sb;
    }
}
