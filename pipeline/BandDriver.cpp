// The band conversion driver: chooses every stage parameter from the processing method
// and the camera settings, runs the stages in their fixed order and takes each
// intermediate plane from the host, freeing it right after its last reader.
#include "../plugin/HostMemory.h"
#include "Pipeline.h"
#include "PipelineReference.h"
#include "StageCoefficients.h"

// The driver runs the optimised stages unless a test or benchmark asks for the
// straightforward forms. The choice is made once per band, never per pixel.
static Boolean sRAW_ReferenceStages = false;

void RAW_SelectReferenceStages(Boolean inReference) { sRAW_ReferenceStages = inReference; }

Boolean RAW_ReferenceStagesSelected(void) { return sRAW_ReferenceStages; }

// One stage call in the selected form.
#define RAW_STAGE(reference, name, ...) ((reference) ? name##_Reference(__VA_ARGS__) : name(__VA_ARGS__))

// Every intermediate plane of one band with its host buffer id. All start null; a plane
// whose id is null holds no buffer.
typedef struct RAW_BandPlanes {
    uint16 *YL_R1, *YL_G1, *YL_B1;
    BufferID YL_R1_ID, YL_G1_ID, YL_B1_ID;
    uint16 *YL_R2, *YL_G2, *YL_B2;
    BufferID YL_R2_ID, YL_G2_ID, YL_B2_ID;
    uint16 *YL_R3, *YL_G3, *YL_B3;
    BufferID YL_R3_ID, YL_G3_ID, YL_B3_ID;
    uint16 *YL_R4, *YL_G4, *YL_B4;
    BufferID YL_R4_ID, YL_G4_ID, YL_B4_ID;
    double *YL_Y1, *YL_Cr1, *YL_Cb1;
    BufferID YL_Y1_ID, YL_Cr1_ID, YL_Cb1_ID;
    uint16 *Bayer_Edge;
    BufferID Bayer_EdgeID;
    double *YH_Edge1;
    BufferID YH_Edge1_ID;
    double *YH_EdgeF;
    BufferID YH_EdgeF_ID;
    double *YHL_YF, *YHL_CrF, *YHL_CbF;
    BufferID YHL_YF_ID, YHL_CrF_ID, YHL_CbF_ID;
} RAW_BandPlanes;

// Takes one locked host buffer. False when the host gives none; a buffer that was
// allocated but could not be locked is freed again at once, so the plane stays empty.
static Boolean DoAllocatePlane(BufferProcs *inProcs, int32 inSize, void **outPlane, BufferID *outID) {
    *outID = nullptr;
    *outPlane = RAW_AllocateBuffer(inProcs, inSize, outID);
    if (*outPlane != nullptr) return true;
    RAW_FreeBuffer(inProcs, *outID);
    *outID = nullptr;
    return false;
}

// Frees one plane if it holds a buffer and empties it, so that nothing is freed twice.
static void DoFreePlane(BufferProcs *inProcs, void **ioPlane, BufferID *ioID) {
    RAW_FreeBuffer(inProcs, *ioID);
    *ioID = nullptr;
    *ioPlane = nullptr;
}

