// ekv thumbnail: the embedded JPEG, byte for byte.
#include <cstdio>

#include "commands/Cli.h"
#include "import/HostHeaderView.h"
#include "output/OutputFile.h"
#include "output/OutputPlan.h"
#include "import/Preview.h"
#include "metadata/RawTags.h"
#include "output/ShownName.h"
#include "output/SignalCleanup.h"

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
    std::string aDamage = StripRefusal(aHeader.info);
    if (!aDamage.empty()) return Fail(kExitDamaged, aFile, aDamage);
    // The reader gives nothing for a thumbnail it cannot extract; the directories tell
    // whether the file meant to carry one.
    CameraTags aTags;
    RawLayout aLayout;
    ReadCameraTags(aFile, aTags, &aLayout);
    if (aHeader.thumbnail.empty() && aLayout.thumbnailDeclared)
        return Fail(kExitDamaged, aFile, "the thumbnail is damaged: it cannot be read from the file");
    if (aHeader.thumbnail.empty()) return Fail(kExitNoThumbnail, aFile, "the file carries no thumbnail");
    int32 aWidth = 0, aHeight = 0;
    if (!JpegSize(aHeader.thumbnail, aWidth, aHeight))
        return Fail(kExitDamaged, aFile, "the thumbnail is damaged: it is not a readable JPEG");
    std::string aReason;
    bool aKept = false;
    if (!WriteBytes(aOutput.path, aHeader.thumbnail, aReason, aOutput.noClobber, &aKept))
        return aKept ? aOutput.noteKept(aFile)
                     : Fail(kExitCannotWrite, aFile, "cannot write " + ShownName(aOutput.path) + ": " + aReason);
    return kExitOk;
}

}  // namespace ekv
