// An input opened once for a whole conversion. Every reader of the conversion (the
// module, the header view, the tag readers) opens it through path(), /proc/self/fd/N,
// which leads to the opened file itself: renaming, replacing or deleting the name
// meanwhile cannot change what they read. changed() then tells whether the file was
// written, shortened, replaced or deleted while it was being read.
#pragma once

#include <sys/stat.h>

#include <string>

namespace ekv {

class OpenedInput {
public:
    OpenedInput() = default;
    ~OpenedInput();
    OpenedInput(const OpenedInput &) = delete;
    OpenedInput &operator=(const OpenedInput &) = delete;

    // Opens a regular file; false with the reason when it cannot be opened, or when the
    // system offers no /proc path to the opened file.
    bool open(const std::string &inPath, std::string &outReason);
    // What the readers open: /proc/self/fd/N, a short path valid while this object lives.
    const std::string &path() const { return mProxy; }
    // Empty while the opened file keeps the size, modification and change times it had
    // when opened and the name still leads to it; else what changed. Any write or
    // truncation sets the change time, which no user can set back.
    std::string changed() const;

private:
    std::string mName;
    std::string mProxy;
    int mFd = -1;
    struct stat mOpened {};
};

}  // namespace ekv
