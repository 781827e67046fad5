// The stages from colour interpolation to RGB, stretch by stretch (see BandChunks.h). The
// parameters of every kernel are formed here exactly as the stage functions form them.
#include "BandChunks.h"

#include <math.h>

#include "PipelineSupport.h"
#include "StageCoefficients.h"
#include "ToneLookup.h"
#include "kernels/StageKernels.h"

// The parameters of the stages, formed once per band.
typedef struct RAW_ChunkParameters {
    double sampleMax, sampleLimit;
    int32 rowPhase;
    Boolean cornerFirst;
    int32 greenPhase;
    Boolean coloration;
    double clipSR, clipSB, ceilingR, ceilingB;
    int32 colorationMax;
    double matrix[9];
    double edgeMax, edgeHigh, edgeLow;
    uint32 outShift;
} RAW_ChunkParameters;

static void DoChunkParameters(const RAW_BandSettings *s, RAW_ChunkParameters *p) {
    const uint16 VB = s->VB;
    p->sampleMax = RAW_SampleMax(VB);
    p->sampleLimit = RAW_SampleLimit(VB);
    int32 aColumnPhase;
    RAW_PatternPhase(RAW_ReadCFAPatternValue(s->CFA), &p->rowPhase, &aColumnPhase);
    p->cornerFirst = (aColumnPhase & 1) == 0;
    // Greens sit where row + column is odd in the RGGB cell.
    p->greenPhase = (p->rowPhase + aColumnPhase + 1) & 1;

    // Coloration control is a copy unless a gain is below 1.
    p->coloration = !(s->WB_R >= 1.0 && s->WB_B >= 1.0);
    p->colorationMax = static_cast<int32>(p->sampleMax);
    RAW_ColorationLevels aLevels;
    RAW_ColorationLevelsOf(p->colorationMax, s->OB_R, s->OB_B, s->WB_R, s->WB_B, &aLevels);
    p->clipSR = aLevels.clip_sr;
    p->clipSB = aLevels.clip_sb;
    p->ceilingR = kRAW_CeilingSlope * aLevels.clip_max_r;
    p->ceilingB = kRAW_CeilingSlope * aLevels.clip_max_b;

    const double aMatrix[9] = {s->CMX1, s->CMX2, s->CMX3, s->CMX4, s->CMX5, s->CMX6, s->CMX7, s->CMX8, s->CMX9};
    for (int k = 0; k < 9; ++k) p->matrix[k] = aMatrix[k];

    // The band-pass limits are +-2^VB; the cored limits are given on the 16-bit scale.
    p->edgeMax = p->sampleMax + 1.0;
    p->edgeHigh = ldexp(static_cast<double>(static_cast<int16>(kRAW_EdgeLimitHigh)), static_cast<int>(VB) - 16);
    p->edgeLow = ldexp(static_cast<double>(static_cast<int16>(kRAW_EdgeLimitLow)), static_cast<int>(VB) - 16);
    // Samples of more than 8 bits go to the host on the 16-bit scale.
    p->outShift = (VB > 8 && VB < 16) ? 16u - VB : 0u;
}

// The working values of one stretch (of at most kRAW_ChunkPixels + 1 pixels).
enum { kRAW_ScratchPixels = kRAW_ChunkPixels + 1 };
typedef struct RAW_ChunkScratch {
    uint16 r1[kRAW_ScratchPixels], g1[kRAW_ScratchPixels], b1[kRAW_ScratchPixels];
    uint16 r2[kRAW_ScratchPixels], g2[kRAW_ScratchPixels], b2[kRAW_ScratchPixels];
    uint16 r3[kRAW_ScratchPixels], g3[kRAW_ScratchPixels], b3[kRAW_ScratchPixels];
    uint16 r4[kRAW_ScratchPixels], g4[kRAW_ScratchPixels], b4[kRAW_ScratchPixels];
    double y1[kRAW_ScratchPixels], cr1[kRAW_ScratchPixels], cb1[kRAW_ScratchPixels];
    double edge1[kRAW_ScratchPixels];
} RAW_ChunkScratch;

