// The stage kernels for the baseline instruction set of the build.
#define RAW_KERNEL(name) name##_Base
#include "StageKernels.inc"
#include "SampleKernels.inc"
