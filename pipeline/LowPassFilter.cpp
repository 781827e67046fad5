// Colour interpolation: every output pixel lies at the centre of a 4x4 window of the
// white-balanced mosaic, and each colour is the weighted sum of that colour's samples in
// the window (inner rows and columns weigh Ka, mixed Kb, outer Kc; green halved).
#include "Pipeline.h"
#include "PipelineSupport.h"
#include "PipelineReference.h"

typedef struct RAW_LPFWeights {
    double ka, kb, kc;
} RAW_LPFWeights;

// A window whose top-left sample has the colour c0 (red or blue); the other of red and
// blue, c1, sits at window (1, 1). Rows read c0 G c0 G / G c1 G c1 / ...
static inline void RAW_LPFCornerWindow(const uint16 *p1, const uint16 *p2, const uint16 *p3, const uint16 *p4,
                                       const RAW_LPFWeights *k, double *outC0, double *outG, double *outC1) {
    *outC0 = k->kc * p1[0] + k->kb * p1[2] + k->kb * p3[0] + k->ka * p3[2];
    *outG = 0.5 * (k->kb * p1[1] + k->kc * p1[3] + k->kb * p2[0] + k->ka * p2[2] + k->ka * p3[1] +
                   k->kb * p3[3] + k->kc * p4[0] + k->kb * p4[2]);
    *outC1 = k->ka * p2[1] + k->kb * p2[3] + k->kb * p4[1] + k->kc * p4[3];
}

// A window whose top-left sample is green; its first row also holds the colour c0 (red
// or blue), its second row c1. Rows read G c0 G c0 / c1 G c1 G / ...
static inline void RAW_LPFGreenWindow(const uint16 *p1, const uint16 *p2, const uint16 *p3, const uint16 *p4,
                                      const RAW_LPFWeights *k, double *outC0, double *outG, double *outC1) {
    *outC0 = k->kb * p1[1] + k->kc * p1[3] + k->ka * p3[1] + k->kb * p3[3];
    *outG = 0.5 * (k->kc * p1[0] + k->kb * p1[2] + k->ka * p2[1] + k->kb * p2[3] + k->kb * p3[0] +
                   k->ka * p3[2] + k->kb * p4[1] + k->kc * p4[3]);
    *outC1 = k->kb * p2[0] + k->ka * p2[2] + k->kc * p4[0] + k->kb * p4[2];
}

// The straightforward form: one window test per pixel.
void RAW_LowPassFilter_Reference(const uint16 *Bayer, uint16 Bayer_H, uint16 /*Bayer_V*/, const uint8_t *CFA,
                                 double LPF_Ka1, double LPF_Kb1, double LPF_Kc1, uint16 ValidBits,
                                 const Rect *OutSize, uint16 *YL_R1, uint16 *YL_G1, uint16 *YL_B1) {
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
                    RAW_LPFGreenWindow(p1, p2, p3, p4, &aWeights, &dr, &dg, &db);   // Gr at top-left
            } else {
                if (aCornerColumn)
                    RAW_LPFGreenWindow(p1, p2, p3, p4, &aWeights, &db, &dg, &dr);   // Gb at top-left
                else
                    RAW_LPFCornerWindow(p1, p2, p3, p4, &aWeights, &db, &dg, &dr);  // B at top-left
            }
            *lr++ = RAW_ClipToSample(dr, aMax);
            *lg++ = RAW_ClipToSample(dg, aMax);
            *lb++ = RAW_ClipToSample(db, aMax);
            ++p1; ++p2; ++p3; ++p4;
        }
    }
}

