// Exit messages, input checks and option scanning.
#include "commands/Cli.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "output/ShownName.h"

namespace ekv {

int Fail(int inCode, const std::string &inSubject, const std::string &inReason) {
    std::fprintf(stderr, "ekv: %s: %s\n", ShownName(inSubject).c_str(), inReason.c_str());
    return inCode;
}

int FailStandardOutput(int inErrno) {
    std::fprintf(stderr, "ekv: standard output: %s\n", std::strerror(inErrno != 0 ? inErrno : EIO));
    std::clearerr(stdout);
    return kExitCannotWrite;
}

int UsageError(const std::string &inCommand, const std::string &inReason) {
    std::fprintf(stderr, "ekv %s: %s (see 'ekv %s --help')\n", inCommand.c_str(), inReason.c_str(), inCommand.c_str());
    return kExitUsage;
}

bool CheckInput(const std::string &inPath, std::string &outReason) {
    struct stat aStat;
    if (stat(inPath.c_str(), &aStat) != 0) {
        outReason = errno == ENOENT ? "no such file" : std::strerror(errno);
        return false;
    }
    if (S_ISDIR(aStat.st_mode)) {
        outReason = "is a directory";
        return false;
    }
    if (!S_ISREG(aStat.st_mode)) {
        outReason = "not a regular file";
        return false;
    }
    if (access(inPath.c_str(), R_OK) != 0) {
        outReason = std::strerror(errno);
        return false;
    }
    return true;
}

bool ParseInt(const std::string &inText, long &outValue) {
    if (inText.empty()) return false;
    char *aEnd = nullptr;
    errno = 0;
    long aValue = std::strtol(inText.c_str(), &aEnd, 10);
    if (errno != 0 || aEnd == nullptr || *aEnd != 0) return false;
    outValue = aValue;
    return true;
}

bool ParsePoint(const std::string &inText, Point &outPoint) {
    size_t aComma = inText.find(',');
    if (aComma == std::string::npos) return false;
    long aH, aV;
    if (!ParseInt(inText.substr(0, aComma), aH) || !ParseInt(inText.substr(aComma + 1), aV)) return false;
    if (aH < 0 || aH > 319 || aV < 0 || aV > 239) return false;
    outPoint.h = static_cast<int16>(aH);
    outPoint.v = static_cast<int16>(aV);
    return true;
}

bool ArgScanner::isOption() const {
    if (done() || mOptionsEnded) return false;
    const std::string &aArg = mArgs[mIndex];
    return aArg.size() > 1 && aArg[0] == '-';
}

bool ArgScanner::option(const char *inShort, const char *inLong, std::string *outValue) {
    if (done() || mOptionsEnded) return false;
    const std::string &aArg = mArgs[mIndex];
    if (aArg == "--") {
        mOptionsEnded = true;
        ++mIndex;
        return false;
    }
    bool aMatch = (inShort != nullptr && aArg == inShort) || (inLong != nullptr && aArg == inLong);
    std::string aInline;
    bool aHasInline = false;
    if (!aMatch && inLong != nullptr && outValue != nullptr) {
        std::string aPrefix = std::string(inLong) + "=";
        if (aArg.compare(0, aPrefix.size(), aPrefix) == 0) {
            aMatch = true;
            aHasInline = true;
            aInline = aArg.substr(aPrefix.size());
        }
    }
    if (!aMatch) return false;
    ++mIndex;
    if (outValue == nullptr) return true;
    if (aHasInline) {
        *outValue = aInline;
    } else if (done()) {
        mFailed = true;
        mMissing = aArg;
        return false;
    } else {
        *outValue = mArgs[mIndex++];
    }
    return true;
}

}  // namespace ekv
