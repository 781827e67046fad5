// The module's entry: load and unload, the selector dispatch, Globals allocation and the
// small handlers About, Finish and Finalize.
#include "PlugInGlobals.h"

#include "../ui/MessageBoxes.h"
#include "AcquireRun.h"
#include "HostMemory.h"

KarvexInstance hDLLInstance = 0;
Boolean bHasQuickTime = true;

void DoModuleLoad(KarvexInstance inInstance) {
    hDLLInstance = inInstance;
    bHasQuickTime = true;
    if (InitializeQTML(kInitializeQTMLNoSoundFlag) != 0)
        bHasQuickTime = false;
    else
        EnterMovies();
}

void DoModuleUnload(void) {
    if (bHasQuickTime) {
        ExitMovies();
        TerminateQTML();
    }
}

#if defined(_WIN32)
// Runs under the loader lock: the load work is only a check that the media layer is there
// (InitializeQTML starts nothing); the layer's decoder is started and stopped by Start.
extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD fdwReason, LPVOID /*lpReserved*/) {
    if (fdwReason == DLL_PROCESS_ATTACH)
        DoModuleLoad(hInstance);
    else if (fdwReason == DLL_PROCESS_DETACH)
        DoModuleUnload();
    return TRUE;
}
#else
// The native module is linked into its host: it is loaded with the program. Its
// instance stands for the module's resources, which the native build carries inside.
static int sNativeModuleInstance;
__attribute__((constructor)) static void NativeModuleLoad(void) { DoModuleLoad(&sNativeModuleInstance); }
__attribute__((destructor)) static void NativeModuleUnload(void) { DoModuleUnload(); }
#endif

static KarvexWindow WindowOf(const void *inPlatformData) {
    if (inPlatformData == nullptr) return 0;
    intptr_t aWindow = static_cast<const PlatformData *>(inPlatformData)->hwnd;
#if defined(_WIN32)
    return reinterpret_cast<HWND>(aWindow);
#else
    return aWindow;
#endif
}

extern "C" void KARVEX_CDECL ENTRYPOINT(int16 selector, AcquireRecord *acquireParamBlock, intptr_t *data,
                                        int16 *result) {
    *result = kResultSuccess;
    if (selector == acquireSelectorAbout) {
        DoAbout(reinterpret_cast<AboutRecord *>(acquireParamBlock));
        return;
    }
    if (!bHasQuickTime) {
        ShowQuickTimeError(static_cast<const PlatformData *>(acquireParamBlock->platformData), hDLLInstance);
        *result = kResultUserCanceled;
        return;
    }
    Globals *globals = AllocateGlobals(result, acquireParamBlock, acquireParamBlock->handleProcs,
                                       static_cast<int32>(sizeof(Globals)), data, DoInitGlobals);
    if (globals == nullptr) {
        *result = kResultMemFull;
        return;
    }
    globals->platform = WindowOf(acquireParamBlock->platformData);

    switch (selector) {
        case acquireSelectorPrepare: DoPrepare(globals); break;
        case acquireSelectorStart: DoStart(globals); break;
        case acquireSelectorContinue: DoContinue(globals); break;
        case acquireSelectorFinish: DoFinish(globals); break;
        case acquireSelectorFinalize: DoFinalize(globals); break;
        default: *globals->result = kResultBadParameters; break;
    }

    if (*data != 0) HostUnlockHandle(acquireParamBlock->handleProcs, reinterpret_cast<Handle>(*data));
}

Globals *AllocateGlobals(int16 *resultAddr, AcquireRecord *paramBlockAddr, HandleProcs *procs, int32 size,
                         intptr_t *data, void (*InitGlobals)(Globals *)) {
    Globals *aGlobals = nullptr;
    if (*data == 0) {
        Handle aHandle = HostNewHandle(procs, size);
        if (aHandle == nullptr) return nullptr;
        aGlobals = reinterpret_cast<Globals *>(HostLockHandle(procs, aHandle, true));
        if (aGlobals == nullptr) {
            HostDisposeHandle(procs, aHandle);
            return nullptr;
        }
        aGlobals->result = resultAddr;
        *aGlobals->result = 0;
        aGlobals->acquireParamBlock = paramBlockAddr;
        InitGlobals(aGlobals);
        *data = reinterpret_cast<intptr_t>(aHandle);
    } else {
        aGlobals = reinterpret_cast<Globals *>(HostLockHandle(procs, reinterpret_cast<Handle>(*data), true));
        if (aGlobals != nullptr) {
            aGlobals->result = resultAddr;
            *aGlobals->result = 0;
            aGlobals->acquireParamBlock = paramBlockAddr;
        }
    }
    return aGlobals;
}

void DoInitGlobals(Globals *globalPtr) {
    *globalPtr->result = 0;
    globalPtr->thumbnail = nullptr;
    globalPtr->method = 0;
    globalPtr->loop = 0;
    globalPtr->wb_point.v = -1;
    globalPtr->wb_point.h = -1;
    globalPtr->wb_b = 0.0;
    globalPtr->wb_r = 0.0;
    globalPtr->file.vRefNum = 0;
    globalPtr->file.name[0] = 0;
    globalPtr->line = 0;
    globalPtr->band = 20;
    for (int aIndex = 0; aIndex < kLUTCount; ++aIndex) globalPtr->lut[aIndex] = nullptr;
    for (int aIndex = 0; aIndex < kPlaneCount; ++aIndex) {
        globalPtr->layer_ptr[aIndex] = nullptr;
        globalPtr->layer_id[aIndex] = nullptr;
        globalPtr->small_layer_ptr[aIndex] = nullptr;
        globalPtr->small_layer_id[aIndex] = nullptr;
        globalPtr->ready_ptr[aIndex] = nullptr;
    }
    globalPtr->workers = nullptr;
    RAW_DefaultInfo(&globalPtr->info);
    globalPtr->item = 0;
}

void DoAbout(AboutRecord *acquireParamBlock) {
    const PlatformData *aPlatform =
        acquireParamBlock != nullptr ? static_cast<const PlatformData *>(acquireParamBlock->platformData) : nullptr;
    ShowAbout(aPlatform, hDLLInstance);
}

void DoFinish(Globals *globals) {
    *globals->result = kResultSuccess;
    DoReleaseRun(globals);
}

// The preview decoder is not stopped here: Start stops it on every path, and its starts
// are counted, so a stop here would take away the start of an import still running (one
// whose dialog's loop ran this import).
void DoFinalize(Globals *globals) {
    globals->wb_point.v = -1;
    globals->wb_point.h = -1;
    *globals->result = kResultSuccess;
}
