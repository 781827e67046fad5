// Clean ends on SIGINT, SIGTERM and SIGHUP: the temporary files of unfinished outputs
// are removed, worker processes are stopped and waited for, the progress bar is cleared, and the process exits with
// 128 + the signal's number, as shells report a command ended by a signal.
// The registries are fixed arrays so that the handler only uses async-signal-safe calls.
#pragma once

#include <sys/types.h>

namespace ekv {

// Installs the handlers (once; later calls do nothing) and ignores SIGXFSZ, so that a
// write past the file size limit fails with EFBIG like any other write error.
void InstallSignalCleanup();

// A temporary file the handler removes. Returns a slot for UnregisterTemporary, or -1
// when the registry is full (the file is then not removed on a signal).
int RegisterTemporary(const char *inPath);
void UnregisterTemporary(int inSlot);

// The progress bar's line on standard error is inColumns wide (0: none is drawn); the
// handler clears it, so that the shell's prompt starts on a clean line.
void NoteProgressLine(int inColumns);

// A worker process the handler passes the signal on to and waits for.
void RegisterWorker(pid_t inPid);
void UnregisterWorker(pid_t inPid);

}  // namespace ekv
