// The inner loops of the pipeline stages over contiguous rows. The i686 module has one
// build of them, for its -msse2 baseline; x86-64 builds (Linux and Windows) have three, for SSE2, AVX2 and
// AVX-512, and the widest the processor and the system support is chosen at run time.
// All come from the same source (StageKernels.inc), so they perform the same
// double-precision operations in the same order and give the same bits; only the width
// of the vector registers the compiler uses differs.
#ifndef KARVEX_PIPELINE_KERNELS_STAGEKERNELS_H
#define KARVEX_PIPELINE_KERNELS_STAGEKERNELS_H

#include "../Pipeline.h"

// The parameters of the detail pass (RAW_KDetailToRGB): coring and edge gain, chroma
// suppression, and the output's sample limit and shift to the host's scale. The chroma
// gain is divided by sampleMax + 1, a power of two 2^d: gainUnit is 2^-d, and multiplying
// by it gives exactly the quotient (both name the same real number, rounded once).
typedef struct RAW_KDetailParameters {
    double Kedge, Kcoring, THH, THL;
    double CSK1, CSK2, CSK3, CSK4, CSG1, CSG2;
    double sampleMax, sampleLimit, gainUnit;
    uint32 outShift;
} RAW_KDetailParameters;

#define RAW_KERNEL_DECLARATIONS(suffix)                                                                                \
    void RAW_KWhiteBalanceRow##suffix(uint16 *ioRow, int32 inCells, uint16 inOBEven, double inGainEven,                \
                                      uint16 inOBOdd, double inGainOdd, double inMax);                                 \
    void RAW_KLowPassRow##suffix(const uint16 *p1, const uint16 *p2, const uint16 *p3, const uint16 *p4,               \
                                 int32 inWidth, Boolean inCornerFirst, double ka, double kb, double kc, double inMax,  \
                                 uint16 *outC0, uint16 *outG, uint16 *outC1);                                          \
    void RAW_KColorationControl##suffix(const uint16 *inR, const uint16 *inG, const uint16 *inB, int32 inCount,        \
                                        double inClipSR, double inClipSB, double inMClipMaxR, double inMClipMaxB,      \
                                        int32 inMax, uint16 *outR, uint16 *outG, uint16 *outB);                        \
    void RAW_KColorMatrix##suffix(const uint16 *inR, const uint16 *inG, const uint16 *inB, int32 inCount,              \
                                  const double *inMatrix, double inMax, uint16 *outR, uint16 *outG, uint16 *outB);     \
    void RAW_KToneLookup##suffix(const uint16 *inSamples, size_t inCount, const uint16 *inTable, uint32 inShift,       \
                                 uint16 *outSamples);                                                                  \
    void RAW_KCompactLookup##suffix(const uint16 *inSamples, size_t inCount, const uint16 *inTable, uint32 inMask,     \
                                    uint16 *outSamples);                                                               \
    void RAW_KConvert2YC##suffix(const uint16 *inR, const uint16 *inG, const uint16 *inB, int32 inCount, double inMax, \
                                 double *outY, double *outCr, double *outCb);                                          \
    void RAW_KEdgeBPFRow##suffix(const uint16 *p1, const uint16 *p2, const uint16 *p3, const uint16 *p4,               \
                                 int32 inWidth, Boolean inGreenFirst, double ka, double kb, double kc, double inMax,   \
                                 double *outEdge);                                                                     \
    void RAW_KCoringEdge##suffix(const double *inEdge, int32 inCount, double inKedge, double inKcoring, double inTHH,  \
                                 double inTHL, double *outEdge);                                                       \
    void RAW_KRestrainEdgeAdd##suffix(const double *inY, const double *inCr, const double *inCb,                       \
                                      const double *inEdgeF, const uint16 *inR, const uint16 *inG, const uint16 *inB,  \
                                      const double *inEdge1, int32 inCount, double inCSK1, double inCSK2,              \
                                      double inCSK3, double inCSK4, double inCSG1, double inCSG2, double inMax,        \
                                      double *outY, double *outCr, double *outCb);                                     \
    void RAW_KShiftSamples##suffix(uint16 *ioSamples, size_t inCount, Boolean inSwapBytes, uint32 inShift);            \
    void RAW_KWidenSamples##suffix(const uint8_t *inBytes, size_t inCount, uint16 *outSamples);                        \
    void RAW_KNarrowSamples##suffix(const uint16 *inSamples, size_t inCount, uint8_t *outBytes);                       \
    void RAW_KDetailToRGB##suffix(const double *inY, const double *inCr, const double *inCb, const uint16 *inR,        \
                                  const uint16 *inG, const uint16 *inB, const double *inEdge1, int32 inCount,          \
                                  const RAW_KDetailParameters *inParams, uint16 *outR, uint16 *outG, uint16 *outB);    \
    void RAW_KConvertToRGB##suffix(const double *inY, const double *inCr, const double *inCb, int32 inCount,           \
                                   double inMax, uint32 inShift, uint16 *outR, uint16 *outG, uint16 *outB);

RAW_KERNEL_DECLARATIONS(_Base)

// The kernel variants, narrowest first.
enum { kRAW_KernelsBaseline = 0, kRAW_KernelsAVX2 = 1, kRAW_KernelsAVX512 = 2 };

// Keeps the run-time choice at or below inHighest (tests and benchmarks run every
// variant on a machine that has them all); kRAW_KernelsAVX512 restores the full choice.
void RAW_LimitKernels(int32 inHighest);

#if defined(__x86_64__)
#define RAW_KERNELS_HAVE_WIDE 1
RAW_KERNEL_DECLARATIONS(_AVX2)
RAW_KERNEL_DECLARATIONS(_AVX512)

// The variant to run: the widest the processor and the system support (asked once),
// within the limit set.
int32 RAW_KernelLevel(void);

#define RAW_RUN_KERNEL(name, ...)                                         \
    (RAW_KernelLevel() == kRAW_KernelsAVX512 ? name##_AVX512(__VA_ARGS__) \
     : RAW_KernelLevel() == kRAW_KernelsAVX2 ? name##_AVX2(__VA_ARGS__)   \
                                             : name##_Base(__VA_ARGS__))
#else
#define RAW_RUN_KERNEL(name, ...) name##_Base(__VA_ARGS__)
#endif

#endif
