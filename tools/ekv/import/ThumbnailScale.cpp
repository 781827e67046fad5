// Area-averaging reduction, done separably (across each row, then down the columns).
// Weights are exact fractions of the covered span, computed in double.
#include "import/ThumbnailScale.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace ekv {

namespace {

// One output pixel's share of the source line: the source indices it covers and the
// part of each it covers, as a fraction of the output pixel's span.
struct Span {
    int32_t first = 0;
    std::vector<double> weights;
};

std::vector<Span> CoverSpans(int32_t inSource, int32_t inTarget) {
    std::vector<Span> aSpans(static_cast<size_t>(inTarget));
    const double aStep = static_cast<double>(inSource) / inTarget;
    for (int32_t aOut = 0; aOut < inTarget; ++aOut) {
        const double aStart = aOut * aStep;
        const double aEnd = aOut + 1 == inTarget ? inSource : (aOut + 1) * aStep;
        Span &aSpan = aSpans[static_cast<size_t>(aOut)];
        aSpan.first = static_cast<int32_t>(std::floor(aStart));
        for (int32_t aIndex = aSpan.first; aIndex < inSource && aIndex < aEnd; ++aIndex) {
            const double aCovered = std::min<double>(aIndex + 1, aEnd) - std::max<double>(aIndex, aStart);
            aSpan.weights.push_back(aCovered / (aEnd - aStart));
        }
    }
    return aSpans;
}

}  // namespace

void FitWithin(int32_t inWidth, int32_t inHeight, int32_t inLongest, int32_t &outWidth, int32_t &outHeight) {
    outWidth = inWidth;
    outHeight = inHeight;
    if (inWidth <= 0 || inHeight <= 0 || inLongest <= 0) return;
    if (inWidth <= inLongest && inHeight <= inLongest) return;
    // The shorter side scaled in integers, rounded half up: L * S / longer.
    const int64_t aLonger = std::max(inWidth, inHeight);
    const int64_t aShorter = std::min(inWidth, inHeight);
    const int32_t aScaled =
        static_cast<int32_t>(std::max<int64_t>(1, (2 * aShorter * inLongest + aLonger) / (2 * aLonger)));
    if (inWidth >= inHeight) {
        outWidth = inLongest;
        outHeight = aScaled;
    } else {
        outWidth = aScaled;
        outHeight = inLongest;
    }
}

RgbImage ScaleByArea(const RgbImage &inImage, int32_t inWidth, int32_t inHeight) {
    RgbImage aOut;
    aOut.width = inWidth;
    aOut.height = inHeight;
    aOut.depth = inImage.depth;
    aOut.rowsDelivered = inHeight;
    aOut.samples.assign(static_cast<size_t>(inWidth) * inHeight * 3, 0);
    if (inImage.width <= 0 || inImage.height <= 0 || inWidth <= 0 || inHeight <= 0) return aOut;
    const std::vector<Span> aColumns = CoverSpans(inImage.width, inWidth);
    const std::vector<Span> aRows = CoverSpans(inImage.height, inHeight);
    // One output row at a time: each source row it covers is reduced to the output's
    // width and added with its weight, so the extra memory is two output rows.
    const size_t aRowSamples = static_cast<size_t>(inWidth) * 3;
    std::vector<double> aNarrow(aRowSamples), aSum(aRowSamples);
    for (int32_t aY = 0; aY < inHeight; ++aY) {
        const Span &aRowSpan = aRows[static_cast<size_t>(aY)];
        std::fill(aSum.begin(), aSum.end(), 0.0);
        for (size_t aRow = 0; aRow < aRowSpan.weights.size(); ++aRow) {
            const uint16_t *aSource =
                &inImage.samples[(aRowSpan.first + aRow) * static_cast<size_t>(inImage.width) * 3];
            std::fill(aNarrow.begin(), aNarrow.end(), 0.0);
            for (int32_t aX = 0; aX < inWidth; ++aX) {
                const Span &aSpan = aColumns[static_cast<size_t>(aX)];
                for (size_t aIndex = 0; aIndex < aSpan.weights.size(); ++aIndex)
                    for (int aC = 0; aC < 3; ++aC)
                        aNarrow[aX * 3 + aC] += aSpan.weights[aIndex] * aSource[(aSpan.first + aIndex) * 3 + aC];
            }
            for (size_t aSample = 0; aSample < aRowSamples; ++aSample)
                aSum[aSample] += aRowSpan.weights[aRow] * aNarrow[aSample];
        }
        for (size_t aSample = 0; aSample < aRowSamples; ++aSample)
            aOut.samples[aY * aRowSamples + aSample] = static_cast<uint16_t>(std::lround(aSum[aSample]));
    }
    return aOut;
}

}  // namespace ekv
