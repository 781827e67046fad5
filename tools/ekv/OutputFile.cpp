// Temporary files beside the target, flushed and renamed into place.
#include "OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ekv {

bool SameFile(const std::string &inA, const std::string &inB) {
    struct stat aA, aB;
    if (stat(inA.c_str(), &aA) != 0 || stat(inB.c_str(), &aB) != 0) return false;
    return aA.st_dev == aB.st_dev && aA.st_ino == aB.st_ino;
}

TempOutput::~TempOutput() {
    if (mStream != nullptr) std::fclose(mStream);
    else if (mFd >= 0) close(mFd);
    if (!mCommitted && !mTemp.empty()) unlink(mTemp.c_str());
}

bool TempOutput::open(std::string &outError) {
    size_t aSlash = mTarget.find_last_of('/');
    std::string aDirectory = aSlash == std::string::npos ? std::string() : mTarget.substr(0, aSlash + 1);
    std::string aLeaf = aSlash == std::string::npos ? mTarget : mTarget.substr(aSlash + 1);
    if (aLeaf.empty()) {
        outError = "no file name";
        return false;
    }
    struct stat aTarget;
    if (stat(mTarget.c_str(), &aTarget) == 0 && S_ISDIR(aTarget.st_mode)) {
        outError = "is a directory";
        return false;
    }
    std::string aPattern = aDirectory + "." + aLeaf + ".tmp-XXXXXX";
    std::vector<char> aName(aPattern.begin(), aPattern.end());
    aName.push_back(0);
    mFd = mkstemp(aName.data());
    if (mFd < 0) {
        outError = std::strerror(errno);
        return false;
    }
    mTemp = aName.data();
    mode_t aMask = umask(0);
    umask(aMask);
    fchmod(mFd, 0666 & ~aMask);
    return true;
}

FILE *TempOutput::stream() {
    if (mStream == nullptr && mFd >= 0) {
        mStream = fdopen(mFd, "wb");
        if (mStream != nullptr) mFd = -1;
    }
    return mStream;
}

bool TempOutput::commit(std::string &outError) {
    bool aOk = true;
    if (mStream != nullptr) {
        aOk = std::fflush(mStream) == 0 && fsync(fileno(mStream)) == 0;
        if (std::fclose(mStream) != 0) aOk = false;
        mStream = nullptr;
    } else if (mFd >= 0) {
        aOk = fsync(mFd) == 0;
        if (close(mFd) != 0) aOk = false;
        mFd = -1;
    } else {
        // The writer closed the file itself: flush it through a new descriptor.
        int aFd = ::open(mTemp.c_str(), O_RDONLY);
        aOk = aFd >= 0 && fsync(aFd) == 0;
        if (aFd >= 0) close(aFd);
    }
    if (!aOk) {
        outError = std::strerror(errno != 0 ? errno : EIO);
        return false;
    }
    if (rename(mTemp.c_str(), mTarget.c_str()) != 0) {
        outError = std::strerror(errno);
        return false;
    }
    mCommitted = true;
    return true;
}

bool WriteBytes(const std::string &inPath, const std::vector<unsigned char> &inBytes, std::string &outError) {
    TempOutput aOutput(inPath);
    if (!aOutput.open(outError)) return false;
    size_t aDone = 0;
    while (aDone < inBytes.size()) {
        ssize_t aWritten = write(aOutput.fd(), inBytes.data() + aDone, inBytes.size() - aDone);
        if (aWritten < 0 && errno == EINTR) continue;
        if (aWritten <= 0) {
            outError = std::strerror(aWritten < 0 ? errno : EIO);
            return false;
        }
        aDone += static_cast<size_t>(aWritten);
    }
    return aOutput.commit(outError);
}

}  // namespace ekv
