// Dynamic Huffman blocks of literals only, written by hand because no installed library
// both codes this fast and ends a piece of a stream on a sync flush: zlib's own
// Huffman-only coding is several times slower, and libdeflate compresses whole buffers
// into complete streams only.
#include "encoders/HuffmanDeflate.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <queue>

namespace ekv {

namespace {

// Bytes coded with one code: small enough for the code to follow the rows' statistics,
// large enough for the block's header (about 150 bytes) to cost little.
constexpr size_t kBlockBytes = 32 * 1024;
constexpr int kLongestCode = 15;
constexpr int kLongestLengthCode = 7;
constexpr int kEndOfBlock = 256;
constexpr int kLiteralCodes = 257;  // the bytes and the end of block; no lengths
// The order in which the lengths of the code-length code are sent.
constexpr std::array<int, 19> kLengthCodeOrder = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Bits in the order deflate sends them: the first bit in the lowest position of a byte.
// Every flush stores eight bytes and moves on by the whole bytes among them, without a
// branch, so the output needs eight bytes of room past its end.
class BitWriter {
public:
    explicit BitWriter(uint8_t *outBytes) : mNext(outBytes) {}
    // At most 56 bits may be put between flushes (three codes of up to 15 bits and more).
    void put(uint32_t inBits, int inCount) {
        mBits |= static_cast<uint64_t>(inBits) << mCount;
        mCount += inCount;
    }
    void flush() {
        for (int i = 0; i < 8; ++i) mNext[i] = static_cast<uint8_t>(mBits >> (8 * i));
        const int aBytes = mCount >> 3;
        mNext += aBytes;
        mBits >>= 8 * aBytes;
        mCount &= 7;
    }
    void putFlushed(uint32_t inBits, int inCount) {
        put(inBits, inCount);
        flush();
    }
    // Ends the output on a byte boundary (the last byte filled up with zeros, already
    // stored by the flush); returns the end.
    uint8_t *align() {
        flush();
        if (mCount > 0) ++mNext;
        mBits = 0;
        mCount = 0;
        return mNext;
    }

private:
    uint8_t *mNext;
    uint64_t mBits = 0;
    int mCount = 0;
};

uint32_t Reversed(uint32_t inCode, int inLength) {
    uint32_t aReversed = 0;
    for (int i = 0; i < inLength; ++i, inCode >>= 1) aReversed = (aReversed << 1) | (inCode & 1);
    return aReversed;
}

// The canonical codes of the lengths, bit-reversed as deflate sends them.
std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t> &inLengths) {
    std::array<uint32_t, kLongestCode + 2> aPerLength{}, aNext{};
    for (uint8_t aLength : inLengths) ++aPerLength[aLength];
    aPerLength[0] = 0;
    uint32_t aCode = 0;
    for (int aLength = 1; aLength <= kLongestCode; ++aLength) {
        aCode = (aCode + aPerLength[aLength - 1]) << 1;
        aNext[aLength] = aCode;
    }
    std::vector<uint32_t> aCodes(inLengths.size(), 0);
    for (size_t aSymbol = 0; aSymbol < inLengths.size(); ++aSymbol)
        if (inLengths[aSymbol] != 0) aCodes[aSymbol] = Reversed(aNext[inLengths[aSymbol]]++, inLengths[aSymbol]);
    return aCodes;
}

// A code-length symbol (0 to 18) with its extra bits.
struct LengthSymbol {
    uint8_t symbol;
    uint8_t extra;
};

// The code lengths run-length coded: 16 repeats the previous length 3 to 6 times, 17 and
// 18 give 3 to 10 and 11 to 138 zeros.
std::vector<LengthSymbol> RunLengths(const std::vector<uint8_t> &inLengths) {
    std::vector<LengthSymbol> aSymbols;
    for (size_t i = 0; i < inLengths.size();) {
        const uint8_t aLength = inLengths[i];
        size_t aRun = 1;
        while (i + aRun < inLengths.size() && inLengths[i + aRun] == aLength) ++aRun;
        i += aRun;
        if (aLength == 0) {
            for (; aRun >= 11; aRun -= std::min<size_t>(aRun, 138))
                aSymbols.push_back({18, static_cast<uint8_t>(std::min<size_t>(aRun, 138) - 11)});
            if (aRun >= 3) aSymbols.push_back({17, static_cast<uint8_t>(aRun - 3)}), aRun = 0;
        } else {
            aSymbols.push_back({aLength, 0});
            for (--aRun; aRun >= 3; aRun -= std::min<size_t>(aRun, 6))
                aSymbols.push_back({16, static_cast<uint8_t>(std::min<size_t>(aRun, 6) - 3)});
        }
        for (; aRun > 0; --aRun) aSymbols.push_back({aLength, 0});
    }
    return aSymbols;
}

constexpr int ExtraBits(int inSymbol) { return inSymbol == 16 ? 2 : inSymbol == 17 ? 3 : inSymbol == 18 ? 7 : 0; }

// One non-final dynamic block of the bytes. The writer is worked on as a copy of its own:
// through a reference, every store of output bytes could change it, and the compiler
// would keep it in memory instead of in registers.
void WriteBlock(const uint8_t *inBytes, size_t inSize, BitWriter &ioWriter) {
    BitWriter aWriter = ioWriter;
    // Four tables, so that runs of one byte value do not wait on one counter.
    std::array<std::array<uint32_t, 256>, 4> aTables{};
    size_t i = 0;
    for (; i + 4 <= inSize; i += 4) {
        ++aTables[0][inBytes[i]];
        ++aTables[1][inBytes[i + 1]];
        ++aTables[2][inBytes[i + 2]];
        ++aTables[3][inBytes[i + 3]];
    }
    for (; i < inSize; ++i) ++aTables[0][inBytes[i]];
    std::vector<uint32_t> aCounts(kLiteralCodes, 0);
    for (int aByte = 0; aByte < 256; ++aByte)
        aCounts[aByte] = aTables[0][aByte] + aTables[1][aByte] + aTables[2][aByte] + aTables[3][aByte];
    aCounts[kEndOfBlock] = 1;
    const std::vector<uint8_t> aLengths = LimitedCodeLengths(aCounts, kLongestCode);
    const std::vector<uint32_t> aCodes = CanonicalCodes(aLengths);

    // No lengths or distances occur; two distance codes of one bit each are sent all the
    // same, as zlib does, since some decoders want a complete distance code.
    std::vector<uint8_t> aAllLengths = aLengths;
    aAllLengths.push_back(1);
    aAllLengths.push_back(1);
    const std::vector<LengthSymbol> aRuns = RunLengths(aAllLengths);
    std::vector<uint32_t> aRunCounts(19, 0);
    for (const LengthSymbol &aRun : aRuns) ++aRunCounts[aRun.symbol];
    std::vector<uint8_t> aRunLengths = LimitedCodeLengths(aRunCounts, kLongestLengthCode);
    // A code of one symbol would be incomplete, which decoders refuse for this code.
    if (std::count(aRunLengths.begin(), aRunLengths.end(), 0) == 18) aRunLengths[aRunLengths[0] != 0 ? 1 : 0] = 1;
    const std::vector<uint32_t> aRunCodes = CanonicalCodes(aRunLengths);
    int aSent = 19;
    while (aSent > 4 && aRunLengths[kLengthCodeOrder[aSent - 1]] == 0) --aSent;

    aWriter.putFlushed(0 | (2 << 1), 3);  // not final; dynamic codes
    aWriter.putFlushed(kLiteralCodes - 257, 5);
    aWriter.putFlushed(2 - 1, 5);
    aWriter.putFlushed(static_cast<uint32_t>(aSent - 4), 4);
    for (int k = 0; k < aSent; ++k) aWriter.putFlushed(aRunLengths[kLengthCodeOrder[k]], 3);
    for (const LengthSymbol &aRun : aRuns) {
        aWriter.putFlushed(aRunCodes[aRun.symbol], aRunLengths[aRun.symbol]);
        aWriter.putFlushed(aRun.extra, ExtraBits(aRun.symbol));
    }

    // Code and length of every byte in one word, for the inner loop.
    std::array<uint32_t, 256> aTable;
    for (int aByte = 0; aByte < 256; ++aByte) aTable[aByte] = aCodes[aByte] | (uint32_t{aLengths[aByte]} << 16);
    for (i = 0; i + 3 <= inSize; i += 3) {
        const uint32_t aFirst = aTable[inBytes[i]], aSecond = aTable[inBytes[i + 1]], aThird = aTable[inBytes[i + 2]];
        aWriter.put(aFirst & 0xFFFF, static_cast<int>(aFirst >> 16));
        aWriter.put(aSecond & 0xFFFF, static_cast<int>(aSecond >> 16));
        aWriter.put(aThird & 0xFFFF, static_cast<int>(aThird >> 16));
        aWriter.flush();
    }
    for (; i < inSize; ++i) aWriter.putFlushed(aTable[inBytes[i]] & 0xFFFF, static_cast<int>(aTable[inBytes[i]] >> 16));
    aWriter.putFlushed(aCodes[kEndOfBlock], aLengths[kEndOfBlock]);
    ioWriter = aWriter;
}

}  // namespace

