// ekv dng: EKV raw files into DNG. The mosaic is read with the module's own strip reader
// and sample alignment, called with this host's handle callbacks as the module calls
// them, so that a DNG holds exactly the samples an import develops.
#include <sys/stat.h>

#include <cstdio>

#include "import/AcquireHost.h"
#include "output/BatchRunner.h"
#include "commands/Cli.h"
#include "metadata/DngMetadata.h"
#include "output/OutputFile.h"
#include "output/OutputPlan.h"
#include "import/ShortPath.h"
#include "output/SignalCleanup.h"
#include "dng/DngCamera.h"

namespace ekv {

namespace {

// As convert words it when the module refuses a file.
const char kDamagedFile[] = "damaged file (or a kind the module does not support)";

struct DngOptions {
    std::vector<std::string> files;
    OutputOptions outputs;
    int jobs = 0;  // files converted at once; 0: the online processors
};

int ParseDng(const std::vector<std::string> &inArgs, DngOptions &outOptions) {
    ArgScanner aArgs(inArgs);
    std::string aValue;
    while (!aArgs.done()) {
        if (aArgs.option("-h", "--help")) {
            std::fputs(kHelpDng, stdout);
            return -1;
        } else if (aArgs.option("-o", "--output", &aValue)) {
            outOptions.outputs.output = aValue;
        } else if (aArgs.option("-d", "--directory", &aValue)) {
            outOptions.outputs.directory = aValue;
        } else if (aArgs.option(nullptr, "--sync")) {
            SetSyncPolicy(SyncPolicy::Always);
        } else if (aArgs.option(nullptr, "--no-sync")) {
            SetSyncPolicy(SyncPolicy::Never);
        } else if (aArgs.option(nullptr, "--no-clobber")) {
            outOptions.outputs.noClobber = true;
        } else if (aArgs.option("-j", "--jobs", &aValue)) {
            if (int aCode = ParseJobs("dng", aValue, outOptions.jobs)) return aCode;
        } else if (aArgs.failed()) {
            break;
        } else if (aArgs.isOption()) {
            return UsageError("dng", "unknown option '" + aArgs.next() + "'");
        } else {
            outOptions.files.push_back(aArgs.next());
        }
    }
    if (aArgs.failed()) return UsageError("dng", aArgs.missingFor() + " needs a value");
    if (outOptions.files.empty()) return UsageError("dng", "no input file");
    int aRepeated = RefuseRepeatedInputs("dng", outOptions.files);
    if (aRepeated != kExitOk) return aRepeated;
    return SettleOutputOptions("dng", {"dng"}, outOptions.files.size(), outOptions.outputs);
}

// The mosaic's rows, read and aligned by the module's reader.
class MosaicRows {
public:
    MosaicRows(const FSSpec &inSpec, const RAW_Info &inInfo) : mSpec(inSpec), mInfo(inInfo) {}
    bool outOfMemory() const { return mOutOfMemory; }

