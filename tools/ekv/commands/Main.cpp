// ekv: the command-line host of the Karvex RAW File import module.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "commands/Cli.h"

namespace {

using namespace ekv;

// A standard stream that is closed is held by a path-only descriptor of the root
// directory, so that no file the tool opens takes its number, writes to it still fail
// (EBADF), and /dev/stdout names a directory rather than a file that takes writes.
void HoldClosedStreams() {
    for (int aFd = STDIN_FILENO; aFd <= STDERR_FILENO; ++aFd)
        if (fcntl(aFd, F_GETFD) < 0 && errno == EBADF) {
            int aHeld = open("/", O_PATH | O_DIRECTORY);
            if (aHeld >= 0 && aHeld != aFd) close(aHeld);
        }
}

int RunCommand(std::string inCommand, std::vector<std::string> inArgs) {
    if (inCommand == "-h" || inCommand == "--help" || inCommand == "help") {
        if (inCommand == "help" && !inArgs.empty()) {
            inCommand = inArgs.front();
            inArgs = {"--help"};
        } else {
            std::fputs(kHelpMain, stdout);
            return kExitOk;
        }
    }
    if (inCommand == "--version" || inCommand == "-V") {
        std::printf("ekv %s\n", ToolVersion());
        return kExitOk;
    }
    if (inCommand == "convert") return RunConvert(inArgs);
    if (inCommand == "info") return RunInfo(inArgs);
    if (inCommand == "thumbnail") return RunThumbnail(inArgs);
    if (inCommand == "preview") return RunPreview(inArgs);
    if (inCommand == "about") return RunAbout(inArgs);
    if (inCommand == "dng") return RunDng(inArgs);
    std::fprintf(stderr, "ekv: unknown command '%s' (see 'ekv --help')\n", inCommand.c_str());
    return kExitUsage;
}

// What was printed on standard output must have reached it: a full or closed output
// fails the command with the system's reason, as cat does.
int CheckStandardOutput(int inCode) {
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return inCode;
    const int aCode = FailStandardOutput(errno);
    return inCode != kExitOk ? inCode : aCode;
}

// Whether the process has room to start: with less, even the C++ runtime's reserve for
// reporting an allocation failure may be missing, and the first failure would abort.
bool RoomToStart() {
    void *aProbe = std::malloc(256 * 1024);
    std::free(aProbe);
    return aProbe != nullptr;
}

}  // namespace

int main(int argc, char **argv) {
    HoldClosedStreams();
    if (!RoomToStart()) {
        static const char kMessage[] = "ekv: out of memory\n";
        (void)!write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
        return kExitNoMemory;
    }
    // Texts up to this size reach standard output at the flush that checks them, where a
    // failed write still has its reason; info flushes after each file's report.
    static char sOutputBuffer[64 * 1024];
    std::setvbuf(stdout, sOutputBuffer, _IOFBF, sizeof sOutputBuffer);
    if (argc < 2) {
        std::fputs(kHelpMain, stderr);
        return kExitUsage;
    }
    int aCode;
    try {
        aCode = RunCommand(argv[1], std::vector<std::string>(argv + 2, argv + argc));
    } catch (const std::bad_alloc &) {
        aCode = Fail(kExitNoMemory, argv[1], "out of memory");
    } catch (const std::system_error &aError) {
        // A thread that cannot be started for want of memory or processes.
        aCode = Fail(kExitNoMemory, argv[1], std::string("out of memory: ") + aError.what());
    }
    return CheckStandardOutput(aCode);
}
