// The straightforward stage implementations, kept callable as the reference that the
// optimised stages are compared against (tests and benchmarks). Each takes the same
// parameters as the stage of the same name without the suffix and gives the same bits.
#ifndef KARVEX_PIPELINE_PIPELINEREFERENCE_H
#define KARVEX_PIPELINE_PIPELINEREFERENCE_H

#include "Pipeline.h"

void RAW_ShiftRight_Reference(uint16 *Bayer, uint16 Bayer_H, uint16 Bayer_V, uint16 ValidBits, uint16 Offset,
                              uint16 Endian);
void RAW_WhiteBalance_Reference(uint16 *Bayer, uint16 Bayer_H, uint16 Bayer_V, const uint8_t *CFA, uint16 OB_R,
                                uint16 OB_Gr, uint16 OB_Gb, uint16 OB_B, double WB_R, double WB_B, uint16 ValidBits);
void RAW_LowPassFilter_Reference(const uint16 *Bayer, uint16 Bayer_H, uint16 Bayer_V, const uint8_t *CFA,
                                 double LPF_Ka1, double LPF_Kb1, double LPF_Kc1, uint16 ValidBits, const Rect *OutSize,
                                 uint16 *YL_R1, uint16 *YL_G1, uint16 *YL_B1);
void RAW_ColorationControl_Reference(const uint16 *YL_R1, const uint16 *YL_G1, const uint16 *YL_B1, double WB_R,
                                     double WB_B, int16 ToneMode, uint16 ValidBits, uint16 OB_R, uint16 OB_Gr,
                                     uint16 OB_Gb, uint16 OB_B, const Rect *OutSize, uint16 *YL_R2, uint16 *YL_G2,
                                     uint16 *YL_B2);
void RAW_ColorAdjust_Reference(const uint16 *YL_R2, const uint16 *YL_G2, const uint16 *YL_B2, double CMX1, double CMX2,
                               double CMX3, double CMX4, double CMX5, double CMX6, double CMX7, double CMX8,
                               double CMX9, uint16 ValidBits, const Rect *OutSize, uint16 *YL_R3, uint16 *YL_G3,
                               uint16 *YL_B3);
void RAW_LUTAdjust_Reference(const uint16 *YL_R3, const uint16 *YL_G3, const uint16 *YL_B3, const uint16 *Tone_LUT0,
                             const uint16 *Tone_LUT1, const uint16 *Tone_LUT2, int16 ToneMode, uint16 ValidBits,
                             const Rect *OutSize, uint16 *YL_R4, uint16 *YL_G4, uint16 *YL_B4);
void RAW_EdgeLUTAdjust_Reference(const uint16 *Bayer_WB, uint16 Bayer_H, uint16 Bayer_V, const uint16 *ToneEdge_LUT,
                                 int16 ToneMode, uint16 ValidBits, uint16 *Bayer_Edge);
void RAW_Convert2YC_Reference(const uint16 *YL_R4, const uint16 *YL_G4, const uint16 *YL_B4, uint16 ValidBits,
                              const Rect *OutSize, double *YL_Y1, double *YL_Cr1, double *YL_Cb1);
void RAW_EdgeBPF_Reference(const uint16 *Bayer_Edge, uint16 Bayer_H, uint16 Bayer_V, const uint8_t *CFA, double BPF_Ka2,
                           double BPF_Kb2, double BPF_Kc2, uint16 ValidBits, const Rect *OutSize, double *YH_Edge1);
void RAW_CoringEdge_Reference(const double *YH_Edge1, int16 Edge_THH, int16 Edge_THL, double Kedge, double Kcoring,
                              uint16 ValidBits, const Rect *OutSize, double *YH_EdgeF);
// The chroma gain of one pixel, as the reference chroma suppression forms it per call.
void RAW_ColorSignalRestrain(const uint16 *YL_R4, const uint16 *YL_G4, const uint16 *YL_B4, const double *YH_Edge1,
                             uint16 CSK1, uint16 CSK2, uint16 CSK3, uint16 CSK4, int16 CSG1, double CSG2,
                             uint16 ValidBits, const Rect *OutSize, int16 x, int16 y, double *Kchrom);
void RAW_ColorRestrainEdgeAdd_Reference(const double *YL_Y1, const double *YL_Cr1, const double *YL_Cb1,
                                        const double *YH_EdgeF, const uint16 *YL_R4, const uint16 *YL_G4,
                                        const uint16 *YL_B4, const double *YH_Edge1, uint16 CSK1, uint16 CSK2,
                                        uint16 CSK3, uint16 CSK4, int16 CSG1, double CSG2, uint16 ValidBits,
                                        const Rect *OutSize, double *YHL_YF, double *YHL_CrF, double *YHL_CbF);
void RAW_ConvertToRGB_Reference(const double *YHL_YF, const double *YHL_CrF, const double *YHL_CbF, uint16 ValidBits,
                                const Rect *OutSize, uint16 *R_F, uint16 *G_F, uint16 *B_F);

// Which form the band driver runs: the optimised stages (the default) or the reference
// forms above, for whole-image comparisons and side-by-side benchmarks in one process.
void RAW_SelectReferenceStages(Boolean inReference);
Boolean RAW_ReferenceStagesSelected(void);

#endif
