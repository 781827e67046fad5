// ekv dng: EKV raw files into DNG. The mosaic is read with the module's own strip reader
// and sample alignment, called with this host's handle callbacks as the module calls
// them, so that a DNG holds exactly the samples an import develops.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "import/AcquireHost.h"
#include "output/BatchRunner.h"
#include "commands/Cli.h"
#include "metadata/DngMetadata.h"
#include "output/OutputFile.h"
#include "output/OutputPlan.h"
#include "import/MosaicReader.h"
#include "import/OpenedInput.h"
#include "import/TestPause.h"
#include "output/ShownName.h"
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
    bool uncompressed = false;
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
        } else if (aArgs.option(nullptr, "--uncompressed")) {
            outOptions.uncompressed = true;
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

// The refusals of convert for a file whose header is read: not EKV, damaged, or sizes
// the file cannot justify. The mosaic a DNG holds is the rows the header declares, or at
// least those the import reads.
int CheckHeader(const std::string &inFile, const std::string &inReadPath, HeaderInfo &outHeader) {
    std::string aReason;
    switch (ReadHeader(inReadPath, outHeader, aReason)) {
        case HeaderStatus::Ok: break;
        case HeaderStatus::NotEKV: return Fail(kExitNotEKV, inFile, "not an EKV file");
        case HeaderStatus::Damaged: return Fail(kExitDamaged, inFile, kDamagedFile);
        case HeaderStatus::OutOfMemory: return Fail(kExitNoMemory, inFile, "out of memory");
    }
    if (!outHeader.convertible) return Fail(kExitDamaged, inFile, kDamagedFile);
    std::string aRefusal = DngMosaicRefusal(inReadPath, outHeader);
    return aRefusal.empty() ? kExitOk : Fail(kExitDamaged, inFile, aRefusal);
}

// Writes the DNG of one EKV file: kExitOk, or the exit code after the message.
int DngOne(const std::string &inFile, const PlannedOutput &inPlanned, const DngOptions &inOptions, unsigned inThreads,
           const JobReport &inReport) {
    const std::string &inOutput = inPlanned.path;
    std::string aReason;
    if (!CheckInput(inFile, aReason)) return Fail(kExitNoInput, inFile, aReason);
    // Everything below reads the file through the one descriptor opened here; its path
    // is also short enough for the module's reader whatever the file's name.
    OpenedInput aInput;
    if (!aInput.open(inFile, aReason)) return Fail(kExitNoInput, inFile, aReason);
    HeaderInfo aHeader;
    int aCode = CheckHeader(inFile, aInput.path(), aHeader);
    if (aCode != kExitOk) return aCode;
    FSSpec aSpec{};
    if (NativePathNameToFSSpec(aInput.path().c_str(), &aSpec, 0) != noErr)
        return Fail(kExitNoInput, inFile, "the path cannot be handed to the module");

    dng::DngDescription aDng;
    std::vector<std::string> aNotes;
    dng::DescribeCamera(aHeader.info, aDng, aNotes);
    AddDngMetadata(aInput.path(), aDng, aNotes);
    aDng.raw.compression = inOptions.uncompressed ? dng::MosaicCompression::None : dng::MosaicCompression::LosslessJpeg;
    aDng.raw.threads = inThreads;
    if (!aNotes.empty()) inReport.aside();
    for (const std::string &aNote : aNotes)
        std::fprintf(stderr, "ekv: %s: note: %s\n", ShownName(inFile).c_str(), aNote.c_str());
    aDng.color.toneCurve =
        dng::ToneCurveOfMode(aHeader.info.tone_mode, aHeader.info.valid_bits_per_pixel[0], HostPool().handleProcs());
    aDng.previewJpeg = aHeader.thumbnail;

    TempOutput aOutput(inOutput, inPlanned.noClobber);
    if (!aOutput.open(aReason))
        return Fail(kExitCannotWrite, inFile, "cannot write " + ShownName(inOutput) + ": " + aReason);
    MosaicReader aMosaic(aSpec, aHeader.info);
    std::string aChangeReason;  // set when a read finds the file changed
    auto aRows = [&](uint32_t inFirst, uint32_t inCount, std::vector<uint16_t> &outRows, std::string &outError) {
        inReport.progress(static_cast<int32_t>(inFirst), static_cast<int32_t>(aDng.raw.height));
        if (!aMosaic.read(inFirst, inCount, outRows, outError)) return false;
        // A file that became shorter reads as zeros: such rows never reach the DNG.
        std::string aChange = aInput.changed();
        if (!aChange.empty()) {
            aChangeReason = aChange;
            outError = aChange;
            return false;
        }
        if (inFirst == 0) PauseForTest(inFile);
        return true;
    };
    bool aWritten = dng::WriteDng(aOutput.fd(), inOutput, aDng, aRows, aReason);
    const bool aWriterOutOfMemory = !aWritten && errno == ENOMEM;
    aOutput.released();
    inReport.aside();
    if (!aWritten && (aMosaic.outOfMemory() || aWriterOutOfMemory || aReason == dng::kOutOfMemory))
        return Fail(kExitNoMemory, inFile, "out of memory");
    // After the last read: the DNG of a file that changed meanwhile is no copy of it.
    if (aChangeReason.empty()) aChangeReason = aInput.changed();
    if (!aChangeReason.empty()) return Fail(kExitDamaged, inFile, aChangeReason);
    const bool aCommitted = aWritten && aOutput.commit(aReason);
    if (!aCommitted && aOutput.keptExisting()) return inPlanned.noteKept(inFile);
    if (!aCommitted) return Fail(kExitCannotWrite, inFile, "cannot write " + ShownName(inOutput) + ": " + aReason);
    return kExitOk;
}

}  // namespace

int RunDng(const std::vector<std::string> &inArgs) {
    DngOptions aOptions;
    int aParse = ParseDng(inArgs, aOptions);
    if (aParse != 0) return aParse < 0 ? kExitOk : aParse;
    InstallSignalCleanup();
    // The processors are shared among the files converted at once; each codes its
    // tiles on its share.
    long aOnline = sysconf(_SC_NPROCESSORS_ONLN);
    unsigned aProcessors = aOnline > 0 ? static_cast<unsigned>(aOnline) : 1u;
    size_t aAtOnce = aOptions.jobs > 0 ? static_cast<size_t>(aOptions.jobs) : aProcessors;
    aAtOnce = std::max<size_t>(1, std::min(aAtOnce, aOptions.files.size()));
    unsigned aThreads = std::max(1u, static_cast<unsigned>(aProcessors / aAtOnce));
    return RunPlannedBatch(aOptions.outputs, aOptions.files, aOptions.jobs,
                           [&](const std::string &inFile, const PlannedOutput &inOutput, const JobReport &inReport) {
                               return DngOne(inFile, inOutput, aOptions, aThreads, inReport);
                           });
}

}  // namespace ekv
