// One job after another in this process, or each in a worker process of its own.
#include "output/BatchRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "commands/Cli.h"
#include "output/OutputFile.h"
#include "output/ProgressBar.h"
#include "output/ShownName.h"
#include "output/SignalCleanup.h"

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
    bool shown() const { return mBar.shown(); }

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

// A worker process: the write end of the pipe that hands it inputs, and the read ends of
// the pipes of its reports and of the text it prints on standard error. A worker takes
// one input at a time and keeps running until its input pipe closes, so that its memory
// (the module's loaded state, the host's pool of blocks) is set up once, not per input.
struct Worker {
    pid_t pid = -1;
    int inputFd = -1;
    int reportFd = -1;
    int textFd = -1;
    bool busy = false;
    size_t index = 0;  // the input it works on while busy
};

// What a worker reports: progress of its input, or that the input is done (its exit code).
// Records are far below PIPE_BUF, so each write arrives whole and reads of whole records
// return whole records.
struct WorkerRecord {
    enum Kind : int32_t { kProgress, kFinished };
    int32_t kind;
    int32_t done;   // kProgress: units done; kFinished: the exit code
    int32_t total;  // kProgress: units in all
};

void CloseFd(int &ioFd) {
    if (ioFd >= 0) close(ioFd);
    ioFd = -1;
}

// Reads exactly inSize bytes; false at the end of the pipe or on an error.
bool ReadAll(int inFd, void *outBytes, size_t inSize) {
    char *aNext = static_cast<char *>(outBytes);
    while (inSize > 0) {
        ssize_t aGot = read(inFd, aNext, inSize);
        if (aGot < 0 && errno == EINTR) continue;
        if (aGot <= 0) return false;
        aNext += aGot;
        inSize -= static_cast<size_t>(aGot);
    }
    return true;
}

// In the new worker process: runs the inputs it is handed, one after another, and leaves
// when its input pipe closes. Progress is reported only for a bar that is shown, and at
// most every kProgressInterval: each record wakes the parent process.
constexpr std::chrono::milliseconds kProgressInterval{40};

[[noreturn]] void RunWorker(const BatchJob &inJob, bool inReportProgress, int inInputFd, int inReportFd, int inTextFd,
                            const std::vector<Worker> &inSiblings) {
    // The signal handler stops this process's own workers only (it has none), and the
    // progress bar is this process's parent's to clear.
    for (const Worker &aSibling : inSiblings) UnregisterWorker(aSibling.pid);
    NoteProgressLine(0);
    dup2(inTextFd, STDERR_FILENO);
    close(inTextFd);
    uint64_t aIndex = 0;
    while (ReadAll(inInputFd, &aIndex, sizeof aIndex)) {
        WorkerRecord aLast{WorkerRecord::kProgress, -1, -1};
        std::chrono::steady_clock::time_point aLastTime;
        JobReport aReport;
        aReport.progress = [&](int32_t inDone, int32_t inTotal) {
            if (!inReportProgress || (aLast.done == inDone && aLast.total == inTotal)) return;
            const auto aNow = std::chrono::steady_clock::now();
            if (inDone < inTotal && aNow - aLastTime < kProgressInterval) return;
            aLastTime = aNow;
            aLast.done = inDone;
            aLast.total = inTotal;
            WriteAll(inReportFd, &aLast, sizeof aLast);
        };
        aReport.aside = [] {};
        const int aCode = inJob(static_cast<size_t>(aIndex), aReport);
        std::fflush(stdout);
        std::fflush(stderr);
        // Everything the input printed is in the text pipe before its end is reported.
        const WorkerRecord aFinished{WorkerRecord::kFinished, aCode, 0};
        if (!WriteAll(inReportFd, &aFinished, sizeof aFinished)) break;
    }
    _exit(0);
}

// Ignores SIGPIPE in this process while it lives, and tells a new worker what to restore.
class PipeSignal {
public:
    PipeSignal() : mBefore(signal(SIGPIPE, SIG_IGN)) {}
    ~PipeSignal() { signal(SIGPIPE, mBefore); }
    void restoreInWorker() const { signal(SIGPIPE, mBefore); }

private:
    sighandler_t mBefore;
};