#define RAW_ALLOC(procs, size, planes, name) \
    DoAllocatePlane(procs, size, reinterpret_cast<void **>(&(planes)->name), &(planes)->name##_ID)
#define RAW_FREE(procs, planes, name) \
    DoFreePlane(procs, reinterpret_cast<void **>(&(planes)->name), &(planes)->name##_ID)

// Frees every plane still held, in the order the conversion takes them.
static void DoFreeAllPlanes(BufferProcs *inProcs, RAW_BandPlanes *ioPlanes) {
    RAW_FREE(inProcs, ioPlanes, YL_R1);
    RAW_FREE(inProcs, ioPlanes, YL_G1);
    RAW_FREE(inProcs, ioPlanes, YL_B1);
    RAW_FREE(inProcs, ioPlanes, YL_R2);
    RAW_FREE(inProcs, ioPlanes, YL_G2);
    RAW_FREE(inProcs, ioPlanes, YL_B2);
    RAW_FREE(inProcs, ioPlanes, YL_R3);
    RAW_FREE(inProcs, ioPlanes, YL_G3);
    RAW_FREE(inProcs, ioPlanes, YL_B3);
    RAW_FREE(inProcs, ioPlanes, YL_R4);
    RAW_FREE(inProcs, ioPlanes, YL_G4);
    RAW_FREE(inProcs, ioPlanes, YL_B4);
    RAW_FREE(inProcs, ioPlanes, YL_Y1);
    RAW_FREE(inProcs, ioPlanes, YL_Cr1);
    RAW_FREE(inProcs, ioPlanes, YL_Cb1);
    DoFreePlane(inProcs, reinterpret_cast<void **>(&ioPlanes->Bayer_Edge), &ioPlanes->Bayer_EdgeID);
    RAW_FREE(inProcs, ioPlanes, YH_Edge1);
    RAW_FREE(inProcs, ioPlanes, YH_EdgeF);
    RAW_FREE(inProcs, ioPlanes, YHL_YF);
    RAW_FREE(inProcs, ioPlanes, YHL_CrF);
    RAW_FREE(inProcs, ioPlanes, YHL_CbF);
}

// Ends a band whose buffer request failed: every plane obtained goes back to the host.
static Boolean DoAbandonBand(BufferProcs *inProcs, RAW_BandPlanes *ioPlanes) {
    DoFreeAllPlanes(inProcs, ioPlanes);
    return false;
}

Boolean DoConvert(Globals *globals, uint16 inWidth, uint16 inHeight, uint16 *inBayer, const Rect *inArea,
                  uint16 *inLUT[kLUTCount], uint16 *R_F, uint16 *B_F, uint16 *G_F) {
    if (globals == nullptr || inBayer == nullptr || inArea == nullptr || inLUT == nullptr || R_F == nullptr ||
        B_F == nullptr || G_F == nullptr)
        return false;
    const RAW_Info *info = &globals->info;
    BufferProcs *aProcs = globals->acquireParamBlock != nullptr ? globals->acquireParamBlock->bufferProcs : nullptr;

    // Every window of OutSize must lie inside the band: output pixel (i, j) reads band
    // rows i .. i + 3 and columns j .. j + 3.
    int32 aW = inArea->right - inArea->left;
    int32 aH = inArea->bottom - inArea->top;
    if (aW <= 0 || aH <= 0 || aH + 3 > inHeight || aW + 3 > inWidth) return false;

    const uint16 VB = static_cast<uint16>(info->valid_bits_per_pixel[0]);
    const uint8_t *CFA = info->cfa_pattern.value;
    const int32 aIntSize = 2 * aW * aH;
    const int32 aRealSize = 8 * aW * aH;
    const int32 aBandSize = 2 * static_cast<int32>(inWidth) * static_cast<int32>(inHeight);

    // 1. Bring the samples to host order with the valid bits at the bottom.
    const Boolean aReference = sRAW_ReferenceStages;
    RAW_STAGE(aReference, RAW_ShiftRight, inBayer, inWidth, inHeight, VB,
              static_cast<uint16>(info->valid_bits_per_pixel[1]), info->endian);

    // 2. Stage parameters of the method; method 0 is plain development.
    uint16 OB_R = 0, OB_Gr = 0, OB_Gb = 0, OB_B = 0;
    double WB_R = 1.0, WB_B = 1.0;
    double CMX1 = 1.0, CMX2 = 0.0, CMX3 = 0.0, CMX4 = 0.0, CMX5 = 1.0, CMX6 = 0.0, CMX7 = 0.0, CMX8 = 0.0, CMX9 = 1.0;
    double Kedge = 1.0, Kcoring = 0.0;
    int16 CSG1 = 0;
    double CSG2 = 0.0;
    const uint16 *LUT_Tone0 = inLUT[0], *LUT_Tone1 = inLUT[0], *LUT_Tone2 = inLUT[0], *LUT_Edge = inLUT[0];
    if (globals->method != 0) {
        OB_R = static_cast<uint16>(info->optical_black[0]);
        OB_Gr = static_cast<uint16>(info->optical_black[1]);
        OB_Gb = static_cast<uint16>(info->optical_black[2]);
        OB_B = static_cast<uint16>(info->optical_black[3]);
        WB_R = RAW_SInt32ToGainRatio(info->wb_gain_gr);
        WB_B = RAW_SInt32ToGainRatio(info->wb_gain_gb);
        CMX1 = RAW_SInt16ToX(info->color_matrix[0]);
        CMX2 = RAW_SInt16ToX(info->color_matrix[1]);
        CMX3 = RAW_SInt16ToX(info->color_matrix[2]);
        CMX4 = RAW_SInt16ToX(info->color_matrix[3]);
        CMX5 = RAW_SInt16ToX(info->color_matrix[4]);
        CMX6 = RAW_SInt16ToX(info->color_matrix[5]);
        CMX7 = RAW_SInt16ToX(info->color_matrix[6]);
        CMX8 = RAW_SInt16ToX(info->color_matrix[7]);
        CMX9 = RAW_SInt16ToX(info->color_matrix[8]);
    }
    if (globals->method == 2) {
        Kedge = RAW_SInt16ToX(info->enhancer);
        Kcoring = RAW_SInt16ToX(info->coring);
        CSG1 = info->chromasupless[4];
        CSG2 = RAW_SInt16ToX(info->chromasupless[5]);
        LUT_Tone0 = inLUT[1];
        LUT_Tone1 = inLUT[2];
        LUT_Tone2 = inLUT[3];
        LUT_Edge = inLUT[4];
    }
    const uint16 CSK1 = static_cast<uint16>(info->chromasupless[0]);
    const uint16 CSK2 = static_cast<uint16>(info->chromasupless[1]);
    const uint16 CSK3 = static_cast<uint16>(info->chromasupless[2]);
    const uint16 CSK4 = static_cast<uint16>(info->chromasupless[3]);

    // 3. The user's gains replace the camera's while a point is picked.
    if (globals->method != 0 && globals->wb_point.h != -1 && globals->wb_point.v != -1) {
        WB_R = globals->wb_r;
        WB_B = globals->wb_b;
    }

    // 4. Black levels and gains, in place.
    RAW_STAGE(aReference, RAW_WhiteBalance, inBayer, inWidth, inHeight, CFA, OB_R, OB_Gr, OB_Gb, OB_B, WB_R, WB_B, VB);

    RAW_BandPlanes aPlanes = {};
    RAW_BandPlanes *p = &aPlanes;

    // 5. Interpolation.
    if (!RAW_ALLOC(aProcs, aIntSize, p, YL_R1) || !RAW_ALLOC(aProcs, aIntSize, p, YL_G1) ||
        !RAW_ALLOC(aProcs, aIntSize, p, YL_B1))
        return DoAbandonBand(aProcs, p);
    RAW_STAGE(aReference, RAW_LowPassFilter, inBayer, inWidth, inHeight, CFA, kRAW_LPFInnerWeight, kRAW_LPFMixedWeight,
              kRAW_LPFOuterWeight, VB, inArea, p->YL_R1, p->YL_G1, p->YL_B1);

    // 6. Coloration control.
    if (!RAW_ALLOC(aProcs, aIntSize, p, YL_R2) || !RAW_ALLOC(aProcs, aIntSize, p, YL_G2) ||
        !RAW_ALLOC(aProcs, aIntSize, p, YL_B2))
        return DoAbandonBand(aProcs, p);
    RAW_STAGE(aReference, RAW_ColorationControl, p->YL_R1, p->YL_G1, p->YL_B1, WB_R, WB_B, info->tone_mode, VB, OB_R,
              OB_Gr, OB_Gb, OB_B, inArea, p->YL_R2, p->YL_G2, p->YL_B2);
    RAW_FREE(aProcs, p, YL_R1);
    RAW_FREE(aProcs, p, YL_G1);
    RAW_FREE(aProcs, p, YL_B1);

    // 7. Colour matrix.
    if (!RAW_ALLOC(aProcs, aIntSize, p, YL_R3) || !RAW_ALLOC(aProcs, aIntSize, p, YL_G3) ||
        !RAW_ALLOC(aProcs, aIntSize, p, YL_B3))
        return DoAbandonBand(aProcs, p);
    RAW_STAGE(aReference, RAW_ColorAdjust, p->YL_R2, p->YL_G2, p->YL_B2, CMX1, CMX2, CMX3, CMX4, CMX5, CMX6, CMX7, CMX8,
              CMX9, VB, inArea, p->YL_R3, p->YL_G3, p->YL_B3);
    RAW_FREE(aProcs, p, YL_R2);
    RAW_FREE(aProcs, p, YL_G2);
    RAW_FREE(aProcs, p, YL_B2);

    // 8. Tone curve.
    if (!RAW_ALLOC(aProcs, aIntSize, p, YL_R4) || !RAW_ALLOC(aProcs, aIntSize, p, YL_G4) ||
        !RAW_ALLOC(aProcs, aIntSize, p, YL_B4))
        return DoAbandonBand(aProcs, p);
    RAW_STAGE(aReference, RAW_LUTAdjust, p->YL_R3, p->YL_G3, p->YL_B3, LUT_Tone0, LUT_Tone1, LUT_Tone2, info->tone_mode,
              VB, inArea, p->YL_R4, p->YL_G4, p->YL_B4);
    RAW_FREE(aProcs, p, YL_R3);
    RAW_FREE(aProcs, p, YL_G3);
    RAW_FREE(aProcs, p, YL_B3);

    // 9. Luminance and colour differences.
    if (!RAW_ALLOC(aProcs, aRealSize, p, YL_Y1) || !RAW_ALLOC(aProcs, aRealSize, p, YL_Cr1) ||
        !RAW_ALLOC(aProcs, aRealSize, p, YL_Cb1))
        return DoAbandonBand(aProcs, p);
    RAW_STAGE(aReference, RAW_Convert2YC, p->YL_R4, p->YL_G4, p->YL_B4, VB, inArea, p->YL_Y1, p->YL_Cr1, p->YL_Cb1);

    // 10. The edge path starts from the white-balanced mosaic.
    if (!DoAllocatePlane(aProcs, aBandSize, reinterpret_cast<void **>(&p->Bayer_Edge), &p->Bayer_EdgeID))
        return DoAbandonBand(aProcs, p);
    RAW_STAGE(aReference, RAW_EdgeLUTAdjust, inBayer, inWidth, inHeight, LUT_Edge, info->tone_mode, VB, p->Bayer_Edge);

    // 11. Band-pass detail.
    if (!RAW_ALLOC(aProcs, aRealSize, p, YH_Edge1)) return DoAbandonBand(aProcs, p);
    RAW_STAGE(aReference, RAW_EdgeBPF, p->Bayer_Edge, inWidth, inHeight, CFA, kRAW_BPFInnerWeight, kRAW_BPFMixedWeight,
              kRAW_BPFOuterWeight, VB, inArea, p->YH_Edge1);
    DoFreePlane(aProcs, reinterpret_cast<void **>(&p->Bayer_Edge), &p->Bayer_EdgeID);

    // 12. Coring and edge gain.
    if (!RAW_ALLOC(aProcs, aRealSize, p, YH_EdgeF)) return DoAbandonBand(aProcs, p);
    RAW_STAGE(aReference, RAW_CoringEdge, p->YH_Edge1, kRAW_EdgeLimitHigh, kRAW_EdgeLimitLow, Kedge, Kcoring, VB,
              inArea, p->YH_EdgeF);

    // 13. Chroma suppression with the detail added.
    if (!RAW_ALLOC(aProcs, aRealSize, p, YHL_YF) || !RAW_ALLOC(aProcs, aRealSize, p, YHL_CrF) ||
        !RAW_ALLOC(aProcs, aRealSize, p, YHL_CbF))
        return DoAbandonBand(aProcs, p);
    RAW_STAGE(aReference, RAW_ColorRestrainEdgeAdd, p->YL_Y1, p->YL_Cr1, p->YL_Cb1, p->YH_EdgeF, p->YL_R4, p->YL_G4,
              p->YL_B4, p->YH_Edge1, CSK1, CSK2, CSK3, CSK4, CSG1, CSG2, VB, inArea, p->YHL_YF, p->YHL_CrF, p->YHL_CbF);

    // 14. Everything but the final luminance and colour differences.
    RAW_FREE(aProcs, p, YL_R4);
    RAW_FREE(aProcs, p, YL_G4);
    RAW_FREE(aProcs, p, YL_B4);
    RAW_FREE(aProcs, p, YL_Y1);
    RAW_FREE(aProcs, p, YL_Cr1);
    RAW_FREE(aProcs, p, YL_Cb1);
    RAW_FREE(aProcs, p, YH_Edge1);
    RAW_FREE(aProcs, p, YH_EdgeF);

    // 15. Back to RGB: the second output parameter carries green, the third blue.
    RAW_STAGE(aReference, RAW_ConvertToRGB, p->YHL_YF, p->YHL_CrF, p->YHL_CbF, VB, inArea, R_F, B_F, G_F);

    // 16.
    RAW_FREE(aProcs, p, YHL_YF);
    RAW_FREE(aProcs, p, YHL_CrF);
    RAW_FREE(aProcs, p, YHL_CbF);
    return true;
}
