// Chroma suppression with edge addition: the colour differences fade where the detail
// signal is strong or the pixel is bright, and the detail is added to the luminance.
#include "Pipeline.h"

#include "PipelineSupport.h"
#include "kernels/StageKernels.h"

// The chroma gain is formed inline, pixel by pixel, exactly as the reference form's
// RAW_ColorSignalRestrain forms it, without an intermediate gain plane.
void RAW_ColorRestrainEdgeAdd(const double *YL_Y1, const double *YL_Cr1, const double *YL_Cb1, const double *YH_EdgeF,
                              const uint16 *YL_R4, const uint16 *YL_G4, const uint16 *YL_B4, const double *YH_Edge1,
                              uint16 CSK1, uint16 CSK2, uint16 CSK3, uint16 CSK4, int16 CSG1, double CSG2,
                              uint16 ValidBits, const Rect *OutSize, double *YHL_YF, double *YHL_CrF, double *YHL_CbF) {
    int32 aCount = RAW_PixelCount(OutSize);
    if (aCount <= 0) return;
    RAW_RUN_KERNEL(RAW_KRestrainEdgeAdd, YL_Y1, YL_Cr1, YL_Cb1, YH_EdgeF, YL_R4, YL_G4, YL_B4, YH_Edge1, aCount,
                   static_cast<double>(CSK1), static_cast<double>(CSK2), static_cast<double>(CSK3),
                   static_cast<double>(CSK4), static_cast<double>(CSG1), CSG2, RAW_SampleMax(ValidBits), YHL_YF,
                   YHL_CrF, YHL_CbF);
}
