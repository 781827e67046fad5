// Output paths examined before anything is written: links followed, permissions checked.
#include "output/OutputTarget.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
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

// Follows symbolic links by their text, so that a replacement lands where the links
// point, in that file's own directory. The result may not exist. False with errno set.
bool FollowLinks(const std::string &inPath, std::string &outPath) {
    std::string aPath = inPath;
    std::vector<char> aText(PATH_MAX + 1);
    for (int aHop = 0; aHop <= kMaxLinks; ++aHop) {
        struct stat aStat;
        if (lstat(aPath.c_str(), &aStat) != 0) {
            if (errno != ENOENT) return false;
            outPath = aPath;
            return true;
        }
        if (!S_ISLNK(aStat.st_mode)) {
            outPath = aPath;
            return true;
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
    outError = std::strerror(inErrno);
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
    if (!FollowLinks(inPath, aResolved)) return Refuse(errno, outError);
    struct stat aResolvedStat;
    // Not regular, or a link only the kernel resolves (/dev/stdout to a redirected
    // file): written through the path as it stands.
    if (aExists &&
        (!S_ISREG(aStat.st_mode) || stat(aResolved.c_str(), &aResolvedStat) != 0 || !SameInode(aStat, aResolvedStat))) {
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
