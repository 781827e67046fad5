// Short names for long paths through /proc/self/fd.
#include "import/ShortPath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ekv {

ShortPath::~ShortPath() {
    if (mFd >= 0) close(mFd);
}

bool ShortPath::open(const std::string &inPath, std::string &outReason) {
    if (inPath.size() <= kLimit) {
        mPath = inPath;
        return true;
    }
    mFd = ::open(inPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (mFd < 0) {
        outReason = std::strerror(errno);
        return false;
    }
    std::string aProxy = "/proc/self/fd/" + std::to_string(mFd);
    struct stat aOpened, aNamed;
    // The proxy must lead to the same file (a system without /proc has no such path).
    if (fstat(mFd, &aOpened) != 0 || stat(aProxy.c_str(), &aNamed) != 0 || aOpened.st_dev != aNamed.st_dev ||
        aOpened.st_ino != aNamed.st_ino) {
        outReason = "the path is longer than the module's 259 bytes and cannot be shortened";
        return false;
    }
    mPath = aProxy;
    return true;
}

}  // namespace ekv
