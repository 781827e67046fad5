// Start-up of the native media layer: the file and memory services need no set-up, and
// the native build has no preview decoder of its own (its hosts draw the preview). A host
// may simulate a layer that is missing or a decoder that cannot start, to exercise the
// module's refusal paths.
#include "MediaLayer.h"
#include "NativeMediaControl.h"

static Boolean sFailStartup = false;
static Boolean sFailDecoder = false;
static int sDecoderStarts = 0;

void NativeMediaLayer_SetStartupFails(Boolean inFails) { sFailStartup = inFails; }
void NativeMediaLayer_SetDecoderStartFails(Boolean inFails) { sFailDecoder = inFails; }
Boolean NativeMediaLayer_DecoderRunning(void) { return sDecoderStarts > 0; }

OSErr InitializeQTML(int32 /*flags*/) { return sFailStartup ? -2093 : noErr; }
void EnterMovies(void) {}
void ExitMovies(void) {}
void TerminateQTML(void) {}

OSErr StartPreviewDecoder(void) {
    if (sFailDecoder) return -2093;
    ++sDecoderStarts;
    return noErr;
}

void StopPreviewDecoder(void) {
    if (sDecoderStarts > 0) --sDecoderStarts;
}
