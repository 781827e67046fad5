// The seam's callbacks, answering from the responder that is their context.
#include "SeamAnswers.h"

#if !defined(_WIN32)

#include <cstring>

namespace hostkit {

namespace {

SeamResponder &Of(void *inContext) { return *static_cast<SeamResponder *>(inContext); }

Boolean ChooseFile(void *inContext, char *outPath, int32 inSize) {
    const std::optional<std::string> &aFile = Of(inContext).answers().file;
    if (!aFile || outPath == nullptr || inSize <= 0 || aFile->size() >= static_cast<size_t>(inSize)) return false;
    std::memcpy(outPath, aFile->c_str(), aFile->size() + 1);
    return true;
}

void ShowMessage(void *inContext, const char *inText, const char *inCaption) {
    Of(inContext).log().messages.emplace_back(inText != nullptr ? inText : "", inCaption != nullptr ? inCaption : "");
}

void RunDialog(void *inContext, const uint8_t *inThumbnail, int32 inSize, UI_DialogAnswer *outAnswer) {
    SeamResponder &aResponder = Of(inContext);
    if (inThumbnail != nullptr && inSize > 0) ++aResponder.log().thumbnailsOffered;
    if (aResponder.answers().whileDialogOpen) aResponder.answers().whileDialogOpen();
    outAnswer->method = aResponder.answers().method;
    outAnswer->wb_point = aResponder.answers().wbPoint;
    outAnswer->convert = aResponder.answers().convert;
}

void Beep(void *inContext) { ++Of(inContext).log().beeps; }

}  // namespace

SeamResponder::SeamResponder(const Answers &inAnswers, SeamLog &ioLog) : mAnswers(inAnswers), mLog(ioLog) {
    const UI_Responder *aPrevious = UI_GetResponder();
    mHadPrevious = aPrevious != nullptr;
    if (mHadPrevious) mPrevious = *aPrevious;
    UI_Responder aResponder{this, ChooseFile, ShowMessage, RunDialog, Beep};
    UI_SetResponder(&aResponder);
}

SeamResponder::~SeamResponder() { UI_SetResponder(mHadPrevious ? &mPrevious : nullptr); }

}  // namespace hostkit

#endif
