// Temporary outputs: renamed onto regular files, copied to streams and devices.
#include "output/OutputFile.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "import/TestPause.h"
#include "output/SignalCleanup.h"

namespace ekv {

namespace {

SyncPolicy sSyncPolicy = SyncPolicy::Replaced;

// Flushes a descriptor; targets that cannot be flushed (a FIFO, a socket, a terminal)
// count as flushed.
bool FlushDescriptor(int inFd) {
    if (fsync(inFd) == 0) return true;
    return errno == EINVAL || errno == EROFS || errno == ENOTSUP;
}

// Flushes the directory that holds inPath, so that a rename into it is on the disk.
bool FlushDirectoryOf(const std::string &inPath) {
    size_t aSlash = inPath.find_last_of('/');
    std::string aDirectory = aSlash == std::string::npos ? "." : aSlash == 0 ? "/" : inPath.substr(0, aSlash);
    int aFd = ::open(aDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (aFd < 0) return false;
    bool aOk = FlushDescriptor(aFd);
    int aErrno = errno;
    close(aFd);
    errno = aErrno;
    return aOk;
}

bool Failed(std::string &outError, int inErrno) {
    outError = std::strerror(inErrno != 0 ? inErrno : EIO);
    return false;
}

// A Unix-domain socket file is written by connecting to it.
int ConnectSocket(const std::string &inPath) {
    sockaddr_un aAddress{};
    aAddress.sun_family = AF_UNIX;
    if (inPath.size() >= sizeof aAddress.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(aAddress.sun_path, inPath.c_str(), inPath.size() + 1);
    int aFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (aFd < 0) return -1;
    if (connect(aFd, reinterpret_cast<sockaddr *>(&aAddress), sizeof aAddress) != 0) {
        int aErrno = errno;
        close(aFd);
        errno = aErrno;
        return -1;
    }
    return aFd;
}

// Opens an existing file that is not replaced: a device, a FIFO (waiting for its
// reader, as a shell redirection does), a socket, or a regular file reached through a
// link only the kernel resolves (emptied first, as a redirection does).
int OpenDirect(const std::string &inPath) {
    struct stat aStat;
    if (stat(inPath.c_str(), &aStat) != 0) return -1;
    if (S_ISSOCK(aStat.st_mode)) return ConnectSocket(inPath);
    int aFlags = O_WRONLY | O_NOCTTY | O_CLOEXEC | (S_ISREG(aStat.st_mode) ? O_TRUNC : 0);
    int aFd;
    do aFd = ::open(inPath.c_str(), aFlags);
    while (aFd < 0 && errno == EINTR);
    return aFd;
}

// Creates a file from a mkstemp pattern and registers it with the signal cleanup, the
// signals held off in between so that no interruption leaves it unregistered.
int CreateRegistered(const std::string &inPattern, std::string &outName, int &outSlot) {
    std::vector<char> aName(inPattern.begin(), inPattern.end());
    aName.push_back(0);
    sigset_t aSignals, aPrevious;
    sigemptyset(&aSignals);
    for (int aSignal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&aSignals, aSignal);
    pthread_sigmask(SIG_BLOCK, &aSignals, &aPrevious);
    int aFd = mkostemp(aName.data(), O_CLOEXEC);
    int aErrno = errno;
    if (aFd >= 0) outSlot = RegisterTemporary(aName.data());
    pthread_sigmask(SIG_SETMASK, &aPrevious, nullptr);
    errno = aErrno;
    outName = aName.data();
    return aFd;
}

// The temporary file's name beside the target: ".LEAF.tmp-XXXXXX", the leaf shortened
// so that the name stays within the longest one a directory holds.
std::string TemporaryLeaf(const std::string &inDirectory, const std::string &inLeaf) {
    static const std::string kSuffix = ".tmp-XXXXXX";
    long aLongest = pathconf(inDirectory.empty() ? "." : inDirectory.c_str(), _PC_NAME_MAX);
    if (aLongest <= 0 || aLongest > NAME_MAX) aLongest = NAME_MAX;
    const size_t aRoom = static_cast<size_t>(aLongest) - 1 - kSuffix.size();
    return "." + inLeaf.substr(0, aRoom) + kSuffix;
}

// Renames inFrom onto inTo unless inTo exists (EEXIST then). Where the file system has
// no such rename, a hard link that fails on an existing name does the same.
bool RenameNoReplace(const char *inFrom, const char *inTo) {
    if (renameat2(AT_FDCWD, inFrom, AT_FDCWD, inTo, RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
    if (link(inFrom, inTo) != 0) return false;
    unlink(inFrom);
    return true;
}

}  // namespace

void SetSyncPolicy(SyncPolicy inPolicy) { sSyncPolicy = inPolicy; }

TempOutput::~TempOutput() {
    if (!mCommitted) discard();
    if (mOwnsDirect && mDirect >= 0) close(mDirect);
}

void TempOutput::discard() {
    if (mStream != nullptr)
        std::fclose(mStream);
    else if (mFd >= 0)
        close(mFd);
    mStream = nullptr;
    mFd = -1;
    if (mKeep >= 0) close(mKeep);
    mKeep = -1;
    if (!mTemp.empty()) unlink(mTemp.c_str());
    UnregisterTemporary(mSlot);
    mSlot = -1;
    mTemp.clear();
}

bool TempOutput::open(std::string &outError) {
    OutputTarget aTarget;
    if (!InspectTarget(mTarget, aTarget, outError)) return false;
    switch (aTarget.kind) {
        case TargetKind::Stdout: mDirect = STDOUT_FILENO; return openUnnamed(outError);
        case TargetKind::Direct:
            mDirect = OpenDirect(aTarget.path);
            if (mDirect < 0) return Failed(outError, errno);
            mOwnsDirect = true;
            return openUnnamed(outError);
        case TargetKind::Replace:
        case TargetKind::Create: break;
    }
    return openNamed(aTarget, outError);
}

bool TempOutput::openNamed(const OutputTarget &inTarget, std::string &outError) {
    mFinal = inTarget.path;
    size_t aSlash = mFinal.find_last_of('/');
    std::string aDirectory = aSlash == std::string::npos ? std::string() : mFinal.substr(0, aSlash + 1);
    std::string aLeaf = aSlash == std::string::npos ? mFinal : mFinal.substr(aSlash + 1);
    std::string aName;
    mFd = CreateRegistered(aDirectory + TemporaryLeaf(aDirectory, aLeaf), aName, mSlot);
    if (mFd < 0) return Failed(outError, errno);
    mTemp = aName;
    mReplaces = inTarget.kind == TargetKind::Replace;
    if (inTarget.kind == TargetKind::Replace) {
        // The replacement keeps the file's permission bits and, where the user may
        // give them (root), its owner, as writing into the file would.
        if (geteuid() == 0 && fchown(mFd, inTarget.owner, inTarget.group) != 0) {
            // Best effort: a file system without owners keeps the new file's.
        }
        fchmod(mFd, inTarget.mode & 0777);
    } else {
        mode_t aMask = umask(0);
        umask(aMask);
        fchmod(mFd, 0666 & ~aMask);
    }
    return keepDescriptor(outError);
}

// An unnamed file in $TMPDIR (else /tmp) that vanishes when closed, whatever happens.
bool TempOutput::openUnnamed(std::string &outError) {
    const char *aVariable = std::getenv("TMPDIR");
    std::string aDirectory = aVariable != nullptr && aVariable[0] != 0 ? aVariable : "/tmp";
    mFd = ::open(aDirectory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (mFd < 0 && errno != ENOENT && errno != EACCES) {
        // A file system without O_TMPFILE: a named file, unlinked at once.
        std::string aName;
        int aSlot = -1;
        mFd = CreateRegistered(aDirectory + "/.ekv-XXXXXX", aName, aSlot);
        if (mFd >= 0) {
            unlink(aName.c_str());
            UnregisterTemporary(aSlot);
        }
    }
    if (mFd < 0) {
        outError = "cannot create a temporary file in " + aDirectory + ": " + std::strerror(errno);
        return false;
    }
    return keepDescriptor(outError);
}

// A descriptor of our own, so that the file stays readable after the writer closes its.
bool TempOutput::keepDescriptor(std::string &outError) {
    mKeep = fcntl(mFd, F_DUPFD_CLOEXEC, 0);
    if (mKeep >= 0) return true;
    int aErrno = errno;
    discard();
    return Failed(outError, aErrno);
}

FILE *TempOutput::stream() {
    if (mStream == nullptr && mFd >= 0) {
        mStream = fdopen(mFd, "wb");
        if (mStream != nullptr) mFd = -1;
    }
    return mStream;
}

bool TempOutput::closeWriter() {
    bool aOk = true;
    if (mStream != nullptr) {
        aOk = std::fflush(mStream) == 0;
        int aErrno = errno;
        if (std::fclose(mStream) != 0)
            aOk = false;
        else if (!aOk)
            errno = aErrno;
        mStream = nullptr;
    } else if (mFd >= 0) {
        aOk = close(mFd) == 0;
        mFd = -1;
    }
    return aOk;
}

// Copies the finished file from its start to the stream or device.
bool TempOutput::copyOut(std::string &outError) {
    std::vector<unsigned char> aBuffer(1 << 20);
    off_t aOffset = 0;
    for (;;) {
        ssize_t aRead = pread(mKeep, aBuffer.data(), aBuffer.size(), aOffset);
        if (aRead < 0 && errno == EINTR) continue;
        if (aRead < 0) return Failed(outError, errno);
        if (aRead == 0) break;
        if (!WriteAll(mDirect, aBuffer.data(), static_cast<size_t>(aRead))) return Failed(outError, errno);
        aOffset += aRead;
    }
    if (sSyncPolicy == SyncPolicy::Always && !FlushDescriptor(mDirect)) return Failed(outError, errno);
    if (mOwnsDirect) {
        int aFd = mDirect;
        mDirect = -1;
        if (close(aFd) != 0 && errno != EINTR) return Failed(outError, errno);
    }
    return true;
}

bool TempOutput::commit(std::string &outError) {
    outError.clear();
    errno = 0;
    bool aOk = closeWriter();
    if (aOk && mKeep < 0) errno = EBADF;  // never opened
    if (!aOk || mKeep < 0) {
        Failed(outError, errno);
        discard();
        return false;
    }
    if (mDirect >= 0) {
        aOk = copyOut(outError);
        discard();
        mCommitted = aOk;
        return aOk;
    }
    const bool aFlush = sSyncPolicy == SyncPolicy::Always || (sSyncPolicy == SyncPolicy::Replaced && mReplaces);
    if ((aFlush && fsync(mKeep) != 0) || !renameOnto(outError)) {
        if (outError.empty()) Failed(outError, errno);
        discard();
        return false;
    }
    mTemp.clear();  // renamed: nothing left to remove
    discard();
    mCommitted = true;
    if (sSyncPolicy == SyncPolicy::Always && !FlushDirectoryOf(mFinal))
        return Failed(outError, errno);  // in place, but perhaps not yet on the disk
    return true;
}

bool TempOutput::renameOnto(std::string &outError) {
    // A test's hook: the final rename waits for a FIFO, so that a test can act there.
    WaitAtTestFifo("EKV_TEST_PAUSE_BEFORE_RENAME");
    if (!mNoClobber) return rename(mTemp.c_str(), mFinal.c_str()) == 0;
    if (RenameNoReplace(mTemp.c_str(), mFinal.c_str())) return true;
    if (errno == EEXIST) {
        mKeptExisting = true;
        outError = "the file appeared meanwhile; it is kept (--no-clobber)";
    }
    return false;
}

bool WriteAll(int inFd, const void *inBytes, size_t inCount) {
    const auto *aBytes = static_cast<const unsigned char *>(inBytes);
    size_t aDone = 0;
    while (aDone < inCount) {
        ssize_t aWritten = write(inFd, aBytes + aDone, inCount - aDone);
        if (aWritten < 0 && errno == EINTR) continue;
        if (aWritten <= 0) {
            if (aWritten == 0) errno = EIO;
            return false;
        }
        aDone += static_cast<size_t>(aWritten);
    }
    return true;
}

bool WriteBytes(const std::string &inPath, const std::vector<unsigned char> &inBytes, std::string &outError,
                bool inNoClobber, bool *outKept) {
    TempOutput aOutput(inPath, inNoClobber);
    if (!aOutput.open(outError)) return false;
    if (!WriteAll(aOutput.fd(), inBytes.data(), inBytes.size())) return Failed(outError, errno);
    const bool aCommitted = aOutput.commit(outError);
    if (outKept != nullptr) *outKept = aOutput.keptExisting();
    return aCommitted;
}

}  // namespace ekv
