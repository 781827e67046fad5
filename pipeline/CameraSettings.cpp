// The camera's settings as the stages take them: the CFA pattern code and the
// fixed-point gains and factors of the header.
#include "Pipeline.h"

uint32 RAW_ReadCFAPatternValue(const uint8_t *CFA) {
    if (CFA == nullptr) return kRAW_Pattern_RGGB;
    uint32 aValue = (static_cast<uint32>(CFA[0]) << 24) | (static_cast<uint32>(CFA[1]) << 16) |
                    (static_cast<uint32>(CFA[2]) << 8) | static_cast<uint32>(CFA[3]);
    switch (aValue) {
        case kRAW_Pattern_RGGB:
        case kRAW_Pattern_GRBG:
        case kRAW_Pattern_GBRG:
        case kRAW_Pattern_BGGR: return aValue;
        default: return kRAW_Pattern_RGGB;
    }
}

double RAW_SInt16ToX(int16 inValue) { return inValue * 0.00390625; }

double RAW_SInt32ToGainRatio(int32 inValue) {
    // The upper half is signed, the lower unsigned; their product always fits 32 bits.
    int32 aHi = inValue >> 16;
    int32 aLo = inValue & 0xFFFF;
    return static_cast<double>(aHi * aLo) * 6.103515625e-05;
}
