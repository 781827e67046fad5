// One job after another in this process, or each in a worker process of its own.
#include "BatchRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "Cli.h"
#include "ProgressBar.h"
#include "SignalCleanup.h"

namespace ekv {

namespace {

// What the batch has done, shown on one progress bar: "ekv: 3/8 files [###...]  45%".
class BatchProgress {
public:
    explicit BatchProgress(size_t inCount) : mFractions(inCount, 0.0), mBar(label()) {}
    void set(size_t inIndex, int32_t inDone, int32_t inTotal) {
        mFractions[inIndex] = inTotal > 0 ? static_cast<double>(inDone) / inTotal : 0.0;
        draw();
    }
    void done(size_t inIndex) {
        mFractions[inIndex] = 1.0;
        ++mDone;
        mBar.setLabel(label());
        draw();
    }
    void aside() { mBar.clear(); }

private:
    std::string label() const {
        return "ekv: " + std::to_string(mDone) + "/" + std::to_string(mFractions.size()) + " files";
    }
    void draw() {
        double aSum = 0;
        for (double aFraction : mFractions) aSum += aFraction > 1.0 ? 1.0 : aFraction;
        mBar.update(static_cast<int32_t>(1000 * aSum / mFractions.size()), 1000);
    }

    std::vector<double> mFractions;
    size_t mDone = 0;
    ProgressBar mBar;
};

int RunInProcess(const std::vector<std::string> &inInputs, const BatchJob &inJob) {
    BatchProgress aProgress(inInputs.size());
    int aExit = 0;
    for (size_t aIndex = 0; aIndex < inInputs.size(); ++aIndex) {
        JobReport aReport;
        aReport.progress = [&](int32_t inDone, int32_t inTotal) { aProgress.set(aIndex, inDone, inTotal); };
        aReport.aside = [&] { aProgress.aside(); };
        aProgress.aside();
        int aCode = inJob(aIndex, aReport);
        aProgress.done(aIndex);
        if (aExit == 0) aExit = aCode;
    }
    aProgress.aside();
    return aExit;
}

// A worker process and the read ends of its two pipes: progress records and the text it
// prints on standard error.
struct Worker {
    pid_t pid = -1;
    size_t index = 0;
    int progressFd = -1;
    int textFd = -1;
};

struct ProgressRecord {
    int32_t done;
    int32_t total;
};

void CloseFd(int &ioFd) {
    if (ioFd >= 0) close(ioFd);
    ioFd = -1;
}

// In the new worker process: runs the job and leaves with its exit code.
[[noreturn]] void RunWorker(size_t inIndex, const BatchJob &inJob, int inProgressFd, int inTextFd,
                            const std::vector<Worker> &inSiblings) {
    // The signal handler stops this process's own workers only (it has none).
    for (const Worker &aSibling : inSiblings) UnregisterWorker(aSibling.pid);
    dup2(inTextFd, STDERR_FILENO);
    close(inTextFd);
    ProgressRecord aLast{-1, -1};
    JobReport aReport;
    aReport.progress = [&](int32_t inDone, int32_t inTotal) {
        if (aLast.done == inDone && aLast.total == inTotal) return;
        aLast = {inDone, inTotal};
        // Records are far below PIPE_BUF: each write arrives whole.
        ssize_t aWritten;
        do aWritten = write(inProgressFd, &aLast, sizeof aLast);
        while (aWritten < 0 && errno == EINTR);
    };
    aReport.aside = [] {};
    int aCode = inJob(inIndex, aReport);
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(aCode);
}

bool StartWorker(size_t inIndex, const BatchJob &inJob, std::vector<Worker> &ioRunning) {
    int aProgress[2], aText[2];
    if (pipe2(aProgress, O_CLOEXEC) != 0) return false;
    if (pipe2(aText, O_CLOEXEC) != 0) {
        close(aProgress[0]);
        close(aProgress[1]);
        return false;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t aPid = fork();
    if (aPid == 0) {
        close(aProgress[0]);
        close(aText[0]);
        RunWorker(inIndex, inJob, aProgress[1], aText[1], ioRunning);
    }
    close(aProgress[1]);
    close(aText[1]);
    if (aPid < 0) {
        close(aProgress[0]);
        close(aText[0]);
        return false;
    }
    RegisterWorker(aPid);
    ioRunning.push_back({aPid, inIndex, aProgress[0], aText[0]});
    return true;
}

int WaitForWorker(pid_t inPid, const std::string &inInput, std::string &ioText) {
    int aStatus = 0;
    while (waitpid(inPid, &aStatus, 0) < 0 && errno == EINTR) {}
    UnregisterWorker(inPid);
    if (WIFEXITED(aStatus)) return WEXITSTATUS(aStatus);
    const int aSignal = WIFSIGNALED(aStatus) ? WTERMSIG(aStatus) : 0;
    ioText += "ekv: " + inInput + ": the worker process ended by signal " + std::to_string(aSignal) + " (" +
              strsignal(aSignal) + ")\n";
    return kExitModule;
}

int RunInWorkers(const std::vector<std::string> &inInputs, size_t inJobs, const BatchJob &inJob) {
    InstallSignalCleanup();
    const size_t aCount = inInputs.size();
    BatchProgress aProgress(aCount);
    std::vector<int> aCodes(aCount, 0);
    std::vector<std::string> aTexts(aCount);
    std::vector<bool> aFinished(aCount, false);
    std::vector<Worker> aRunning;
    size_t aNext = 0, aPrinted = 0;
    while (aPrinted < aCount) {
        while (aRunning.size() < inJobs && aNext < aCount) {
            const size_t aIndex = aNext++;
            if (!StartWorker(aIndex, inJob, aRunning)) {
                aTexts[aIndex] =
                    "ekv: " + inInputs[aIndex] + ": cannot start a worker process: " + std::strerror(errno) + "\n";
                aCodes[aIndex] = kExitNoMemory;
                aFinished[aIndex] = true;
            }
        }
        std::vector<pollfd> aPolls;
        for (const Worker &aWorker : aRunning)
            for (int aFd : {aWorker.progressFd, aWorker.textFd})
                if (aFd >= 0) aPolls.push_back({aFd, POLLIN, 0});
        if (!aPolls.empty() && poll(aPolls.data(), aPolls.size(), -1) < 0 && errno != EINTR) break;
        for (Worker &aWorker : aRunning) {
            char aBytes[4096];
            if (aWorker.textFd >= 0) {
                pollfd aPoll{aWorker.textFd, POLLIN, 0};
                if (poll(&aPoll, 1, 0) > 0) {
                    ssize_t aGot = read(aWorker.textFd, aBytes, sizeof aBytes);
                    if (aGot > 0)
                        aTexts[aWorker.index].append(aBytes, static_cast<size_t>(aGot));
                    else if (aGot == 0 || errno != EINTR)
                        CloseFd(aWorker.textFd);
                }
            }
            if (aWorker.progressFd >= 0) {
                pollfd aPoll{aWorker.progressFd, POLLIN, 0};
                if (poll(&aPoll, 1, 0) > 0) {
                    ProgressRecord aRecords[64];
                    ssize_t aGot = read(aWorker.progressFd, aRecords, sizeof aRecords);
                    if (aGot > 0) {
                        const ProgressRecord &aLast = aRecords[static_cast<size_t>(aGot) / sizeof(ProgressRecord) - 1];
                        aProgress.set(aWorker.index, aLast.done, aLast.total);
                    } else if (aGot == 0 || errno != EINTR) {
                        CloseFd(aWorker.progressFd);
                    }
                }
            }
        }
        for (size_t aSlot = aRunning.size(); aSlot-- > 0;) {
            Worker &aWorker = aRunning[aSlot];
            if (aWorker.progressFd >= 0 || aWorker.textFd >= 0) continue;
            aCodes[aWorker.index] = WaitForWorker(aWorker.pid, inInputs[aWorker.index], aTexts[aWorker.index]);
            aFinished[aWorker.index] = true;
            aProgress.done(aWorker.index);
            aRunning.erase(aRunning.begin() + static_cast<long>(aSlot));
        }
        // Messages in the order of the inputs, as one job after another prints them.
        while (aPrinted < aCount && aFinished[aPrinted]) {
            if (!aTexts[aPrinted].empty()) {
                aProgress.aside();
                std::fputs(aTexts[aPrinted].c_str(), stderr);
            }
            ++aPrinted;
        }
    }
    aProgress.aside();
    for (int aCode : aCodes)
        if (aCode != 0) return aCode;
    return 0;
}

}  // namespace

int OnlineProcessors() {
    long aCount = sysconf(_SC_NPROCESSORS_ONLN);
    return aCount > 0 ? static_cast<int>(aCount) : 1;
}

int RunBatch(const std::vector<std::string> &inInputs, int inJobs, const BatchJob &inJob) {
    if (inJobs <= 1 || inInputs.size() <= 1) return RunInProcess(inInputs, inJob);
    return RunInWorkers(inInputs, static_cast<size_t>(inJobs), inJob);
}

}  // namespace ekv
