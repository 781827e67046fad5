// Fuzz target: the path of ekv dng over any file: the header view and its size checks
// (RefusalReason, MosaicRows) and, for a file they accept, the DNG written from the
// module's strip reader. It fails when the DNG would be more than a small multiple of the
// file's size or when one input takes more than a second: no header may make the work
// larger than the file's own bytes justify.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "dng/DngCamera.h"
#include "dng/DngWriter.h"
#include "import/AcquireHost.h"
#include "import/MosaicReader.h"

namespace {

// What a DNG may hold beyond twice the file's bytes (each sample at most doubled):
// its directories, tags, tone curve and the copy of the thumbnail.
const int64_t kOutputFactor = 3;
const int64_t kOutputOverhead = 256 * 1024;
const std::chrono::milliseconds kTimeLimit(1000);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *inData, size_t inSize) {
    const auto aStart = std::chrono::steady_clock::now();
    const std::string &aPath = fuzz::ScratchPath("dng");
    if (!fuzz::WriteFile(aPath, inData, inSize)) return 0;
    ekv::HeaderInfo aHeader;
    std::string aReason;
    if (ekv::ReadHeader(aPath, aHeader, aReason) != ekv::HeaderStatus::Ok || !aHeader.convertible) return 0;
    if (!ekv::DngMosaicRefusal(aPath, aHeader).empty()) return 0;

    const int64_t aAllowed = kOutputFactor * static_cast<int64_t>(inSize) + kOutputOverhead;
    const int64_t aRaw = 2 * static_cast<int64_t>(aHeader.info.image_width) * aHeader.info.image_length;
    if (aRaw > aAllowed) fuzz::Fail("the mosaic accepted is larger than the file justifies:", std::to_string(aRaw));

    FSSpec aSpec{};
    if (NativePathNameToFSSpec(aPath.c_str(), &aSpec, 0) != noErr) return 0;
    dng::DngDescription aDng;
    std::vector<std::string> aNotes;
    dng::DescribeCamera(aHeader.info, aDng, aNotes);
    aDng.color.toneCurve = dng::ToneCurveOfMode(aHeader.info.tone_mode, aHeader.info.valid_bits_per_pixel[0],
                                                ekv::HostPool().handleProcs());
    aDng.previewJpeg = aHeader.thumbnail;
    ekv::MosaicReader aMosaic(aSpec, aHeader.info);
    auto aRows = [&](uint32_t inFirst, uint32_t inCount, std::vector<uint16_t> &outRows, std::string &outError) {
        if (std::chrono::steady_clock::now() - aStart > kTimeLimit) fuzz::Fail("one input took more than a second");
        return aMosaic.read(inFirst, inCount, outRows, outError);
    };
    int aFd = memfd_create("karvex_fuzz_dng", MFD_CLOEXEC);
    if (aFd < 0) return 0;
    dng::WriteDng(aFd, "fuzz.dng", aDng, aRows, aReason);
    struct stat aStat;
    const int64_t aWritten = fstat(aFd, &aStat) == 0 ? aStat.st_size : 0;
    close(aFd);
    if (aWritten > aAllowed) fuzz::Fail("the DNG is larger than the file justifies:", std::to_string(aWritten));
    if (std::chrono::steady_clock::now() - aStart > kTimeLimit) fuzz::Fail("one input took more than a second");
    return 0;
}
