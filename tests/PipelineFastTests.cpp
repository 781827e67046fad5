// The optimised stages against their straightforward reference forms: identical bits on
// random planes and parameters, for every CFA layout, both row/column parities (odd and
// even offsets and widths) and every depth from 8 to 16 bits.
#include <gtest/gtest.h>

#include "PipelineTestSupport.h"
#include "pipeline/PipelineReference.h"

using namespace pipetest;

namespace {

struct Geometry {
    int left, top, width, height;
};

// Offsets and sizes of both parities, including one-column and one-row areas and rows
// longer than the stretch the filter forms its products over.
const Geometry kGeometries[] = {{0, 0, 16, 6}, {1, 0, 15, 5}, {0, 1, 17, 4}, {1, 1, 1, 1}, {2, 3, 2, 1}, {3, 2, 30, 7}, {1, 0, 301, 3}, {0, 1, 256, 2}};

}  // namespace

TEST(PipelineFast, LowPassFilterMatchesTheReferenceBitForBit) {
    std::mt19937 aRandom(20261208);
    std::uniform_real_distribution<double> aWeight(-0.3, 1.2);
    for (const Layout &aLayout : Layouts()) {
        for (int aBits = 8; aBits <= 16; ++aBits) {
            for (const Geometry &g : kGeometries) {
                int aBandWidth = g.left + g.width + 3, aBandHeight = g.top + g.height + 3;
                // Samples a little beyond the depth so that clipping at the top is exercised too.
                uint32 aLimit = aBits >= 16 ? 65535u : ((1u << aBits) + (1u << aBits) / 4);
                std::vector<uint16> aBand = RandomSamples(aRandom, static_cast<size_t>(aBandWidth) * aBandHeight, aLimit);
                double ka = aWeight(aRandom), kb = aWeight(aRandom), kc = aWeight(aRandom);
                Rect aRect{static_cast<int16>(g.top), static_cast<int16>(g.left), static_cast<int16>(g.top + g.height),
                           static_cast<int16>(g.left + g.width)};
                size_t n = static_cast<size_t>(g.width) * g.height;
                std::vector<uint16> r(n + 1, 0xBEEF), gg(n + 1, 0xBEEF), b(n + 1, 0xBEEF);
                std::vector<uint16> rr(n + 1, 0xBEEF), rg(n + 1, 0xBEEF), rb(n + 1, 0xBEEF);
                RAW_LowPassFilter(aBand.data(), static_cast<uint16>(aBandWidth), static_cast<uint16>(aBandHeight),
                                  aLayout.cfa.data(), ka, kb, kc, static_cast<uint16>(aBits), &aRect, r.data(),
                                  gg.data(), b.data());
                RAW_LowPassFilter_Reference(aBand.data(), static_cast<uint16>(aBandWidth),
                                            static_cast<uint16>(aBandHeight), aLayout.cfa.data(), ka, kb, kc,
                                            static_cast<uint16>(aBits), &aRect, rr.data(), rg.data(), rb.data());
                ASSERT_EQ(r, rr) << aLayout.name << " bits " << aBits << " left " << g.left << " top " << g.top;
                ASSERT_EQ(gg, rg) << aLayout.name << " bits " << aBits << " left " << g.left << " top " << g.top;
                ASSERT_EQ(b, rb) << aLayout.name << " bits " << aBits << " left " << g.left << " top " << g.top;
            }
        }
    }
}
