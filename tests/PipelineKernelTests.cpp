// The optimised stages against their straightforward reference forms, bit for bit, on
// random planes and parameters: every CFA layout, both parities, every depth from 8 to
// 16 bits, lengths that are not multiples of any vector width. Each case runs with the
// kernel variant chosen at run time and with the choice limited to AVX2 and to the
// baseline, so every variant is checked on a machine that has them all.
#include <gtest/gtest.h>

#include <cstring>

#include "PipelineTestSupport.h"
#include "pipeline/PipelineReference.h"
#include "pipeline/kernels/StageKernels.h"
#include "rawfile/RawInfo.h"

using namespace pipetest;

namespace {

// Both arrays hold the same bits (doubles compared as bytes: -0.0 is not 0.0 here).
template <typename T>
::testing::AssertionResult SameBits(const std::vector<T> &a, const std::vector<T> &b) {
    if (a.size() != b.size()) return ::testing::AssertionFailure() << "sizes differ";
    for (size_t i = 0; i < a.size(); ++i)
        if (std::memcmp(&a[i], &b[i], sizeof(T)) != 0)
            return ::testing::AssertionFailure() << "first difference at " << i << ": " << +a[i] << " vs " << +b[i];
    return ::testing::AssertionSuccess();
}

// Sample limit for random data: a little beyond the depth so clipping at the top shows.
uint32 SampleLimit(int inBits) { return inBits >= 16 ? 65535u : (1u << inBits) + (1u << inBits) / 4; }

// Pixel counts around vector widths and a full output row of the default geometry.
const int kCounts[] = {1, 3, 7, 8, 17, 33, 2240};

struct Area {
    int left, top, width, height;
};
const Area kAreas[] = {{0, 0, 16, 6}, {1, 0, 15, 5}, {0, 1, 17, 4},  {1, 1, 1, 1},
                       {2, 3, 2, 1},  {3, 2, 30, 7}, {1, 0, 301, 3}, {0, 1, 256, 2}};

Rect RectOf(const Area &a) {
    return Rect{static_cast<int16>(a.top), static_cast<int16>(a.left), static_cast<int16>(a.top + a.height),
                static_cast<int16>(a.left + a.width)};
}

class PipelineKernels : public ::testing::TestWithParam<int32> {
protected:
    void SetUp() override { RAW_LimitKernels(GetParam()); }
    void TearDown() override { RAW_LimitKernels(kRAW_KernelsAVX512); }
    std::mt19937 mRandom{20261208};
};

INSTANTIATE_TEST_SUITE_P(Variants, PipelineKernels,
                         ::testing::Values(kRAW_KernelsAVX512, kRAW_KernelsAVX2, kRAW_KernelsBaseline),
                         [](const ::testing::TestParamInfo<int32> &inInfo) {
                             return inInfo.param == kRAW_KernelsBaseline ? std::string("Baseline")
                                    : inInfo.param == kRAW_KernelsAVX2   ? std::string("UpToAVX2")
                                                                         : std::string("Widest");
                         });

TEST_P(PipelineKernels, WhiteBalance) {
    const int kSizes[][2] = {{16, 6}, {17, 7}, {1, 1}, {2, 2}, {33, 5}, {2256, 4}};
    for (const Layout &aLayout : Layouts()) {
        for (int aBits = 8; aBits <= 16; ++aBits) {
            for (const auto &aSize : kSizes) {
                int w = aSize[0], h = aSize[1];
                std::vector<uint16> aFast = RandomSamples(mRandom, static_cast<size_t>(w) * h, SampleLimit(aBits));
                std::vector<uint16> aSlow = aFast;
                uint16 ob[4];
                for (auto &o : ob) o = static_cast<uint16>(RandomInt(mRandom, 0, 300));
                double wr = RandomReal(mRandom, 0.4, 3.0),
                       wb = RandomInt(mRandom, 0, 3) == 0 ? 1.0 : RandomReal(mRandom, 0.4, 3.0);
                RAW_WhiteBalance(aFast.data(), static_cast<uint16>(w), static_cast<uint16>(h), aLayout.cfa.data(),
                                 ob[0], ob[1], ob[2], ob[3], wr, wb, static_cast<uint16>(aBits));
                RAW_WhiteBalance_Reference(aSlow.data(), static_cast<uint16>(w), static_cast<uint16>(h),
                                           aLayout.cfa.data(), ob[0], ob[1], ob[2], ob[3], wr, wb,
                                           static_cast<uint16>(aBits));
                ASSERT_TRUE(SameBits(aFast, aSlow)) << aLayout.name << " bits " << aBits << " size " << w << "x" << h;
            }
        }
    }
}

TEST_P(PipelineKernels, ShiftRightInBothByteOrders) {
    for (uint16 aEndian : {static_cast<uint16>(kRAW_LittleEndian), static_cast<uint16>(kRAW_BigEndian)}) {
        for (int aBits = 1; aBits <= 16; ++aBits) {
            for (int aOffset = 0; aBits + aOffset <= 17; ++aOffset) {  // one past 16 shifts by nothing
                int w = kCounts[RandomInt(mRandom, 0, 6)], h = RandomInt(mRandom, 1, 3);
                std::vector<uint16> aFast = RandomSamples(mRandom, static_cast<size_t>(w) * h, 65535), aSlow = aFast;
                RAW_ShiftRight(aFast.data(), static_cast<uint16>(w), static_cast<uint16>(h), static_cast<uint16>(aBits),
                               static_cast<uint16>(aOffset), aEndian);
                RAW_ShiftRight_Reference(aSlow.data(), static_cast<uint16>(w), static_cast<uint16>(h),
                                         static_cast<uint16>(aBits), static_cast<uint16>(aOffset), aEndian);
                ASSERT_TRUE(SameBits(aFast, aSlow))
                    << "endian " << aEndian << " bits " << aBits << " offset " << aOffset;
            }
        }
    }
}

TEST_P(PipelineKernels, LowPassFilter) {
    for (const Layout &aLayout : Layouts()) {
        for (int aBits = 8; aBits <= 16; ++aBits) {
            for (const Area &a : kAreas) {
                int bw = a.left + a.width + 3, bh = a.top + a.height + 3;
                std::vector<uint16> aBand = RandomSamples(mRandom, static_cast<size_t>(bw) * bh, SampleLimit(aBits));
                double ka = RandomReal(mRandom, -0.3, 1.2), kb = RandomReal(mRandom, -0.3, 1.2),
                       kc = RandomReal(mRandom, -0.3, 1.2);
                Rect r = RectOf(a);
                size_t n = static_cast<size_t>(a.width) * a.height;
                std::vector<uint16> fr(n + 1, 0xBEEF), fg(n + 1, 0xBEEF), fb(n + 1, 0xBEEF);
                std::vector<uint16> sr = fr, sg = fg, sb = fb;
                RAW_LowPassFilter(aBand.data(), static_cast<uint16>(bw), static_cast<uint16>(bh), aLayout.cfa.data(),
                                  ka, kb, kc, static_cast<uint16>(aBits), &r, fr.data(), fg.data(), fb.data());
                RAW_LowPassFilter_Reference(aBand.data(), static_cast<uint16>(bw), static_cast<uint16>(bh),
                                            aLayout.cfa.data(), ka, kb, kc, static_cast<uint16>(aBits), &r, sr.data(),
                                            sg.data(), sb.data());
                ASSERT_TRUE(SameBits(fr, sr)) << aLayout.name << " bits " << aBits << " left " << a.left;
                ASSERT_TRUE(SameBits(fg, sg)) << aLayout.name << " bits " << aBits << " left " << a.left;
                ASSERT_TRUE(SameBits(fb, sb)) << aLayout.name << " bits " << aBits << " left " << a.left;
            }
        }
    }
}

TEST_P(PipelineKernels, ColorationControlAndMatrix) {
    for (int aBits = 8; aBits <= 16; ++aBits) {
        for (int n : kCounts) {
            Rect r = OutRect(n, 1);
            auto r1 = RandomSamples(mRandom, n, SampleLimit(aBits)), g1 = RandomSamples(mRandom, n, SampleLimit(aBits)),
                 b1 = RandomSamples(mRandom, n, SampleLimit(aBits));
            // Gains below 1 make the control active; both at least 1 make it a copy.
            double wr = RandomReal(mRandom, 0.3, 1.6), wb = RandomReal(mRandom, 0.3, 1.6);
            uint16 obr = static_cast<uint16>(RandomInt(mRandom, 0, 400)),
                   obb = static_cast<uint16>(RandomInt(mRandom, 0, 400));
            std::vector<uint16> fr(n), fg(n), fb(n), sr(n), sg(n), sb(n);
            RAW_ColorationControl(r1.data(), g1.data(), b1.data(), wr, wb, 0, static_cast<uint16>(aBits), obr, 7, 9,
                                  obb, &r, fr.data(), fg.data(), fb.data());
            RAW_ColorationControl_Reference(r1.data(), g1.data(), b1.data(), wr, wb, 0, static_cast<uint16>(aBits), obr,
                                            7, 9, obb, &r, sr.data(), sg.data(), sb.data());
            ASSERT_TRUE(SameBits(fr, sr) && SameBits(fg, sg) && SameBits(fb, sb)) << "bits " << aBits << " n " << n;

            double m[9];
            for (double &v : m) v = RandomReal(mRandom, -1.0, 2.5);
            RAW_ColorAdjust(r1.data(), g1.data(), b1.data(), m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], m[8],
                            static_cast<uint16>(aBits), &r, fr.data(), fg.data(), fb.data());
            RAW_ColorAdjust_Reference(r1.data(), g1.data(), b1.data(), m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7],
                                      m[8], static_cast<uint16>(aBits), &r, sr.data(), sg.data(), sb.data());
            ASSERT_TRUE(SameBits(fr, sr) && SameBits(fg, sg) && SameBits(fb, sb)) << "matrix bits " << aBits;
        }
    }
}

