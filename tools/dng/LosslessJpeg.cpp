// Lossless JPEG encoder: differences, optimal Huffman tables, a table-driven bit writer.
#include "LosslessJpeg.h"

#include <algorithm>

namespace dng {

namespace {

// Difference categories (SSSS) run from 0 to 16; index 17 is the reserved code point
// that keeps every code from being all ones.
constexpr int kSymbols = 17;
constexpr int kMaxCodeLength = 16;

struct HuffmanTable {
    uint8_t bits[kMaxCodeLength + 1] = {};  // number of codes of each length 1..16
    uint8_t values[kSymbols] = {};          // symbols by increasing code length
    int count = 0;                          // symbols in values
    uint16_t code[kSymbols] = {};
    uint8_t length[kSymbols] = {};
};

// The bit length of |inDifference| (0 for 0, 16 for -32768), without branches.
inline int CategoryOf(int16_t inDifference) {
    int32_t aSign = inDifference >> 15;
    uint32_t aMagnitude = static_cast<uint32_t>((inDifference ^ aSign) - aSign);
    return 31 - __builtin_clz(2 * aMagnitude + 1);
}

// The optimal table of code lengths at most 16 for the category counts, by the
// procedure of ITU T.81 Annex K.2 (Huffman's algorithm, then lengths above 16 moved
// down), followed by the canonical codes of Annex C.
void BuildTable(const uint32_t inCounts[kSymbols], HuffmanTable &outTable) {
    constexpr int kAll = kSymbols + 1;
    uint64_t aFrequency[kAll];
    int aCodeSize[kAll] = {};
    int aOthers[kAll];
    for (int i = 0; i < kSymbols; ++i) aFrequency[i] = inCounts[i];
    aFrequency[kSymbols] = 1;
    std::fill(aOthers, aOthers + kAll, -1);
    for (;;) {
        // The two least frequent trees (ties to the higher symbol, as Annex K does).
        int aFirst = -1, aSecond = -1;
        for (int i = 0; i < kAll; ++i)
            if (aFrequency[i] != 0 && (aFirst < 0 || aFrequency[i] <= aFrequency[aFirst])) aFirst = i;
        for (int i = 0; i < kAll; ++i)
            if (aFrequency[i] != 0 && i != aFirst && (aSecond < 0 || aFrequency[i] <= aFrequency[aSecond])) aSecond = i;
        if (aSecond < 0) break;
        aFrequency[aFirst] += aFrequency[aSecond];
        aFrequency[aSecond] = 0;
        for (int i = aFirst;; i = aOthers[i]) {
            ++aCodeSize[i];
            if (aOthers[i] < 0) {
                aOthers[i] = aSecond;
                break;
            }
        }
        for (int i = aSecond; i >= 0; i = aOthers[i]) ++aCodeSize[i];
    }
    int aBits[2 * kAll + 1] = {};
    for (int i = 0; i < kAll; ++i)
        if (aCodeSize[i] > 0) ++aBits[aCodeSize[i]];
    for (int i = 2 * kAll; i > kMaxCodeLength; --i)
        while (aBits[i] > 0) {
            int j = i - 2;
            while (aBits[j] == 0) --j;
            aBits[i] -= 2;
            aBits[i - 1] += 1;
            aBits[j + 1] += 2;
            aBits[j] -= 1;
        }
    // The reserved point holds one of the longest codes: drop it.
    int aLongest = kMaxCodeLength;
    while (aBits[aLongest] == 0) --aLongest;
    --aBits[aLongest];

    outTable = HuffmanTable();
    for (int aSize = 1; aSize <= 2 * kAll; ++aSize)
        for (int i = 0; i < kSymbols; ++i)
            if (aCodeSize[i] == aSize) outTable.values[outTable.count++] = static_cast<uint8_t>(i);
    uint32_t aCode = 0;
    int aIndex = 0;
    for (int aLength = 1; aLength <= kMaxCodeLength; ++aLength) {
        outTable.bits[aLength] = static_cast<uint8_t>(aBits[aLength]);
        for (int n = 0; n < aBits[aLength]; ++n, ++aIndex, ++aCode) {
            outTable.code[outTable.values[aIndex]] = static_cast<uint16_t>(aCode);
            outTable.length[outTable.values[aIndex]] = static_cast<uint8_t>(aLength);
        }
        aCode <<= 1;
    }
}

// Entropy-coded bytes with a 0 stuffed after each 0xFF, written 32 bits at a time.
class BitWriter {
public:
    // Writes into ioBuffer from inStart on, growing it as room() asks.
    BitWriter(std::vector<uint8_t> &ioBuffer, size_t inStart) : mBuffer(ioBuffer), mNext(ioBuffer.data() + inStart) {}

