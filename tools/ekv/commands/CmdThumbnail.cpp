// ekv thumbnail: the embedded JPEG, byte for byte, or with -s decoded and reduced to a
// PNG that fits a square (what file managers ask of a thumbnailer).
#include <cstdio>

#include "commands/Cli.h"
#include "encoders/ImageWriters.h"
#include "import/HostHeaderView.h"
#include "import/Preview.h"
#include "import/ThumbnailScale.h"
#include "metadata/RawTags.h"
#include "output/OutputFile.h"
#include "output/OutputPlan.h"
#include "output/ShownName.h"
#include "output/SignalCleanup.h"

namespace ekv {

namespace {

enum { kLargestSize = 32767 };

// The thumbnail decoded and reduced so that its longer side is at most inSize.
int WriteScaled(const std::string &inFile, const std::vector<uint8_t> &inJpeg, int32 inSize,
                const PlannedOutput &inOutput) {
    RgbImage aDecoded;
    std::string aReason;
    if (!DecodeJpeg(inJpeg, aDecoded, aReason))
        return Fail(kExitDamaged, inFile, "the thumbnail is damaged: " + aReason);
    int32_t aWidth = 0, aHeight = 0;
    FitWithin(aDecoded.width, aDecoded.height, inSize, aWidth, aHeight);
    const RgbImage aScaled =
        aWidth == aDecoded.width && aHeight == aDecoded.height ? aDecoded : ScaleByArea(aDecoded, aWidth, aHeight);
    bool aKept = false;
    if (!WritePng(aScaled, inOutput.path, OutputMetadata{}, aReason, inOutput.noClobber, &aKept))
        return aKept ? inOutput.noteKept(inFile)
                     : Fail(kExitCannotWrite, inFile, "cannot write " + ShownName(inOutput.path) + ": " + aReason);
    return kExitOk;
}

}  // namespace

int RunThumbnail(const std::vector<std::string> &inArgs) {
    std::string aFile, aSizeText;
    OutputOptions aOutputs;
    int aParse = ParseFileAndOutput("thumbnail", kHelpThumbnail, "jpeg", inArgs, aFile, aOutputs, nullptr, &aSizeText);
    if (aParse != 0) return aParse < 0 ? kExitOk : aParse;
    long aSize = 0;
    if (!aSizeText.empty() && (!ParseInt(aSizeText, aSize) || aSize < 1 || aSize > kLargestSize))
        return UsageError("thumbnail", "-s takes a size in pixels from 1 to " + std::to_string(kLargestSize) +
                                           ", not '" + aSizeText + "'");
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
    if (aSize > 0) return WriteScaled(aFile, aHeader.thumbnail, static_cast<int32>(aSize), aOutput);
    std::string aReason;
    bool aKept = false;
    if (!WriteBytes(aOutput.path, aHeader.thumbnail, aReason, aOutput.noClobber, &aKept))
        return aKept ? aOutput.noteKept(aFile)
                     : Fail(kExitCannotWrite, aFile, "cannot write " + ShownName(aOutput.path) + ": " + aReason);
    return kExitOk;
}

}  // namespace ekv
