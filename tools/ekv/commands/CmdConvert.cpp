// ekv convert: imports EKV files through the module and writes RGB TIFF or PNG files.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "import/AcquireHost.h"
#include "output/BatchRunner.h"
#include "commands/Cli.h"
#include "metadata/ConvertMetadata.h"
#include "import/HostHeaderView.h"
#include "import/ModuleThreads.h"
#include "encoders/ImageWriters.h"
#include "output/OutputFile.h"
#include "output/OutputPlan.h"
#include "import/OpenedInput.h"
#include "import/TestPause.h"
#include "output/ShownName.h"
#include "output/SignalCleanup.h"
#include "output/StreamWriter.h"
#include "pipeline/PipelineReference.h"

namespace ekv {

namespace {

struct ConvertOptions {
    std::vector<std::string> files;
    int16 method = 2;  // the camera's full processing: there is no dialog to pick another
    bool hasPoint = false;
    Point point{-1, -1};
    OutputOptions outputs;
    bool eightBit = false;
    size_t memoryLimit = 0;
    bool reference = false;  // run the straightforward stage forms
    int jobs = 0;            // files converted at once; 0: the online processors
    int threads = 0;         // the module's band threads per import; 0: shared out
    TiffCompression compression = TiffCompression::None;
    int pngLevel = -1;  // -1: the fast default
    ProfileChoice profile = ProfileChoice::Auto;
    bool keepLinear = false;    // --8bit of a linear document without the sRGB curve
    bool fullDocument = false;  // keep the rows the module never delivers, black
};

bool ParseCompression(const std::string &inText, TiffCompression &outCompression) {
    if (inText == "none")
        outCompression = TiffCompression::None;
    else if (inText == "deflate")
        outCompression = TiffCompression::Deflate;
    else if (inText == "zstd")
        outCompression = TiffCompression::Zstd;
    else if (inText == "lzw")
        outCompression = TiffCompression::Lzw;
    else
        return false;
    return true;
}

int ParseConvert(const std::vector<std::string> &inArgs, ConvertOptions &outOptions) {
    ArgScanner aArgs(inArgs);
    std::string aValue;
    while (!aArgs.done()) {
        if (aArgs.option("-h", "--help")) {
            std::fputs(kHelpConvert, stdout);
            return -1;
        } else if (aArgs.option("-m", "--method", &aValue)) {
            long aMethod;
            if (!ParseInt(aValue, aMethod) || aMethod < 0 || aMethod > 2)
                return UsageError("convert", "the method must be 0, 1 or 2, not '" + aValue + "'");
            outOptions.method = static_cast<int16>(aMethod);
        } else if (aArgs.option(nullptr, "--wb-point", &aValue)) {
            if (!ParsePoint(aValue, outOptions.point))
                return UsageError(
                    "convert", "--wb-point takes H,V with H from 0 to 319 and V from 0 to 239, not '" + aValue + "'");
            outOptions.hasPoint = true;
        } else if (aArgs.option("-o", "--output", &aValue)) {
            outOptions.outputs.output = aValue;
        } else if (aArgs.option("-d", "--directory", &aValue)) {
            outOptions.outputs.directory = aValue;
        } else if (aArgs.option("-f", "--format", &aValue)) {
            if (aValue == "tif") aValue = "tiff";
            if (aValue != "tiff" && aValue != "png")
                return UsageError("convert", "the format must be tiff or png, not '" + aValue + "'");
            outOptions.outputs.format = aValue;
        } else if (aArgs.option(nullptr, "--sync")) {
            SetSyncPolicy(SyncPolicy::Always);
        } else if (aArgs.option(nullptr, "--no-sync")) {
            SetSyncPolicy(SyncPolicy::Never);
        } else if (aArgs.option(nullptr, "--no-clobber")) {
            outOptions.outputs.noClobber = true;
        } else if (aArgs.option(nullptr, "--8bit")) {
            outOptions.eightBit = true;
        } else if (aArgs.option(nullptr, "--profile", &aValue)) {
            if (!ParseProfileChoice(aValue, outOptions.profile))
                return UsageError("convert", "the profile must be auto, srgb, linear or none, not '" + aValue + "'");
        } else if (aArgs.option(nullptr, "--linear")) {
            outOptions.keepLinear = true;
        } else if (aArgs.option(nullptr, "--full-document")) {
            outOptions.fullDocument = true;
        } else if (aArgs.option(nullptr, "--reference")) {
            outOptions.reference = true;
        } else if (aArgs.option(nullptr, "--max-memory", &aValue)) {
            long aMegabytes;
            if (!ParseInt(aValue, aMegabytes) || aMegabytes <= 0 || aMegabytes > 1024L * 1024)
                return UsageError("convert", "--max-memory takes a number of megabytes, not '" + aValue + "'");
            outOptions.memoryLimit = static_cast<size_t>(aMegabytes) << 20;
        } else if (aArgs.option("-j", "--jobs", &aValue)) {
            if (int aCode = ParseJobs("convert", aValue, outOptions.jobs)) return aCode;
        } else if (aArgs.option(nullptr, "--threads", &aValue)) {
            long aThreads;
            if (!ParseInt(aValue, aThreads) || aThreads < 1 || aThreads > 9999)
                return UsageError("convert", "--threads takes a number of threads (1 to 9999), not '" + aValue + "'");
            outOptions.threads = static_cast<int>(aThreads);
        } else if (aArgs.option(nullptr, "--compress", &aValue)) {
            if (!ParseCompression(aValue, outOptions.compression))
                return UsageError("convert", "--compress takes none, deflate, zstd or lzw, not '" + aValue + "'");
            if (!TiffCompressionAvailable(outOptions.compression))
                return UsageError("convert", "this libtiff cannot write " + aValue + " compression");
        } else if (aArgs.option(nullptr, "--png-level", &aValue)) {
            long aLevel;
            if (!ParseInt(aValue, aLevel) || aLevel < 0 || aLevel > 9)
                return UsageError("convert", "--png-level takes a zlib level from 0 to 9, not '" + aValue + "'");
            outOptions.pngLevel = static_cast<int>(aLevel);
        } else if (aArgs.failed()) {
            break;
        } else if (aArgs.isOption()) {
            return UsageError("convert", "unknown option '" + aArgs.next() + "'");
        } else {
            outOptions.files.push_back(aArgs.next());
        }
    }
    if (aArgs.failed()) return UsageError("convert", aArgs.missingFor() + " needs a value");
    if (outOptions.files.empty()) return UsageError("convert", "no input file");
    if (outOptions.hasPoint && outOptions.method == 0)
        return UsageError("convert", "--wb-point needs method 1 or 2 (method 0 offers no white-balance point)");
    if (outOptions.keepLinear && !outOptions.eightBit) return UsageError("convert", "--linear applies to --8bit only");
    if (outOptions.profile == ProfileChoice::Linear && outOptions.eightBit && !outOptions.keepLinear &&
        outOptions.method != 2)
        return UsageError("convert", "--profile linear with --8bit needs --linear (8-bit output is sRGB-encoded)");
    int aRepeated = RefuseRepeatedInputs("convert", outOptions.files);
    if (aRepeated != kExitOk) return aRepeated;
    int aSettled = SettleOutputOptions("convert", {"tiff", "png"}, outOptions.files.size(), outOptions.outputs);
    if (aSettled != kExitOk) return aSettled;
    if (outOptions.compression != TiffCompression::None && outOptions.outputs.format != "tiff")
        return UsageError("convert", "--compress applies to TIFF output");
    if (outOptions.pngLevel >= 0 && outOptions.outputs.format != "png")
        return UsageError("convert", "--png-level applies to PNG output");
    return kExitOk;
}

int ImportFailure(const std::string &inFile, const ImportResult &inResult) {
    switch (inResult.status) {
        case ImportStatus::NotEKV: return Fail(kExitNotEKV, inFile, "not an EKV file");
        case ImportStatus::Damaged:
            return Fail(kExitDamaged, inFile, "damaged file (or a kind the module does not support)");
        case ImportStatus::Cancelled: return Fail(kExitCancelled, inFile, "cancelled");
        case ImportStatus::OutOfMemory: return Fail(kExitNoMemory, inFile, "out of memory");
        case ImportStatus::ProtocolError: return Fail(kExitModule, inFile, "import ended (-30000): " + inResult.detail);
        default: break;
    }
    return Fail(kExitModule, inFile, "the module failed with result " + std::to_string(inResult.code));
}

int ConvertOne(AcquireHost &ioHost, const ConvertOptions &inOptions, const std::string &inFile,
               const PlannedOutput &inPlanned, const JobReport &inReport) {
    const std::string &inOutput = inPlanned.path;
    std::string aReason;
    if (!CheckInput(inFile, aReason)) return Fail(kExitNoInput, inFile, aReason);
    // Everything below reads the file through the one descriptor opened here.
    OpenedInput aInput;
    if (!aInput.open(inFile, aReason)) return Fail(kExitNoInput, inFile, aReason);

    // The module reads sensor data the file lacks as zeros and converts it all the same;
    // a careful host refuses such a file instead of writing a picture of missing data.
    HeaderInfo aHeader;
    std::string aHeaderReason;
    const bool aKnown = ReadHeader(aInput.path(), aHeader, aHeaderReason) == HeaderStatus::Ok && aHeader.convertible;
    if (aKnown) {
        std::string aRefusal = RefusalReason(aInput.path(), aHeader);
        if (!aRefusal.empty()) return Fail(kExitDamaged, inFile, aRefusal);
        std::string aWarning = ColourWarning(aHeader, inOptions.method);
        if (!aWarning.empty()) std::fprintf(stderr, "ekv: %s: %s\n", ShownName(inFile).c_str(), aWarning.c_str());
    }

    ImportRequest aRequest;
    aRequest.path = aInput.path();
    aRequest.method = inOptions.method;
    if (inOptions.hasPoint) aRequest.wbPoint = inOptions.point;
    EncoderOptions aEncoding;
    aEncoding.png = inOptions.outputs.format == "png";
    aEncoding.tiffCompression = inOptions.compression;
    aEncoding.pngLevel = inOptions.pngLevel;
    aEncoding.eightBit = inOptions.eightBit;
    // The document's depth, as Start will describe it, decides whether --8bit reduces it.
    ColourEncoding aColour = ChooseEncoding(inOptions.method, inOptions.profile, inOptions.eightBit,
                                            inOptions.keepLinear, aKnown ? DocumentDepth(aHeader.info) : 16);
    aEncoding.curve = aColour.curve;
    aEncoding.metadata = BuildOutputMetadata(aInput.path(), aColour.profile);
    const std::string aTextNote = TextNote(aEncoding.metadata.camera);
    if (!aTextNote.empty()) std::fprintf(stderr, "ekv: %s: note: %s\n", ShownName(inFile).c_str(), aTextNote.c_str());
    // The module delivers whole bands only, as many as the header's output size holds:
    // the image ends at the last row it delivers, known before the first is written.
    const int32 aDocumentRows = aKnown ? aHeader.info.output_image_height : 0;
    int32 aImageRows = 0;
    if (aKnown && !inOptions.fullDocument)
        aImageRows = std::min(DeliveredRows(aHeader.info.output_image_width, aDocumentRows), aDocumentRows);
    StreamWriter aWriter(inOutput, aEncoding, aImageRows, inPlanned.noClobber);
    bool aPaused = false;
    auto aProgress = [&](int32 inDone, int32 inTotal) {
        inReport.progress(inDone, inTotal);
        if (inDone > 0 && !aPaused) {
            aPaused = true;
            PauseForTest(inFile);
        }
    };
    ImportResult aResult = ioHost.import(aRequest, aProgress, &aWriter);
    inReport.aside();
    // After the last read: an import of a file that changed meanwhile is no import of it.
    std::string aChange = aInput.changed();
    if (!aChange.empty()) return Fail(kExitDamaged, inFile, aChange);
    if (aResult.leakedHandles > 0 || aResult.leakedBuffers > 0)
        std::fprintf(stderr, "ekv: %s: note: the module left %ld handles and %ld buffers allocated\n",
                     ShownName(inFile).c_str(), aResult.leakedHandles, aResult.leakedBuffers);
    for (const std::string &aMisuse : aResult.misuse)
        std::fprintf(stderr, "ekv: %s: note: the module's %s\n", ShownName(inFile).c_str(), aMisuse.c_str());
    if (aWriter.outOfMemory()) return Fail(kExitNoMemory, inFile, "out of memory");
    if (aResult.status == ImportStatus::OutputFailed)
        return Fail(kExitCannotWrite, inFile, "cannot write " + ShownName(inOutput) + ": " + aWriter.error());
    if (aResult.status != ImportStatus::Ok) return ImportFailure(inFile, aResult);

    // The rows below the last whole band never come, by design: they are left out, or
    // with --full-document written black. Any other row that never came is an error.
    const RgbImage &aDocument = aResult.image;
    int32 aExpected =
        aKnown ? DeliveredRows(aHeader.info.output_image_width, aHeader.info.output_image_height) : aDocument.height;
    if (aExpected > aDocument.height) aExpected = aDocument.height;
    if (aResult.rowsStreamed < aExpected)
        return Fail(kExitModule, inFile,
                    "the import ended early: the module delivered " + std::to_string(aResult.rowsStreamed) +
                        " of the " + std::to_string(aExpected) + " rows it delivers for this file");
    if (aImageRows > 0 && aResult.rowsStreamed > aImageRows)
        return Fail(kExitModule, inFile,
                    "the module delivered " + std::to_string(aResult.rowsStreamed) + " rows, not the " +
                        std::to_string(aImageRows) + " its band height gives for this file");
    if (aResult.rowsStreamed < aDocument.height && aImageRows == 0)
        std::fprintf(stderr, "ekv: %s: note: the module delivered rows 0 to %d of %d; the rows below are black\n",
                     ShownName(inFile).c_str(), aResult.rowsStreamed - 1, aDocument.height);
    else if (aResult.rowsStreamed < aDocument.height)
        std::fprintf(stderr,
                     "ekv: %s: note: the module delivered rows 0 to %d of %d; the image ends there, %d rows left "
                     "out\n",
                     ShownName(inFile).c_str(), aResult.rowsStreamed - 1, aDocument.height,
                     aDocument.height - aResult.rowsStreamed);
    if (!aWriter.finish(aResult.rowsStreamed, aReason)) {
        if (aWriter.keptExisting()) return inPlanned.noteKept(inFile);
        if (aWriter.outOfMemory()) return Fail(kExitNoMemory, inFile, "out of memory");
        return Fail(kExitCannotWrite, inFile, "cannot write " + ShownName(inOutput) + ": " + aReason);
    }
    return kExitOk;
}

}  // namespace

int RunConvert(const std::vector<std::string> &inArgs) {
    ConvertOptions aOptions;
    int aParse = ParseConvert(inArgs, aOptions);
    if (aParse != 0) return aParse < 0 ? kExitOk : aParse;
    HostPool().setByteLimit(aOptions.memoryLimit);
    RAW_SelectReferenceStages(aOptions.reference);
    // A batch's worker processes share the processors rather than each taking them all.
    const int aJobs = aOptions.jobs > 0 ? aOptions.jobs : OnlineProcessors();
    const int aWorkers = static_cast<int>(std::min<size_t>(static_cast<size_t>(aJobs), aOptions.files.size()));
    ApplyModuleThreadLimit(ModuleThreadLimit(aOptions.threads, aWorkers, OnlineProcessors()));
    InstallSignalCleanup();
    // One host for the batch: in this process its module stays loaded from one file to the
    // next; a worker process gets its own copy, untouched by any import.
    AcquireHost aHost;
    return RunPlannedBatch(aOptions.outputs, aOptions.files, aOptions.jobs,
                           [&](const std::string &inFile, const PlannedOutput &inOutput, const JobReport &inReport) {
                               return ConvertOne(aHost, aOptions, inFile, inOutput, inReport);
                           });
}

}  // namespace ekv
