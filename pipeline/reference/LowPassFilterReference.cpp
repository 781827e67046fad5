// The straightforward colour interpolation: one window test per pixel. Kept as the
// reference the optimised stage is compared against.
#include "../Pipeline.h"
#include "../PipelineReference.h"
#include "../PipelineSupport.h"
#include "../StageCoefficients.h"

typedef struct RAW_LPFWeights {
    double ka, kb, kc;
} RAW_LPFWeights;

// A window whose top-left sample has the colour c0 (red or blue); the other of red and
// blue, c1, sits at window (1, 1). Rows read c0 G c0 G / G c1 G c1 / ...
static inline void RAW_LPFCornerWindow(const uint16 *p1, const uint16 *p2, const uint16 *p3, const uint16 *p4,
                                       const RAW_LPFWeights *k, double *outC0, double *outG, double *outC1) {
    *outC0 = k->kc * p1[0] + k->kb * p1[2] + k->kb * p3[0] + k->ka * p3[2];
    *outG = kRAW_LPFGreenScale * (k->kb * p1[1] + k->kc * p1[3] + k->kb * p2[0] + k->ka * p2[2] + k->ka * p3[1] +
                                  k->kb * p3[3] + k->kc * p4[0] + k->kb * p4[2]);
    *outC1 = k->ka * p2[1] + k->kb * p2[3] + k->kb * p4[1] + k->kc * p4[3];
}

// A window whose top-left sample is green; its first row also holds the colour c0 (red
// or blue), its second row c1. Rows read G c0 G c0 / c1 G c1 G / ...
static inline void RAW_LPFGreenWindow(const uint16 *p1, const uint16 *p2, const uint16 *p3, const uint16 *p4,
                                      const RAW_LPFWeights *k, double *outC0, double *outG, double *outC1) {
    *outC0 = k->kb * p1[1] + k->kc * p1[3] + k->ka * p3[1] + k->kb * p3[3];
    *outG = kRAW_LPFGreenScale * (k->kc * p1[0] + k->kb * p1[2] + k->ka * p2[1] + k->kb * p2[3] + k->kb * p3[0] +
                                  k->ka * p3[2] + k->kb * p4[1] + k->kc * p4[3]);
    *outC1 = k->kb * p2[0] + k->ka * p2[2] + k->kc * p4[0] + k->kb * p4[2];
}

void RAW_LowPassFilter_Reference(const uint16 *Bayer, uint16 Bayer_H, uint16 /*Bayer_V*/, const uint8_t *CFA,
                                 double LPF_Ka1, double LPF_Kb1, double LPF_Kc1, uint16 ValidBits, const Rect *OutSize,
                                 uint16 *YL_R1, uint16 *YL_G1, uint16 *YL_B1) {
    RAW_LPFWeights aWeights = {LPF_Ka1, LPF_Kb1, LPF_Kc1};
    double aMax = RAW_SampleMax(ValidBits);
    int32 aRowPhase, aColumnPhase;
    RAW_PatternPhase(RAW_ReadCFAPatternValue(CFA), &aRowPhase, &aColumnPhase);
    int32 aWidth = OutSize->right - OutSize->left;
    int32 aHeight = OutSize->bottom - OutSize->top;
    uint16 *lr = YL_R1, *lg = YL_G1, *lb = YL_B1;

    for (int32 i = 0; i < aHeight; ++i) {
        const uint16 *p1 = Bayer + static_cast<size_t>(OutSize->top + i) * Bayer_H + OutSize->left;
        const uint16 *p2 = p1 + Bayer_H;
        const uint16 *p3 = p2 + Bayer_H;
        const uint16 *p4 = p3 + Bayer_H;
        Boolean aRedRow = ((i + aRowPhase) & 1) == 0;
        for (int32 j = 0; j < aWidth; ++j) {
            double dr, dg, db;
            Boolean aCornerColumn = ((j + aColumnPhase) & 1) == 0;
            if (aRedRow) {
                if (aCornerColumn)
                    RAW_LPFCornerWindow(p1, p2, p3, p4, &aWeights, &dr, &dg, &db);  // R at top-left
                else
                    RAW_LPFGreenWindow(p1, p2, p3, p4, &aWeights, &dr, &dg, &db);  // Gr at top-left
            } else {
                if (aCornerColumn)
                    RAW_LPFGreenWindow(p1, p2, p3, p4, &aWeights, &db, &dg, &dr);  // Gb at top-left
                else
                    RAW_LPFCornerWindow(p1, p2, p3, p4, &aWeights, &db, &dg, &dr);  // B at top-left
            }
            *lr++ = RAW_ClipToSample(dr, aMax);
            *lg++ = RAW_ClipToSample(dg, aMax);
            *lb++ = RAW_ClipToSample(db, aMax);
            ++p1;
            ++p2;
            ++p3;
            ++p4;
        }
    }
}