// One output row whose first window starts with colour c0 at top-left (corner) or green
// (green window), alternating along the row. The weights are held in locals so they stay
// in registers; the sums are the same products added in the same order as above.
static void RAW_LPFRow(const uint16 *p1, const uint16 *p2, const uint16 *p3, const uint16 *p4, int32 inWidth,
                       Boolean inCornerFirst, double ka, double kb, double kc, double inMax, uint16 *outC0,
                       uint16 *outG, uint16 *outC1) {
    int32 j = 0;
    if (!inCornerFirst && j < inWidth) {
        double c0 = kb * p1[1] + kc * p1[3] + ka * p3[1] + kb * p3[3];
        double g = 0.5 * (kc * p1[0] + kb * p1[2] + ka * p2[1] + kb * p2[3] + kb * p3[0] + ka * p3[2] +
                          kb * p4[1] + kc * p4[3]);
        double c1 = kb * p2[0] + ka * p2[2] + kc * p4[0] + kb * p4[2];
        outC0[0] = RAW_ClipToSample(c0, inMax);
        outG[0] = RAW_ClipToSample(g, inMax);
        outC1[0] = RAW_ClipToSample(c1, inMax);
        j = 1;
    }
    // Pairs: a corner window at j, a green window at j + 1.
    for (; j + 1 < inWidth; j += 2) {
        const uint16 *q1 = p1 + j, *q2 = p2 + j, *q3 = p3 + j, *q4 = p4 + j;
        double a0 = kc * q1[0] + kb * q1[2] + kb * q3[0] + ka * q3[2];
        double ag = 0.5 * (kb * q1[1] + kc * q1[3] + kb * q2[0] + ka * q2[2] + ka * q3[1] + kb * q3[3] +
                           kc * q4[0] + kb * q4[2]);
        double a1 = ka * q2[1] + kb * q2[3] + kb * q4[1] + kc * q4[3];
        double b0 = kb * q1[2] + kc * q1[4] + ka * q3[2] + kb * q3[4];
        double bg = 0.5 * (kc * q1[1] + kb * q1[3] + ka * q2[2] + kb * q2[4] + kb * q3[1] + ka * q3[3] +
                           kb * q4[2] + kc * q4[4]);
        double b1 = kb * q2[1] + ka * q2[3] + kc * q4[1] + kb * q4[3];
        outC0[j] = RAW_ClipToSample(a0, inMax);
        outG[j] = RAW_ClipToSample(ag, inMax);
        outC1[j] = RAW_ClipToSample(a1, inMax);
        outC0[j + 1] = RAW_ClipToSample(b0, inMax);
        outG[j + 1] = RAW_ClipToSample(bg, inMax);
        outC1[j + 1] = RAW_ClipToSample(b1, inMax);
    }
    if (j < inWidth) {
        const uint16 *q1 = p1 + j, *q2 = p2 + j, *q3 = p3 + j, *q4 = p4 + j;
        double a0 = kc * q1[0] + kb * q1[2] + kb * q3[0] + ka * q3[2];
        double ag = 0.5 * (kb * q1[1] + kc * q1[3] + kb * q2[0] + ka * q2[2] + ka * q3[1] + kb * q3[3] +
                           kc * q4[0] + kb * q4[2]);
        double a1 = ka * q2[1] + kb * q2[3] + kb * q4[1] + kc * q4[3];
        outC0[j] = RAW_ClipToSample(a0, inMax);
        outG[j] = RAW_ClipToSample(ag, inMax);
        outC1[j] = RAW_ClipToSample(a1, inMax);
    }
}

// The form the driver uses: rows specialised by parity, windows in pairs, no per-pixel tests.
void RAW_LowPassFilter(const uint16 *Bayer, uint16 Bayer_H, uint16 /*Bayer_V*/, const uint8_t *CFA,
                       double LPF_Ka1, double LPF_Kb1, double LPF_Kc1, uint16 ValidBits,
                       const Rect *OutSize, uint16 *YL_R1, uint16 *YL_G1, uint16 *YL_B1) {
    double aMax = RAW_SampleMax(ValidBits);
    int32 aRowPhase, aColumnPhase;
    RAW_PatternPhase(RAW_ReadCFAPatternValue(CFA), &aRowPhase, &aColumnPhase);
    int32 aWidth = OutSize->right - OutSize->left;
    int32 aHeight = OutSize->bottom - OutSize->top;
    if (aWidth <= 0 || aHeight <= 0) return;
    Boolean aCornerFirst = (aColumnPhase & 1) == 0;
    for (int32 i = 0; i < aHeight; ++i) {
        const uint16 *p1 = Bayer + static_cast<size_t>(OutSize->top + i) * Bayer_H + OutSize->left;
        const uint16 *p2 = p1 + Bayer_H;
        const uint16 *p3 = p2 + Bayer_H;
        const uint16 *p4 = p3 + Bayer_H;
        size_t aRow = static_cast<size_t>(i) * static_cast<size_t>(aWidth);
        // Red rows give c0 = red, c1 = blue; blue rows the other way round, and there the
        // windows of even columns start with green.
        if (((i + aRowPhase) & 1) == 0)
            RAW_LPFRow(p1, p2, p3, p4, aWidth, aCornerFirst, LPF_Ka1, LPF_Kb1, LPF_Kc1, aMax, YL_R1 + aRow,
                       YL_G1 + aRow, YL_B1 + aRow);
        else
            RAW_LPFRow(p1, p2, p3, p4, aWidth, !aCornerFirst, LPF_Ka1, LPF_Kb1, LPF_Kc1, aMax, YL_B1 + aRow,
                       YL_G1 + aRow, YL_R1 + aRow);
    }
}
