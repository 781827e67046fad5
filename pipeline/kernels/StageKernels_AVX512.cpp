// The stage kernels for processors with AVX-512 F, VL, BW and DQ (x86-64 builds only;
// this file is compiled for 512-bit vectors and without FMA).
#include "StageKernels.h"

#if defined(RAW_KERNELS_HAVE_WIDE)
#define RAW_KERNEL(name) name##_AVX512
#include "StageKernels.inc"
#include "SampleKernels.inc"
#endif
