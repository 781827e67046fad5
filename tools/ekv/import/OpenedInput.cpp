// An input read as one consistent file through a descriptor held open.
#include "import/OpenedInput.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ekv {

namespace {

bool SameTime(const struct timespec &inA, const struct timespec &inB) {
    return inA.tv_sec == inB.tv_sec && inA.tv_nsec == inB.tv_nsec;
}

const char kChanged[] = "the file changed while it was being read";

}  // namespace

OpenedInput::~OpenedInput() {
    if (mFd >= 0) close(mFd);
}

bool OpenedInput::open(const std::string &inPath, std::string &outReason) {
    mName = inPath;
    // Non-blocking: a FIFO put in the file's place since it was checked must not hang.
    mFd = ::open(inPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (mFd < 0) {
        outReason = std::strerror(errno);
        return false;
    }
    if (fstat(mFd, &mOpened) != 0) {
        outReason = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(mOpened.st_mode)) {
        outReason = "not a regular file";
        return false;
    }
    mProxy = "/proc/self/fd/" + std::to_string(mFd);
    struct stat aNamed;
    // The proxy must lead to the same file (a system without /proc has no such path).
    if (stat(mProxy.c_str(), &aNamed) != 0 || aNamed.st_dev != mOpened.st_dev || aNamed.st_ino != mOpened.st_ino) {
        outReason = "the opened file cannot be reached through /proc/self/fd";
        return false;
    }
    return true;
}

std::string OpenedInput::changed() const {
    struct stat aNamed;
    if (stat(mName.c_str(), &aNamed) != 0) return kChanged + std::string(" (it was deleted)");
    if (aNamed.st_dev != mOpened.st_dev || aNamed.st_ino != mOpened.st_ino)
        return kChanged + std::string(" (it was replaced)");
    struct stat aNow;
    if (fstat(mFd, &aNow) != 0) return kChanged + std::string(": ") + std::strerror(errno);
    if (aNow.st_size < mOpened.st_size) return kChanged + std::string(" (it became shorter)");
    if (aNow.st_size != mOpened.st_size || !SameTime(aNow.st_mtim, mOpened.st_mtim) ||
        !SameTime(aNow.st_ctim, mOpened.st_ctim))
        return kChanged + std::string(" (it was written, or its attributes changed)");
    return {};
}

}  // namespace ekv
