// ekv thumbnail: the embedded JPEG, byte for byte.
#include <cstdio>

#include "Cli.h"
#include "OutputFile.h"
#include "OutputPlan.h"
#include "RawHeader.h"
#include "SignalCleanup.h"

namespace ekv {

int RunThumbnail(const std::vector<std::string> &inArgs) {
    std::string aFile;
    OutputOptions aOutputs;
    int aParse = ParseFileAndOutput("thumbnail", kHelpThumbnail, "jpeg", inArgs, aFile, aOutputs, nullptr);
    if (aParse != 0) return aParse < 0 ? kExitOk : aParse;
    InstallSignalCleanup();
    PlannedOutput aOutput = OutputPlanner(aOutputs, {aFile}).plan(aFile);
    if (!aOutput.writes()) return aOutput.announce(aFile);
    HeaderInfo aHeader;
    if (int aCode = ReadHeaderFor(aFile, aHeader)) return aCode;
    if (aHeader.thumbnail.empty()) return Fail(kExitNoThumbnail, aFile, "the file carries no thumbnail");
    std::string aReason;
    if (!WriteBytes(aOutput.path, aHeader.thumbnail, aReason))
        return Fail(kExitCannotWrite, aFile, "cannot write " + aOutput.path + ": " + aReason);
    return kExitOk;
}

}  // namespace ekv