    bool read(uint32_t inFirst, uint32_t inCount, std::vector<uint16_t> &outRows, std::string &outError) {
        hostkit::BlockPool &aPool = HostPool();
        Handle aRows = nullptr;
        if (RAW_ReadStrip(&mSpec, &mInfo, inFirst, inCount, aPool.handleProcs(), &aRows) != noErr || aRows == nullptr) {
            mOutOfMemory = true;
            outError = "out of memory";
            return false;
        }
        uint16 *aSamples = reinterpret_cast<uint16 *>(aPool.lockHandle(aRows));
        if (aSamples == nullptr) {
            aPool.disposeHandle(aRows);
            mOutOfMemory = true;
            outError = "out of memory";
            return false;
        }
        const size_t aCount = static_cast<size_t>(inCount) * static_cast<size_t>(mInfo.image_width);
        RAW_ShiftRight(aSamples, static_cast<uint16>(mInfo.image_width), static_cast<uint16>(inCount),
                       static_cast<uint16>(mInfo.valid_bits_per_pixel[0]),
                       static_cast<uint16>(mInfo.valid_bits_per_pixel[1]), mInfo.endian);
        outRows.assign(aSamples, aSamples + aCount);
        aPool.unlockHandle(aRows);
        aPool.disposeHandle(aRows);
        return true;
    }

private:
    FSSpec mSpec;
    RAW_Info mInfo;
    bool mOutOfMemory = false;
};

// Sensor data the file lacks, in the rows an import reads or in any other mosaic row
// (a DNG holds every row); -1 when the file cannot be examined.
int64_t MissingBytes(const std::string &inFile, const RAW_Info &inInfo) {
    struct stat aStat;
    if (stat(inFile.c_str(), &aStat) != 0) return -1;
    RAW_Info aWhole = inInfo;
    if (aWhole.image_length < 0x7FFF0000) aWhole.output_image_height = aWhole.image_length + 32;
    int64_t aMissing = MissingSensorBytes(inInfo, aStat.st_size);
    return aMissing != 0 ? aMissing : MissingSensorBytes(aWhole, aStat.st_size);
}

int MissingFailure(const std::string &inFile, int64_t inMissing) {
    if (inMissing < 0) return Fail(kExitNoInput, inFile, "cannot be read");
    return Fail(kExitDamaged, inFile,
                "damaged file: " + std::to_string(inMissing) + " bytes of sensor data are missing (truncated?)");
}

// The refusals of convert for a file whose header is read: not EKV, damaged, or sensor
// data cut short. The mosaic a DNG holds is the rows the header declares, or at least
// those the import reads.
int CheckHeader(const std::string &inFile, HeaderInfo &outHeader) {
    std::string aReason;
    switch (ReadHeader(inFile, outHeader, aReason)) {
        case HeaderStatus::Ok: break;
        case HeaderStatus::NotEKV: return Fail(kExitNotEKV, inFile, "not an EKV file");
        case HeaderStatus::Damaged: return Fail(kExitDamaged, inFile, kDamagedFile);
        case HeaderStatus::OutOfMemory: return Fail(kExitNoMemory, inFile, "out of memory");
    }
    if (!outHeader.convertible) return Fail(kExitDamaged, inFile, kDamagedFile);
    RAW_Info &aInfo = outHeader.info;
    int32 aImportRows = DeliveredRows(aInfo.output_image_width, aInfo.output_image_height) + 4;
    if (aInfo.image_length < aImportRows) aInfo.image_length = aImportRows;
    int64_t aMissing = MissingBytes(inFile, outHeader.info);
    return aMissing == 0 ? kExitOk : MissingFailure(inFile, aMissing);
}

// Writes the DNG of one EKV file: kExitOk, or the exit code after the message.
int DngOne(const std::string &inFile, const std::string &inOutput, const JobReport &inReport) {
    std::string aReason;
    if (!CheckInput(inFile, aReason)) return Fail(kExitNoInput, inFile, aReason);
    HeaderInfo aHeader;
    int aCode = CheckHeader(inFile, aHeader);
    if (aCode != kExitOk) return aCode;
    // The module's reader takes paths of at most 259 bytes: a longer one is handed to it
    // as the opened file's descriptor path, valid while aModulePath lives.
    ShortPath aModulePath;
    if (!aModulePath.open(inFile, aReason)) return Fail(kExitNoInput, inFile, aReason);
    FSSpec aSpec{};
    if (NativePathNameToFSSpec(aModulePath.path().c_str(), &aSpec, 0) != noErr)
        return Fail(kExitNoInput, inFile, "the path cannot be handed to the module");

    dng::DngDescription aDng;
    std::vector<std::string> aNotes;
    dng::DescribeCamera(aHeader.info, aDng, aNotes);
    AddDngMetadata(inFile, aDng, aNotes);
    if (!aNotes.empty()) inReport.aside();
    for (const std::string &aNote : aNotes) std::fprintf(stderr, "ekv: %s: note: %s\n", inFile.c_str(), aNote.c_str());
    aDng.color.toneCurve =
        dng::ToneCurveOfMode(aHeader.info.tone_mode, aHeader.info.valid_bits_per_pixel[0], HostPool().handleProcs());
    aDng.previewJpeg = aHeader.thumbnail;

    TempOutput aOutput(inOutput);
    if (!aOutput.open(aReason)) return Fail(kExitCannotWrite, inFile, "cannot write " + inOutput + ": " + aReason);
    MosaicRows aMosaic(aSpec, aHeader.info);
    auto aRows = [&](uint32_t inFirst, uint32_t inCount, std::vector<uint16_t> &outRows, std::string &outError) {
        inReport.progress(static_cast<int32_t>(inFirst), static_cast<int32_t>(aDng.raw.height));
        return aMosaic.read(inFirst, inCount, outRows, outError);
    };
    bool aWritten = dng::WriteDng(aOutput.fd(), inOutput, aDng, aRows, aReason);
    aOutput.released();
    inReport.aside();
    if (!aWritten && aMosaic.outOfMemory()) return Fail(kExitNoMemory, inFile, "out of memory");
    // The reader does not report short reads: a file cut while it was read is refused.
    int64_t aMissing = MissingBytes(inFile, aHeader.info);
    if (aMissing != 0) return MissingFailure(inFile, aMissing);
    if (!aWritten || !aOutput.commit(aReason))
        return Fail(kExitCannotWrite, inFile, "cannot write " + inOutput + ": " + aReason);
    return kExitOk;
}

}  // namespace

int RunDng(const std::vector<std::string> &inArgs) {
    DngOptions aOptions;
    int aParse = ParseDng(inArgs, aOptions);
    if (aParse != 0) return aParse < 0 ? kExitOk : aParse;
    InstallSignalCleanup();
    return RunPlannedBatch(aOptions.outputs, aOptions.files, aOptions.jobs,
                           [](const std::string &inFile, const std::string &inOutput, const JobReport &inReport) {
                               return DngOne(inFile, inOutput, inReport);
                           });
}

}  // namespace ekv
