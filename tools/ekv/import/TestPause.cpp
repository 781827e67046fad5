// The test pause: a FIFO handshake.
#include "import/TestPause.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace ekv {

void PauseForTest(const std::string &inInput) {
    const char *aFifo = std::getenv("EKV_TEST_PAUSE");
    const char *aOnly = std::getenv("EKV_TEST_PAUSE_INPUT");
    if (aOnly != nullptr && inInput != aOnly) return;
    struct stat aStat;
    if (aFifo == nullptr || stat(aFifo, &aStat) != 0 || !S_ISFIFO(aStat.st_mode)) return;
    int aFd = open(aFifo, O_RDONLY | O_CLOEXEC);
    if (aFd < 0) return;
    char aByte;
    while (read(aFd, &aByte, 1) > 0) {}
    close(aFd);
}

}  // namespace ekv
