// The straightforward colour matrix, one pixel at a time. Kept as the reference the
// optimised stage is compared against.
#include "../Pipeline.h"
#include "../PipelineReference.h"
#include "../PipelineSupport.h"

void RAW_ColorAdjust_Reference(const uint16 *YL_R2, const uint16 *YL_G2, const uint16 *YL_B2, double CMX1, double CMX2,
                               double CMX3, double CMX4, double CMX5, double CMX6, double CMX7, double CMX8,
                               double CMX9, uint16 ValidBits, const Rect *OutSize, uint16 *YL_R3, uint16 *YL_G3,
                               uint16 *YL_B3) {
    int32 aCount = RAW_PixelCount(OutSize);
    double aMax = RAW_SampleMax(ValidBits);
    for (int32 aIndex = 0; aIndex < aCount; ++aIndex) {
        double r = YL_R2[aIndex], g = YL_G2[aIndex], b = YL_B2[aIndex];
        double cr = CMX1 * r + CMX2 * g + CMX3 * b;
        double cg = CMX4 * r + CMX5 * g + CMX6 * b;
        double cb = CMX7 * r + CMX8 * g + CMX9 * b;
        YL_R3[aIndex] = RAW_ClipToSample(cr, aMax);
        YL_G3[aIndex] = RAW_ClipToSample(cg, aMax);
        YL_B3[aIndex] = RAW_ClipToSample(cb, aMax);
    }
}
