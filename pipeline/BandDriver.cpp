// The band conversion driver: chooses every stage parameter from the processing method
// and the camera settings, runs the stages in their fixed order and takes each
// intermediate plane from the host, freeing it right after its last reader.
#include "../plugin/HostMemory.h"
#include "BandChunks.h"
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
    // The planes were set from a workspace: taking one takes what is there, and freeing
    // one leaves it for the next band.
    Boolean fixed;
} RAW_BandPlanes;

// Takes one locked host buffer. False when the host gives none; a buffer that was
// allocated but could not be locked is freed again at once, so the plane stays empty.
static Boolean DoAllocatePlane(const RAW_BandPlanes *inPlanes, BufferProcs *inProcs, int32 inSize, void **outPlane,
                               BufferID *outID) {
    if (inPlanes->fixed) return *outPlane != nullptr;
    *outID = nullptr;
    *outPlane = RAW_AllocateBuffer(inProcs, inSize, outID);
    if (*outPlane != nullptr) return true;
    RAW_FreeBuffer(inProcs, *outID);
    *outID = nullptr;
    return false;
}

// Frees one plane if it holds a buffer and empties it, so that nothing is freed twice.
static void DoFreePlane(const RAW_BandPlanes *inPlanes, BufferProcs *inProcs, void **ioPlane, BufferID *ioID) {
    if (inPlanes->fixed) return;
    RAW_FreeBuffer(inProcs, *ioID);
    *ioID = nullptr;
    *ioPlane = nullptr;
}

