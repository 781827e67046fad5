// The image pipeline: the band conversion driver and its stages. Integer planes hold one
// uint16 per pixel of OutSize, real planes one double, row-major without gaps.
#ifndef KARVEX_PIPELINE_PIPELINE_H
#define KARVEX_PIPELINE_PIPELINE_H

#include "../plugin/PlugInGlobals.h"

// Pattern codes: the four CFA bytes packed big-end first.
enum {
    kRAW_Pattern_RGGB = 0x00010102,
    kRAW_Pattern_GRBG = 0x01000201,
    kRAW_Pattern_GBRG = 0x01020001,
    kRAW_Pattern_BGGR = 0x02010100
};

enum { kRAW_LUTEntries = 65536, kRAW_LUTBytes = 131072, kRAW_ToneTableFirstID = 1000 };

// The camera's settings (CameraSettings.cpp).
uint32 RAW_ReadCFAPatternValue(const uint8_t *CFA);
double RAW_SInt16ToX(int16 inValue);
double RAW_SInt32ToGainRatio(int32 inValue);

// White balance (WhiteBalance.cpp, WhiteBalanceGain.cpp).
void RAW_WhiteBalance(uint16 *Bayer, uint16 Bayer_H, uint16 Bayer_V, const uint8_t *CFA, uint16 OB_R, uint16 OB_Gr,
                      uint16 OB_Gb, uint16 OB_B, double WB_R, double WB_B, uint16 ValidBits);
void DoWhiteBalanceGain(Globals *globals);

// Colour interpolation (LowPassFilter.cpp).
void RAW_LowPassFilter(const uint16 *Bayer, uint16 Bayer_H, uint16 Bayer_V, const uint8_t *CFA, double LPF_Ka1,
                       double LPF_Kb1, double LPF_Kc1, uint16 ValidBits, const Rect *OutSize, uint16 *YL_R1,
                       uint16 *YL_G1, uint16 *YL_B1);

// Coloration control (ColorationControl.cpp) and colour matrix (ColorAdjust.cpp).
void RAW_ColorationControl(const uint16 *YL_R1, const uint16 *YL_G1, const uint16 *YL_B1, double WB_R, double WB_B,
                           int16 ToneMode, uint16 ValidBits, uint16 OB_R, uint16 OB_Gr, uint16 OB_Gb, uint16 OB_B,
                           const Rect *OutSize, uint16 *YL_R2, uint16 *YL_G2, uint16 *YL_B2);
void RAW_ColorAdjust(const uint16 *YL_R2, const uint16 *YL_G2, const uint16 *YL_B2, double CMX1, double CMX2,
                     double CMX3, double CMX4, double CMX5, double CMX6, double CMX7, double CMX8, double CMX9,
                     uint16 ValidBits, const Rect *OutSize, uint16 *YL_R3, uint16 *YL_G3, uint16 *YL_B3);

// Tone curves (ToneTableLoader.cpp, ToneCurves.cpp).
Handle RAW_GetLUT(AcquireRecord *inAcquireParam, int16 inToneMode, KarvexInstance hModule);
void RAW_LUTAdjust(const uint16 *YL_R3, const uint16 *YL_G3, const uint16 *YL_B3, const uint16 *Tone_LUT0,
                   const uint16 *Tone_LUT1, const uint16 *Tone_LUT2, int16 ToneMode, uint16 ValidBits,
                   const Rect *OutSize, uint16 *YL_R4, uint16 *YL_G4, uint16 *YL_B4);
void RAW_EdgeLUTAdjust(const uint16 *Bayer_WB, uint16 Bayer_H, uint16 Bayer_V, const uint16 *ToneEdge_LUT,
                       int16 ToneMode, uint16 ValidBits, uint16 *Bayer_Edge);

// RGB to luminance and colour differences and back (YCConversion.cpp).
void RAW_Convert2YC(const uint16 *YL_R4, const uint16 *YL_G4, const uint16 *YL_B4, uint16 ValidBits,
                    const Rect *OutSize, double *YL_Y1, double *YL_Cr1, double *YL_Cb1);
void RAW_ConvertToRGB(const double *YHL_YF, const double *YHL_CrF, const double *YHL_CbF, uint16 ValidBits,
                      const Rect *OutSize, uint16 *R_F, uint16 *G_F, uint16 *B_F);