std::vector<uint8_t> LimitedCodeLengths(const std::vector<uint32_t> &inCounts, int inLongest) {
    std::vector<uint8_t> aLengths(inCounts.size(), 0);
    std::vector<uint32_t> aSymbols;  // the symbols that occur, the least frequent first
    for (uint32_t aSymbol = 0; aSymbol < inCounts.size(); ++aSymbol)
        if (inCounts[aSymbol] != 0) aSymbols.push_back(aSymbol);
    if (aSymbols.size() == 1) aLengths[aSymbols[0]] = 1;
    if (aSymbols.size() < 2) return aLengths;
    std::stable_sort(aSymbols.begin(), aSymbols.end(),
                     [&](uint32_t a, uint32_t b) { return inCounts[a] < inCounts[b]; });

    // Huffman's tree: the leaves are nodes 0 to n - 1 in the order of aSymbols, every
    // joined pair gets the next node; each node's depth follows from its parent's.
    const size_t aLeaves = aSymbols.size();
    std::vector<size_t> aParent(2 * aLeaves - 1, 0);
    using Entry = std::pair<uint64_t, size_t>;  // weight, node
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> aQueue;
    for (size_t aLeaf = 0; aLeaf < aLeaves; ++aLeaf) aQueue.push({inCounts[aSymbols[aLeaf]], aLeaf});
    for (size_t aNode = aLeaves; aQueue.size() > 1; ++aNode) {
        const Entry aFirst = aQueue.top();
        aQueue.pop();
        const Entry aSecond = aQueue.top();
        aQueue.pop();
        aParent[aFirst.second] = aParent[aSecond.second] = aNode;
        aQueue.push({aFirst.first + aSecond.first, aNode});
    }
    std::vector<int> aDepth(2 * aLeaves - 1, 0);
    for (size_t aNode = 2 * aLeaves - 1; aNode-- > 0;)
        if (aNode != 2 * aLeaves - 2) aDepth[aNode] = aDepth[aParent[aNode]] + 1;

    // Codes longer than the limit are cut to it, which oversubscribes the code; then one
    // code of the longest length at a time goes, and a shorter code splits into two one
    // bit longer, until the lengths make a complete code again.
    std::vector<uint32_t> aPerLength(static_cast<size_t>(inLongest) + 1, 0);
    for (size_t aLeaf = 0; aLeaf < aLeaves; ++aLeaf) ++aPerLength[std::min(aDepth[aLeaf], inLongest)];
    uint64_t aTotal = 0;
    for (int aLength = 1; aLength <= inLongest; ++aLength)
        aTotal += static_cast<uint64_t>(aPerLength[aLength]) << (inLongest - aLength);
    for (; aTotal > (uint64_t{1} << inLongest); --aTotal) {
        --aPerLength[inLongest];
        for (int aLength = inLongest - 1; aLength > 0; --aLength)
            if (aPerLength[aLength] != 0) {
                --aPerLength[aLength];
                aPerLength[aLength + 1] += 2;
                break;
            }
    }
    // The most frequent symbols take the shortest codes.
    size_t aNext = aLeaves;
    for (int aLength = 1; aLength <= inLongest; ++aLength)
        for (uint32_t k = 0; k < aPerLength[aLength]; ++k) aLengths[aSymbols[--aNext]] = static_cast<uint8_t>(aLength);
    return aLengths;
}

