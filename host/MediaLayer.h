// Our stand-in for the QuickTime media layer: start and stop, a Macintosh-style file
// interface, movable memory handles and rectangles, over plain POSIX or Win32 services.
#ifndef KARVEX_HOST_MEDIALAYER_H
#define KARVEX_HOST_MEDIALAYER_H

#include "AcquireInterface.h"

// A file record (FSSpec). parID names a directory that the layer registered when the
// path was converted; name is the file's counted leaf name.
typedef struct FSSpec {
    int16 vRefNum;
    int32 parID;
    Str255 name;
} FSSpec;

enum {
    noErr = 0,
    fnfErr = -43,    // file not found
    bdNamErr = -37,  // a name or path that cannot be represented
    ioErr = -36,
    eofErr = -39,
    paramErr = -50,
    rfNumErr = -51,
    memFullErr = -108
};

enum { fsRdPerm = 1 };
enum { fsFromStart = 1 };
enum { kInitializeQTMLNoSoundFlag = 1 };

// Start-up at load: only a check that the layer is there, safe under the loader lock
// (no library is loaded and no thread is started). noErr when it is.
OSErr InitializeQTML(int32 flags);
void EnterMovies(void);
void ExitMovies(void);
void TerminateQTML(void);

// The preview's JPEG decoder: started when the conversion dialog opens (noErr when it
// is ready) and stopped when the dialog closes. Starts are counted, as dialogs may be
// nested or run on several threads: each successful start is matched by one stop and
// the last stop ends the decoder. A stop without a start does nothing.
OSErr StartPreviewDecoder(void);
void StopPreviewDecoder(void);

// Fills outSpec for the path. A path whose leaf name does not fit 255 bytes, or that
// names no file name at all, fails with bdNamErr and leaves an empty name, so every
// later open of that FSSpec fails instead of opening some other file.
OSErr NativePathNameToFSSpec(const char *inPath, FSSpec *outSpec, int32 flags);
// The full path an FSSpec names (false when it names nothing). Used by hosts.
Boolean FSSpecToNativePath(const FSSpec *inSpec, char *outPath, int32 inSize);

OSErr FSpOpenDF(const FSSpec *inSpec, int8_t inPermission, int16 *outRefNum);
OSErr SetFPos(int16 inRefNum, int16 inMode, int32 inOffset);
// On return *ioCount holds the bytes read; fewer than asked at the end of the file.
OSErr FSRead(int16 inRefNum, int32 *ioCount, void *outBuffer);
OSErr FSClose(int16 inRefNum);

Handle NewHandle(int32 inSize);
void HLock(Handle h);
void HUnlock(Handle h);
void DisposeHandle(Handle h);
int32 GetHandleSize(Handle h);
void BlockMove(const void *inSource, void *outDest, int32 inCount);

void MacSetRect(Rect *r, int16 left, int16 top, int16 right, int16 bottom);
void MacOffsetRect(Rect *r, int16 dh, int16 dv);

#if !defined(_WIN32)
// The movable block behind a native handle: its address is valid while locked.
Ptr NativeHandleLock(Handle h);
void NativeHandleUnlock(Handle h);
#endif

#endif