    // Makes room for inBytes more bytes (the buffer at least doubles when it grows).
    void room(size_t inBytes) {
        size_t aUsed = static_cast<size_t>(mNext - mBuffer.data());
        if (mBuffer.size() - aUsed >= inBytes) return;
        mBuffer.resize(std::max(2 * mBuffer.size(), aUsed + inBytes));
        mNext = mBuffer.data() + aUsed;
    }

    void put(uint32_t inBits, int inLength) {
        mPending = (mPending << inLength) | inBits;
        mCount += inLength;
        if (mCount >= 32) {
            mCount -= 32;
            uint32_t aWord = static_cast<uint32_t>(mPending >> mCount);
            // Most words hold no 0xFF byte (none of the bytes of ~aWord is zero): stored
            // at once; otherwise byte by byte, with the stuffing.
            if (((~aWord - 0x01010101u) & aWord & 0x80808080u) == 0) {
                mNext[0] = static_cast<uint8_t>(aWord >> 24);
                mNext[1] = static_cast<uint8_t>(aWord >> 16);
                mNext[2] = static_cast<uint8_t>(aWord >> 8);
                mNext[3] = static_cast<uint8_t>(aWord);
                mNext += 4;
            } else {
                for (int aShift = 24; aShift >= 0; aShift -= 8) byte(static_cast<uint8_t>(aWord >> aShift));
            }
        }
    }

    // Pads the last byte with one bits and adds the marker inCode; returns the length of
    // the buffer's bytes.
    size_t finish(uint8_t inCode) {
        room(16);
        if (mCount % 8 != 0) put((1u << (8 - mCount % 8)) - 1, 8 - mCount % 8);
        while (mCount > 0) {
            mCount -= 8;
            byte(static_cast<uint8_t>(mPending >> mCount));
        }
        *mNext++ = 0xFF;
        *mNext++ = inCode;
        return static_cast<size_t>(mNext - mBuffer.data());
    }

private:
    void byte(uint8_t inByte) {
        *mNext++ = inByte;
        if (inByte == 0xFF) *mNext++ = 0;
    }

