// The straightforward conversions between RGB and luminance/colour differences, one
// pixel at a time. Kept as the reference the optimised stages are compared against.
#include "../Pipeline.h"
#include "../PipelineReference.h"
#include "../PipelineSupport.h"
#include "../StageCoefficients.h"

void RAW_Convert2YC_Reference(const uint16 *YL_R4, const uint16 *YL_G4, const uint16 *YL_B4, uint16 ValidBits,
                              const Rect *OutSize, double *YL_Y1, double *YL_Cr1, double *YL_Cb1) {
    double aMax = RAW_SampleMax(ValidBits);
    double aMin = -aMax;
    int32 aCount = RAW_PixelCount(OutSize);
    for (int32 aIndex = 0; aIndex < aCount; ++aIndex) {
        double r = YL_R4[aIndex], g = YL_G4[aIndex], b = YL_B4[aIndex];
        double y = kRAW_YFromR * r + kRAW_YFromG * g + kRAW_YFromB * b;
        double cr = kRAW_CrFromR * r - kRAW_CrFromG * g - kRAW_CrFromB * b;
        double cb = -kRAW_CbFromR * r - kRAW_CbFromG * g + kRAW_CbFromB * b;
        if (y < 0.0)
            y = 0.0;
        else if (y > aMax)
            y = aMax;
        if (cr < aMin) cr = aMin;
        if (cb < aMin) cb = aMin;
        YL_Y1[aIndex] = y;
        YL_Cr1[aIndex] = cr;
        YL_Cb1[aIndex] = cb;
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
        double r = y + kRAW_RFromCr * cr;
        double g = y - kRAW_GFromCr * cr - kRAW_GFromCb * cb;
        double b = y + kRAW_BFromCb * cb;
        R_F[aIndex] = static_cast<uint16>(static_cast<uint32>(RAW_ClipToSample(r, aMax)) << aShift);
        G_F[aIndex] = static_cast<uint16>(static_cast<uint32>(RAW_ClipToSample(g, aMax)) << aShift);
        B_F[aIndex] = static_cast<uint16>(static_cast<uint32>(RAW_ClipToSample(b, aMax)) << aShift);
    }
}
