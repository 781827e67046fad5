// The host's assembly of delivered planes into the interleaved document: planes in any
// order, bands left incomplete, a plane delivered twice, 8-bit samples and padded rows.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "PlaneAssembly.h"

namespace {

constexpr int kWidth = 5, kHeight = 4;

// A plane of samples plane * 1000 + row * 10 + column over the rows top .. bottom, with
// rows padded to inRowBytes.
struct Delivery {
    std::vector<uint8_t> bytes;
    AcquireRecord record{};
};

Delivery MakeDelivery(int inPlane, int inTop, int inBottom, int inColBytes, int inBase = 0) {
    Delivery d;
    const int aRowBytes = kWidth * inColBytes + 3;
    d.bytes.assign(static_cast<size_t>(aRowBytes) * (inBottom - inTop), 0xEE);
    for (int r = inTop; r < inBottom; ++r)
        for (int c = 0; c < kWidth; ++c) {
            uint16_t v = static_cast<uint16_t>(inBase + inPlane * 1000 + r * 10 + c);
            uint8_t *p = d.bytes.data() + static_cast<size_t>(r - inTop) * aRowBytes + c * inColBytes;
            if (inColBytes == 2)
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

ekv::RgbImage EmptyImage() {
    ekv::RgbImage aImage;
    aImage.width = kWidth;
    aImage.height = kHeight;
    aImage.samples.assign(kWidth * kHeight * 3, 0);
    return aImage;
}

uint16_t At(const ekv::RgbImage &inImage, int r, int c, int p) { return inImage.samples[(r * kWidth + c) * 3 + p]; }

TEST(PlaneAssembly, PlanesInAnyOrderLandInterleaved) {
    ekv::RgbImage aImage = EmptyImage();
    ekv::PlaneAssembly aAssembly;
    for (int p : {2, 0, 1}) aAssembly.add(MakeDelivery(p, 0, 2, 2).record, aImage);
    for (int p : {1, 2, 0}) aAssembly.add(MakeDelivery(p, 2, 4, 2).record, aImage);
    aAssembly.flush(aImage);
    for (int r = 0; r < kHeight; ++r)
        for (int c = 0; c < kWidth; ++c)
            for (int p = 0; p < 3; ++p) ASSERT_EQ(At(aImage, r, c, p), p * 1000 + r * 10 + c) << r << c << p;
}

TEST(PlaneAssembly, IncompleteBandsAndRepeatedPlanesAreWrittenAsDelivered) {
    ekv::RgbImage aImage = EmptyImage();
    ekv::PlaneAssembly aAssembly;
    // Band 0 gets red twice (the second wins) and green; band 1 only blue.
    aAssembly.add(MakeDelivery(0, 0, 2, 2, 7).record, aImage);
    aAssembly.add(MakeDelivery(0, 0, 2, 2).record, aImage);
    aAssembly.add(MakeDelivery(1, 0, 2, 2).record, aImage);
    aAssembly.add(MakeDelivery(2, 2, 4, 2).record, aImage);
    aAssembly.flush(aImage);
    EXPECT_EQ(At(aImage, 1, 4, 0), 14);
    EXPECT_EQ(At(aImage, 1, 4, 1), 1014);
    EXPECT_EQ(At(aImage, 1, 4, 2), 0);  // never delivered
    EXPECT_EQ(At(aImage, 3, 2, 2), 2032);
    EXPECT_EQ(At(aImage, 3, 2, 0), 0);
}

TEST(PlaneAssembly, EightBitSamplesAreTheirByteValues) {
    ekv::RgbImage aImage = EmptyImage();
    ekv::PlaneAssembly aAssembly;
    for (int p = 0; p < 3; ++p) aAssembly.add(MakeDelivery(p, 1, 3, 1).record, aImage);
    aAssembly.flush(aImage);
    EXPECT_EQ(At(aImage, 2, 3, 0), 23);
    EXPECT_EQ(At(aImage, 2, 3, 2), (2000 + 23) & 0xFF);
    EXPECT_EQ(At(aImage, 0, 0, 1), 0);
}

}  // namespace
