// Runs one job per input, several at once, for the commands that take many files.
//
// With one job at a time the jobs run in this process, one after another. With more,
// each job runs in a worker process of its own (forked for it): the module keeps its
// state in process-wide places (its data word, the host memory pool its callbacks reach
// without context, the answers of its user-interface seam), so separate processes are
// what keeps imports apart; nothing they hold can be shared. A worker reports its
// progress to this process through a pipe; its messages are collected and printed in
// the order of the inputs, as one job after another would print them. When processes or
// descriptors run out, fewer workers run; with none, this process runs the jobs itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ekv {

// What a job tells the runner while it runs.
struct JobReport {
    // inDone of inTotal units of the job are done.
    std::function<void(int32_t inDone, int32_t inTotal)> progress;
    // The job is about to print on standard error: the progress bar leaves the line.
    std::function<void()> aside;
};
// Runs the job for input inIndex and returns its exit code (0 for success).
using BatchJob = std::function<int(size_t inIndex, const JobReport &inReport)>;

// The number of online processors (at least 1).
int OnlineProcessors();

// Runs inJob for every input, at most inJobs at once; a failing job does not stop the
// others. A progress bar on a terminal shows the inputs done and the overall progress.
// Returns the exit code of the first failing input in the order given, or 0.
int RunBatch(const std::vector<std::string> &inInputs, int inJobs, const BatchJob &inJob);

}  // namespace ekv
