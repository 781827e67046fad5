// Start-up of the Windows media layer: GDI+ (for the preview's JPEG decoding) is started
// when the module loads and shut down when it unloads. The file and memory services
// need no set-up.
//
// GDI+ runs without its background thread, because the module starts it from DllMain,
// where no thread may be started and waited for.
//
// A test build (KARVEX_TEST_HOOKS defined) never starts GDI+ and reports failure, so a
// host can load that build to see the module's behaviour on a machine without the
// layer; the shipped module has no such switch.
#include "MediaLayer.h"

#include <windows.h>

#if !defined(KARVEX_TEST_HOOKS)
#include <gdiplus.h>

static ULONG_PTR sGdiplusToken = 0;
#endif

enum { kMediaLayerStartupFailed = -2093 };

OSErr InitializeQTML(int32 /*flags*/) {
#if defined(KARVEX_TEST_HOOKS)
    return kMediaLayerStartupFailed;
#else
    if (sGdiplusToken != 0) return noErr;
    Gdiplus::GdiplusStartupInput aInput;
    aInput.GdiplusVersion = 1;
    aInput.DebugEventCallback = nullptr;
    aInput.SuppressBackgroundThread = TRUE;
    aInput.SuppressExternalCodecs = TRUE;
    Gdiplus::GdiplusStartupOutput aOutput;
    ULONG_PTR aToken = 0;
    if (Gdiplus::GdiplusStartup(&aToken, &aInput, &aOutput) != Gdiplus::Ok || aToken == 0)
        return kMediaLayerStartupFailed;
    sGdiplusToken = aToken;
    return noErr;
#endif
}

void EnterMovies(void) {}
void ExitMovies(void) {}

void TerminateQTML(void) {
#if !defined(KARVEX_TEST_HOOKS)
    if (sGdiplusToken == 0) return;
    Gdiplus::GdiplusShutdown(sGdiplusToken);
    sGdiplusToken = 0;
#endif
}
