// Output names, formats and the checks made before converting anything.
#include "output/OutputPlan.h"

#include <limits.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <system_error>

#include "commands/Cli.h"
#include "output/OutputTarget.h"
#include "output/ShownName.h"

namespace ekv {

namespace {

struct FormatName {
    const char *format;
    const char *extension;
};

// The extensions each format is known by; the first of a format is the one written.
constexpr FormatName kExtensions[] = {{"tiff", ".tif"}, {"tiff", ".tiff"}, {"png", ".png"},
                                      {"jpeg", ".jpg"}, {"jpeg", ".jpeg"}, {"dng", ".dng"}};

std::string Leaf(const std::string &inPath) {
    size_t aSlash = inPath.find_last_of('/');
    return aSlash == std::string::npos ? inPath : inPath.substr(aSlash + 1);
}

std::string DirectoryOf(const std::string &inPath) {
    size_t aSlash = inPath.find_last_of('/');
    if (aSlash == std::string::npos) return ".";
    return aSlash == 0 ? "/" : inPath.substr(0, aSlash);
}

// The extension of a file name, lower case with its dot ("" for none; a leading dot
// starts a hidden name, not an extension).
std::string Extension(const std::string &inPath) {
    std::string aLeaf = Leaf(inPath);
    size_t aDot = aLeaf.find_last_of('.');
    if (aDot == std::string::npos || aDot == 0) return std::string();
    std::string aExtension = aLeaf.substr(aDot);
    for (char &aChar : aExtension) aChar = static_cast<char>(std::tolower(static_cast<unsigned char>(aChar)));
    return aExtension;
}

std::string Stem(const std::string &inPath) {
    std::string aLeaf = Leaf(inPath);
    size_t aDot = aLeaf.find_last_of('.');
    return aDot == std::string::npos || aDot == 0 ? aLeaf : aLeaf.substr(0, aDot);
}

const char *FormatOfExtension(const std::string &inExtension) {
    for (const FormatName &aName : kExtensions)
        if (inExtension == aName.extension) return aName.format;
    return nullptr;
}

std::string ExtensionList(const std::vector<const char *> &inFormats) {
    std::string aList;
    for (const FormatName &aName : kExtensions)
        for (const char *aFormat : inFormats)
            if (std::string(aFormat) == aName.format)
                aList += (aList.empty() ? "" : ", ") + std::string(aName.extension);
    return aList;
}

}  // namespace

const char *FormatExtension(const std::string &inFormat) {
    for (const FormatName &aName : kExtensions)
        if (inFormat == aName.format) return aName.extension;
    return "";
}

int RefuseRepeatedInputs(const char *inCommand, const std::vector<std::string> &inInputs) {
    for (size_t aFirst = 0; aFirst < inInputs.size(); ++aFirst)
        for (size_t aSecond = aFirst + 1; aSecond < inInputs.size(); ++aSecond)
            if (inInputs[aFirst] == inInputs[aSecond] || SameFile(inInputs[aFirst], inInputs[aSecond]))
                return UsageError(inCommand, "the input " + ShownName(inInputs[aSecond]) + " is given twice (also as " +
                                                 ShownName(inInputs[aFirst]) + ")");
    return kExitOk;
}

int SettleOutputOptions(const char *inCommand, const std::vector<const char *> &inFormats, size_t inInputs,
                        OutputOptions &ioOptions) {
    if (ioOptions.output && ioOptions.output->empty())
        return UsageError(inCommand, "-o needs a file name ('-' for standard output), not an empty one");
    if (ioOptions.directory && ioOptions.directory->empty())
        return UsageError(inCommand, "-d needs a directory name, not an empty one");
    if (ioOptions.output && ioOptions.directory) return UsageError(inCommand, "-o and -d exclude each other");
    if (ioOptions.output && inInputs > 1)
        return UsageError(inCommand, "-o names one output; use -d for several inputs");
    if (!ioOptions.output) {
        if (ioOptions.format.empty()) ioOptions.format = inFormats.front();
        return kExitOk;
    }
    // The extension names the format, and must agree with --format when both are given.
    std::string aExtension = Extension(*ioOptions.output);
    const char *aNamed = FormatOfExtension(aExtension);
    bool aWritable = false;
    for (const char *aFormat : inFormats)
        if (aNamed != nullptr && std::string(aFormat) == aNamed) aWritable = true;
    if (aNamed != nullptr && !ioOptions.format.empty() && ioOptions.format != aNamed)
        return UsageError(inCommand, "the output " + *ioOptions.output + " names a " + aNamed +
                                         " file, but --format is " + ioOptions.format);
    if (aNamed != nullptr && !aWritable)
        return UsageError(inCommand, "the output " + *ioOptions.output + " names a " + aNamed + " file; ekv " +
                                         inCommand + " writes " + ExtensionList(inFormats));
    if (aNamed == nullptr && !aExtension.empty() && ioOptions.format.empty())
        return UsageError(inCommand, "the output's extension " + aExtension + " names no format this command writes (" +
                                         ExtensionList(inFormats) +
                                         (inFormats.size() > 1 ? "); choose one with --format" : ")"));
    if (aNamed != nullptr) ioOptions.format = aNamed;
    if (ioOptions.format.empty()) ioOptions.format = inFormats.front();
    return kExitOk;
}

std::string OutputPlanner::Key(const std::string &inPath) {
    char aResolved[PATH_MAX];
    return realpath(DirectoryOf(inPath).c_str(), aResolved) != nullptr ? std::string(aResolved) + "/" + Leaf(inPath)
                                                                       : inPath;
}

int PlannedOutput::noteKept(const std::string &inInput) const {
    std::fprintf(stderr, "ekv: %s: note: %s exists; skipped (--no-clobber)\n", ShownName(inInput).c_str(),
                 ShownName(path).c_str());
    return kExitOk;
}

int PlannedOutput::announce(const std::string &inInput) const {
    if (skip) return noteKept(inInput);
    return failure != 0 ? Fail(failure, inInput, reason) : kExitOk;
}

PlannedOutput OutputPlanner::plan(const std::string &inInput) {
    PlannedOutput aPlanned;
    if (mOptions.output)
        aPlanned.path = *mOptions.output;
    else
        aPlanned.path = (mOptions.directory ? *mOptions.directory : DirectoryOf(inInput)) + "/" + Stem(inInput) +
                        FormatExtension(mOptions.format);
    const std::string &aPath = aPlanned.path;
    aPlanned.noClobber = mOptions.noClobber;
    if (mOptions.noClobber && WouldClobber(aPath)) {
        aPlanned.skip = true;
        return aPlanned;
    }
    aPlanned.failure = kExitCannotWrite;
    for (const std::string &aInput : mInputs)
        if (SameFile(aPath, aInput)) {
            const char *aWhich = mInputs.size() == 1 ? "the input file" : "an input file";
            aPlanned.reason = "the output " + ShownName(aPath) + " is " + aWhich + "; it is not overwritten";
            return aPlanned;
        }
    const auto aClaim = mClaimed.emplace(Key(aPath), inInput);
    if (!aClaim.second) {
        // Said before either is converted: the earlier input may yet fail.
        aPlanned.reason = "the output " + ShownName(aPath) + " is also the output of " +
                          ShownName(aClaim.first->second) + "; it is not written twice";
        return aPlanned;
    }
    OutputTarget aTarget;
    std::string aReason;
    if (!InspectTarget(aPath, aTarget, aReason)) {
        aPlanned.reason = "cannot write " + ShownName(aPath) + ": " + aReason;
        return aPlanned;
    }
    aPlanned.failure = kExitOk;
    return aPlanned;
}

int ParseJobs(const char *inCommand, const std::string &inValue, int &outJobs) {
    long aJobs;
    if (!ParseInt(inValue, aJobs) || aJobs < 1 || aJobs > 256)
        return UsageError(inCommand, "-j takes a number of files to convert at once (1 to 256), not '" + inValue + "'");
    outJobs = static_cast<int>(aJobs);
    return kExitOk;
}

int RunPlannedBatch(const OutputOptions &inOptions, const std::vector<std::string> &inInputs, int inJobs,
                    const OutputJob &inJob) {
    OutputPlanner aPlanner(inOptions, inInputs);
    std::vector<PlannedOutput> aPlans;
    for (const std::string &aInput : inInputs) aPlans.push_back(aPlanner.plan(aInput));
    const int aJobs = inJobs > 0 ? inJobs : OnlineProcessors();
    return RunBatch(inInputs, aJobs, [&](size_t inIndex, const JobReport &inReport) {
        const std::string &aInput = inInputs[inIndex];
        if (!aPlans[inIndex].writes()) return aPlans[inIndex].announce(aInput);
        // Memory that runs out ends this input only; its temporary file is removed as
        // the job's objects unwind, and the batch goes on with the next input.
        try {
            return inJob(aInput, aPlans[inIndex], inReport);
        } catch (const std::bad_alloc &) {
        } catch (const std::system_error &) {
            // A thread that could not start for want of memory or processes.
        }
        inReport.aside();
        return Fail(kExitNoMemory, aInput, "out of memory");
    });
}

}  // namespace ekv
