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
// (green window), alternating along the row. Every weighted sample is a product of one
// weight and one sample, the same whichever window uses it, so the products of a stretch
// of columns are formed once into small tables and each window adds the same products in
// the same order as above.
enum { kRAW_LPFChunk = 128 };

static void RAW_LPFRow(const uint16 *p1, const uint16 *p2, const uint16 *p3, const uint16 *p4, int32 inWidth,
                       Boolean inCornerFirst, double ka, double kb, double kc, double inMax, uint16 *outC0,
                       uint16 *outG, uint16 *outC1) {
    // b1 = kb * p1, c1 = kc * p1, a2 = ka * p2, ... for the columns of one stretch.
    double b1[kRAW_LPFChunk + 4], c1[kRAW_LPFChunk + 4], a2[kRAW_LPFChunk + 4], b2[kRAW_LPFChunk + 4];
    double a3[kRAW_LPFChunk + 4], b3[kRAW_LPFChunk + 4], b4[kRAW_LPFChunk + 4], c4[kRAW_LPFChunk + 4];
    for (int32 j0 = 0; j0 < inWidth; j0 += kRAW_LPFChunk) {
        int32 n = inWidth - j0 < kRAW_LPFChunk ? inWidth - j0 : kRAW_LPFChunk;
        for (int32 x = 0; x < n + 3; ++x) {
            double s1 = p1[j0 + x], s2 = p2[j0 + x], s3 = p3[j0 + x], s4 = p4[j0 + x];
            b1[x] = kb * s1; c1[x] = kc * s1;
            a2[x] = ka * s2; b2[x] = kb * s2;
            a3[x] = ka * s3; b3[x] = kb * s3;
            b4[x] = kb * s4; c4[x] = kc * s4;
        }
        // Whether the stretch's first window is a corner window.
        Boolean aCorner = ((j0 & 1) == 0) ? inCornerFirst : !inCornerFirst;
        uint16 *o0 = outC0 + j0, *og = outG + j0, *o1 = outC1 + j0;
        int32 x = 0;
        if (!aCorner) {
            // Green window: kb*p1[1] + kc*p1[3] + ka*p3[1] + kb*p3[3] and so on.
            double c0 = b1[1] + c1[3] + a3[1] + b3[3];
            double g = 0.5 * (c1[0] + b1[2] + a2[1] + b2[3] + b3[0] + a3[2] + b4[1] + c4[3]);
            double cc = b2[0] + a2[2] + c4[0] + b4[2];
            o0[0] = RAW_ClipToSample(c0, inMax);
            og[0] = RAW_ClipToSample(g, inMax);
            o1[0] = RAW_ClipToSample(cc, inMax);
            x = 1;
        }
        // Pairs: a corner window at x, a green window at x + 1.
        for (; x + 1 < n; x += 2) {
            double a0 = c1[x] + b1[x + 2] + b3[x] + a3[x + 2];
            double ag = 0.5 * (b1[x + 1] + c1[x + 3] + b2[x] + a2[x + 2] + a3[x + 1] + b3[x + 3] + c4[x] + b4[x + 2]);
            double ac = a2[x + 1] + b2[x + 3] + b4[x + 1] + c4[x + 3];
            double g0 = b1[x + 2] + c1[x + 4] + a3[x + 2] + b3[x + 4];
            double gg = 0.5 * (c1[x + 1] + b1[x + 3] + a2[x + 2] + b2[x + 4] + b3[x + 1] + a3[x + 3] + b4[x + 2] +
                               c4[x + 4]);
            double gc = b2[x + 1] + a2[x + 3] + c4[x + 1] + b4[x + 3];
            o0[x] = RAW_ClipToSample(a0, inMax);
            og[x] = RAW_ClipToSample(ag, inMax);
            o1[x] = RAW_ClipToSample(ac, inMax);
            o0[x + 1] = RAW_ClipToSample(g0, inMax);
            og[x + 1] = RAW_ClipToSample(gg, inMax);
            o1[x + 1] = RAW_ClipToSample(gc, inMax);
        }
        if (x < n) {
            double a0 = c1[x] + b1[x + 2] + b3[x] + a3[x + 2];
            double ag = 0.5 * (b1[x + 1] + c1[x + 3] + b2[x] + a2[x + 2] + a3[x + 1] + b3[x + 3] + c4[x] + b4[x + 2]);
            double ac = a2[x + 1] + b2[x + 3] + b4[x + 1] + c4[x + 3];
            o0[x] = RAW_ClipToSample(a0, inMax);
            og[x] = RAW_ClipToSample(ag, inMax);
            o1[x] = RAW_ClipToSample(ac, inMax);
        }
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
