// Fuzz target: the strip reader over arbitrary strip tables, sensor widths, row runs and
// file lengths, each read checked byte for byte against a model of the strip stream
// (bytes that cannot be read are zeros), then aligned in place.
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzSupport.h"
#include "rawfile/RawInfo.h"

namespace {

// The layout of the fuzzed bytes ahead of the file.
struct Params {
    int32 offsets[kRAW_MaxStrips];
    int32 counts[kRAW_MaxStrips];
    uint16 width;    // capped to 512
    uint8_t bits;    // valid bits
    uint8_t offset;  // bit offset
    uint8_t big;     // odd: big-endian
    uint8_t length;  // rows, capped to 40
    uint32 from;     // first row
};
const size_t kParams = 4 * kRAW_MaxStrips * 2 + 2 + 4 + 4;

uint32 Read32(const uint8_t *p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32>(p[3]) << 24); }

// The byte at stream position inPos, as the strips describe it.
uint8_t StreamByte(const RAW_Info &inInfo, const uint8_t *inFile, size_t inFileSize, uint64_t inPos) {
    for (int k = 0; k < kRAW_MaxStrips; ++k) {
        uint64_t aBytes = inInfo.strip_byte_count[k] > 0 ? static_cast<uint64_t>(inInfo.strip_byte_count[k]) : 0;
        if (inPos < aBytes) {
            if (inInfo.strip_offsets[k] <= 0) return 0;
            uint64_t aAt = static_cast<uint64_t>(inInfo.strip_offsets[k]) + inPos;
            return aAt < inFileSize ? inFile[aAt] : 0;
        }
        inPos -= aBytes;
    }
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *inData, size_t inSize) {
    if (inSize < kParams) return 0;
    Params p;
    for (int k = 0; k < kRAW_MaxStrips; ++k) {
        p.offsets[k] = static_cast<int32>(Read32(inData + 4 * k));
        p.counts[k] = static_cast<int32>(Read32(inData + 4 * (kRAW_MaxStrips + k)));
    }
    const uint8_t *q = inData + 8 * kRAW_MaxStrips;
    p.width = static_cast<uint16>((q[0] | (q[1] << 8)) % 513);
    p.bits = q[2];
    p.offset = q[3];
    p.big = q[4];
    p.length = static_cast<uint8_t>(q[5] % 41);
    p.from = Read32(q + 6);
    const uint8_t *aFile = inData + kParams;
    const size_t aFileSize = inSize - kParams;

    RAW_Info aInfo;
    RAW_DefaultInfo(&aInfo);
    aInfo.endian = (p.big & 1) ? kRAW_BigEndian : kRAW_LittleEndian;
    aInfo.image_width = p.width;
    aInfo.valid_bits_per_pixel[0] = p.bits;
    aInfo.valid_bits_per_pixel[1] = p.offset;
    std::memcpy(aInfo.strip_offsets, p.offsets, sizeof p.offsets);
    std::memcpy(aInfo.strip_byte_count, p.counts, sizeof p.counts);

    const std::string &aPath = fuzz::ScratchPath("strip");
    if (!fuzz::WriteFile(aPath, aFile, aFileSize)) return 0;
    FSSpec aSpec;
    if (NativePathNameToFSSpec(aPath.c_str(), &aSpec, 0) != noErr) return 0;

    testhost::TestHost aHost;
    HandleProcs *aProcs = aHost.record()->handleProcs;
    Handle aRows = nullptr;
    OSErr aErr = RAW_ReadStrip(&aSpec, &aInfo, p.from, p.length, aProcs, &aRows);
    if (aErr != 0) {
        if (aRows != nullptr) fuzz::Fail("a failed read handed back rows");
        fuzz::CheckHost(aHost, 0);
        return 0;
    }
    if (aRows == nullptr) fuzz::Fail("a successful read handed back no rows");
    const uint64_t aSample = p.bits > 8 ? 2 : 1;
    const uint64_t aStored = static_cast<uint64_t>(p.length) * p.width * aSample;
    if (static_cast<uint64_t>(aProcs->getSizeProc(aRows)) != 2 * aStored / aSample) fuzz::Fail("row buffer size");
    uint8_t *aBytes = reinterpret_cast<uint8_t *>(aProcs->lockProc(aRows, false));
    const uint64_t aStart = static_cast<uint64_t>(p.from) * p.width * aSample;
    for (uint64_t i = 0; i < aStored; ++i) {
        uint8_t aExpected = StreamByte(aInfo, aFile, aFileSize, aStart + i);
        uint8_t aGot = aSample == 2 ? aBytes[i] : aBytes[2 * i];
        if (aGot != aExpected || (aSample == 1 && aBytes[2 * i + 1] != 0))
            fuzz::Fail("row byte differs from the strip stream at", std::to_string(i));
    }
    if (aStored > 0)
        RAW_ShiftRight(reinterpret_cast<uint16 *>(aBytes), p.width, p.length, p.bits, p.offset, aInfo.endian);
    aProcs->unlockProc(aRows);
    aProcs->disposeProc(aRows);
    fuzz::CheckHost(aHost, 0);
    return 0;
}
