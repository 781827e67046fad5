// The run-time choice of the kernel variant. Built for the baseline instruction set so
// that it can run on any processor.
#include "StageKernels.h"

static int32 sRAW_KernelLimit = kRAW_KernelsAVX512;

void RAW_LimitKernels(int32 inHighest) { sRAW_KernelLimit = inHighest; }

#if defined(RAW_KERNELS_HAVE_WIDE)
// The widest variant the processor has and the system saves the registers of.
static int32 RAW_DetectKernelLevel(void) {
    __builtin_cpu_init();
    // The wide variants are built with BMI2 as well (every processor with AVX2 has it).
    if (!__builtin_cpu_supports("bmi2")) return kRAW_KernelsBaseline;
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512dq"))
        return kRAW_KernelsAVX512;
    if (__builtin_cpu_supports("avx2")) return kRAW_KernelsAVX2;
    return kRAW_KernelsBaseline;
}

int32 RAW_KernelLevel(void) {
    static const int32 sDetected = RAW_DetectKernelLevel();
    return sDetected < sRAW_KernelLimit ? sDetected : sRAW_KernelLimit;
}
#endif
