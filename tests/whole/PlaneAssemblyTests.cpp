// The host's assembly of delivered planes into the interleaved document: planes in any
// order, bands left incomplete, a plane delivered twice, 8-bit samples, samples further
// apart than their width and padded rows.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "DeliveryTestSupport.h"
#include "import/PlaneAssembly.h"

namespace {

using planetest::kHeight;
using planetest::kWidth;
using planetest::MakeDelivery;

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

TEST(PlaneAssembly, SamplesFurtherApartThanTheirWidthAreGathered) {
    for (int aDepth : {16, 8}) {
        ekv::RgbImage aImage = EmptyImage();
        aImage.depth = aDepth;
        ekv::PlaneAssembly aAssembly;
        const int aSampleBytes = aDepth / 8;
        for (int p = 0; p < 3; ++p)
            aAssembly.add(MakeDelivery(p, 0, 2, 3 * aSampleBytes, 0, aSampleBytes).record, aImage);
        aAssembly.flush(aImage);
        for (int c = 0; c < kWidth; ++c)
            for (int p = 0; p < 3; ++p) {
                const int aValue = p * 1000 + 10 + c;
                ASSERT_EQ(At(aImage, 1, c, p), aDepth == 16 ? aValue : aValue & 0xFF) << aDepth << " " << c << p;
            }
    }
}

}  // namespace

// Widths around the eight-pixel step of the shuffled form, into rows with room to spare:
// every sample in its place, and nothing beyond the row's own samples written.
TEST(InterleaveRows, EveryWidthAndStrideGivesRgbTriplesAndTouchesNothingElse) {
    for (int32_t aWidth : {0, 1, 7, 8, 9, 15, 16, 17, 31, 2234}) {
        const int32_t aRows = 3;
        const size_t aStride = static_cast<size_t>(aWidth) * 3 + 5;
        std::vector<uint16_t> aPlanes[3];
        for (int p = 0; p < 3; ++p)
            for (int32_t i = 0; i < aWidth * aRows; ++i) aPlanes[p].push_back(static_cast<uint16_t>(p << 14 | i));
        std::vector<uint16_t> aOut(aStride * aRows + 1, 0xBEEF);
        ekv::InterleaveRows(aPlanes[0].data(), aPlanes[1].data(), aPlanes[2].data(), aWidth, aRows, aOut.data(),
                            aStride);
        for (int32_t r = 0; r < aRows; ++r)
            for (size_t k = 0; k < aStride; ++k) {
                const uint16_t aWant = k < static_cast<size_t>(aWidth) * 3
                                           ? aPlanes[k % 3][static_cast<size_t>(r * aWidth) + k / 3]
                                           : uint16_t(0xBEEF);
                ASSERT_EQ(aOut[r * aStride + k], aWant) << "width " << aWidth << " row " << r << " sample " << k;
            }
        EXPECT_EQ(aOut.back(), 0xBEEF);
    }
}
