// The conversion dialog of the native build: the person's answer (method, preview point,
// OK or Cancel) comes through the UI seam, which is shown the thumbnail it previews.
#include "ConversionDialog.h"

#include "../plugin/HostMemory.h"
#include "UserSeam.h"

// The native dialog has no window; this marks the dialog as open.
enum { kNativeDialogOpen = 1 };
enum { kPreviewWidth = 320, kPreviewHeight = 240 };

static void DoClearPoint(Globals *globals) {
    globals->wb_point.v = -1;
    globals->wb_point.h = -1;
}

Boolean OpenOurDialog(Globals *globals) {
    globals->dialog = kNativeDialogOpen;
    globals->item = -1;
    globals->method = 0;
    return true;
}

// The preview has no surface to be drawn on natively; the seam receives the thumbnail.
void DrawPreview(Globals * /*globals*/) {}

Boolean RunOurDialog(Globals *globals) {
    if (globals->dialog == 0) return false;
    DrawPreview(globals);
    const UI_Responder *aResponder = UI_GetResponder();
    if (aResponder == nullptr || aResponder->runDialog == nullptr) {
        globals->item = 2;
        return false;
    }

    HandleProcs *aProcs = globals->acquireParamBlock->handleProcs;
    const uint8_t *aBytes = nullptr;
    int32 aSize = 0;
    if (globals->thumbnail != nullptr) {
        aBytes = reinterpret_cast<const uint8_t *>(HostLockHandle(aProcs, globals->thumbnail, false));
        if (aBytes != nullptr) aSize = HostGetHandleSize(aProcs, globals->thumbnail);
        if (aSize <= 0) aSize = 0;
    }
    UI_DialogAnswer aAnswer;
    aAnswer.method = 0;
    aAnswer.wb_point.v = -1;
    aAnswer.wb_point.h = -1;
    aAnswer.convert = false;
    aResponder->runDialog(aResponder->context, aSize > 0 ? aBytes : nullptr, aSize, &aAnswer);
    if (aBytes != nullptr) HostUnlockHandle(aProcs, globals->thumbnail);

    // Only the three radio buttons exist; any other answer cancels.
    if (aAnswer.method < 0 || aAnswer.method > 2) {
        globals->item = 2;
        return false;
    }
    globals->method = aAnswer.method;
    // Choosing "RGB Conversion" clears the point; the other two keep a point picked
    // inside the preview. A point outside it was never picked.
    if (aAnswer.method == 0 || aAnswer.wb_point.h < 0 || aAnswer.wb_point.h >= kPreviewWidth ||
        aAnswer.wb_point.v < 0 || aAnswer.wb_point.v >= kPreviewHeight)
        DoClearPoint(globals);
    else
        globals->wb_point = aAnswer.wb_point;

    globals->item = aAnswer.convert ? 1 : 2;
    return aAnswer.convert ? true : false;
}

void CloseOurDialog(Globals *globals) { globals->dialog = 0; }
