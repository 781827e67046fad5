// Fuzz target: a whole import through ENTRYPOINT with the in-process test host. The
// first three bytes choose the method (0 to 2) and the preview point; the rest is the
// file. Headers asking for more than 64 × 64 output pixels or a sensor wider than 1024
// samples are left out so that every run stays small; everything else is imported.
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzSupport.h"
#include "rawfile/RawInfo.h"

namespace {

const int kPrefix = 3;
const int64_t kMaxOutputPixels = 64 * 64;
const int32 kMaxSensorWidth = 1024;

bool SmallEnough(const uint8_t *inFile, size_t inSize) {
    testhost::TestHost aHost;
    RAW_Info aInfo;
    aInfo.endian = 0;
    RAW_DefaultInfo(&aInfo);
    int32 aSize = static_cast<int32>(inSize < kRAW_HeaderMaxSize ? inSize : kRAW_HeaderMaxSize);
    Handle aThumbnail = nullptr;
    RAW_ReadHeaderInfo(inFile, aSize, &aInfo, aHost.record()->handleProcs, &aThumbnail);
    if (aThumbnail != nullptr) aHost.record()->handleProcs->disposeProc(aThumbnail);
    int64_t aPixels = static_cast<int64_t>(aInfo.output_image_width) * aInfo.output_image_height;
    return aPixels <= kMaxOutputPixels && aInfo.image_width <= kMaxSensorWidth;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *inData, size_t inSize) {
    if (inSize < kPrefix) return 0;
    const uint8_t *aFile = inData + kPrefix;
    size_t aFileSize = inSize - kPrefix;
    if (!SmallEnough(aFile, aFileSize)) return 0;
    const std::string &aPath = fuzz::ScratchPath("import");
    if (!fuzz::WriteFile(aPath, aFile, aFileSize)) return 0;

    testhost::TestHost aHost;
    aHost.answers.file = aPath;
    aHost.answers.method = static_cast<int16>(inData[0] % 3);
    aHost.answers.wbPoint =
        inData[1] == 0xFF ? Point{-1, -1}
                          : Point{static_cast<int16>(inData[1] % 240), static_cast<int16>(inData[2] + inData[1] / 240)};
    AcquireRecord *aRecord = aHost.record();
    if (aHost.call(acquireSelectorPrepare) == 0 && aHost.call(acquireSelectorStart) == 0) {
        const int32 aWidth = aRecord->imageSize.h, aHeight = aRecord->imageSize.v;
        bool aEnded = false;
        // 3 plane calls a band and at least 2 rows a band: a bound no import may pass.
        const int aLimit = 3 * (aHeight / 2 + 2) + 2;
        for (int aCall = 0; aCall < aLimit; ++aCall) {
            aRecord->data = reinterpret_cast<void *>(0x1);
            int16 aResult = aHost.call(acquireSelectorContinue);
            if (aResult != 0) {
                aEnded = true;
                break;
            }
            if (aRecord->data == nullptr) {
                aEnded = true;
                break;
            }
            const Rect &r = aRecord->theRect;
            if (r.top < 0 || r.top >= aHeight || r.left != 0 || r.right != aWidth || r.bottom <= r.top)
                fuzz::Fail("a band outside the document");
            if (aRecord->loPlane != aRecord->hiPlane || aRecord->loPlane < 0 || aRecord->loPlane > 2)
                fuzz::Fail("a bad plane");
            // Touch every delivered byte: the host reads them all.
            const uint8_t *aBytes = static_cast<const uint8_t *>(aRecord->data);
            size_t aCount = static_cast<size_t>(aRecord->rowBytes) * static_cast<size_t>(r.bottom - r.top);
            volatile uint8_t aSum = 0;
            for (size_t i = 0; i < aCount; ++i) aSum = static_cast<uint8_t>(aSum + aBytes[i]);
        }
        if (!aEnded) fuzz::Fail("the import did not end");
    }
    aHost.call(acquireSelectorFinish);
    aHost.call(acquireSelectorFinalize);
    fuzz::CheckHost(aHost, 1);  // the globals stay
    return 0;
}
