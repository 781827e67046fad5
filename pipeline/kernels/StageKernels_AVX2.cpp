// The stage kernels for processors with AVX2 (x86-64 builds only; this file is compiled
// with -mavx2 and without FMA).
#include "StageKernels.h"

#if defined(RAW_KERNELS_HAVE_WIDE)
#define RAW_KERNEL(name) name##_AVX2
#include "StageKernels.inc"
#include "SampleKernels.inc"
#endif
