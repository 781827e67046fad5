// The test pauses: a FIFO handshake.
#include "import/TestPause.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace ekv {

void WaitAtTestFifo(const char *inVariable) {
    const char *aFifo = std::getenv(inVariable);
    struct stat aStat;
    if (aFifo == nullptr || aFifo[0] == 0 || stat(aFifo, &aStat) != 0 || !S_ISFIFO(aStat.st_mode)) return;
    int aFd = open(aFifo, O_RDONLY | O_CLOEXEC);
    if (aFd < 0) return;
    char aByte;
    for (;;) {
        ssize_t aGot = read(aFd, &aByte, 1);
        if (aGot > 0 || (aGot < 0 && errno == EINTR)) continue;
        break;
    }
    close(aFd);
}

void PauseForTest(const std::string &inInput) {
    const char *aOnly = std::getenv("EKV_TEST_PAUSE_INPUT");
    if (aOnly != nullptr && inInput != aOnly) return;
    WaitAtTestFifo("EKV_TEST_PAUSE");
}

}  // namespace ekv
