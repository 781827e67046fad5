// Output files a user can trust. A regular file (new, or existing and writable) is
// written to a temporary file in its own directory, which replaces it by a rename only
// once complete, keeping its permission bits; a symbolic link is followed and stays.
// Standard output ("-") and existing files that are not regular (character devices,
// FIFOs, sockets) are never replaced: the image is built in an unnamed temporary file
// (libtiff needs to seek) and copied to them when complete. A failed write removes the
// temporary file and leaves any earlier target untouched. Named temporary files are
// registered with the signal cleanup, so an interrupted run leaves none behind. Under
// --no-clobber the final rename fails rather than replace a file that appeared meanwhile.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "output/OutputTarget.h"

namespace ekv {

// When outputs are flushed to the disk. Flushing costs more than a conversion on a
// real disk, so by default it is done only where it protects data: before the rename
// that replaces an existing file, which may be the only copy of that image. A new file,
// a device, a FIFO and standard output lose nothing that existed before if the system
// fails, and are not flushed.
enum class SyncPolicy {
    Replaced,  // flush a file before it replaces an existing one (the default)
    Always,    // --sync: flush every output, and a renamed file's directory after it
    Never      // --no-sync
};
void SetSyncPolicy(SyncPolicy inPolicy);

class TempOutput {
public:
    explicit TempOutput(std::string inTarget, bool inNoClobber = false)
        : mTarget(std::move(inTarget)), mNoClobber(inNoClobber) {}
    ~TempOutput();
    TempOutput(const TempOutput &) = delete;
    TempOutput &operator=(const TempOutput &) = delete;

    // Creates the temporary file (and opens a direct target); false with the reason.
    bool open(std::string &outError);
    // The temporary file, open for reading and writing.
    int fd() const { return mFd; }
    // Takes the descriptor as a stdio stream (the stream then owns it).
    FILE *stream();
    // The temporary file's path, or for an unnamed one a name for messages.
    const std::string &tempPath() const { return mTemp.empty() ? mTarget : mTemp; }
    // The writer closed the descriptor itself (libtiff does); the file stays readable
    // through a descriptor of its own.
    void released() { mFd = -1; }
    // Closes what is still open, then renames the flushed file onto the target, or
    // copies it to standard output or the direct target; false with the reason in
    // outError (the temporary file is then removed).
    bool commit(std::string &outError);
    // The commit failed because a file appeared at the target under --no-clobber; it is
    // kept, and this output is skipped.
    bool keptExisting() const { return mKeptExisting; }

private:
    bool openNamed(const OutputTarget &inTarget, std::string &outError);
    bool openUnnamed(std::string &outError);
    bool keepDescriptor(std::string &outError);
    bool closeWriter();
    bool copyOut(std::string &outError);
    void discard();
    bool renameOnto(std::string &outError);

    std::string mTarget;
    std::string mFinal;  // the rename's target: mTarget with links followed
    std::string mTemp;   // a named temporary file's path
    int mFd = -1;        // the writer's descriptor
    int mKeep = -1;      // our own descriptor of the temporary file
    int mDirect = -1;    // standard output or the opened direct target
    bool mOwnsDirect = false;
    int mSlot = -1;          // the signal cleanup's slot for mTemp
    bool mReplaces = false;  // the rename replaces an existing file
    FILE *mStream = nullptr;
    bool mCommitted = false;
    bool mNoClobber = false;
    bool mKeptExisting = false;
};

// Writes bytes to inPath as a TempOutput does. With inNoClobber, a file that appeared at
// inPath meanwhile is kept: false, with *outKept set.
bool WriteBytes(const std::string &inPath, const std::vector<unsigned char> &inBytes, std::string &outError,
                bool inNoClobber = false, bool *outKept = nullptr);

// Writes all of inCount bytes to a descriptor, through interruptions and short writes;
// false with errno.
bool WriteAll(int inFd, const void *inBytes, size_t inCount);

}  // namespace ekv
