// Output files written atomically: the bytes go to a temporary file in the target's
// directory, which replaces the target by a rename only once it is complete. A failed
// write removes the temporary file and leaves any earlier target untouched.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace ekv {

// True when both paths name the same existing file (also through links).
bool SameFile(const std::string &inA, const std::string &inB);

class TempOutput {
public:
    explicit TempOutput(std::string inTarget) : mTarget(std::move(inTarget)) {}
    ~TempOutput();
    TempOutput(const TempOutput &) = delete;
    TempOutput &operator=(const TempOutput &) = delete;

    // Creates the temporary file; false with the reason in outError.
    bool open(std::string &outError);
    int fd() const { return mFd; }
    // Takes the descriptor as a stdio stream (the stream then owns it).
    FILE *stream();
    const std::string &tempPath() const { return mTemp; }
    // The writer closed the descriptor itself (libtiff does).
    void released() { mFd = -1; }
    // Closes what is still open, flushes the file to disk and renames it onto the
    // target; false with the reason in outError (the temporary file is then removed).
    bool commit(std::string &outError);

private:
    std::string mTarget;
    std::string mTemp;
    int mFd = -1;
    FILE *mStream = nullptr;
    bool mCommitted = false;
};

// Writes bytes atomically to inPath.
bool WriteBytes(const std::string &inPath, const std::vector<unsigned char> &inBytes, std::string &outError);

}  // namespace ekv
