// The preview of the conversion dialog on Windows: the thumbnail JPEG, decoded by GDI+
// from a private copy and scaled to fill the 320 x 240 preview rectangle exactly.
//
// The preview's bounds follow from the dialog window's screen position: the window
// rectangle's origin, plus (10, 50), plus (3, 8) for the frame and caption. That offset
// matches the client area only for one set of frame metrics, so the bounds are taken
// into client coordinates and, where the metrics differ, replaced by the preview
// rectangle that hit testing and the marker use: the picture always lies under the
// clicks that pick a point on it.
#include "ConversionDialog.h"

#include <windows.h>

#include "../host/PreviewDecoder_win32.h"
#include "../plugin/HostMemory.h"
#include "DialogGeometry_win32.h"

enum { kFrameOffsetH = 3, kFrameOffsetV = 8 };

// The bounds from the window position, in the dialog's client coordinates, or the hit
// rectangle when the two disagree.
static void DoPreviewBounds(HWND inDialog, RECT *outBounds) {
    RECT aWindow;
    Rect aBounds;
    GetWindowRect(inDialog, &aWindow);
    MacSetRect(&aBounds, kPreviewLeft, kPreviewTop, kPreviewLeft + kPreviewWidth, kPreviewTop + kPreviewHeight);
    MacOffsetRect(&aBounds, static_cast<int16>(aWindow.left), static_cast<int16>(aWindow.top));
    MacOffsetRect(&aBounds, kFrameOffsetH, kFrameOffsetV);
    POINT aTopLeft;
    aTopLeft.x = aBounds.left;
    aTopLeft.y = aBounds.top;
    ScreenToClient(inDialog, &aTopLeft);

    RECT aPreview;
    DoPreviewRect(inDialog, &aPreview);
    if (aTopLeft.x == aPreview.left && aTopLeft.y == aPreview.top) {
        outBounds->left = aTopLeft.x;
        outBounds->top = aTopLeft.y;
        outBounds->right = aTopLeft.x + (aBounds.right - aBounds.left);
        outBounds->bottom = aTopLeft.y + (aBounds.bottom - aBounds.top);
    } else {
        *outBounds = aPreview;
    }
}

// Decodes the JPEG in the memory block and draws it scaled into the bounds. Any failure
// (the decoder not running among them) leaves the preview as it was.
static void DoDrawJPEG(HWND inDialog, Handle inCopy, const RECT *inBounds) {
    if (!PreviewDecoderRunning()) return;
    IStream *aStream = nullptr;
    if (CreateStreamOnHGlobal(reinterpret_cast<HGLOBAL>(inCopy), FALSE, &aStream) != S_OK || aStream == nullptr) return;
    Gdiplus::GpBitmap *aBitmap = nullptr;
    if (gGdipCreateBitmapFromStream(aStream, &aBitmap) == Gdiplus::Ok && aBitmap != nullptr) {
        HDC aDC = GetDC(inDialog);
        Gdiplus::GpGraphics *aGraphics = nullptr;
        if (aDC != nullptr && gGdipCreateFromHDC(aDC, &aGraphics) == Gdiplus::Ok && aGraphics != nullptr) {
            gGdipSetInterpolationMode(aGraphics, Gdiplus::InterpolationModeBilinear);
            gGdipSetPixelOffsetMode(aGraphics, Gdiplus::PixelOffsetModeHalf);
            gGdipDrawImageRectI(aGraphics, aBitmap, inBounds->left, inBounds->top, inBounds->right - inBounds->left,
                                inBounds->bottom - inBounds->top);
            gGdipDeleteGraphics(aGraphics);
        }
        if (aDC != nullptr) ReleaseDC(inDialog, aDC);
        gGdipDisposeImage(aBitmap);
    }
    aStream->Release();
}

void DrawPreview(Globals *globals) {
    HWND aDialog = globals->dialog;
    if (aDialog == nullptr) return;
    RECT aBounds;
    DoPreviewBounds(aDialog, &aBounds);
    if (globals->thumbnail == nullptr) return;

    HandleProcs *aProcs = globals->acquireParamBlock->handleProcs;
    const char *aBytes = HostLockHandle(aProcs, globals->thumbnail, false);
    if (aBytes == nullptr) return;
    int32 aSize = HostGetHandleSize(aProcs, globals->thumbnail);
    if (aSize > 0) {
        // The decoder reads a private copy, so the thumbnail itself stays untouched.
        Handle aCopy = NewHandle(aSize);
        if (aCopy != nullptr) {
            HLock(aCopy);
            void *aTarget = GlobalLock(reinterpret_cast<HGLOBAL>(aCopy));
            if (aTarget != nullptr) {
                BlockMove(aBytes, aTarget, aSize);
                GlobalUnlock(reinterpret_cast<HGLOBAL>(aCopy));
                HUnlock(aCopy);
                DoDrawJPEG(aDialog, aCopy, &aBounds);
            } else {
                HUnlock(aCopy);
            }
            DisposeHandle(aCopy);
        }
    }
    HostUnlockHandle(aProcs, globals->thumbnail);
}