    std::vector<uint8_t> &mBuffer;
    uint8_t *mNext;
    uint64_t mPending = 0;
    int mCount = 0;
};

void PutMarker(std::vector<uint8_t> &ioOut, uint8_t inCode) {
    ioOut.push_back(0xFF);
    ioOut.push_back(inCode);
}

void PutWord(std::vector<uint8_t> &ioOut, uint32_t inValue) {
    ioOut.push_back(static_cast<uint8_t>(inValue >> 8));
    ioOut.push_back(static_cast<uint8_t>(inValue));
}

void PutTable(std::vector<uint8_t> &ioOut, int inIndex, const HuffmanTable &inTable) {
    PutMarker(ioOut, 0xC4);  // DHT
    PutWord(ioOut, 2 + 1 + kMaxCodeLength + inTable.count);
    ioOut.push_back(static_cast<uint8_t>(inIndex));  // DC-class table inIndex
    ioOut.insert(ioOut.end(), inTable.bits + 1, inTable.bits + 1 + kMaxCodeLength);
    ioOut.insert(ioOut.end(), inTable.values, inTable.values + inTable.count);
}

// Calls inVisit(x, difference) for each sample of a row, in order: the difference from
// its prediction (predictor 1: the sample two columns to the left, of the same
// component; in the first two columns the sample above, or 2^(P - 1) in the first row),
// modulo 2^16 as T.81 defines it.
template <typename Visit>
inline void VisitRow(const uint16_t *inRow, const uint16_t *inAbove, uint32_t inWidth, uint16_t inStart,
                     Visit inVisit) {
    for (uint32_t x = 0; x < 2 && x < inWidth; ++x)
        inVisit(x, static_cast<int16_t>(static_cast<uint16_t>(inRow[x] - (inAbove != nullptr ? inAbove[x] : inStart))));
    for (uint32_t x = 2; x < inWidth; ++x)
        inVisit(x, static_cast<int16_t>(static_cast<uint16_t>(inRow[x] - inRow[x - 2])));
}

}  // namespace

size_t EncodeLosslessJpeg(const uint16_t *inSamples, size_t inStride, uint32_t inWidth, uint32_t inHeight,
                          int inPrecision, std::vector<uint8_t> &ioBuffer) {
    // A first pass counts the difference categories of each component, a second codes
    // them with the tables those counts give.
    const uint16_t aStart = static_cast<uint16_t>(1u << (inPrecision - 1));
    // Four sets of counts, one for each column modulo 4, so that consecutive samples of
    // a component rarely wait on the same counter.
    uint32_t aCounts[4][kSymbols] = {};
    for (uint32_t y = 0; y < inHeight; ++y) {
        const uint16_t *aRow = inSamples + y * inStride;
        const uint16_t *aAbove = y > 0 ? aRow - inStride : nullptr;
        VisitRow(aRow, aAbove, inWidth, aStart,
                 [&](uint32_t inX, int16_t inDifference) { ++aCounts[inX & 3][CategoryOf(inDifference)]; });
    }
    for (int i = 0; i < kSymbols; ++i) {
        aCounts[0][i] += aCounts[2][i];
        aCounts[1][i] += aCounts[3][i];
    }
    HuffmanTable aTables[2];
    BuildTable(aCounts[0], aTables[0]);
    BuildTable(aCounts[1], aTables[1]);

    std::vector<uint8_t> aHeader;
    PutMarker(aHeader, 0xD8);  // SOI
    PutTable(aHeader, 0, aTables[0]);
    PutTable(aHeader, 1, aTables[1]);
    PutMarker(aHeader, 0xC3);  // SOF3: lossless, Huffman
    PutWord(aHeader, 8 + 3 * 2);
    aHeader.push_back(static_cast<uint8_t>(inPrecision));
    PutWord(aHeader, inHeight);
    PutWord(aHeader, inWidth / 2);
    aHeader.push_back(2);
    for (uint8_t aComponent = 1; aComponent <= 2; ++aComponent) {
        aHeader.push_back(aComponent);
        aHeader.push_back(0x11);  // no subsampling
        aHeader.push_back(0);
    }
    // SOS: components 1 and 2 with tables 0 and 1, predictor 1, no point transform.
    PutMarker(aHeader, 0xDA);
    PutWord(aHeader, 6 + 2 * 2);
    const uint8_t aScan[] = {2, 1, 0x00, 2, 0x10, 1, 0, 0};
    aHeader.insert(aHeader.end(), aScan, aScan + sizeof aScan);

    if (ioBuffer.size() < aHeader.size()) ioBuffer.resize(aHeader.size());
    std::copy(aHeader.begin(), aHeader.end(), ioBuffer.begin());
    BitWriter aWriter(ioBuffer, aHeader.size());
    for (uint32_t y = 0; y < inHeight; ++y) {
        // A row takes at most 31 bits a sample, with every byte stuffed, and what is
        // pending from the row before: 8 bytes a sample and 8 more.
        aWriter.room(8 * static_cast<size_t>(inWidth) + 8);
        const uint16_t *aRow = inSamples + y * inStride;
        const uint16_t *aAbove = y > 0 ? aRow - inStride : nullptr;
        VisitRow(aRow, aAbove, inWidth, aStart, [&](uint32_t inX, int16_t inDifference) {
            int aCategory = CategoryOf(inDifference);
            const HuffmanTable &aTable = aTables[inX & 1];
            // Category 16 (a difference of -32768) has no extra bits.
            int aExtra = aCategory & 15;
            // A negative difference is sent as its value minus 1, in aExtra bits.
            uint32_t aLow = static_cast<uint32_t>(inDifference + (inDifference >> 15)) & ((1u << aExtra) - 1);
            aWriter.put((static_cast<uint32_t>(aTable.code[aCategory]) << aExtra) | aLow,
                        aTable.length[aCategory] + aExtra);
        });
    }
    return aWriter.finish(0xD9);  // EOI
}

}  // namespace dng
