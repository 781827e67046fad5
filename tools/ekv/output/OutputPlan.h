// Where each input's output goes: -o or -d (or beside the input), the format from
// --format or the output's extension, and the refusals and skips decided before any
// conversion (an output that is an input, or one the same call already wrote; an
// existing file under --no-clobber; one that cannot be written).
#pragma once

#include <functional>
#include <optional>
#include <map>
#include <string>
#include <vector>

#include "output/BatchRunner.h"

namespace ekv {

// What the command line says about outputs.
struct OutputOptions {
    std::optional<std::string> output;     // -o OUT ("-": standard output)
    std::optional<std::string> directory;  // -d DIR
    std::string format;                    // --format ("tiff", "png"), then the settled format ("dng"...)
    bool noClobber = false;                // --no-clobber
};

// An input named twice (also through another path) would be converted twice onto the
// same output: kExitUsage after the message, else kExitOk.
int RefuseRepeatedInputs(const char *inCommand, const std::vector<std::string> &inInputs);

// Checks the options of a command that writes the formats named in inFormats (the
// first is its default) for inInputs inputs, and settles ioOptions.format from
// --format or -o's extension. kExitOk, or kExitUsage after the message.
int SettleOutputOptions(const char *inCommand, const std::vector<const char *> &inFormats, size_t inInputs,
                        OutputOptions &ioOptions);

// The file extension written for a format (".tif", ".png", ".jpg", ".dng").
const char *FormatExtension(const std::string &inFormat);

struct PlannedOutput {
    std::string path;
    bool skip = false;       // an existing file kept under --no-clobber
    bool noClobber = false;  // the final rename must not replace a file that appears meanwhile
    int failure = 0;         // an exit code, with its reason
    std::string reason;      // why the output is refused
    // Prints the note of a skip or the message of a refusal for inInput; returns the
    // exit code (0 for a skip). Does nothing for an output to write.
    int announce(const std::string &inInput) const;
    bool writes() const { return !skip && failure == 0; }
    // The note of an output skipped because the file exists (--no-clobber); returns 0.
    int noteKept(const std::string &inInput) const;
};

class OutputPlanner {
public:
    OutputPlanner(OutputOptions inOptions, std::vector<std::string> inInputs)
        : mOptions(std::move(inOptions)), mInputs(std::move(inInputs)) {}
    // Decides inInput's output, printing nothing. An output that this call will write
    // is claimed, so that a later input may not replace it.
    PlannedOutput plan(const std::string &inInput);

private:
    static std::string Key(const std::string &inPath);

    OutputOptions mOptions;
    std::vector<std::string> mInputs;
    std::map<std::string, std::string> mClaimed;  // each planned output and its input
};

// "-j N": 1 to 256 files at once. kExitOk, or kExitUsage after the message.
int ParseJobs(const char *inCommand, const std::string &inValue, int &outJobs);

// Writes one input to its planned output; returns the exit code.
using OutputJob = std::function<int(const std::string &inInput, const PlannedOutput &inOutput, const JobReport &)>;

// Plans every input's output in the order given, before any is written, then runs
// inJob for those to write, inJobs at once (0: the online processors). A refusal or a
// skip is printed in its place among the jobs' messages. The exit code of the first
// failing input, or 0.
int RunPlannedBatch(const OutputOptions &inOptions, const std::vector<std::string> &inInputs, int inJobs,
                    const OutputJob &inJob);

}  // namespace ekv
