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
// The decoder's starts are counted: a host may start a second import while a dialog is
// up (the dialog's loop services the host's windows) or run imports on several threads,
// and each of them stops what it started. The first start loads GDI+ and looks up every
// entry point it will use, its shutdown included, so that a start either succeeds
// whole or leaves nothing behind; the last stop shuts it down and unloads it. A
// slim reader/writer lock, statically initialised, serialises starting and stopping.
//
// A test build (KARVEX_TEST_HOOKS defined) reports the layer missing, so a host can load
// that build to see the module's behaviour on a machine without it; the shipped module
// has no such switch.
#include "MediaLayer.h"
#include "PreviewDecoder_win32.h"

#include <windows.h>

enum { kMediaLayerStartupFailed = -2093 };

static const wchar_t kGdiplusName[] = L"\\gdiplus.dll";

typedef Gdiplus::Status(WINAPI *GdiplusStartupProc)(ULONG_PTR *, const Gdiplus::GdiplusStartupInput *,
                                                    Gdiplus::GdiplusStartupOutput *);
typedef void(WINAPI *GdiplusShutdownProc)(ULONG_PTR);

static SRWLOCK sDecoderLock = SRWLOCK_INIT;
static LONG sDecoderStarts = 0;  // starts not yet stopped; written under sDecoderLock
static HMODULE sGdiplus = nullptr;
static ULONG_PTR sGdiplusToken = 0;
static ULONG_PTR sHookToken = 0;
static Gdiplus::NotificationUnhookProc sUnhook = nullptr;
static GdiplusShutdownProc sShutdown = nullptr;
// The notification hook belongs to the thread that installed it (the one that started
// GDI+), whose message loop services it; that thread removes it when its own last start
// stops, even if another thread still uses GDI+, so that it is never removed from a
// thread it does not belong to.
static DWORD sHookThread = 0;
static LONG sHookThreadStarts = 0;

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
    sShutdown = nullptr;
    if (sGdiplus != nullptr) FreeLibrary(sGdiplus);
    sGdiplus = nullptr;
}

static void DoUnhook(void) {
    if (sUnhook != nullptr) sUnhook(sHookToken);
    sUnhook = nullptr;
    sHookToken = 0;
    sHookThread = 0;
    sHookThreadStarts = 0;
}

// Unhooks, shuts GDI+ down and unloads it. Called with the lock held.
static void DoShutdownGdiplus(void) {
    DoUnhook();
    if (sGdiplusToken != 0) sShutdown(sGdiplusToken);
    sGdiplusToken = 0;
    DoUnloadGdiplus();
}

// Loads and starts GDI+ with every entry point resolved; on failure nothing stays
// loaded. Called with the lock held.
static OSErr DoStartGdiplus(void) {
    wchar_t aPath[MAX_PATH];
    if (!DoGdiplusPath(aPath, MAX_PATH)) return kMediaLayerStartupFailed;
    sGdiplus = LoadLibraryW(aPath);
    if (sGdiplus == nullptr) return kMediaLayerStartupFailed;

    GdiplusStartupProc aStartup = nullptr;
    Boolean aResolved = DoResolve("GdiplusStartup", &aStartup) && DoResolve("GdiplusShutdown", &sShutdown) &&
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
        DoShutdownGdiplus();
        return kMediaLayerStartupFailed;
    }
    sUnhook = aOutput.NotificationUnhook;
    sHookThread = GetCurrentThreadId();
    sHookThreadStarts = 0;
    return noErr;
}

// A caller that holds a start sees the entry points its own start made valid.
BOOL PreviewDecoderRunning(void) {
    AcquireSRWLockShared(&sDecoderLock);
    BOOL aRunning = sDecoderStarts > 0;
    ReleaseSRWLockShared(&sDecoderLock);
    return aRunning;
}

OSErr StartPreviewDecoder(void) {
    AcquireSRWLockExclusive(&sDecoderLock);
    OSErr aResult = noErr;
    if (sDecoderStarts == 0) aResult = DoStartGdiplus();
    if (aResult == noErr) {
        ++sDecoderStarts;
        if (sUnhook != nullptr && GetCurrentThreadId() == sHookThread) ++sHookThreadStarts;
    }
    ReleaseSRWLockExclusive(&sDecoderLock);
    return aResult;
}

void StopPreviewDecoder(void) {
    AcquireSRWLockExclusive(&sDecoderLock);
    if (sDecoderStarts > 0) {
        if (sUnhook != nullptr && GetCurrentThreadId() == sHookThread && sHookThreadStarts > 0 &&
            --sHookThreadStarts == 0)
            DoUnhook();
        if (--sDecoderStarts == 0) DoShutdownGdiplus();
    }
    ReleaseSRWLockExclusive(&sDecoderLock);
}
