// The interleaving of three planes. A sample at a time, it is a load and a store per
// sample with a stride of three that the compiler leaves scalar; with SSSE3's byte
// shuffle, eight pixels take three loads, nine shuffles and three stores.
#include "import/InterleaveRows.h"

#include <array>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define EKV_HAVE_SHUFFLE 1
#endif

namespace ekv {

namespace {

void InterleaveRow(const uint16_t *inRed, const uint16_t *inGreen, const uint16_t *inBlue, int32_t inFrom,
                   int32_t inWidth, uint16_t *outRow) {
    for (int32_t aColumn = inFrom; aColumn < inWidth; ++aColumn) {
        outRow[3 * aColumn] = inRed[aColumn];
        outRow[3 * aColumn + 1] = inGreen[aColumn];
        outRow[3 * aColumn + 2] = inBlue[aColumn];
    }
}

#if defined(EKV_HAVE_SHUFFLE)
// The byte shuffle that takes plane inPlane's samples of eight pixels to their places in
// the 16-byte output vector inVector (of three) of those pixels; other places get zero.
constexpr std::array<int8_t, 16> ShuffleOf(int inPlane, int inVector) {
    std::array<int8_t, 16> aBytes{};
    for (int aSlot = 0; aSlot < 8; ++aSlot) {
        const int aSample = 8 * inVector + aSlot;
        const bool aOurs = aSample % 3 == inPlane;
        const int aPixel = aSample / 3;
        aBytes[2 * aSlot] = static_cast<int8_t>(aOurs ? 2 * aPixel : -1);
        aBytes[2 * aSlot + 1] = static_cast<int8_t>(aOurs ? 2 * aPixel + 1 : -1);
    }
    return aBytes;
}

alignas(16) constexpr std::array<std::array<std::array<int8_t, 16>, 3>, 3> kShuffles{{
    {ShuffleOf(0, 0), ShuffleOf(1, 0), ShuffleOf(2, 0)},
    {ShuffleOf(0, 1), ShuffleOf(1, 1), ShuffleOf(2, 1)},
    {ShuffleOf(0, 2), ShuffleOf(1, 2), ShuffleOf(2, 2)},
}};

__attribute__((target("ssse3"))) void InterleaveRowsShuffled(const uint16_t *inRed, const uint16_t *inGreen,
                                                             const uint16_t *inBlue, int32_t inWidth, int32_t inRows,
                                                             uint16_t *outRows, size_t inStride) {
    __m128i aMask[3][3];
    for (int aVector = 0; aVector < 3; ++aVector)
        for (int aPlane = 0; aPlane < 3; ++aPlane)
            aMask[aVector][aPlane] =
                _mm_load_si128(reinterpret_cast<const __m128i *>(kShuffles[aVector][aPlane].data()));
    const int32_t aWhole = inWidth - inWidth % 8;
    for (int32_t aRow = 0; aRow < inRows; ++aRow) {
        uint16_t *aTo = outRows + static_cast<size_t>(aRow) * inStride;
        for (int32_t aColumn = 0; aColumn < aWhole; aColumn += 8) {
            const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i *>(inRed + aColumn));
            const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i *>(inGreen + aColumn));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(inBlue + aColumn));
            for (int aVector = 0; aVector < 3; ++aVector) {
                const __m128i v = _mm_or_si128(
                    _mm_or_si128(_mm_shuffle_epi8(r, aMask[aVector][0]), _mm_shuffle_epi8(g, aMask[aVector][1])),
                    _mm_shuffle_epi8(b, aMask[aVector][2]));
                _mm_storeu_si128(reinterpret_cast<__m128i *>(aTo + 3 * aColumn + 8 * aVector), v);
            }
        }
        InterleaveRow(inRed, inGreen, inBlue, aWhole, inWidth, aTo);
        inRed += inWidth;
        inGreen += inWidth;
        inBlue += inWidth;
    }
}

bool HasShuffle() {
    static const bool sHas = __builtin_cpu_supports("ssse3");
    return sHas;
}
#endif

}  // namespace

void InterleaveRows(const uint16_t *inRed, const uint16_t *inGreen, const uint16_t *inBlue, int32_t inWidth,
                    int32_t inRows, uint16_t *outRows, size_t inStride) {
#if defined(EKV_HAVE_SHUFFLE)
    if (HasShuffle()) return InterleaveRowsShuffled(inRed, inGreen, inBlue, inWidth, inRows, outRows, inStride);
#endif
    for (int32_t aRow = 0; aRow < inRows; ++aRow) {
        InterleaveRow(inRed, inGreen, inBlue, 0, inWidth, outRows + static_cast<size_t>(aRow) * inStride);
        inRed += inWidth;
        inGreen += inWidth;
        inBlue += inWidth;
    }
}

}  // namespace ekv
