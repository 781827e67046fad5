// A path of at most 259 bytes for a file, as the module's file dialog takes: the path
// itself when it is short enough, else /proc/self/fd/N of a descriptor held open for
// as long as this object lives, so that it names the very file that was opened.
#pragma once

#include <string>

namespace ekv {

class ShortPath {
public:
    static constexpr size_t kLimit = 259;

    ShortPath() = default;
    ~ShortPath();
    ShortPath(const ShortPath &) = delete;
    ShortPath &operator=(const ShortPath &) = delete;

    // False with the reason when no short path can be made.
    bool open(const std::string &inPath, std::string &outReason);
    const std::string &path() const { return mPath; }

private:
    std::string mPath;
    int mFd = -1;
};

}  // namespace ekv