size_t HuffmanDeflate(const uint8_t *inBytes, size_t inSize, std::vector<uint8_t> &ioBuffer) {
    if (inSize == 0) return 0;
    const size_t aBlocks = (inSize + kBlockBytes - 1) / kBlockBytes;
    // At most 15 bits a byte, a header of under 300 bytes a block, the stored block and
    // room for the last eight-byte store.
    const size_t aMost = inSize * 2 + aBlocks * 300 + 16;
    if (ioBuffer.size() < aMost) ioBuffer.resize(aMost);
    BitWriter aWriter(ioBuffer.data());
    for (size_t aOffset = 0; aOffset < inSize; aOffset += kBlockBytes)
        WriteBlock(inBytes + aOffset, std::min(kBlockBytes, inSize - aOffset), aWriter);
    aWriter.putFlushed(0, 3);  // an empty stored block, not final: the sync flush
    uint8_t *aEnd = aWriter.align();
    const uint8_t aEmpty[4] = {0x00, 0x00, 0xFF, 0xFF};
    std::memcpy(aEnd, aEmpty, sizeof aEmpty);
    return static_cast<size_t>(aEnd + sizeof aEmpty - ioBuffer.data());
}

void HuffmanDeflateEnd(std::vector<uint8_t> &ioOutput) {
    // Final, fixed codes (bits 1, 1 0), and the seven zero bits of the end of block.
    ioOutput.push_back(0x03);
    ioOutput.push_back(0x00);
}

}  // namespace ekv
