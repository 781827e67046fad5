// ekv preview: the conversion dialog's 320 x 240 preview with the white-balance marker.
#include <cstdio>

#include "commands/Cli.h"
#include "import/HostHeaderView.h"
#include "encoders/ImageWriters.h"
#include "output/OutputPlan.h"
#include "import/Preview.h"
#include "output/ShownName.h"
#include "output/SignalCleanup.h"

namespace ekv {

int RunPreview(const std::vector<std::string> &inArgs) {
    std::string aFile, aPointText;
    OutputOptions aOutputs;
    int aParse = ParseFileAndOutput("preview", kHelpPreview, "png", inArgs, aFile, aOutputs, &aPointText);
    if (aParse != 0) return aParse < 0 ? kExitOk : aParse;
    Point aPoint{-1, -1};
    if (!aPointText.empty() && !ParsePoint(aPointText, aPoint))
        return UsageError("preview",
                          "--wb-point takes H,V with H from 0 to 319 and V from 0 to 239, not '" + aPointText + "'");
    InstallSignalCleanup();
    PlannedOutput aOutput = OutputPlanner(aOutputs, {aFile}).plan(aFile);
    if (!aOutput.writes()) return aOutput.announce(aFile);
    HeaderInfo aHeader;
    if (int aCode = ReadHeaderFor(aFile, aHeader)) return aCode;
    RgbImage aPreview;
    std::string aReason;
    if (!MakePreview(aHeader.thumbnail, aPreview, aReason))
        return Fail(kExitDamaged, aFile, "the thumbnail cannot be decoded: " + aReason);
    if (aPoint.h != -1 && aPoint.v != -1) InvertMarker(aPreview, aPoint.h, aPoint.v);
    bool aKept = false;
    if (!WritePng(aPreview, aOutput.path, OutputMetadata{}, aReason, aOutput.noClobber, &aKept))
        return aKept ? aOutput.noteKept(aFile)
                     : Fail(kExitCannotWrite, aFile, "cannot write " + ShownName(aOutput.path) + ": " + aReason);
    return kExitOk;
}

}  // namespace ekv
