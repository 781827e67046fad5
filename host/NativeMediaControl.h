// Controls of the native media layer that a host program or test may use.
#ifndef KARVEX_HOST_NATIVEMEDIACONTROL_H
#define KARVEX_HOST_NATIVEMEDIACONTROL_H

#include "AcquireInterface.h"

// Makes the next start-up of the media layer fail (as a machine without it would).
void NativeMediaLayer_SetStartupFails(Boolean inFails);
// Makes the next start of the preview decoder fail (the layer is there but cannot start).
void NativeMediaLayer_SetDecoderStartFails(Boolean inFails);
// Whether the preview decoder runs (between the dialog's opening and its closing).
Boolean NativeMediaLayer_DecoderRunning(void);

#endif
