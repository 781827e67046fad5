// The batch runner: every job runs whatever the others return, the exit status is the
// first failing job's in the order of the inputs, and the jobs' messages come in that
// order, in this process (one job at a time) and in worker processes alike.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "import/ModuleThreads.h"
#include "output/BatchRunner.h"
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

// Workers take one input after another, so two jobs need two processes, and a third
// one only to replace the worker that died; the inputs after the lost one still run.
TEST(BatchRunner, WorkersServeManyInputsAndOneEndedByASignalFailsItsInputOnly) {
    const std::vector<std::string> aInputs = {"a", "b", "c", "d", "e", "f", "g"};
    const std::string aPids = wholetest::ScratchFolder() + "/batch-pids";
    std::remove(aPids.c_str());
    testing::internal::CaptureStderr();
    const int aExit = ekv::RunBatch(aInputs, 2, [&](size_t inIndex, const ekv::JobReport &) {
        if (inIndex == 1) std::raise(SIGKILL);
        if (FILE *aFile = std::fopen(aPids.c_str(), "a")) {
            std::fprintf(aFile, "%zu %d\n", inIndex, static_cast<int>(::getpid()));
            std::fclose(aFile);
        }
        return 0;
    });
    const std::string aMessages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(aExit, 9);
    EXPECT_EQ(aMessages, "ekv: b: the worker process ended by signal 9 (Killed)\n");
    std::set<size_t> aDone;
    std::set<int> aProcesses;
    FILE *aFile = std::fopen(aPids.c_str(), "r");
    ASSERT_NE(aFile, nullptr);
    size_t aIndex;
    int aPid;
    while (std::fscanf(aFile, "%zu %d", &aIndex, &aPid) == 2) aDone.insert(aIndex), aProcesses.insert(aPid);
    std::fclose(aFile);
    EXPECT_EQ(aDone, (std::set<size_t>{0, 2, 3, 4, 5, 6}));
    EXPECT_LE(aProcesses.size(), 3u);
    EXPECT_EQ(aProcesses.count(static_cast<int>(::getpid())), 0u);
}

// A batch's workers share the processors; the user's count wins; one job takes them all.
TEST(ModuleThreads, BatchWorkersShareTheProcessorsUnlessTheUserSaysOtherwise) {
    EXPECT_EQ(ekv::ModuleThreadLimit(0, 1, 8), 0);
    EXPECT_EQ(ekv::ModuleThreadLimit(0, 2, 8), 4);
    EXPECT_EQ(ekv::ModuleThreadLimit(0, 3, 8), 2);
    EXPECT_EQ(ekv::ModuleThreadLimit(0, 8, 2), 1);
    EXPECT_EQ(ekv::ModuleThreadLimit(3, 2, 8), 3);
    EXPECT_EQ(ekv::ModuleThreadLimit(5, 1, 2), 5);
}

}  // namespace
