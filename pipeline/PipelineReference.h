// The straightforward stage implementations, kept callable as the reference that the
// optimised stages are compared against (tests and benchmarks).
#ifndef KARVEX_PIPELINE_PIPELINEREFERENCE_H
#define KARVEX_PIPELINE_PIPELINEREFERENCE_H

#include "Pipeline.h"

void RAW_LowPassFilter_Reference(const uint16 *Bayer, uint16 Bayer_H, uint16 Bayer_V, const uint8_t *CFA,
                                 double LPF_Ka1, double LPF_Kb1, double LPF_Kc1, uint16 ValidBits,
                                 const Rect *OutSize, uint16 *YL_R1, uint16 *YL_G1, uint16 *YL_B1);

#endif
