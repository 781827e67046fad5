// Helpers of the import run shared with the entry module.
#ifndef KARVEX_PLUGIN_ACQUIRERUN_H
#define KARVEX_PLUGIN_ACQUIRERUN_H

#include "PlugInGlobals.h"

// Releases the tone tables and plane buffers of a run that are still held (a host that
// ended the import early); releases nothing twice.
void DoReleaseRun(Globals *globals);

#endif
