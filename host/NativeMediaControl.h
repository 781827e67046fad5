// Controls of the native media layer that a host program or test may use.
#ifndef KARVEX_HOST_NATIVEMEDIACONTROL_H
#define KARVEX_HOST_NATIVEMEDIACONTROL_H

#include "AcquireInterface.h"

// Makes the next start-up of the media layer fail (as a machine without it would).
void NativeMediaLayer_SetStartupFails(Boolean inFails);

#endif