void RAW_ConvertBandInChunks(const RAW_BandSettings *s, uint16 inWidth, const uint16 *inBayer,
                             const uint16 *inBayerEdge, const Rect *inArea, uint16 *R_F, uint16 *B_F, uint16 *G_F) {
    const int32 aWidth = inArea->right - inArea->left;
    const int32 aHeight = inArea->bottom - inArea->top;
    if (aWidth <= 0 || aHeight <= 0) return;
    RAW_ChunkParameters p;
    DoChunkParameters(s, &p);
    RAW_ToneLookup aTone;
    RAW_PrepareToneLookup(RAW_ToneTableOfMode(s->tone_mode, s->LUT_Tone0, s->LUT_Tone1, s->LUT_Tone2), s->VB, &aTone);
    RAW_KDetailParameters aDetail;
    aDetail.Kedge = s->Kedge;
    aDetail.Kcoring = s->Kcoring;
    aDetail.THH = p.edgeHigh;
    aDetail.THL = p.edgeLow;
    aDetail.CSK1 = static_cast<double>(s->CSK1);
    aDetail.CSK2 = static_cast<double>(s->CSK2);
    aDetail.CSK3 = static_cast<double>(s->CSK3);
    aDetail.CSK4 = static_cast<double>(s->CSK4);
    aDetail.CSG1 = static_cast<double>(s->CSG1);
    aDetail.CSG2 = s->CSG2;
    aDetail.sampleMax = p.sampleMax;
    aDetail.sampleLimit = p.sampleLimit;
    aDetail.gainUnit = ldexp(1.0, -static_cast<int>(s->VB > 31 ? 31 : s->VB));
    aDetail.outShift = p.outShift;
    RAW_ChunkScratch w;

    for (int32 i = 0; i < aHeight; ++i) {
        const size_t aBandRow = static_cast<size_t>(inArea->top + i) * inWidth + inArea->left;
        const size_t aOutRow = static_cast<size_t>(i) * static_cast<size_t>(aWidth);
        // Red rows give c0 = red, c1 = blue; blue rows the other way round, and there the
        // windows of even columns start with green.
        const Boolean aRedRow = ((i + p.rowPhase) & 1) == 0;
        const Boolean aCornerFirst = aRedRow ? p.cornerFirst : !p.cornerFirst;
        const Boolean aGreenFirst = ((i + p.greenPhase) & 1) == 0;
        // The interpolation pairs a corner window with the green window after it. A row that
        // starts with a green window has a first stretch one longer, so that every later
        // stretch starts with a corner window and holds whole pairs.
        int32 n = kRAW_ChunkPixels + (aCornerFirst ? 0 : 1);
        for (int32 x = 0; x < aWidth; x += n, n = kRAW_ChunkPixels) {
            if (n > aWidth - x) n = aWidth - x;
            // The kind of the first window of a stretch follows the parity of its column.
            const Boolean aOdd = (x & 1) != 0;
            const Boolean aChunkCornerFirst = aOdd ? !aCornerFirst : aCornerFirst;
            const Boolean aChunkGreenFirst = aOdd ? !aGreenFirst : aGreenFirst;
            const size_t un = static_cast<size_t>(n);

            // Colour interpolation from the four band rows under the stretch.
            const uint16 *p1 = inBayer + aBandRow + x, *p2 = p1 + inWidth, *p3 = p2 + inWidth, *p4 = p3 + inWidth;
            if (aRedRow)
                RAW_RUN_KERNEL(RAW_KLowPassRow, p1, p2, p3, p4, n, aChunkCornerFirst, kRAW_LPFInnerWeight,
                               kRAW_LPFMixedWeight, kRAW_LPFOuterWeight, p.sampleLimit, w.r1, w.g1, w.b1);
            else
                RAW_RUN_KERNEL(RAW_KLowPassRow, p1, p2, p3, p4, n, aChunkCornerFirst, kRAW_LPFInnerWeight,
                               kRAW_LPFMixedWeight, kRAW_LPFOuterWeight, p.sampleLimit, w.b1, w.g1, w.r1);

            // Coloration control, colour matrix, tone.
            const uint16 *r2 = w.r1, *g2 = w.g1, *b2 = w.b1;
            if (p.coloration) {
                RAW_RUN_KERNEL(RAW_KColorationControl, w.r1, w.g1, w.b1, n, p.clipSR, p.clipSB, p.ceilingR, p.ceilingB,
                               p.colorationMax, w.r2, w.g2, w.b2);
                r2 = w.r2, g2 = w.g2, b2 = w.b2;
            }
            RAW_RUN_KERNEL(RAW_KColorMatrix, r2, g2, b2, n, p.matrix, p.sampleLimit, w.r3, w.g3, w.b3);
            RAW_RunToneLookup(&aTone, w.r3, un, w.r4);
            RAW_RunToneLookup(&aTone, w.g3, un, w.g4);
            RAW_RunToneLookup(&aTone, w.b3, un, w.b4);
            RAW_RUN_KERNEL(RAW_KConvert2YC, w.r4, w.g4, w.b4, n, p.sampleMax, w.y1, w.cr1, w.cb1);

            // The detail signal from the toned mosaic under the stretch.
            const uint16 *e1 = inBayerEdge + aBandRow + x, *e2 = e1 + inWidth, *e3 = e2 + inWidth, *e4 = e3 + inWidth;
            RAW_RUN_KERNEL(RAW_KEdgeBPFRow, e1, e2, e3, e4, n, aChunkGreenFirst, kRAW_BPFInnerWeight,
                           kRAW_BPFMixedWeight, kRAW_BPFOuterWeight, p.edgeMax, w.edge1);
            // Coring, chroma suppression with the detail added, and back to RGB.
            RAW_RUN_KERNEL(RAW_KDetailToRGB, w.y1, w.cr1, w.cb1, w.r4, w.g4, w.b4, w.edge1, n, &aDetail,
                           R_F + aOutRow + x, B_F + aOutRow + x, G_F + aOutRow + x);
        }
    }
}
