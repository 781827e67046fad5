// Start-up of the native media layer: the file and memory services need no set-up.
// A host may simulate a layer that cannot start, to exercise the module's refusal path.
#include "MediaLayer.h"
#include "NativeMediaControl.h"

static Boolean sFailStartup = false;

void NativeMediaLayer_SetStartupFails(Boolean inFails) { sFailStartup = inFails; }

OSErr InitializeQTML(int32 /*flags*/) { return sFailStartup ? -2093 : noErr; }
void EnterMovies(void) {}
void ExitMovies(void) {}
void TerminateQTML(void) {}
