// Shared pieces of the ekv command line: exit codes, messages, option parsing.
#pragma once

#include <string>
#include <vector>

#include "import/HostHeaderView.h"
#include "host/AcquireInterface.h"

namespace ekv {

struct OutputOptions;

// Exit codes, the same for every subcommand.
enum ExitCode {
    kExitOk = 0,
    kExitUsage = 2,        // bad command line
    kExitNoInput = 3,      // an input file is missing or unreadable
    kExitNotEKV = 4,       // not an EKV file
    kExitDamaged = 5,      // damaged or unsupported EKV file
    kExitCancelled = 6,    // the import was cancelled
    kExitNoMemory = 7,     // out of memory
    kExitCannotWrite = 8,  // the output cannot be written (or would replace an input)
    kExitModule = 9,       // the module broke the host interface, or failed otherwise
    kExitNoThumbnail = 10  // the file carries no thumbnail
};

// Prints "ekv: SUBJECT: REASON" on standard error and returns the code. The subject is
// shown as ShownName shows file names; names within the reason are the caller's to show.
int Fail(int inCode, const std::string &inSubject, const std::string &inReason);
// Prints "ekv: standard output: REASON" for a write to standard output that failed with
// inErrno (0: unknown) and returns kExitCannotWrite; the stream's error is cleared, as it
// has been reported.
int FailStandardOutput(int inErrno);
// Prints "ekv COMMAND: REASON" and a pointer to --help; returns kExitUsage.
int UsageError(const std::string &inCommand, const std::string &inReason);

// An input file must exist, be a regular file and be readable.
bool CheckInput(const std::string &inPath, std::string &outReason);
// "H,V" with 0 <= H < 320 and 0 <= V < 240.
bool ParsePoint(const std::string &inText, Point &outPoint);
bool ParseInt(const std::string &inText, long &outValue);

// A minimal option scanner: "-x VALUE", "--long VALUE", "--long=VALUE", flags, and
// positional arguments; "--" ends the options.
class ArgScanner {
public:
    explicit ArgScanner(std::vector<std::string> inArgs) : mArgs(std::move(inArgs)) {}
    bool done() const { return mIndex >= mArgs.size(); }
    // True when the next argument is this option; its value (if it takes one) is read
    // into outValue. Sets failed() when a value is missing.
    bool option(const char *inShort, const char *inLong, std::string *outValue = nullptr);
    // The next argument as a positional one (or an unknown option, reported by the caller).
    std::string next() { return mArgs[mIndex++]; }
    bool isOption() const;
    bool failed() const { return mFailed; }
    const std::string &missingFor() const { return mMissing; }

private:
    std::vector<std::string> mArgs;
    size_t mIndex = 0;
    bool mOptionsEnded = false;
    bool mFailed = false;
    std::string mMissing;
};

// Reads a file's header for the commands that need only the header: kExitOk, or the
// exit code after the message.
int ReadHeaderFor(const std::string &inFile, HeaderInfo &outHeader);
// Parses "FILE -o OUT [--no-clobber]" (and --wb-point when outPoint is given, -s SIZE
// when outSize is) for a command that writes inFormat, or PNG when a size is given: 0,
// -1 after printing the help, or an exit code after the message.
int ParseFileAndOutput(const char *inCommand, const char *inHelp, const char *inFormat,
                       const std::vector<std::string> &inArgs, std::string &outFile, OutputOptions &outOutputs,
                       std::string *outPoint, std::string *outSize = nullptr);

// The tool's version ("1.0.0").
const char *ToolVersion();

int RunConvert(const std::vector<std::string> &inArgs);
int RunInfo(const std::vector<std::string> &inArgs);
int RunThumbnail(const std::vector<std::string> &inArgs);
int RunPreview(const std::vector<std::string> &inArgs);
int RunAbout(const std::vector<std::string> &inArgs);
int RunDng(const std::vector<std::string> &inArgs);

extern const char *const kHelpMain;
extern const char *const kHelpConvert;
extern const char *const kHelpInfo;
extern const char *const kHelpThumbnail;
extern const char *const kHelpPreview;
extern const char *const kHelpAbout;
extern const char *const kHelpDng;

}  // namespace ekv
