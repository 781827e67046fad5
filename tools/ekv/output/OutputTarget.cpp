// Output paths examined before anything is written: links followed, permissions checked.
#include "output/OutputTarget.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

namespace ekv {

namespace {

// Links followed before giving up, as the kernel does.
constexpr int kMaxLinks = 40;

bool StatOf(const std::string &inPath, struct stat &outStat) {
    if (inPath == "-") return fstat(STDOUT_FILENO, &outStat) == 0;
    return stat(inPath.c_str(), &outStat) == 0;
}

// The directory part of a path with its slash ("" for a bare name).
std::string DirectoryPrefix(const std::string &inPath) {
    size_t aSlash = inPath.find_last_of('/');
    return aSlash == std::string::npos ? std::string() : inPath.substr(0, aSlash + 1);
}

// Whether the kernel refuses to follow links planted by others in sticky world-writable
// directories (fs.protected_symlinks). EKV_TEST_PROTECTED_SYMLINKS overrides the setting
// so that the tests can check both answers on any system.
bool SymlinksProtected() {
    const char *aOverride = std::getenv("EKV_TEST_PROTECTED_SYMLINKS");
    if (aOverride != nullptr && aOverride[0] != 0) return std::string(aOverride) != "0";
    std::ifstream aSetting("/proc/sys/fs/protected_symlinks");
    int aValue = 0;
    return aSetting >> aValue && aValue != 0;
}

// The kernel's rule for following a link when links are protected: a link in a sticky,
// world-writable directory is followed only by its owner or when the directory's owner
// owns it too. The tool resolves links itself (its temporary file goes beside the final
// target), so it applies the rule itself, with the effective user as the follower.
bool MayFollow(const std::string &inLink, const struct stat &inLinkStat) {
    std::string aDirectory = DirectoryPrefix(inLink);
    if (aDirectory.empty()) aDirectory = ".";
    struct stat aDirectoryStat;
    if (stat(aDirectory.c_str(), &aDirectoryStat) != 0) return false;
    const bool aShared = (aDirectoryStat.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH);
    if (!aShared || inLinkStat.st_uid == geteuid() || inLinkStat.st_uid == aDirectoryStat.st_uid) return true;
    return !SymlinksProtected();
}

// Follows symbolic links by their text, so that a replacement lands where the links
// point, in that file's own directory. The result may not exist, unless it was reached
// through a link (kDanglingLink then: a dangling link is not written through). A link the
// kernel would not follow fails with EACCES. False with errno set.
constexpr int kDanglingLink = -1;

bool FollowLinks(const std::string &inPath, std::string &outPath) {
    std::string aPath = inPath;
    std::vector<char> aText(PATH_MAX + 1);
    for (int aHop = 0; aHop <= kMaxLinks; ++aHop) {
        struct stat aStat;
        if (lstat(aPath.c_str(), &aStat) != 0) {
            if (errno != ENOENT) return false;
            if (aHop > 0) {
                errno = kDanglingLink;
                return false;
            }
            outPath = aPath;
            return true;
        }
        if (!S_ISLNK(aStat.st_mode)) {
            outPath = aPath;
            return true;
        }
        if (!MayFollow(aPath, aStat)) {
            errno = EACCES;
            return false;
        }
        ssize_t aLength = readlink(aPath.c_str(), aText.data(), PATH_MAX);
        if (aLength < 0) return false;
        std::string aLink(aText.data(), static_cast<size_t>(aLength));
        aPath = aLink[0] == '/' ? aLink : DirectoryPrefix(aPath) + aLink;
    }
    errno = ELOOP;
    return false;
}

bool SameInode(const struct stat &inA, const struct stat &inB) {
    return inA.st_dev == inB.st_dev && inA.st_ino == inB.st_ino;
}

bool Refuse(int inErrno, std::string &outError) {
    outError = inErrno == kDanglingLink ? "not writing through dangling symlink" : std::strerror(inErrno);
    return false;
}

bool MayWrite(const std::string &inPath, int inMode, std::string &outError) {
    if (faccessat(AT_FDCWD, inPath.c_str(), inMode, AT_EACCESS) == 0) return true;
    return Refuse(errno, outError);
}

}  // namespace

bool SameFile(const std::string &inA, const std::string &inB) {
    struct stat aA, aB;
    return StatOf(inA, aA) && StatOf(inB, aB) && SameInode(aA, aB);
}

bool InspectTarget(const std::string &inPath, OutputTarget &outTarget, std::string &outError) {
    outTarget = OutputTarget();
    struct stat aStat;
    if (inPath == "-") {
        if (fstat(STDOUT_FILENO, &aStat) != 0) return Refuse(errno, outError);
        outTarget.kind = TargetKind::Stdout;
        return true;
    }
    if (inPath.empty()) {
        outError = "no file name";
        return false;
    }
    bool aExists = stat(inPath.c_str(), &aStat) == 0;
    if (!aExists && errno != ENOENT) return Refuse(errno, outError);
    if (aExists && S_ISDIR(aStat.st_mode)) {
        outError = "is a directory";
        return false;
    }
    std::string aResolved;
    const bool aFollowed = FollowLinks(inPath, aResolved);
    // A link whose text names nothing, though the kernel reaches a file through it
    // (/dev/stdout to a pipe), is one only the kernel resolves.
    if (!aFollowed && !(aExists && errno == kDanglingLink)) return Refuse(errno, outError);
    struct stat aResolvedStat;
    // Not regular, or a link only the kernel resolves (/dev/stdout to a redirected
    // file): written through the path as it stands.
    if (aExists && (!aFollowed || !S_ISREG(aStat.st_mode) || stat(aResolved.c_str(), &aResolvedStat) != 0 ||
                    !SameInode(aStat, aResolvedStat))) {
        outTarget.kind = TargetKind::Direct;
        outTarget.path = inPath;
        return MayWrite(inPath, W_OK, outError);
    }
    if (aExists) {
        if (!MayWrite(aResolved, W_OK, outError)) return false;
        outTarget.kind = TargetKind::Replace;
        outTarget.mode = aStat.st_mode;
        outTarget.owner = aStat.st_uid;
        outTarget.group = aStat.st_gid;
    } else if (aResolved.back() == '/') {
        outError = "no file name";
        return false;
    }
    outTarget.path = aResolved;
    std::string aDirectory = DirectoryPrefix(aResolved);
    if (aDirectory.empty()) aDirectory = ".";
    struct stat aDirectoryStat;
    if (stat(aDirectory.c_str(), &aDirectoryStat) != 0) return Refuse(errno, outError);
    if (!S_ISDIR(aDirectoryStat.st_mode)) return Refuse(ENOTDIR, outError);
    return MayWrite(aDirectory, W_OK | X_OK, outError);
}

bool WouldClobber(const std::string &inPath) {
    if (inPath == "-") return false;
    struct stat aStat, aResolvedStat;
    std::string aResolved;
    return stat(inPath.c_str(), &aStat) == 0 && S_ISREG(aStat.st_mode) && FollowLinks(inPath, aResolved) &&
           stat(aResolved.c_str(), &aResolvedStat) == 0 && SameInode(aStat, aResolvedStat);
}

}  // namespace ekv
