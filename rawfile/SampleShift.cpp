// Brings the samples of a run of mosaic rows to host order with their valid bits at the
// bottom.
#include "RawInfo.h"

#include "../pipeline/kernels/StageKernels.h"

void RAW_ShiftRight(uint16 *Bayer, uint16 Bayer_H, uint16 Bayer_V, uint16 ValidBits, uint16 Offset, uint16 Endian) {
    if (ValidBits <= 8) return;
    int aShift = RAW_ValidBitsShift(ValidBits, Offset);
    size_t aCount = static_cast<size_t>(Bayer_H) * static_cast<size_t>(Bayer_V);
    RAW_RUN_KERNEL(RAW_KShiftSamples, Bayer, aCount, Endian == kRAW_BigEndian, static_cast<uint32>(aShift));
}
