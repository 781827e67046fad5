// Start-up of the Windows media layer. GDI+ decodes the preview's JPEG; the file and
// memory services need no set-up.
//
// Nothing of GDI+ runs under the loader lock: at load the module only checks that the
// GDI+ library is in the system folder (a file-attribute query), and the library is
// loaded and started when the conversion dialog opens and shut down and unloaded when it
// closes, on the host's thread. GDI+ runs without its background thread; as its
// documentation requires then, the notification hook is installed right after start-up
// (before the dialog's message loop) and removed before shutdown.
//
// A test build (KARVEX_TEST_HOOKS defined) reports the layer missing, so a host can load
// that build to see the module's behaviour on a machine without it; the shipped module
// has no such switch.
#include "MediaLayer.h"
#include "PreviewDecoder_win32.h"

#include <windows.h>

enum { kMediaLayerStartupFailed = -2093 };

static const wchar_t kGdiplusName[] = L"\\gdiplus.dll";

static HMODULE sGdiplus = nullptr;
static ULONG_PTR sGdiplusToken = 0;
static ULONG_PTR sHookToken = 0;
static Gdiplus::NotificationUnhookProc sUnhook = nullptr;

PreviewGdipCreateBitmapFromStream gGdipCreateBitmapFromStream = nullptr;
PreviewGdipCreateFromHDC gGdipCreateFromHDC = nullptr;
PreviewGdipSetInterpolationMode gGdipSetInterpolationMode = nullptr;
PreviewGdipSetPixelOffsetMode gGdipSetPixelOffsetMode = nullptr;
PreviewGdipDrawImageRectI gGdipDrawImageRectI = nullptr;
PreviewGdipDeleteGraphics gGdipDeleteGraphics = nullptr;
PreviewGdipDisposeImage gGdipDisposeImage = nullptr;

// The full path of the system folder's GDI+ library; false when it does not fit.
static BOOL DoGdiplusPath(wchar_t *outPath, UINT inSize) {
    UINT aLength = GetSystemDirectoryW(outPath, inSize);
    UINT aNameLength = static_cast<UINT>(sizeof kGdiplusName / sizeof kGdiplusName[0]);
    if (aLength == 0 || aLength + aNameLength > inSize) return FALSE;
    for (UINT aIndex = 0; aIndex < aNameLength; ++aIndex) outPath[aLength + aIndex] = kGdiplusName[aIndex];
    return TRUE;
}

OSErr InitializeQTML(int32 /*flags*/) {
#if defined(KARVEX_TEST_HOOKS)
    return kMediaLayerStartupFailed;
#else
    wchar_t aPath[MAX_PATH];
    if (!DoGdiplusPath(aPath, MAX_PATH)) return kMediaLayerStartupFailed;
    DWORD aAttributes = GetFileAttributesW(aPath);
    if (aAttributes == INVALID_FILE_ATTRIBUTES || (aAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return kMediaLayerStartupFailed;
    return noErr;
#endif
}

void EnterMovies(void) {}
void ExitMovies(void) {}
void TerminateQTML(void) {}

template <typename T>
static Boolean DoResolve(const char *inName, T *outEntry) {
    *outEntry = reinterpret_cast<T>(reinterpret_cast<void *>(GetProcAddress(sGdiplus, inName)));
    return *outEntry != nullptr;
}

static void DoUnloadGdiplus(void) {
    gGdipCreateBitmapFromStream = nullptr;
    gGdipCreateFromHDC = nullptr;
    gGdipSetInterpolationMode = nullptr;
    gGdipSetPixelOffsetMode = nullptr;
    gGdipDrawImageRectI = nullptr;
    gGdipDeleteGraphics = nullptr;
    gGdipDisposeImage = nullptr;
    if (sGdiplus != nullptr) FreeLibrary(sGdiplus);
    sGdiplus = nullptr;
}

BOOL PreviewDecoderRunning(void) { return sGdiplusToken != 0; }

OSErr StartPreviewDecoder(void) {
    if (sGdiplusToken != 0) return noErr;
    wchar_t aPath[MAX_PATH];
    if (!DoGdiplusPath(aPath, MAX_PATH)) return kMediaLayerStartupFailed;
    sGdiplus = LoadLibraryW(aPath);
    if (sGdiplus == nullptr) return kMediaLayerStartupFailed;

    Gdiplus::Status(WINAPI * aStartup)(ULONG_PTR *, const Gdiplus::GdiplusStartupInput *,
                                       Gdiplus::GdiplusStartupOutput *) = nullptr;
    Boolean aResolved = DoResolve("GdiplusStartup", &aStartup) &&
                        DoResolve("GdipCreateBitmapFromStream", &gGdipCreateBitmapFromStream) &&
                        DoResolve("GdipCreateFromHDC", &gGdipCreateFromHDC) &&
                        DoResolve("GdipSetInterpolationMode", &gGdipSetInterpolationMode) &&
                        DoResolve("GdipSetPixelOffsetMode", &gGdipSetPixelOffsetMode) &&
                        DoResolve("GdipDrawImageRectI", &gGdipDrawImageRectI) &&
                        DoResolve("GdipDeleteGraphics", &gGdipDeleteGraphics) &&
                        DoResolve("GdipDisposeImage", &gGdipDisposeImage);
    if (!aResolved) {
        DoUnloadGdiplus();
        return kMediaLayerStartupFailed;
    }

    Gdiplus::GdiplusStartupInput aInput;
    aInput.GdiplusVersion = 1;
    aInput.DebugEventCallback = nullptr;
    aInput.SuppressBackgroundThread = TRUE;
    aInput.SuppressExternalCodecs = TRUE;
    Gdiplus::GdiplusStartupOutput aOutput;
    aOutput.NotificationHook = nullptr;
    aOutput.NotificationUnhook = nullptr;
    ULONG_PTR aToken = 0;
    if (aStartup(&aToken, &aInput, &aOutput) != Gdiplus::Ok || aToken == 0) {
        DoUnloadGdiplus();
        return kMediaLayerStartupFailed;
    }
    sGdiplusToken = aToken;
    // Without the background thread, the hook must be in place before the message loop.
    sHookToken = 0;
    sUnhook = nullptr;
    if (aOutput.NotificationHook == nullptr || aOutput.NotificationUnhook == nullptr ||
        aOutput.NotificationHook(&sHookToken) != Gdiplus::Ok) {
        StopPreviewDecoder();
        return kMediaLayerStartupFailed;
    }
    sUnhook = aOutput.NotificationUnhook;
    return noErr;
}

void StopPreviewDecoder(void) {
    if (sGdiplusToken == 0) return;
    if (sUnhook != nullptr) sUnhook(sHookToken);
    sUnhook = nullptr;
    sHookToken = 0;
    void(WINAPI * aShutdown)(ULONG_PTR) = nullptr;
    if (DoResolve("GdiplusShutdown", &aShutdown)) aShutdown(sGdiplusToken);
    sGdiplusToken = 0;
    DoUnloadGdiplus();
}
