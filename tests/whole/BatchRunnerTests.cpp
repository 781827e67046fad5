// The batch runner: every job runs whatever the others return, the exit status is the
// first failing job's in the order of the inputs, and the jobs' messages come in that
// order, in this process (one job at a time) and in worker processes alike.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "BatchRunner.h"
#include "WholeTestSupport.h"

namespace {

const std::vector<int> kCodes = {0, 5, 0, 3, 0, 0, 4};

int RunJobs(int inJobs, const std::string &inTag, std::string &outMessages) {
    std::vector<std::string> aInputs;
    for (size_t i = 0; i < kCodes.size(); ++i) aInputs.push_back("input" + std::to_string(i));
    testing::internal::CaptureStderr();
    const int aExit = ekv::RunBatch(aInputs, inJobs, [&](size_t inIndex, const ekv::JobReport &inReport) {
        inReport.progress(1, 2);
        // Later jobs finish first, so that order comes from the runner, not from timing.
        ::usleep(static_cast<useconds_t>((kCodes.size() - inIndex) * 2000));
        const std::string aMarker = wholetest::ScratchFolder() + "/" + inTag + std::to_string(inIndex);
        if (FILE *aFile = std::fopen(aMarker.c_str(), "w")) std::fclose(aFile);
        inReport.aside();
        std::fprintf(stderr, "job %zu done\n", inIndex);
        return kCodes[inIndex];
    });
    outMessages = testing::internal::GetCapturedStderr();
    return aExit;
}

TEST(BatchRunner, EveryJobRunsAndTheFirstFailureInOrderIsTheStatus) {
    std::string aExpected;
    for (size_t i = 0; i < kCodes.size(); ++i) aExpected += "job " + std::to_string(i) + " done\n";
    for (int aJobs : {1, 2, 3, 8}) {
        const std::string aTag = "batch-j" + std::to_string(aJobs) + "-";
        std::string aMessages;
        EXPECT_EQ(RunJobs(aJobs, aTag, aMessages), 5) << aJobs << " jobs";
        EXPECT_EQ(aMessages, aExpected) << aJobs << " jobs";
        for (size_t i = 0; i < kCodes.size(); ++i)
            EXPECT_EQ(::access((wholetest::ScratchFolder() + "/" + aTag + std::to_string(i)).c_str(), F_OK), 0)
                << aJobs << " jobs: job " << i << " did not run";
    }
}

TEST(BatchRunner, AWorkerEndedByASignalFailsItsInputOnly) {
    testing::internal::CaptureStderr();
    const int aExit = ekv::RunBatch({"a", "b", "c"}, 2, [](size_t inIndex, const ekv::JobReport &) {
        if (inIndex == 1) std::raise(SIGKILL);
        return 0;
    });
    const std::string aMessages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(aExit, 9);
    EXPECT_NE(aMessages.find("ekv: b: the worker process ended by signal 9"), std::string::npos) << aMessages;
}

}  // namespace
