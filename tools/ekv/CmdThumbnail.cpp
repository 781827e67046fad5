// ekv thumbnail: the embedded JPEG, byte for byte.
#include <cstdio>

#include "Cli.h"
#include "OutputFile.h"
#include "RawHeader.h"

namespace ekv {

int RunThumbnail(const std::vector<std::string> &inArgs) {
    std::string aFile, aOutput;
    int aParse = ParseFileAndOutput("thumbnail", kHelpThumbnail, inArgs, aFile, aOutput, nullptr);
    if (aParse != 0) return aParse < 0 ? kExitOk : aParse;
    if (SameFile(aOutput, aFile))
        return Fail(kExitCannotWrite, aFile, "the output " + aOutput + " is the input file; it is not overwritten");
    HeaderInfo aHeader;
    if (int aCode = ReadHeaderFor(aFile, aHeader)) return aCode;
    if (aHeader.thumbnail.empty()) return Fail(kExitNoThumbnail, aFile, "the file carries no thumbnail");
    std::string aReason;
    if (!WriteBytes(aOutput, aHeader.thumbnail, aReason))
        return Fail(kExitCannotWrite, aFile, "cannot write " + aOutput + ": " + aReason);
    return kExitOk;
}

}  // namespace ekv
