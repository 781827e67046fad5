// The module's working memory during a whole import (every buffer and handle it holds
// from the host at once; the host's document is not counted) stays within 4.5 MB at the
// camera's default geometry on two band threads (four lanes of planes) and does not grow
// with the image height: the image is developed band by band. Each further band thread
// adds one lane.
#include "WholeTestSupport.h"

namespace {

constexpr size_t kLimit = 9u << 19;
constexpr Point kPoint{120, 160};

TEST(WorkingMemory, DefaultGeometryWithinFourAndAHalfMegabytesAndIndependentOfHeight) {
    const std::string aDefault = wholetest::MakeSample("memory-default", "");
    const std::string aTall = wholetest::MakeSample("memory-tall", "--height 6000 --rows-per-strip 400");
    const wholetest::Import aOne = wholetest::RunImport(aDefault, 2, kPoint, false, 2);
    const wholetest::Import aTaller = wholetest::RunImport(aTall, 2, kPoint, false, 2);
    ASSERT_EQ(aOne.result.image.height, 1680);
    ASSERT_EQ(aTaller.result.image.height, 5996);
    // Three 16-bit plane buffers of a band alone take more than 100 kB: a peak below
    // that would mean the host's counting missed them.
    EXPECT_GT(aOne.peakBytes, 3u * 2240 * 10 * 2);
    EXPECT_LE(aOne.peakBytes, kLimit);
    EXPECT_EQ(aTaller.peakBytes, aOne.peakBytes);
}

TEST(WorkingMemory, EachFurtherBandThreadAddsOneLaneOfAtMostOnePointTwoMegabytes) {
    const std::string aDefault = wholetest::MakeSample("memory-lanes", "");
    const wholetest::Import aSingle = wholetest::RunImport(aDefault, 2, kPoint, false, 1);
    const wholetest::Import aTwo = wholetest::RunImport(aDefault, 2, kPoint, false, 2);
    const wholetest::Import aEight = wholetest::RunImport(aDefault, 2, kPoint, false, 8);
    // A lane holds a group of four bands of 2240 x 6 output pixels: three output planes of
    // 2240 x 24, the toned copy of the group's mosaic and its 2256 x 28 sensor rows (the
    // stages keep no other plane).
    constexpr size_t kLane = 3 * 2 * 2240 * 24 + 2 * 2 * 2256 * 28;
    EXPECT_LE(kLane, 1200000u);
    // One thread: one lane; two threads: 2 + 2 lanes; eight: 10.
    EXPECT_GE(aTwo.peakBytes + 4096, aSingle.peakBytes + 3 * kLane);
    EXPECT_LE(aTwo.peakBytes, aSingle.peakBytes + 3 * kLane + 4096);
    EXPECT_LE(aEight.peakBytes, aTwo.peakBytes + 6 * kLane + 4096);
}

TEST(WorkingMemory, EveryMethodAndDepthWithinFourAndAHalfMegabytes) {
    for (const char *aBits : {"8", "12", "14"}) {
        const std::string aPath = wholetest::MakeSample(std::string("memory-") + aBits, std::string("--bits ") + aBits);
        for (int16 aMethod = 0; aMethod <= 2; ++aMethod) {
            const wholetest::Import aImport =
                wholetest::RunImport(aPath, aMethod, aMethod == 0 ? Point{-1, -1} : kPoint, false, 2);
            EXPECT_LE(aImport.peakBytes, kLimit) << aBits << " bits, method " << aMethod;
        }
    }
}

}  // namespace