TEST_P(PipelineKernels, ToneLookups) {
    // Long enough that the table at +7 has all its 65536 entries too.
    std::vector<uint16> aTable = RandomSamples(mRandom, kRAW_LUTEntries + 7, 65535);
    for (int aBits = 1; aBits <= 16; ++aBits) {
        for (int aMode = -1; aMode <= 3; ++aMode) {
            int n = kCounts[RandomInt(mRandom, 0, 6)];
            Rect r = OutRect(n, 1);
            // Samples up to 16 bits whatever the depth: the look-up keeps only the low bits.
            auto r3 = RandomSamples(mRandom, n, 65535), g3 = RandomSamples(mRandom, n, 65535),
                 b3 = RandomSamples(mRandom, n, 65535);
            // The last entry a depth reads (all sample bits set) at both ends of a plane.
            r3[0] = g3[n - 1] = 0xFFFF;
            const uint16 *t = aMode == 1 ? nullptr : aTable.data();  // a missing table is the identity
            std::vector<uint16> fr(n), fg(n), fb(n), sr(n), sg(n), sb(n);
            RAW_LUTAdjust(r3.data(), g3.data(), b3.data(), t, aTable.data() + 7, t, static_cast<int16>(aMode),
                          static_cast<uint16>(aBits), &r, fr.data(), fg.data(), fb.data());
            RAW_LUTAdjust_Reference(r3.data(), g3.data(), b3.data(), t, aTable.data() + 7, t, static_cast<int16>(aMode),
                                    static_cast<uint16>(aBits), &r, sr.data(), sg.data(), sb.data());
            ASSERT_TRUE(SameBits(fr, sr) && SameBits(fg, sg) && SameBits(fb, sb))
                << "bits " << aBits << " mode " << aMode;

            std::vector<uint16> fe(r3.size()), se(r3.size());
            RAW_EdgeLUTAdjust(r3.data(), static_cast<uint16>(n), 1, t, 0, static_cast<uint16>(aBits), fe.data());
            RAW_EdgeLUTAdjust_Reference(r3.data(), static_cast<uint16>(n), 1, t, 0, static_cast<uint16>(aBits),
                                        se.data());
            ASSERT_TRUE(SameBits(fe, se)) << "edge bits " << aBits;
        }
    }
}