#define RAW_ALLOC(procs, size, planes, name) \
    DoAllocatePlane(planes, procs, size, reinterpret_cast<void **>(&(planes)->name), &(planes)->name##_ID)
#define RAW_FREE(procs, planes, name) \
    DoFreePlane(planes, procs, reinterpret_cast<void **>(&(planes)->name), &(planes)->name##_ID)

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
    DoFreePlane(ioPlanes, inProcs, reinterpret_cast<void **>(&ioPlanes->Bayer_Edge), &ioPlanes->Bayer_EdgeID);
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

void RAW_ChooseBandSettings(const Globals *globals, uint16 *const inLUT[kLUTCount], RAW_BandSettings *outSettings) {
    const RAW_Info *info = &globals->info;
    RAW_BandSettings *s = outSettings;
    s->reference = sRAW_ReferenceStages;
    s->VB = static_cast<uint16>(info->valid_bits_per_pixel[0]);
    s->VBShift = static_cast<uint16>(info->valid_bits_per_pixel[1]);
    s->endian = info->endian;
    s->tone_mode = info->tone_mode;
    for (int aIndex = 0; aIndex < 4; ++aIndex) s->CFA[aIndex] = info->cfa_pattern.value[aIndex];

    // Method 0 is plain development.
    s->OB_R = s->OB_Gr = s->OB_Gb = s->OB_B = 0;
    s->WB_R = s->WB_B = 1.0;
    s->CMX1 = 1.0, s->CMX2 = 0.0, s->CMX3 = 0.0;
    s->CMX4 = 0.0, s->CMX5 = 1.0, s->CMX6 = 0.0;
    s->CMX7 = 0.0, s->CMX8 = 0.0, s->CMX9 = 1.0;
    s->Kedge = 1.0, s->Kcoring = 0.0;
    s->CSG1 = 0;
    s->CSG2 = 0.0;
    s->LUT_Tone0 = s->LUT_Tone1 = s->LUT_Tone2 = s->LUT_Edge = inLUT[0];
    if (globals->method != 0) {
        s->OB_R = static_cast<uint16>(info->optical_black[0]);
        s->OB_Gr = static_cast<uint16>(info->optical_black[1]);
        s->OB_Gb = static_cast<uint16>(info->optical_black[2]);
        s->OB_B = static_cast<uint16>(info->optical_black[3]);
        s->WB_R = RAW_SInt32ToGainRatio(info->wb_gain_gr);
        s->WB_B = RAW_SInt32ToGainRatio(info->wb_gain_gb);
        s->CMX1 = RAW_SInt16ToX(info->color_matrix[0]);
        s->CMX2 = RAW_SInt16ToX(info->color_matrix[1]);
        s->CMX3 = RAW_SInt16ToX(info->color_matrix[2]);
        s->CMX4 = RAW_SInt16ToX(info->color_matrix[3]);
        s->CMX5 = RAW_SInt16ToX(info->color_matrix[4]);
        s->CMX6 = RAW_SInt16ToX(info->color_matrix[5]);
        s->CMX7 = RAW_SInt16ToX(info->color_matrix[6]);
        s->CMX8 = RAW_SInt16ToX(info->color_matrix[7]);
        s->CMX9 = RAW_SInt16ToX(info->color_matrix[8]);
    }
    if (globals->method == 2) {
        s->Kedge = RAW_SInt16ToX(info->enhancer);
        s->Kcoring = RAW_SInt16ToX(info->coring);
        s->CSG1 = info->chromasupless[4];
        s->CSG2 = RAW_SInt16ToX(info->chromasupless[5]);
        s->LUT_Tone0 = inLUT[1];
        s->LUT_Tone1 = inLUT[2];
        s->LUT_Tone2 = inLUT[3];
        s->LUT_Edge = inLUT[4];
    }
    s->CSK1 = static_cast<uint16>(info->chromasupless[0]);
    s->CSK2 = static_cast<uint16>(info->chromasupless[1]);
    s->CSK3 = static_cast<uint16>(info->chromasupless[2]);
    s->CSK4 = static_cast<uint16>(info->chromasupless[3]);

    // The user's gains replace the camera's while a point is picked.
    if (globals->method != 0 && globals->wb_point.h != -1 && globals->wb_point.v != -1) {
        s->WB_R = globals->wb_r;
        s->WB_B = globals->wb_b;
    }
}

// Whether every window of OutSize lies inside the band: output pixel (i, j) reads band
// rows i .. i + 3 and columns j .. j + 3.
static Boolean DoAreaFits(uint16 inWidth, uint16 inHeight, const Rect *inArea) {
    int32 aW = inArea->right - inArea->left;
    int32 aH = inArea->bottom - inArea->top;
    return aW > 0 && aH > 0 && inArea->top >= 0 && inArea->left >= 0 && inArea->bottom + 3 <= inHeight &&
           inArea->right + 3 <= inWidth;
}

// The stages in their fixed order over one band, each intermediate plane taken right
// before its first writer and given back right after its last reader.
static Boolean DoRunStages(const RAW_BandSettings *s, BufferProcs *aProcs, RAW_BandPlanes *p, uint16 inWidth,
                           uint16 inHeight, uint16 *inBayer, const Rect *inArea, uint16 *R_F, uint16 *B_F,
                           uint16 *G_F) {
    const int32 aW = inArea->right - inArea->left;
    const int32 aH = inArea->bottom - inArea->top;
    const uint16 VB = s->VB;
    const uint8_t *CFA = s->CFA;
    const int32 aIntSize = 2 * aW * aH;
    const int32 aRealSize = 8 * aW * aH;
    const int32 aBandSize = 2 * static_cast<int32>(inWidth) * static_cast<int32>(inHeight);
    const Boolean aReference = s->reference;

    // 1. Bring the samples to host order with the valid bits at the bottom.
    RAW_STAGE(aReference, RAW_ShiftRight, inBayer, inWidth, inHeight, VB, s->VBShift, s->endian);

    // 2. Black levels and gains, in place.
    RAW_STAGE(aReference, RAW_WhiteBalance, inBayer, inWidth, inHeight, CFA, s->OB_R, s->OB_Gr, s->OB_Gb, s->OB_B,
              s->WB_R, s->WB_B, VB);

    // The optimised stages from the interpolation on run stretch by stretch and need only
    // the toned mosaic of the detail signal.
    if (!aReference) {
        if (!DoAllocatePlane(p, aProcs, aBandSize, reinterpret_cast<void **>(&p->Bayer_Edge), &p->Bayer_EdgeID))
            return DoAbandonBand(aProcs, p);
        RAW_EdgeLUTAdjust(inBayer, inWidth, inHeight, s->LUT_Edge, s->tone_mode, VB, p->Bayer_Edge);
        RAW_ConvertBandInChunks(s, inWidth, inBayer, p->Bayer_Edge, inArea, R_F, B_F, G_F);
        DoFreePlane(p, aProcs, reinterpret_cast<void **>(&p->Bayer_Edge), &p->Bayer_EdgeID);
        return true;
    }

    // 3. Interpolation.
    if (!RAW_ALLOC(aProcs, aIntSize, p, YL_R1) || !RAW_ALLOC(aProcs, aIntSize, p, YL_G1) ||
        !RAW_ALLOC(aProcs, aIntSize, p, YL_B1))
        return DoAbandonBand(aProcs, p);
    RAW_STAGE(aReference, RAW_LowPassFilter, inBayer, inWidth, inHeight, CFA, kRAW_LPFInnerWeight, kRAW_LPFMixedWeight,
              kRAW_LPFOuterWeight, VB, inArea, p->YL_R1, p->YL_G1, p->YL_B1);

    // 4. Coloration control.
    if (!RAW_ALLOC(aProcs, aIntSize, p, YL_R2) || !RAW_ALLOC(aProcs, aIntSize, p, YL_G2) ||
        !RAW_ALLOC(aProcs, aIntSize, p, YL_B2))
        return DoAbandonBand(aProcs, p);
    RAW_STAGE(aReference, RAW_ColorationControl, p->YL_R1, p->YL_G1, p->YL_B1, s->WB_R, s->WB_B, s->tone_mode, VB,
              s->OB_R, s->OB_Gr, s->OB_Gb, s->OB_B, inArea, p->YL_R2, p->YL_G2, p->YL_B2);
    RAW_FREE(aProcs, p, YL_R1);
    RAW_FREE(aProcs, p, YL_G1);
    RAW_FREE(aProcs, p, YL_B1);

    // 5. Colour matrix.
    if (!RAW_ALLOC(aProcs, aIntSize, p, YL_R3) || !RAW_ALLOC(aProcs, aIntSize, p, YL_G3) ||
        !RAW_ALLOC(aProcs, aIntSize, p, YL_B3))
        return DoAbandonBand(aProcs, p);
    RAW_STAGE(aReference, RAW_ColorAdjust, p->YL_R2, p->YL_G2, p->YL_B2, s->CMX1, s->CMX2, s->CMX3, s->CMX4, s->CMX5,
              s->CMX6, s->CMX7, s->CMX8, s->CMX9, VB, inArea, p->YL_R3, p->YL_G3, p->YL_B3);
    RAW_FREE(aProcs, p, YL_R2);
    RAW_FREE(aProcs, p, YL_G2);
    RAW_FREE(aProcs, p, YL_B2);

    // 6. Tone curve.
    if (!RAW_ALLOC(aProcs, aIntSize, p, YL_R4) || !RAW_ALLOC(aProcs, aIntSize, p, YL_G4) ||
        !RAW_ALLOC(aProcs, aIntSize, p, YL_B4))
        return DoAbandonBand(aProcs, p);
    RAW_STAGE(aReference, RAW_LUTAdjust, p->YL_R3, p->YL_G3, p->YL_B3, s->LUT_Tone0, s->LUT_Tone1, s->LUT_Tone2,
              s->tone_mode, VB, inArea, p->YL_R4, p->YL_G4, p->YL_B4);
    RAW_FREE(aProcs, p, YL_R3);
    RAW_FREE(aProcs, p, YL_G3);
    RAW_FREE(aProcs, p, YL_B3);

    // 7. Luminance and colour differences.
    if (!RAW_ALLOC(aProcs, aRealSize, p, YL_Y1) || !RAW_ALLOC(aProcs, aRealSize, p, YL_Cr1) ||
        !RAW_ALLOC(aProcs, aRealSize, p, YL_Cb1))
        return DoAbandonBand(aProcs, p);
    RAW_STAGE(aReference, RAW_Convert2YC, p->YL_R4, p->YL_G4, p->YL_B4, VB, inArea, p->YL_Y1, p->YL_Cr1, p->YL_Cb1);

    // 8. The edge path starts from the white-balanced mosaic.
    if (!DoAllocatePlane(p, aProcs, aBandSize, reinterpret_cast<void **>(&p->Bayer_Edge), &p->Bayer_EdgeID))
        return DoAbandonBand(aProcs, p);
    RAW_STAGE(aReference, RAW_EdgeLUTAdjust, inBayer, inWidth, inHeight, s->LUT_Edge, s->tone_mode, VB, p->Bayer_Edge);

    // 9. Band-pass detail.
    if (!RAW_ALLOC(aProcs, aRealSize, p, YH_Edge1)) return DoAbandonBand(aProcs, p);
    RAW_STAGE(aReference, RAW_EdgeBPF, p->Bayer_Edge, inWidth, inHeight, CFA, kRAW_BPFInnerWeight, kRAW_BPFMixedWeight,
              kRAW_BPFOuterWeight, VB, inArea, p->YH_Edge1);
    DoFreePlane(p, aProcs, reinterpret_cast<void **>(&p->Bayer_Edge), &p->Bayer_EdgeID);

    // 10. Coring and edge gain.
    if (!RAW_ALLOC(aProcs, aRealSize, p, YH_EdgeF)) return DoAbandonBand(aProcs, p);
    RAW_STAGE(aReference, RAW_CoringEdge, p->YH_Edge1, kRAW_EdgeLimitHigh, kRAW_EdgeLimitLow, s->Kedge, s->Kcoring, VB,
              inArea, p->YH_EdgeF);

    // 11. Chroma suppression with the detail added.
    if (!RAW_ALLOC(aProcs, aRealSize, p, YHL_YF) || !RAW_ALLOC(aProcs, aRealSize, p, YHL_CrF) ||
        !RAW_ALLOC(aProcs, aRealSize, p, YHL_CbF))
        return DoAbandonBand(aProcs, p);
    RAW_STAGE(aReference, RAW_ColorRestrainEdgeAdd, p->YL_Y1, p->YL_Cr1, p->YL_Cb1, p->YH_EdgeF, p->YL_R4, p->YL_G4,
              p->YL_B4, p->YH_Edge1, s->CSK1, s->CSK2, s->CSK3, s->CSK4, s->CSG1, s->CSG2, VB, inArea, p->YHL_YF,
              p->YHL_CrF, p->YHL_CbF);

    // 12. Everything but the final luminance and colour differences.
    RAW_FREE(aProcs, p, YL_R4);
    RAW_FREE(aProcs, p, YL_G4);
    RAW_FREE(aProcs, p, YL_B4);
    RAW_FREE(aProcs, p, YL_Y1);
    RAW_FREE(aProcs, p, YL_Cr1);
    RAW_FREE(aProcs, p, YL_Cb1);
    RAW_FREE(aProcs, p, YH_Edge1);
    RAW_FREE(aProcs, p, YH_EdgeF);

    // 13. Back to RGB: the second output parameter carries green, the third blue.
    RAW_STAGE(aReference, RAW_ConvertToRGB, p->YHL_YF, p->YHL_CrF, p->YHL_CbF, VB, inArea, R_F, B_F, G_F);

    // 14.
    RAW_FREE(aProcs, p, YHL_YF);
    RAW_FREE(aProcs, p, YHL_CrF);
    RAW_FREE(aProcs, p, YHL_CbF);
    return true;
}

Boolean DoConvert(Globals *globals, uint16 inWidth, uint16 inHeight, uint16 *inBayer, const Rect *inArea,
                  uint16 *inLUT[kLUTCount], uint16 *R_F, uint16 *B_F, uint16 *G_F) {
    if (globals == nullptr || inBayer == nullptr || inArea == nullptr || inLUT == nullptr || R_F == nullptr ||
        B_F == nullptr || G_F == nullptr)
        return false;
    if (!DoAreaFits(inWidth, inHeight, inArea)) return false;
    BufferProcs *aProcs = globals->acquireParamBlock != nullptr ? globals->acquireParamBlock->bufferProcs : nullptr;
    RAW_BandSettings aSettings;
    RAW_ChooseBandSettings(globals, inLUT, &aSettings);
    RAW_BandPlanes aPlanes = {};
    return DoRunStages(&aSettings, aProcs, &aPlanes, inWidth, inHeight, inBayer, inArea, R_F, B_F, G_F);
}

Boolean RAW_AllocateBandWorkspace(BufferProcs *inProcs, uint16 inWidth, uint16 inHeight, const Rect *inArea,
                                  RAW_BandWorkspace *outSpace) {
    *outSpace = RAW_BandWorkspace{};
    if (!DoAreaFits(inWidth, inHeight, inArea)) return false;
    const int32 aPixels = (inArea->right - inArea->left) * (inArea->bottom - inArea->top);
    Boolean aComplete = true;
    // The optimised stages keep no plane of the band but the toned mosaic; the reference
    // forms need them all.
    const int32 aIntPlanes = sRAW_ReferenceStages ? kRAW_WorkspaceIntPlanes : 0;
    const int32 aRealPlanes = sRAW_ReferenceStages ? kRAW_WorkspaceRealPlanes : 0;
    for (int aIndex = 0; aIndex < aIntPlanes && aComplete; ++aIndex) {
        outSpace->intPlane[aIndex] =
            reinterpret_cast<uint16 *>(RAW_AllocateBuffer(inProcs, 2 * aPixels, &outSpace->intID[aIndex]));
        aComplete = outSpace->intPlane[aIndex] != nullptr;
    }
    for (int aIndex = 0; aIndex < aRealPlanes && aComplete; ++aIndex) {
        outSpace->realPlane[aIndex] =
            reinterpret_cast<double *>(RAW_AllocateBuffer(inProcs, 8 * aPixels, &outSpace->realID[aIndex]));
        aComplete = outSpace->realPlane[aIndex] != nullptr;
    }
    if (aComplete) {
        const int32 aBandSize = 2 * static_cast<int32>(inWidth) * static_cast<int32>(inHeight);
        outSpace->edgeMosaic =
            reinterpret_cast<uint16 *>(RAW_AllocateBuffer(inProcs, aBandSize, &outSpace->edgeMosaicID));
        aComplete = outSpace->edgeMosaic != nullptr;
    }
    if (!aComplete) RAW_FreeBandWorkspace(inProcs, outSpace);
    return aComplete;
}

void RAW_FreeBandWorkspace(BufferProcs *inProcs, RAW_BandWorkspace *ioSpace) {
    for (int aIndex = 0; aIndex < kRAW_WorkspaceIntPlanes; ++aIndex) RAW_FreeBuffer(inProcs, ioSpace->intID[aIndex]);
    for (int aIndex = 0; aIndex < kRAW_WorkspaceRealPlanes; ++aIndex) RAW_FreeBuffer(inProcs, ioSpace->realID[aIndex]);
    RAW_FreeBuffer(inProcs, ioSpace->edgeMosaicID);
    *ioSpace = RAW_BandWorkspace{};
}

Boolean RAW_ConvertInWorkspace(const RAW_BandSettings *inSettings, RAW_BandWorkspace *ioSpace, uint16 inWidth,
                               uint16 inHeight, uint16 *inBayer, const Rect *inArea, uint16 *R_F, uint16 *B_F,
                               uint16 *G_F) {
    if (!DoAreaFits(inWidth, inHeight, inArea)) return false;
    RAW_BandPlanes aPlanes = {};
    RAW_BandPlanes *p = &aPlanes;
    p->fixed = true;
    // Stage n + 1 reads what stage n wrote, so the first and third integer sets share
    // the planes of one set, the second and fourth those of the other.
    p->YL_R1 = p->YL_R3 = ioSpace->intPlane[0];
    p->YL_G1 = p->YL_G3 = ioSpace->intPlane[1];
    p->YL_B1 = p->YL_B3 = ioSpace->intPlane[2];
    p->YL_R2 = p->YL_R4 = ioSpace->intPlane[3];
    p->YL_G2 = p->YL_G4 = ioSpace->intPlane[4];
    p->YL_B2 = p->YL_B4 = ioSpace->intPlane[5];
    p->YL_Y1 = ioSpace->realPlane[0];
    p->YL_Cr1 = ioSpace->realPlane[1];
    p->YL_Cb1 = ioSpace->realPlane[2];
    p->YH_Edge1 = ioSpace->realPlane[3];
    p->YH_EdgeF = ioSpace->realPlane[4];
    p->YHL_YF = ioSpace->realPlane[5];
    p->YHL_CrF = ioSpace->realPlane[6];
    p->YHL_CbF = ioSpace->realPlane[7];
    p->Bayer_Edge = ioSpace->edgeMosaic;
    return DoRunStages(inSettings, nullptr, p, inWidth, inHeight, inBayer, inArea, R_F, B_F, G_F);
}
