// Reading runs of mosaic rows out of the strips (SampleShift.cpp then brings the samples
// to host order with their valid bits at the bottom).
//
// The strips form one byte stream; every byte of a run is placed at its position in that
// stream. What cannot be read is zero: the part of a run in an absent strip (offset 0
// or negative), past the 15th strip, past the end of the file or beyond a file position
// that the file interface cannot address. A negative byte count is a strip of no bytes.
#include "RawInfo.h"

#include "../pipeline/kernels/StageKernels.h"
#include "../plugin/HostMemory.h"

namespace {

const int64_t kRAW_MaxHandleSize = 0x7FFFFFFF;

int64_t RAW_StripBytes(const RAW_Info *inInfo, int inStrip) {
    return inInfo->strip_byte_count[inStrip] > 0 ? inInfo->strip_byte_count[inStrip] : 0;
}

void RAW_Zero(char *outBytes, int64_t inCount) {
    for (int64_t aIndex = 0; aIndex < inCount; ++aIndex) outBytes[aIndex] = 0;
}

// Reads inCount stream bytes from stream position inStart into outBytes, one positioned
// read per strip touched.
void RAW_ReadStream(int16 inRefNum, const RAW_Info *inInfo, uint64_t inStart, int64_t inCount, char *outBytes) {
    int aStrip = 0;
    uint64_t aSkip = inStart;
    while (aStrip < kRAW_MaxStrips && aSkip >= static_cast<uint64_t>(RAW_StripBytes(inInfo, aStrip))) {
        aSkip -= static_cast<uint64_t>(RAW_StripBytes(inInfo, aStrip));
        ++aStrip;
    }
    int64_t aDone = 0;
    for (; aStrip < kRAW_MaxStrips && aDone < inCount; ++aStrip) {
        int64_t aAvailable = RAW_StripBytes(inInfo, aStrip) - static_cast<int64_t>(aSkip);
        int64_t aPart = inCount - aDone < aAvailable ? inCount - aDone : aAvailable;
        int64_t aPosition = static_cast<int64_t>(inInfo->strip_offsets[aStrip]) + static_cast<int64_t>(aSkip);
        int64_t aGot = 0;
        if (inRefNum != 0 && inInfo->strip_offsets[aStrip] > 0 && aPosition <= kRAW_MaxHandleSize &&
            SetFPos(inRefNum, fsFromStart, static_cast<int32>(aPosition)) == noErr) {
            int32 aCount = static_cast<int32>(aPart);
            FSRead(inRefNum, &aCount, outBytes + aDone);
            aGot = aCount < 0 ? 0 : (aCount > aPart ? aPart : aCount);
        }
        // What the file did not give is zero.
        RAW_Zero(outBytes + aDone + aGot, aPart - aGot);
        aDone += aPart;
        aSkip = 0;
    }
    // The part of the run past the last strip.
    if (aDone < inCount) RAW_Zero(outBytes + aDone, inCount - aDone);
}

// A locked handle of inSize bytes, or null (nothing left allocated). Its bytes are
// whatever the host gives: every caller writes all of them.
Handle RAW_NewLockedHandle(HandleProcs *inHandleProcs, int64_t inSize, char **outBytes) {
    *outBytes = nullptr;
    Handle aHandle = RAW_NewHandle(inHandleProcs, static_cast<int32>(inSize));
    if (aHandle == nullptr) return nullptr;
    Ptr aBytes = RAW_LockHandle(inHandleProcs, aHandle, false);
    if (aBytes == nullptr) {
        RAW_DisposeHandle(inHandleProcs, aHandle);
        return nullptr;
    }
    *outBytes = aBytes;
    return aHandle;
}

}  // namespace

OSErr RAW_ReadStrip(const FSSpec *inFile, const RAW_Info *inInfo, uint32 inFrom, uint32 inLength,
                    HandleProcs *inHandleProcs, Handle *outData) {
    *outData = nullptr;
    int64_t aSampleBytes = inInfo->valid_bits_per_pixel[0] > 8 ? 2 : 1;
    if (inInfo->image_width < 0) return memFullErr;
    uint64_t aRowBytes = static_cast<uint64_t>(inInfo->image_width) * static_cast<uint64_t>(aSampleBytes);
    uint64_t aStart = static_cast<uint64_t>(inFrom) * aRowBytes;
    uint64_t aCount = static_cast<uint64_t>(inLength) * aRowBytes;
    // The row buffer holds 2 bytes a sample whatever the stored width.
    if (aCount * static_cast<uint64_t>(3 - aSampleBytes) > static_cast<uint64_t>(kRAW_MaxHandleSize)) return memFullErr;
    int64_t aBytes = static_cast<int64_t>(aCount);

    if (aBytes == 0) {
        *outData = RAW_NewHandle(inHandleProcs, 0);
        return *outData != nullptr ? 0 : memFullErr;
    }

    int16 aRefNum = 0;
    if (FSpOpenDF(inFile, fsRdPerm, &aRefNum) != noErr) aRefNum = 0;
    char *aRead = nullptr;
    Handle aReadHandle = RAW_NewLockedHandle(inHandleProcs, aBytes, &aRead);
    if (aReadHandle == nullptr) {
        if (aRefNum != 0) FSClose(aRefNum);
        return memFullErr;
    }
    RAW_ReadStream(aRefNum, inInfo, aStart, aBytes, aRead);
    if (aRefNum != 0) FSClose(aRefNum);

    if (aSampleBytes == 2) {
        RAW_UnlockHandle(inHandleProcs, aReadHandle);
        *outData = aReadHandle;
        return 0;
    }

    // One-byte samples: each byte b becomes the host-order 16-bit value b.
    char *aWide = nullptr;
    Handle aWideHandle = RAW_NewLockedHandle(inHandleProcs, 2 * aBytes, &aWide);
    if (aWideHandle != nullptr) {
        RAW_RUN_KERNEL(RAW_KWidenSamples, reinterpret_cast<const uint8_t *>(aRead), static_cast<size_t>(aBytes),
                       reinterpret_cast<uint16 *>(aWide));
        RAW_UnlockHandle(inHandleProcs, aWideHandle);
    }
    RAW_UnlockHandle(inHandleProcs, aReadHandle);
    RAW_DisposeHandle(inHandleProcs, aReadHandle);
    *outData = aWideHandle;
    return aWideHandle != nullptr ? 0 : memFullErr;
}