// The detail signal (EdgeEnhance.cpp).
void RAW_EdgeBPF(const uint16 *Bayer_Edge, uint16 Bayer_H, uint16 Bayer_V, const uint8_t *CFA, double BPF_Ka2,
                 double BPF_Kb2, double BPF_Kc2, uint16 ValidBits, const Rect *OutSize, double *YH_Edge1);
void RAW_CoringEdge(const double *YH_Edge1, int16 Edge_THH, int16 Edge_THL, double Kedge, double Kcoring,
                    uint16 ValidBits, const Rect *OutSize, double *YH_EdgeF);

// Chroma suppression (ChromaSuppress.cpp).
void RAW_ColorRestrainEdgeAdd(const double *YL_Y1, const double *YL_Cr1, const double *YL_Cb1, const double *YH_EdgeF,
                              const uint16 *YL_R4, const uint16 *YL_G4, const uint16 *YL_B4, const double *YH_Edge1,
                              uint16 CSK1, uint16 CSK2, uint16 CSK3, uint16 CSK4, int16 CSG1, double CSG2,
                              uint16 ValidBits, const Rect *OutSize, double *YHL_YF, double *YHL_CrF, double *YHL_CbF);

// The band driver (BandDriver.cpp). Returns false when a host buffer could not be had:
// no stage then ran on a missing plane and every plane obtained was freed again.
Boolean DoConvert(Globals *globals, uint16 inWidth, uint16 inHeight, uint16 *inBayer, const Rect *inArea,
                  uint16 *inLUT[kLUTCount], uint16 *R_F, uint16 *B_F, uint16 *G_F);

// Every stage parameter of a run, chosen once from the method, the camera settings and
// the user's white balance, so that a band can be converted without the globals.
typedef struct RAW_BandSettings {
    Boolean reference;
    uint16 VB, VBShift;
    uint16 endian;
    int16 tone_mode;
    uint8_t CFA[4];
    uint16 OB_R, OB_Gr, OB_Gb, OB_B;
    double WB_R, WB_B;
    double CMX1, CMX2, CMX3, CMX4, CMX5, CMX6, CMX7, CMX8, CMX9;
    double Kedge, Kcoring;
    uint16 CSK1, CSK2, CSK3, CSK4;
    int16 CSG1;
    double CSG2;
    const uint16 *LUT_Tone0, *LUT_Tone1, *LUT_Tone2, *LUT_Edge;
} RAW_BandSettings;

void RAW_ChooseBandSettings(const Globals *globals, uint16 *const inLUT[kLUTCount], RAW_BandSettings *outSettings);

// The planes one band's conversion works in, taken from the host once for many bands.
// The optimised stages need only the toned mosaic (edgeMosaic). The reference forms,
// when they are selected as the workspace is taken, need the rest too: their integer
// planes use two sets in turn, since each set is free again once the next stage has read
// it; the real planes are all alive at the chroma stage. A workspace taken for the
// optimised stages refuses (returns false from RAW_ConvertInWorkspace) a band converted
// with the reference forms.
enum { kRAW_WorkspaceIntPlanes = 6, kRAW_WorkspaceRealPlanes = 8 };
typedef struct RAW_BandWorkspace {
    uint16 *intPlane[kRAW_WorkspaceIntPlanes];
    BufferID intID[kRAW_WorkspaceIntPlanes];
    double *realPlane[kRAW_WorkspaceRealPlanes];
    BufferID realID[kRAW_WorkspaceRealPlanes];
    uint16 *edgeMosaic;
    BufferID edgeMosaicID;
} RAW_BandWorkspace;

// False (with nothing held) when the host gives not every plane.
Boolean RAW_AllocateBandWorkspace(BufferProcs *inProcs, uint16 inWidth, uint16 inHeight, const Rect *inArea,
                                  RAW_BandWorkspace *outSpace);
void RAW_FreeBandWorkspace(BufferProcs *inProcs, RAW_BandWorkspace *ioSpace);
// DoConvert within a workspace: calls no host procedure, so any thread may run it.
Boolean RAW_ConvertInWorkspace(const RAW_BandSettings *inSettings, RAW_BandWorkspace *ioSpace, uint16 inWidth,
                               uint16 inHeight, uint16 *inBayer, const Rect *inArea, uint16 *R_F, uint16 *B_F,
                               uint16 *G_F);

#endif
