// Fuzz target: the header parser over arbitrary bytes, then the convertibility check.
#include <cstdint>

#include "FuzzSupport.h"
#include "rawfile/RawInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *inData, size_t inSize) {
    testhost::TestHost aHost;
    RAW_Info aInfo;
    aInfo.endian = 0;
    RAW_DefaultInfo(&aInfo);
    // The reader parses at most the first kRAW_HeaderMaxSize bytes of a file.
    int32 aSize = static_cast<int32>(inSize < kRAW_HeaderMaxSize ? inSize : kRAW_HeaderMaxSize);
    Handle aThumbnail = nullptr;
    OSErr aErr = RAW_ReadHeaderInfo(inData, aSize, &aInfo, aHost.record()->handleProcs, &aThumbnail);
    if (aErr != 0 && aThumbnail != nullptr) fuzz::Fail("a failed parse handed back a thumbnail");
    if (aThumbnail != nullptr) {
        int32 aLength = aHost.record()->handleProcs->getSizeProc(aThumbnail);
        if (aLength <= 0 || aLength > aSize) fuzz::Fail("thumbnail size outside the header bytes");
        aHost.record()->handleProcs->disposeProc(aThumbnail);
    }
    if (RAW_IsConvertibleHeader(&aInfo)) {
        if (aInfo.output_image_width <= 0 || aInfo.output_image_width > aInfo.image_width - 3 ||
            aInfo.output_image_height <= 0 || aInfo.output_image_height > 32767)
            fuzz::Fail("a header with impossible sizes passed the check");
        if (aInfo.valid_bits_per_pixel[0] + aInfo.valid_bits_per_pixel[1] > 16)
            fuzz::Fail("a header with more than 16 valid and offset bits passed the check");
    }
    fuzz::CheckHost(aHost, 0);
    return 0;
}
