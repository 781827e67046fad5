// What an output path names and how it may be written: standard output, an existing
// file that is not regular (written as it is), or a regular file (replaced or created
// beside itself, symbolic links followed).
#pragma once

#include <sys/types.h>

#include <string>

namespace ekv {

// True when both paths name the same existing file (also through links). "-" names
// whatever standard output is.
bool SameFile(const std::string &inA, const std::string &inB);

// How an output path is written.
enum class TargetKind {
    Stdout,   // "-": copied to standard output
    Direct,   // an existing file that is not regular, opened and written as it is
    Replace,  // an existing regular file, replaced by a rename
    Create    // a new file, created by a rename
};

struct OutputTarget {
    TargetKind kind = TargetKind::Create;
    std::string path;  // what is opened (Direct) or renamed onto, links followed
    mode_t mode = 0;   // the existing file's mode (Replace)
    uid_t owner = 0;
    gid_t group = 0;
};

// Decides how inPath would be written and checks that it may be, as a direct write
// would (an existing file the user may not write is refused; root may write any).
// False with the reason in outError. Creates nothing.
bool InspectTarget(const std::string &inPath, OutputTarget &outTarget, std::string &outError);

// True when inPath is an existing regular file (also through links): what
// --no-clobber keeps. Devices, pipes and standard output are written all the same.
bool WouldClobber(const std::string &inPath);

}  // namespace ekv