TEST_P(PipelineKernels, LuminanceAndColourDifferences) {
    for (int aBits = 8; aBits <= 16; ++aBits) {
        for (int n : kCounts) {
            Rect r = OutRect(n, 1);
            auto r4 = RandomSamples(mRandom, n, 65535), g4 = RandomSamples(mRandom, n, SampleLimit(aBits)),
                 b4 = RandomSamples(mRandom, n, SampleLimit(aBits));
            std::vector<double> fy(n), fcr(n), fcb(n), sy(n), scr(n), scb(n);
            RAW_Convert2YC(r4.data(), g4.data(), b4.data(), static_cast<uint16>(aBits), &r, fy.data(), fcr.data(),
                           fcb.data());
            RAW_Convert2YC_Reference(r4.data(), g4.data(), b4.data(), static_cast<uint16>(aBits), &r, sy.data(),
                                     scr.data(), scb.data());
            ASSERT_TRUE(SameBits(fy, sy) && SameBits(fcr, scr) && SameBits(fcb, scb)) << "bits " << aBits;
        }
    }
}

TEST_P(PipelineKernels, BandPassAndCoring) {
    for (const Layout &aLayout : Layouts()) {
        for (int aBits = 8; aBits <= 16; ++aBits) {
            for (const Area &a : kAreas) {
                int bw = a.left + a.width + 3, bh = a.top + a.height + 3;
                std::vector<uint16> aBand = RandomSamples(mRandom, static_cast<size_t>(bw) * bh, SampleLimit(aBits));
                double ka = RandomReal(mRandom, 0.0, 1.5), kb = RandomReal(mRandom, -1.0, 0.0),
                       kc = RandomReal(mRandom, -1.0, 0.0);
                Rect r = RectOf(a);
                size_t n = static_cast<size_t>(a.width) * a.height;
                std::vector<double> f(n), s(n);
                RAW_EdgeBPF(aBand.data(), static_cast<uint16>(bw), static_cast<uint16>(bh), aLayout.cfa.data(), ka, kb,
                            kc, static_cast<uint16>(aBits), &r, f.data());
                RAW_EdgeBPF_Reference(aBand.data(), static_cast<uint16>(bw), static_cast<uint16>(bh),
                                      aLayout.cfa.data(), ka, kb, kc, static_cast<uint16>(aBits), &r, s.data());
                ASSERT_TRUE(SameBits(f, s)) << aLayout.name << " bits " << aBits << " left " << a.left;

                // Coring on the band-pass values, with values exactly at +-Kcoring mixed in.
                double kedge = RandomReal(mRandom, -0.5, 3.0),
                       kcoring = RandomInt(mRandom, 0, 3) == 0 ? 0.0 : RandomReal(mRandom, 0.0, 40.0);
                for (size_t i = 0; i < n; i += 5) f[i] = (i % 2 == 0) ? kcoring : -kcoring;
                Rect rn = OutRect(static_cast<int>(n), 1);
                int16 thh = static_cast<int16>(RandomInt(mRandom, 0, 32767)),
                      thl = static_cast<int16>(RandomInt(mRandom, -32768, 0));
                std::vector<double> fe(n), se(n);
                RAW_CoringEdge(f.data(), thh, thl, kedge, kcoring, static_cast<uint16>(aBits), &rn, fe.data());
                RAW_CoringEdge_Reference(f.data(), thh, thl, kedge, kcoring, static_cast<uint16>(aBits), &rn,
                                         se.data());
                ASSERT_TRUE(SameBits(fe, se)) << "coring bits " << aBits << " Kcoring " << kcoring;
            }
        }
    }
}

