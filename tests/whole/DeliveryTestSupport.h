// Synthetic Continue deliveries for the host's assembly tests: one plane of a band of a
// small document, rows padded, samples plane * 1000 + row * 10 + column (+ a base).
#pragma once

#include <cstring>
#include <vector>

#include "host/AcquireInterface.h"

namespace planetest {

inline constexpr int kWidth = 5, kHeight = 4;

// A plane of samples plane * 1000 + row * 10 + column over the rows top .. bottom, with
// rows padded by 3 bytes; samples of inSampleBytes (0: 2 when inColBytes is 2, else 1)
// lie inColBytes apart.
struct Delivery {
    std::vector<uint8_t> bytes;
    AcquireRecord record{};
};

inline Delivery MakeDelivery(int inPlane, int inTop, int inBottom, int inColBytes, int inBase = 0,
                             int inSampleBytes = 0) {
    const int aSampleBytes = inSampleBytes != 0 ? inSampleBytes : inColBytes == 2 ? 2 : 1;
    Delivery d;
    const int aRowBytes = kWidth * inColBytes + 3;
    d.bytes.assign(static_cast<size_t>(aRowBytes) * (inBottom - inTop), 0xEE);
    for (int r = inTop; r < inBottom; ++r)
        for (int c = 0; c < kWidth; ++c) {
            uint16_t v = static_cast<uint16_t>(inBase + inPlane * 1000 + r * 10 + c);
            uint8_t *p = d.bytes.data() + static_cast<size_t>(r - inTop) * aRowBytes + c * inColBytes;
            if (aSampleBytes == 2)
                std::memcpy(p, &v, 2);
            else
                *p = static_cast<uint8_t>(v & 0xFF);
        }
    d.record.theRect = Rect{static_cast<int16>(inTop), 0, static_cast<int16>(inBottom), kWidth};
    d.record.loPlane = d.record.hiPlane = static_cast<int16>(inPlane);
    d.record.colBytes = static_cast<int16>(inColBytes);
    d.record.rowBytes = aRowBytes;
    d.record.data = d.bytes.data();
    return d;
}

}  // namespace planetest
