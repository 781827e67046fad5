// The run-time choice of the kernel variant. Built without AVX2 so that it can run on
// any processor.
#include "StageKernels.h"

static Boolean sRAW_BaselineOnly = false;

void RAW_UseBaselineKernelsOnly(Boolean inBaselineOnly) { sRAW_BaselineOnly = inBaselineOnly; }

#if defined(RAW_KERNELS_HAVE_AVX2)
Boolean RAW_CPUHasAVX2(void) {
    // Checks the processor and that the system saves the wide registers.
    static const Boolean sHasAVX2 = __builtin_cpu_supports("avx2") ? true : false;
    return sHasAVX2 && !sRAW_BaselineOnly;
}
#endif