TEST_P(PipelineKernels, ChromaSuppressionAndRGB) {
    for (int aBits = 8; aBits <= 16; ++aBits) {
        double aMax = SampleMax(aBits);
        for (int n : kCounts) {
            Rect r = OutRect(n, 1);
            auto r4 = RandomSamples(mRandom, n, static_cast<uint32>(aMax)),
                 g4 = RandomSamples(mRandom, n, static_cast<uint32>(aMax)),
                 b4 = RandomSamples(mRandom, n, static_cast<uint32>(aMax));
            auto y = RandomReals(mRandom, n, -0.2 * aMax, 1.2 * aMax),
                 cr = RandomReals(mRandom, n, -1.2 * aMax, 1.2 * aMax),
                 cb = RandomReals(mRandom, n, -1.2 * aMax, 1.2 * aMax),
                 ef = RandomReals(mRandom, n, -0.3 * aMax, 0.3 * aMax),
                 e1 = RandomReals(mRandom, n, -1.1 * aMax, 1.1 * aMax);
            e1[0] = -0.0;  // the absolute value of a negative zero
            uint16 csk[4];
            for (auto &k : csk) k = static_cast<uint16>(RandomInt(mRandom, 0, 65535));
            int16 csg1 = static_cast<int16>(RandomInt(mRandom, -300, 300));
            double csg2 = RandomReal(mRandom, -2.0, 2.0);
            std::vector<double> fy(n), fcr(n), fcb(n), sy(n), scr(n), scb(n);
            RAW_ColorRestrainEdgeAdd(y.data(), cr.data(), cb.data(), ef.data(), r4.data(), g4.data(), b4.data(),
                                     e1.data(), csk[0], csk[1], csk[2], csk[3], csg1, csg2, static_cast<uint16>(aBits),
                                     &r, fy.data(), fcr.data(), fcb.data());
            RAW_ColorRestrainEdgeAdd_Reference(y.data(), cr.data(), cb.data(), ef.data(), r4.data(), g4.data(),
                                               b4.data(), e1.data(), csk[0], csk[1], csk[2], csk[3], csg1, csg2,
                                               static_cast<uint16>(aBits), &r, sy.data(), scr.data(), scb.data());
            ASSERT_TRUE(SameBits(fy, sy) && SameBits(fcr, scr) && SameBits(fcb, scb)) << "bits " << aBits << " n " << n;

            std::vector<uint16> fr(n), fg(n), fb(n), sr(n), sg(n), sb(n);
            RAW_ConvertToRGB(y.data(), cr.data(), cb.data(), static_cast<uint16>(aBits), &r, fr.data(), fg.data(),
                             fb.data());
            RAW_ConvertToRGB_Reference(y.data(), cr.data(), cb.data(), static_cast<uint16>(aBits), &r, sr.data(),
                                       sg.data(), sb.data());
            ASSERT_TRUE(SameBits(fr, sr) && SameBits(fg, sg) && SameBits(fb, sb)) << "rgb bits " << aBits;
        }
    }
}

}  // namespace
