// Signal handlers that remove temporary outputs and stop worker processes.
#include "output/SignalCleanup.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <initializer_list>

namespace ekv {

namespace {

constexpr int kTemporarySlots = 64;
constexpr int kPathBytes = 4096;
constexpr int kWorkerSlots = 256;

// A slot is written while it is not yet marked in use, so the handler never reads a
// half-written path.
char sPaths[kTemporarySlots][kPathBytes];
std::atomic<bool> sPathInUse[kTemporarySlots];
std::atomic<pid_t> sWorkers[kWorkerSlots];
std::atomic<bool> sInstalled{false};
std::atomic<int> sProgressColumns{0};

void ClearProgressLine() {
    static const char kBlanks[] = "                                                                ";
    int aLeft = sProgressColumns.exchange(0);
    if (aLeft <= 0) return;
    ssize_t aIgnored = write(STDERR_FILENO, "\r", 1);
    for (; aLeft > 0; aLeft -= static_cast<int>(sizeof kBlanks - 1)) {
        const size_t aCount =
            aLeft < static_cast<int>(sizeof kBlanks - 1) ? static_cast<size_t>(aLeft) : sizeof kBlanks - 1;
        aIgnored = write(STDERR_FILENO, kBlanks, aCount);
    }
    aIgnored = write(STDERR_FILENO, "\r", 1);
    (void)aIgnored;
}

void OnSignal(int inSignal) {
    for (auto &aWorker : sWorkers) {
        pid_t aPid = aWorker.load();
        if (aPid > 0) kill(aPid, inSignal);
    }
    for (auto &aWorker : sWorkers) {
        pid_t aPid = aWorker.load();
        if (aPid > 0)
            while (waitpid(aPid, nullptr, 0) < 0 && errno == EINTR) {}
    }
    for (int aSlot = 0; aSlot < kTemporarySlots; ++aSlot)
        if (sPathInUse[aSlot].load()) unlink(sPaths[aSlot]);
    ClearProgressLine();
    _exit(128 + inSignal);
}

}  // namespace

void InstallSignalCleanup() {
    if (sInstalled.exchange(true)) return;
    struct sigaction aAction;
    std::memset(&aAction, 0, sizeof aAction);
    aAction.sa_handler = OnSignal;
    sigemptyset(&aAction.sa_mask);
    // While one handler runs, the other signals wait: cleanup runs once.
    sigaddset(&aAction.sa_mask, SIGINT);
    sigaddset(&aAction.sa_mask, SIGTERM);
    sigaddset(&aAction.sa_mask, SIGHUP);
    for (int aSignal : {SIGINT, SIGTERM, SIGHUP}) sigaction(aSignal, &aAction, nullptr);
    // Past a file size limit, a write then fails with EFBIG, reported like a full disk,
    // instead of the process dying of SIGXFSZ with its temporary file left behind.
    signal(SIGXFSZ, SIG_IGN);
}

int RegisterTemporary(const char *inPath) {
    if (std::strlen(inPath) >= static_cast<size_t>(kPathBytes)) return -1;
    for (int aSlot = 0; aSlot < kTemporarySlots; ++aSlot) {
        if (sPathInUse[aSlot].load()) continue;
        std::strcpy(sPaths[aSlot], inPath);
        bool aFree = false;
        if (sPathInUse[aSlot].compare_exchange_strong(aFree, true)) return aSlot;
    }
    return -1;
}

void UnregisterTemporary(int inSlot) {
    if (inSlot >= 0 && inSlot < kTemporarySlots) sPathInUse[inSlot].store(false);
}

void NoteProgressLine(int inColumns) { sProgressColumns.store(inColumns); }

void RegisterWorker(pid_t inPid) {
    for (auto &aWorker : sWorkers) {
        pid_t aFree = 0;
        if (aWorker.compare_exchange_strong(aFree, inPid)) return;
    }
}

void UnregisterWorker(pid_t inPid) {
    for (auto &aWorker : sWorkers) {
        pid_t aExpected = inPid;
        if (aWorker.compare_exchange_strong(aExpected, 0)) return;
    }
}

}  // namespace ekv
