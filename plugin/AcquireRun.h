// Helpers of the import run shared with the entry module.
#ifndef KARVEX_PLUGIN_ACQUIRERUN_H
#define KARVEX_PLUGIN_ACQUIRERUN_H

#include "PlugInGlobals.h"

// Releases the tone tables and plane buffers of a run that are still held (a host that
// ended the import early); releases nothing twice.
void DoReleaseRun(Globals *globals);

// Sensor rows per band for an output width: fewer for wider images, so that a band's
// buffers stay small. Hosts that predict the delivered rows use it too.
uint32 DoBandHeight(int32 inOutputWidth);

#endif
