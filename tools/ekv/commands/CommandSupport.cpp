// Argument and header handling shared by the commands that read only a file's header.
#include <cstdio>

#include "commands/Cli.h"
#include "output/OutputPlan.h"

namespace ekv {

int ReadHeaderFor(const std::string &inFile, HeaderInfo &outHeader) {
    std::string aReason;
    if (!CheckInput(inFile, aReason)) return Fail(kExitNoInput, inFile, aReason);
    switch (ReadHeader(inFile, outHeader, aReason)) {
        case HeaderStatus::Ok: return kExitOk;
        case HeaderStatus::NotEKV: return Fail(kExitNotEKV, inFile, aReason);
        case HeaderStatus::Damaged: return Fail(kExitDamaged, inFile, aReason);
        case HeaderStatus::OutOfMemory: return Fail(kExitNoMemory, inFile, aReason);
    }
    return kExitModule;
}

int ParseFileAndOutput(const char *inCommand, const char *inHelp, const char *inFormat,
                       const std::vector<std::string> &inArgs, std::string &outFile, OutputOptions &outOutputs,
                       std::string *outPoint, std::string *outSize) {
    ArgScanner aArgs(inArgs);
    std::vector<std::string> aFiles;
    std::string aValue;
    while (!aArgs.done()) {
        if (aArgs.option("-h", "--help")) {
            std::fputs(inHelp, stdout);
            return -1;
        } else if (aArgs.option("-o", "--output", &aValue)) {
            outOutputs.output = aValue;
        } else if (aArgs.option(nullptr, "--no-clobber")) {
            outOutputs.noClobber = true;
        } else if (outPoint != nullptr && aArgs.option(nullptr, "--wb-point", &aValue)) {
            *outPoint = aValue;
        } else if (outSize != nullptr && aArgs.option("-s", "--size", &aValue)) {
            if (aValue.empty()) return UsageError(inCommand, "-s needs a size in pixels, not an empty one");
            *outSize = aValue;
        } else if (aArgs.failed()) {
            return UsageError(inCommand, aArgs.missingFor() + " needs a value");
        } else if (aArgs.isOption()) {
            return UsageError(inCommand, "unknown option '" + aArgs.next() + "'");
        } else {
            aFiles.push_back(aArgs.next());
        }
    }
    if (aArgs.failed()) return UsageError(inCommand, aArgs.missingFor() + " needs a value");
    if (aFiles.size() != 1) return UsageError(inCommand, "name exactly one file");
    if (!outOutputs.output) return UsageError(inCommand, "-o OUT is required");
    outFile = aFiles.front();
    // A size asks for the image scaled, which only PNG carries.
    const char *aFormat = outSize != nullptr && !outSize->empty() ? "png" : inFormat;
    return SettleOutputOptions(inCommand, {aFormat}, 1, outOutputs);
}

}  // namespace ekv
