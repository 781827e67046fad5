// ekv convert: imports EKV files through the module and writes RGB TIFF or PNG files.
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "AcquireHost.h"
#include "Cli.h"
#include "ConvertMetadata.h"
#include "HostBlocks.h"
#include "ImageWriters.h"
#include "OutputFile.h"
#include "ProgressBar.h"
#include "RawHeader.h"
#include "ShortPath.h"
#include "pipeline/PipelineReference.h"

namespace ekv {

namespace {

struct ConvertOptions {
    std::vector<std::string> files;
    int16 method = 2;  // the camera's full processing: there is no dialog to pick another
    bool hasPoint = false;
    Point point{-1, -1};
    std::string output;
    std::string directory;
    std::string format;  // "tiff" or "png"; empty: from -o's extension, else tiff
    bool eightBit = false;
    size_t memoryLimit = 0;
    bool reference = false;  // run the straightforward stage forms
    ProfileChoice profile = ProfileChoice::Auto;
    bool keepLinear = false;  // --8bit of a linear document without the sRGB curve
};

std::string Leaf(const std::string &inPath) {
    size_t aSlash = inPath.find_last_of('/');
    return aSlash == std::string::npos ? inPath : inPath.substr(aSlash + 1);
}

std::string DirectoryOf(const std::string &inPath) {
    size_t aSlash = inPath.find_last_of('/');
    if (aSlash == std::string::npos) return ".";
    return aSlash == 0 ? "/" : inPath.substr(0, aSlash);
}

std::string Stem(const std::string &inPath) {
    std::string aLeaf = Leaf(inPath);
    size_t aDot = aLeaf.find_last_of('.');
    return aDot == std::string::npos || aDot == 0 ? aLeaf : aLeaf.substr(0, aDot);
}

bool EndsWith(const std::string &inText, const char *inSuffix) {
    size_t aLength = std::strlen(inSuffix);
    if (inText.size() < aLength) return false;
    for (size_t aIndex = 0; aIndex < aLength; ++aIndex)
        if (std::tolower(static_cast<unsigned char>(inText[inText.size() - aLength + aIndex])) != inSuffix[aIndex])
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
                return UsageError("convert", "--wb-point takes H,V with H from 0 to 319 and V from 0 to 239, not '" +
                                                 aValue + "'");
            outOptions.hasPoint = true;
        } else if (aArgs.option("-o", "--output", &aValue)) {
            outOptions.output = aValue;
        } else if (aArgs.option("-d", "--directory", &aValue)) {
            outOptions.directory = aValue;
        } else if (aArgs.option("-f", "--format", &aValue)) {
            if (aValue == "tif") aValue = "tiff";
            if (aValue != "tiff" && aValue != "png")
                return UsageError("convert", "the format must be tiff or png, not '" + aValue + "'");
            outOptions.format = aValue;
        } else if (aArgs.option(nullptr, "--8bit")) {
            outOptions.eightBit = true;
        } else if (aArgs.option(nullptr, "--profile", &aValue)) {
            if (!ParseProfileChoice(aValue, outOptions.profile))
                return UsageError("convert", "the profile must be auto, srgb, linear or none, not '" + aValue + "'");
        } else if (aArgs.option(nullptr, "--linear")) {
            outOptions.keepLinear = true;
        } else if (aArgs.option(nullptr, "--reference")) {
            outOptions.reference = true;
        } else if (aArgs.option(nullptr, "--max-memory", &aValue)) {
            long aMegabytes;
            if (!ParseInt(aValue, aMegabytes) || aMegabytes <= 0 || aMegabytes > 1024L * 1024)
                return UsageError("convert", "--max-memory takes a number of megabytes, not '" + aValue + "'");
            outOptions.memoryLimit = static_cast<size_t>(aMegabytes) << 20;
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
    if (!outOptions.output.empty() && !outOptions.directory.empty())
        return UsageError("convert", "-o and -d exclude each other");
    if (!outOptions.output.empty() && outOptions.files.size() > 1)
        return UsageError("convert", "-o names one output; use -d for several inputs");
    if (outOptions.hasPoint && outOptions.method == 0)
        return UsageError("convert", "--wb-point needs method 1 or 2 (method 0 offers no white-balance point)");
    if (outOptions.keepLinear && !outOptions.eightBit) return UsageError("convert", "--linear applies to --8bit only");
    if (outOptions.profile == ProfileChoice::Linear && outOptions.eightBit && !outOptions.keepLinear &&
        outOptions.method != 2)
        return UsageError("convert", "--profile linear with --8bit needs --linear (8-bit output is sRGB-encoded)");
    for (size_t aFirst = 0; aFirst < outOptions.files.size(); ++aFirst)
        for (size_t aSecond = aFirst + 1; aSecond < outOptions.files.size(); ++aSecond)
            if (outOptions.files[aFirst] == outOptions.files[aSecond] ||
                SameFile(outOptions.files[aFirst], outOptions.files[aSecond]))
                return UsageError("convert", "the input " + outOptions.files[aSecond] + " is given twice (also as " +
                                                 outOptions.files[aFirst] + ")");
    if (outOptions.format.empty())
        outOptions.format = !outOptions.output.empty() && EndsWith(outOptions.output, ".png") ? "png" : "tiff";
    return 0;
}

int ImportFailure(const std::string &inFile, const ImportResult &inResult) {
    switch (inResult.status) {
        case ImportStatus::NotEKV: return Fail(kExitNotEKV, inFile, "not an EKV file");
        case ImportStatus::Damaged: return Fail(kExitDamaged, inFile, "damaged file (or a kind the module does not support)");
        case ImportStatus::Cancelled: return Fail(kExitCancelled, inFile, "cancelled");
        case ImportStatus::OutOfMemory: return Fail(kExitNoMemory, inFile, "out of memory");
        case ImportStatus::ProtocolError: return Fail(kExitModule, inFile, "import ended (-30000): " + inResult.detail);
        default: break;
    }
    return Fail(kExitModule, inFile, "the module failed with result " + std::to_string(inResult.code));
}

int ConvertOne(AcquireHost &ioHost, const ConvertOptions &inOptions, const std::string &inFile,
               const std::string &inOutput) {
    std::string aReason;
    if (!CheckInput(inFile, aReason)) return Fail(kExitNoInput, inFile, aReason);
    ShortPath aDialogPath;
    if (!aDialogPath.open(inFile, aReason)) return Fail(kExitNoInput, inFile, aReason);
    std::string aDirectory = DirectoryOf(inOutput);
    struct stat aDirectoryStat;
    if (stat(aDirectory.c_str(), &aDirectoryStat) != 0)
        return Fail(kExitCannotWrite, inFile, "cannot write " + inOutput + ": " + std::strerror(errno));
    if (!S_ISDIR(aDirectoryStat.st_mode))
        return Fail(kExitCannotWrite, inFile, "cannot write " + inOutput + ": " + std::strerror(ENOTDIR));
    if (access(aDirectory.c_str(), W_OK | X_OK) != 0)
        return Fail(kExitCannotWrite, inFile, "cannot write " + inOutput + ": " + std::strerror(errno));

    // The module reads sensor data the file lacks as zeros and converts it all the same;
    // a careful host refuses such a file instead of writing a picture of missing data.
    HeaderInfo aHeader;
    std::string aHeaderReason;
    if (ReadHeader(inFile, aHeader, aHeaderReason) == HeaderStatus::Ok && aHeader.convertible) {
        std::string aRefusal = RefusalReason(inFile, aHeader);
        if (!aRefusal.empty()) return Fail(kExitDamaged, inFile, aRefusal);
        std::string aWarning = ColourWarning(aHeader, inOptions.method);
        if (!aWarning.empty()) std::fprintf(stderr, "ekv: %s: %s\n", inFile.c_str(), aWarning.c_str());
    }

    ImportRequest aRequest;
    aRequest.path = aDialogPath.path();
    aRequest.method = inOptions.method;
    if (inOptions.hasPoint) aRequest.wbPoint = inOptions.point;
    ImportResult aResult;
    {
        ProgressBar aBar("ekv: " + Leaf(inFile));
        aResult = ioHost.import(aRequest, [&](int32 inDone, int32 inTotal) { aBar.update(inDone, inTotal); });
    }
    if (aResult.leakedHandles > 0 || aResult.leakedBuffers > 0)
        std::fprintf(stderr, "ekv: %s: note: the module left %ld handles and %ld buffers allocated\n", inFile.c_str(),
                     aResult.leakedHandles, aResult.leakedBuffers);
    for (const std::string &aMisuse : aResult.misuse)
        std::fprintf(stderr, "ekv: %s: note: the module's %s\n", inFile.c_str(), aMisuse.c_str());
    if (aResult.status != ImportStatus::Ok) return ImportFailure(inFile, aResult);

    ColourEncoding aEncoding = ChooseEncoding(inOptions.method, inOptions.profile, inOptions.eightBit,
                                              inOptions.keepLinear, aResult.image.depth);
    RgbImage aImage =
        inOptions.eightBit ? ReduceImageTo8Bits(aResult.image, aEncoding.curve) : std::move(aResult.image);
    if (aImage.rowsDelivered < aImage.height)
        std::fprintf(stderr, "ekv: %s: note: the module delivered rows 0 to %d of %d; the rows below are black\n",
                     inFile.c_str(), aImage.rowsDelivered - 1, aImage.height);
    OutputMetadata aMetadata = BuildOutputMetadata(inFile, aEncoding.profile);
    bool aWritten = inOptions.format == "png" ? WritePng(aImage, inOutput, aMetadata, aReason)
                                              : WriteTiff(aImage, inOutput, aMetadata, aReason);
    if (!aWritten) return Fail(kExitCannotWrite, inFile, "cannot write " + inOutput + ": " + aReason);
    return kExitOk;
}

}  // namespace

int RunConvert(const std::vector<std::string> &inArgs) {
    ConvertOptions aOptions;
    int aParse = ParseConvert(inArgs, aOptions);
    if (aParse != 0) return aParse < 0 ? kExitOk : aParse;
    HostBlocks::instance().setLimit(aOptions.memoryLimit);
    RAW_SelectReferenceStages(aOptions.reference);

    AcquireHost aHost;
    std::set<std::string> aWritten;
    int aExit = kExitOk;
    const char *aExtension = aOptions.format == "png" ? ".png" : ".tif";
    for (const std::string &aFile : aOptions.files) {
        std::string aOutput = !aOptions.output.empty() ? aOptions.output
                              : (aOptions.directory.empty() ? DirectoryOf(aFile) : aOptions.directory) + "/" +
                                    Stem(aFile) + aExtension;
        int aCode = kExitOk;
        bool aIsInput = false;
        for (const std::string &aInput : aOptions.files) aIsInput = aIsInput || SameFile(aOutput, aInput);
        char aResolved[PATH_MAX];
        std::string aKey = realpath(DirectoryOf(aOutput).c_str(), aResolved) != nullptr
                               ? std::string(aResolved) + "/" + Leaf(aOutput)
                               : aOutput;
        if (aIsInput)
            aCode = Fail(kExitCannotWrite, aFile, "the output " + aOutput + " is an input file; it is not overwritten");
        else if (aWritten.count(aKey) != 0)
            aCode = Fail(kExitCannotWrite, aFile, "the output " + aOutput + " was already written for another input");
        else
            aCode = ConvertOne(aHost, aOptions, aFile, aOutput);
        if (aCode == kExitOk) aWritten.insert(aKey);
        if (aExit == kExitOk) aExit = aCode;
    }
    return aExit;
}

}  // namespace ekv
