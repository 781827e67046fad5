// ekv dng: EKV raw files into DNG. The mosaic is read with the module's own strip reader
// and sample alignment, called with this host's handle callbacks as the module calls
// them, so that a DNG holds exactly the samples an import develops.
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <set>

#include "Cli.h"
#include "DngMetadata.h"
#include "HostBlocks.h"
#include "OutputFile.h"
#include "dng/DngCamera.h"

namespace ekv {

namespace {

// As convert words it when the module refuses a file.
const char kDamagedFile[] = "damaged file (or a kind the module does not support)";

struct DngOptions {
    std::vector<std::string> files;
    std::string output;
    std::string directory;
    long jobs = 1;
};

int ParseDng(const std::vector<std::string> &inArgs, DngOptions &outOptions) {
    ArgScanner aArgs(inArgs);
    std::string aValue;
    while (!aArgs.done()) {
        if (aArgs.option("-h", "--help")) {
            std::fputs(kHelpDng, stdout);
            return -1;
        } else if (aArgs.option("-o", "--output", &aValue)) {
            outOptions.output = aValue;
        } else if (aArgs.option("-d", "--directory", &aValue)) {
            outOptions.directory = aValue;
        } else if (aArgs.option("-j", "--jobs", &aValue)) {
            if (!ParseInt(aValue, outOptions.jobs) || outOptions.jobs < 1 || outOptions.jobs > 1024)
                return UsageError("dng", "-j takes a number of files to convert at once (1 to 1024), not '" +
                                             aValue + "'");
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
    if (!outOptions.output.empty() && !outOptions.directory.empty())
        return UsageError("dng", "-o and -d exclude each other");
    if (!outOptions.output.empty() && outOptions.files.size() > 1)
        return UsageError("dng", "-o names one output; use -d for several inputs");
    return 0;
}

// The mosaic's rows, read and aligned by the module's reader.
class MosaicRows {
public:
    MosaicRows(const FSSpec &inSpec, const RAW_Info &inInfo) : mSpec(inSpec), mInfo(inInfo) {}
    bool outOfMemory() const { return mOutOfMemory; }

    bool read(uint32_t inFirst, uint32_t inCount, std::vector<uint16_t> &outRows, std::string &outError) {
        HostBlocks &aPool = HostBlocks::instance();
        Handle aRows = nullptr;
        if (RAW_ReadStrip(&mSpec, &mInfo, inFirst, inCount, aPool.handleProcs(), &aRows) != noErr || aRows == nullptr) {
            mOutOfMemory = true;
            outError = "out of memory";
            return false;
        }
        uint16 *aSamples = reinterpret_cast<uint16 *>(aPool.lockHandle(aRows));
        if (aSamples == nullptr) {
            aPool.dispose(aRows);
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
        aPool.dispose(aRows);
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

}  // namespace

int DngOne(const std::string &inFile, const std::string &inOutput) {
    std::string aReason;
    if (!CheckInput(inFile, aReason)) return Fail(kExitNoInput, inFile, aReason);
    HeaderInfo aHeader;
    int aCode = CheckHeader(inFile, aHeader);
    if (aCode != kExitOk) return aCode;
    FSSpec aSpec{};
    if (NativePathNameToFSSpec(inFile.c_str(), &aSpec, 0) != noErr)
        return Fail(kExitNoInput, inFile, "the path cannot be handed to the module (file name too long)");

    dng::DngDescription aDng;
    std::vector<std::string> aNotes;
    dng::DescribeCamera(aHeader.info, aDng, aNotes);
    for (const std::string &aNote : aNotes) std::fprintf(stderr, "ekv: %s: note: %s\n", inFile.c_str(), aNote.c_str());
    ReadDngIdentity(inFile, aHeader, aDng.identity);
    aDng.color.toneCurve = dng::ToneCurveOfMode(aHeader.info.tone_mode, aHeader.info.valid_bits_per_pixel[0],
                                                HostBlocks::instance().handleProcs());
    aDng.previewJpeg = aHeader.thumbnail;

    TempOutput aOutput(inOutput);
    if (!aOutput.open(aReason)) return Fail(kExitCannotWrite, inFile, "cannot write " + inOutput + ": " + aReason);
    MosaicRows aMosaic(aSpec, aHeader.info);
    auto aRows = [&](uint32_t inFirst, uint32_t inCount, std::vector<uint16_t> &outRows, std::string &outError) {
        return aMosaic.read(inFirst, inCount, outRows, outError);
    };
    bool aWritten = dng::WriteDng(aOutput.fd(), inOutput, aDng, aRows, aReason);
    aOutput.released();
    if (!aWritten && aMosaic.outOfMemory()) return Fail(kExitNoMemory, inFile, "out of memory");
    // The reader does not report short reads: a file cut while it was read is refused.
    int64_t aMissing = MissingBytes(inFile, aHeader.info);
    if (aMissing != 0) return MissingFailure(inFile, aMissing);
    if (!aWritten || !aOutput.commit(aReason))
        return Fail(kExitCannotWrite, inFile, "cannot write " + inOutput + ": " + aReason);
    return kExitOk;
}

int RunDng(const std::vector<std::string> &inArgs) {
    DngOptions aOptions;
    int aParse = ParseDng(inArgs, aOptions);
    if (aParse != 0) return aParse < 0 ? kExitOk : aParse;

    namespace fs = std::filesystem;
    std::set<std::string> aWritten;
    int aExit = kExitOk;
    for (const std::string &aFile : aOptions.files) {
        fs::path aInput(aFile);
        fs::path aOutput = !aOptions.output.empty() ? fs::path(aOptions.output)
                           : (aOptions.directory.empty() ? aInput.parent_path() : fs::path(aOptions.directory)) /
                                 aInput.filename().replace_extension(".dng");
        std::error_code aError;
        std::string aKey = fs::weakly_canonical(aOutput, aError).string();
        if (aError) aKey = aOutput.string();
        bool aIsInput = false;
        for (const std::string &aOther : aOptions.files) aIsInput = aIsInput || SameFile(aOutput.string(), aOther);
        int aCode;
        if (aIsInput)
            aCode = Fail(kExitCannotWrite, aFile,
                         "the output " + aOutput.string() + " is an input file; it is not overwritten");
        else if (aWritten.count(aKey) != 0)
            aCode = Fail(kExitCannotWrite, aFile,
                         "the output " + aOutput.string() + " was already written for another input");
        else
            aCode = DngOne(aFile, aOutput.string());
        if (aCode == kExitOk) aWritten.insert(aKey);
        if (aExit == kExitOk) aExit = aCode;
    }
    return aExit;
}

}  // namespace ekv