bool StartWorker(const BatchJob &inJob, bool inReportProgress, const PipeSignal &inPipeSignal,
                 std::vector<Worker> &ioWorkers) {
    int aInput[2], aReport[2], aText[2];
    if (pipe2(aInput, O_CLOEXEC) != 0) return false;
    if (pipe2(aReport, O_CLOEXEC) != 0) {
        close(aInput[0]);
        close(aInput[1]);
        return false;
    }
    if (pipe2(aText, O_CLOEXEC) != 0) {
        for (int aFd : {aInput[0], aInput[1], aReport[0], aReport[1]}) close(aFd);
        return false;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t aPid = fork();
    if (aPid == 0) {
        inPipeSignal.restoreInWorker();
        close(aInput[1]);
        close(aReport[0]);
        close(aText[0]);
        // The other workers' input pipes stay with this process only: a worker must see
        // the end of its own pipe when this process closes it.
        for (const Worker &aSibling : ioWorkers) close(aSibling.inputFd);
        RunWorker(inJob, inReportProgress, aInput[0], aReport[1], aText[1], ioWorkers);
    }
    close(aInput[0]);
    close(aReport[1]);
    close(aText[1]);
    if (aPid < 0) {
        for (int aFd : {aInput[1], aReport[0], aText[0]}) close(aFd);
        return false;
    }
    // This process reads what is there and goes on: the read ends do not block.
    fcntl(aReport[0], F_SETFL, O_NONBLOCK);
    fcntl(aText[0], F_SETFL, O_NONBLOCK);
    RegisterWorker(aPid);
    Worker aWorker;
    aWorker.pid = aPid;
    aWorker.inputFd = aInput[1];
    aWorker.reportFd = aReport[0];
    aWorker.textFd = aText[0];
    ioWorkers.push_back(aWorker);
    return true;
}

// Appends what is in the pipe to ioText; false once the pipe has ended.
bool DrainText(int inFd, std::string *ioText) {
    char aBytes[4096];
    for (;;) {
        ssize_t aGot = read(inFd, aBytes, sizeof aBytes);
        if (aGot > 0) {
            if (ioText != nullptr) ioText->append(aBytes, static_cast<size_t>(aGot));
            continue;
        }
        if (aGot < 0 && errno == EINTR) continue;
        return aGot < 0 && errno == EAGAIN;
    }
}

// Waits for a worker whose report pipe has ended; the exit code for the input it was
// working on, if any (a worker ended by a signal fails that input only).
int WaitForWorker(const Worker &inWorker, const std::string &inInput, std::string &ioText) {
    int aStatus = 0;
    while (waitpid(inWorker.pid, &aStatus, 0) < 0 && errno == EINTR) {}
    UnregisterWorker(inWorker.pid);
    if (WIFEXITED(aStatus) && WEXITSTATUS(aStatus) != 0) return WEXITSTATUS(aStatus);
    if (WIFEXITED(aStatus)) {
        ioText += "ekv: " + ShownName(inInput) + ": the worker process ended before the file was done\n";
        return kExitModule;
    }
    const int aSignal = WIFSIGNALED(aStatus) ? WTERMSIG(aStatus) : 0;
    ioText += "ekv: " + ShownName(inInput) + ": the worker process ended by signal " + std::to_string(aSignal) + " (" +
              strsignal(aSignal) + ")\n";
    return kExitModule;
}

int RunInWorkers(const std::vector<std::string> &inInputs, size_t inJobs, const BatchJob &inJob) {
    InstallSignalCleanup();
    // A worker that is gone when it is handed an input must not end this process; the
    // workers themselves keep the disposition this process had, as a job run here would.
    const PipeSignal aPipeSignal;
    const size_t aCount = inInputs.size();
    const size_t aWorkerCount = std::min(inJobs, aCount);
    BatchProgress aProgress(aCount);
    std::vector<int> aCodes(aCount, 0);
    std::vector<std::string> aTexts(aCount);
    std::vector<bool> aFinished(aCount, false);
    std::vector<Worker> aWorkers;
    size_t aNext = 0, aPrinted = 0;
    bool aCanStart = true;
    auto aFinish = [&](size_t inIndex, int inCode) {
        aCodes[inIndex] = inCode;
        aFinished[inIndex] = true;
        aProgress.done(inIndex);
    };
    // Messages in the order of the inputs, as one job after another prints them.
    auto aPrintFinished = [&] {
        while (aPrinted < aCount && aFinished[aPrinted]) {
            if (!aTexts[aPrinted].empty()) {
                aProgress.aside();
                std::fputs(aTexts[aPrinted].c_str(), stderr);
            }
            ++aPrinted;
        }
    };
    while (aPrinted < aCount) {
        // Idle workers take the next inputs; new workers start while there are inputs
        // left and fewer workers than jobs. Workers with nothing left to do are let go.
        for (Worker &aWorker : aWorkers) {
            if (aWorker.busy || aWorker.inputFd < 0) continue;
            if (aNext == aCount) {
                CloseFd(aWorker.inputFd);
                continue;
            }
            const uint64_t aIndex = aNext;
            if (!WriteAll(aWorker.inputFd, &aIndex, sizeof aIndex)) {
                CloseFd(aWorker.inputFd);
                continue;
            }
            aWorker.busy = true;
            aWorker.index = aNext++;
        }
        if (aNext < aCount && aWorkers.size() < aWorkerCount && aCanStart) {
            if (StartWorker(inJob, aProgress.shown(), aPipeSignal, aWorkers)) continue;
            // Processes or descriptors have run out: the running workers go on without
            // more company, and no new ones start (this process may run imports now).
            aCanStart = false;
        }
        if (aNext < aCount && aWorkers.empty()) {
            // No worker at all: this process converts the next input itself, its
            // messages printed directly after those of the inputs before it.
            const size_t aIndex = aNext++;
            aPrintFinished();
            JobReport aReport;
            aReport.progress = [&](int32_t inDone, int32_t inTotal) { aProgress.set(aIndex, inDone, inTotal); };
            aReport.aside = [&] { aProgress.aside(); };
            aProgress.aside();
            aFinish(aIndex, inJob(aIndex, aReport));
            aPrintFinished();
            continue;
        }
        std::vector<pollfd> aPolls;
        for (const Worker &aWorker : aWorkers) {
            aPolls.push_back({aWorker.reportFd, POLLIN, 0});
            aPolls.push_back({aWorker.textFd, POLLIN, 0});
        }
        if (!aPolls.empty() && poll(aPolls.data(), aPolls.size(), -1) < 0 && errno != EINTR) break;
        for (size_t aSlot = aWorkers.size(); aSlot-- > 0;) {
            Worker &aWorker = aWorkers[aSlot];
            if (aWorker.textFd >= 0 && !DrainText(aWorker.textFd, aWorker.busy ? &aTexts[aWorker.index] : nullptr))
                CloseFd(aWorker.textFd);
            WorkerRecord aRecords[64];
            ssize_t aGot;
            while ((aGot = read(aWorker.reportFd, aRecords, sizeof aRecords)) < 0 && errno == EINTR) {}
            for (ssize_t i = 0; aGot > 0 && i < aGot / static_cast<ssize_t>(sizeof(WorkerRecord)); ++i) {
                const WorkerRecord &aRecord = aRecords[i];
                if (!aWorker.busy) continue;
                if (aRecord.kind == WorkerRecord::kProgress) {
                    aProgress.set(aWorker.index, aRecord.done, aRecord.total);
                } else {
                    // The input's text was written before its end was reported.
                    if (aWorker.textFd >= 0) DrainText(aWorker.textFd, &aTexts[aWorker.index]);
                    aWorker.busy = false;
                    aFinish(aWorker.index, aRecord.done);
                }
            }
            if (aGot != 0) continue;
            // The worker has ended: after its last input, or during one.
            if (aWorker.textFd >= 0) DrainText(aWorker.textFd, aWorker.busy ? &aTexts[aWorker.index] : nullptr);
            std::string aLost;
            const int aCode = WaitForWorker(aWorker, aWorker.busy ? inInputs[aWorker.index] : "", aLost);
            if (aWorker.busy) {
                aTexts[aWorker.index] += aLost;
                aFinish(aWorker.index, aCode);
            }
            CloseFd(aWorker.inputFd);
            CloseFd(aWorker.reportFd);
            CloseFd(aWorker.textFd);
            aWorkers.erase(aWorkers.begin() + static_cast<long>(aSlot));
        }
        aPrintFinished();
    }
    // Workers still running have been let go; they end without more work.
    for (Worker &aWorker : aWorkers) {
        CloseFd(aWorker.inputFd);
        std::string aIgnored;
        WaitForWorker(aWorker, "", aIgnored);
        CloseFd(aWorker.reportFd);
        CloseFd(aWorker.textFd);
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
