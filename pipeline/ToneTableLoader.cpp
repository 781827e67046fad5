// Loads a tone table into a host handle: the computed identity table, or one of the
// module's "METAFILE" resources (entries stored most significant byte first).
#include "Pipeline.h"

#include "../plugin/HostMemory.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include "../host/NativeResources.h"
#endif

static const char kToneTableResourceType[] = "METAFILE";

// The resource bytes of one tone table; *outRelease is what RAW_ReleaseToneResource
// needs afterwards. Null when the module has no such resource or it is too short.
static const uint8_t *RAW_FindToneResource(KarvexInstance hModule, uint16 inID, void **outRelease) {
    *outRelease = nullptr;
#if defined(_WIN32)
    HRSRC aInfo = FindResourceA(hModule, MAKEINTRESOURCEA(inID), kToneTableResourceType);
    if (aInfo == nullptr) return nullptr;
    if (SizeofResource(hModule, aInfo) < static_cast<DWORD>(kRAW_LUTBytes)) return nullptr;
    HGLOBAL aResource = LoadResource(hModule, aInfo);
    if (aResource == nullptr) return nullptr;
    const uint8_t *aBytes = static_cast<const uint8_t *>(LockResource(aResource));
    if (aBytes == nullptr) {
        FreeResource(aResource);
        return nullptr;
    }
    *outRelease = aResource;
    return aBytes;
#else
    int32 aSize = 0;
    const uint8_t *aBytes = NativeResource_Find(hModule, inID, kToneTableResourceType, &aSize);
    return aSize >= kRAW_LUTBytes ? aBytes : nullptr;
#endif
}

static void RAW_ReleaseToneResource(void *inRelease) {
#if defined(_WIN32)
    if (inRelease != nullptr) FreeResource(static_cast<HGLOBAL>(inRelease));
#else
    (void)inRelease;
#endif
}

// A new handle holding the identity table (inBigEndian null) or the given resource
// bytes in the machine's byte order; null when it cannot be had or locked.
static Handle RAW_NewLUTHandle(HandleProcs *inProcs, const uint8_t *inBigEndian) {
    Handle aLUT = RAW_NewHandle(inProcs, kRAW_LUTBytes);
    if (aLUT == nullptr) return nullptr;
    uint16 *aEntries = reinterpret_cast<uint16 *>(RAW_LockHandle(inProcs, aLUT, false));
    if (aEntries == nullptr) {
        RAW_DisposeHandle(inProcs, aLUT);
        return nullptr;
    }
    for (int32 i = 0; i < kRAW_LUTEntries; ++i) {
        if (inBigEndian == nullptr)
            aEntries[i] = static_cast<uint16>(i);
        else  // most significant byte first, into the machine's order
            aEntries[i] = static_cast<uint16>((inBigEndian[2 * i] << 8) | inBigEndian[2 * i + 1]);
    }
    RAW_UnlockHandle(inProcs, aLUT);
    return aLUT;
}

Handle RAW_GetLUT(AcquireRecord *inAcquireParam, int16 inToneMode, KarvexInstance hModule) {
    HandleProcs *aProcs = inAcquireParam != nullptr ? inAcquireParam->handleProcs : nullptr;
    Handle aLUT = nullptr;
    if (inToneMode == -1) {
        aLUT = RAW_NewLUTHandle(aProcs, nullptr);
    } else {
        int32 aID = kRAW_ToneTableFirstID + inToneMode;
        void *aRelease = nullptr;
        const uint8_t *aBytes =
            aID >= 0 && aID <= 0xFFFF ? RAW_FindToneResource(hModule, static_cast<uint16>(aID), &aRelease) : nullptr;
        if (aBytes != nullptr) {
            aLUT = RAW_NewLUTHandle(aProcs, aBytes);
            RAW_ReleaseToneResource(aRelease);
        }
    }
    RAW_DebugIfNil(aLUT);
    return aLUT;
}
