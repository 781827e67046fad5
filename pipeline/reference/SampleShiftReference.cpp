// The straightforward sample shift, one sample and one byte-order test at a time. Kept
// as the reference the optimised form is compared against.
#include "../Pipeline.h"
#include "../PipelineReference.h"

void RAW_ShiftRight_Reference(uint16 *Bayer, uint16 Bayer_H, uint16 Bayer_V, uint16 ValidBits, uint16 Offset,
                              uint16 Endian) {
    if (ValidBits <= 8) return;
    int aShift = RAW_ValidBitsShift(ValidBits, Offset);
    uint32 aCount = static_cast<uint32>(Bayer_H) * static_cast<uint32>(Bayer_V);
    for (uint32 aIndex = 0; aIndex < aCount; ++aIndex) {
        uint16 aSample = Bayer[aIndex];
        if (Endian == kRAW_BigEndian) aSample = static_cast<uint16>((aSample >> 8) | (aSample << 8));
        Bayer[aIndex] = static_cast<uint16>(aSample >> aShift);
    }
}
