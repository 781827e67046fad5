// The Globals record that lives in the host's data word between calls, the result codes,
// the module-wide state and the selector handlers.
#ifndef KARVEX_PLUGIN_PLUGINGLOBALS_H
#define KARVEX_PLUGIN_PLUGINGLOBALS_H

#include "../host/AcquireInterface.h"
#include "../host/MediaLayer.h"
#include "../rawfile/RawInfo.h"

#if defined(_WIN32)
#include <windows.h>
typedef HINSTANCE KarvexInstance;
typedef HWND KarvexWindow;
#else
typedef void *KarvexInstance;
typedef intptr_t KarvexWindow;
#endif

enum { kResultSuccess = 0, kResultUserCanceled = -128, kResultMemFull = -108, kResultBadParameters = -30000 };

enum { kPlaneCount = 3, kLUTCount = 5 };

typedef struct Globals {
    int16 *result;
    AcquireRecord *acquireParamBlock;
    Handle thumbnail;
    int16 method;
    int16 loop;
    Point wb_point;
    double wb_r;
    double wb_b;
    FSSpec file;
    uint32 line;
    uint32 band;
    Handle lut[kLUTCount];
    uint16 *layer_ptr[kPlaneCount];
    BufferID layer_id[kPlaneCount];
    uint8_t *small_layer_ptr[kPlaneCount];
    BufferID small_layer_id[kPlaneCount];
    // The planes of the band being delivered: layer_ptr's, or a band worker lane's.
    uint16 *ready_ptr[kPlaneCount];
    // The run's band workers (a RAW_BandWorkers record), or null when the run converts
    // on the host's thread.
    struct RAW_BandWorkers *workers;
    RAW_Info info;
    int16 item;
    KarvexWindow dialog;
    KarvexWindow platform;
} Globals;

// Module-wide state, set while the module is loaded and unloaded.
extern KarvexInstance hDLLInstance;
extern Boolean bHasQuickTime;

// The module's load and unload work (the native build calls these from its own
// constructor and destructor; Windows from DllMain).
void DoModuleLoad(KarvexInstance inInstance);
void DoModuleUnload(void);

extern "C" {
#if defined(_WIN32)
__declspec(dllexport)
#endif
    void KARVEX_CDECL ENTRYPOINT(int16 selector, AcquireRecord *acquireParamBlock, intptr_t *data, int16 *result);
}

Globals *AllocateGlobals(int16 *resultAddr, AcquireRecord *paramBlockAddr, HandleProcs *procs, int32 size,
                         intptr_t *data, void (*InitGlobals)(Globals *));
void DoInitGlobals(Globals *globalPtr);
void DoAbout(AboutRecord *acquireParamBlock);
void DoPrepare(Globals *globals);
void DoStart(Globals *globals);
void DoContinue(Globals *globals);
void DoFinish(Globals *globals);
void DoFinalize(Globals *globals);

#endif
