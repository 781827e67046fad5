// The conversion dialog on Windows: a modeless dialog from the UIPARAM template, owned by
// the host window, run by a message loop of its own inside Start. Three radio buttons
// choose the method; with methods 1 and 2 a click on the preview picks the white-balance
// point, marked by an inverted 2 x 2 square; "WB Revert" removes it.
#include "ConversionDialog.h"

#include <windows.h>

#include "DialogGeometry_win32.h"

enum { kItemOK = 1, kItemCancel = 2, kItemRevert = 3, kItemRadioFirst = 4, kItemRadioLast = 6, kItemRunning = -1 };

// Each dialog keeps its own state with its window: the Globals pointer received at
// creation (the dialog's user word) and the control that had the focus when the host was
// activated (a window property). A host may start a second import while a dialog is up,
// since the dialog's loop services the host's windows, or run imports on several
// threads; every dialog then still answers to its own import. The drawing port bound to
// a dialog is its window: drawing takes a device context of the window for each
// operation and gives it back at once.
static const char kFocusProperty[] = "KarvexDialogFocus";

static Globals *DoDialogGlobals(HWND inDialog) {
    return reinterpret_cast<Globals *>(GetWindowLongPtrA(inDialog, DWLP_USER));
}

static HWND DoHostWindow(const Globals *globals) {
    if (globals == nullptr || globals->acquireParamBlock == nullptr) return nullptr;
    const PlatformData *aPlatform = static_cast<const PlatformData *>(globals->acquireParamBlock->platformData);
    if (aPlatform == nullptr) return nullptr;
    return reinterpret_cast<HWND>(aPlatform->hwnd);
}

static Boolean DoPointIsSet(const Globals *globals) { return globals->wb_point.h != -1 && globals->wb_point.v != -1; }

static void DoClearPoint(Globals *globals) {
    globals->wb_point.h = -1;
    globals->wb_point.v = -1;
}

// Inverts the 2 x 2 square whose lower right pixel is the picked point; the same call
// draws and erases the marker.
static void DoInvertMarker(HWND inDialog, const Globals *globals) {
    if (!DoPointIsSet(globals)) return;
    int aCorrection = DoCaptionCorrection(inDialog);
    RECT aMarker;
    aMarker.left = globals->wb_point.h + 9;
    aMarker.top = globals->wb_point.v + 49 + aCorrection;
    aMarker.right = globals->wb_point.h + 11;
    aMarker.bottom = globals->wb_point.v + 51 + aCorrection;
    HDC aDC = GetDC(inDialog);
    if (aDC == nullptr) return;
    InvertRect(aDC, &aMarker);
    ReleaseDC(inDialog, aDC);
}

static void DoEnableRevert(HWND inDialog, BOOL inEnable) { EnableWindow(GetDlgItem(inDialog, kItemRevert), inEnable); }

static void DoCommand(HWND inDialog, int inID) {
    Globals *globals = DoDialogGlobals(inDialog);
    if (globals == nullptr) return;
    switch (inID) {
        case kItemOK: globals->item = kItemOK; break;
        case kItemCancel: globals->item = kItemCancel; break;
        case kItemRevert:
            DoInvertMarker(inDialog, globals);
            DoClearPoint(globals);
            DoEnableRevert(inDialog, FALSE);
            DrawPreview(globals);
            CheckRadioButton(inDialog, kItemRadioFirst, kItemRadioLast, globals->method + kItemRadioFirst);
            break;
        case 4:
        case 5:
        case 6:
            if (inID == 4) {
                DoInvertMarker(inDialog, globals);
                DoClearPoint(globals);
            }
            CheckRadioButton(inDialog, kItemRadioFirst, kItemRadioLast, inID);
            globals->method = static_cast<int16>(inID - kItemRadioFirst);
            DoEnableRevert(inDialog, FALSE);
            break;
        default: break;
    }
}

static void DoActivate(HWND inDialog, WPARAM wParam, LPARAM lParam) {
    HWND aHost = DoHostWindow(DoDialogGlobals(inDialog));
    HWND aFocus = static_cast<HWND>(GetPropA(inDialog, kFocusProperty));
    if (LOWORD(wParam) == WA_INACTIVE && aHost != nullptr && reinterpret_cast<HWND>(lParam) == aHost) {
        // The host window is being activated: tell it that it lost activation to the
        // dialog, and bring the dialog back with the focus where it was.
        SetPropA(inDialog, kFocusProperty, GetFocus());
        PostMessageA(aHost, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(inDialog));
        PostMessageA(inDialog, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(aHost));
    } else if (aFocus != nullptr) {
        SetFocus(aFocus);
        RemovePropA(inDialog, kFocusProperty);
    }
}

static void DoClick(HWND inDialog, LPARAM lParam) {
    Globals *globals = DoDialogGlobals(inDialog);
    if (globals == nullptr || globals->method == 0) return;
    POINT aClick;
    aClick.x = static_cast<short>(LOWORD(lParam));
    aClick.y = static_cast<short>(HIWORD(lParam));
    RECT aPreview;
    DoPreviewRect(inDialog, &aPreview);
    if (!PtInRect(&aPreview, aClick)) return;
    DoEnableRevert(inDialog, TRUE);
    DoInvertMarker(inDialog, globals);
    globals->wb_point.h = static_cast<int16>(aClick.x - kPreviewLeft);
    globals->wb_point.v = static_cast<int16>(aClick.y - aPreview.top);
    DoInvertMarker(inDialog, globals);
}

extern "C" __declspec(dllexport) INT_PTR CALLBACK DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
        case WM_INITDIALOG:
            SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
            RemovePropA(hWnd, kFocusProperty);
            return FALSE;
        case WM_CREATE: return TRUE;
        case WM_DESTROY:
            RemovePropA(hWnd, kFocusProperty);
            SetWindowLongPtrA(hWnd, DWLP_USER, 0);
            return TRUE;
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED) DoCommand(hWnd, LOWORD(wParam));
            return FALSE;
        case WM_ACTIVATE: DoActivate(hWnd, wParam, lParam); return FALSE;
        case WM_LBUTTONDOWN: DoClick(hWnd, lParam); return FALSE;
        default: return FALSE;
    }
}

Boolean OpenOurDialog(Globals *globals) {
    HWND aOwner = nullptr;
    if (globals->acquireParamBlock != nullptr && globals->acquireParamBlock->platformData != nullptr)
        aOwner =
            reinterpret_cast<HWND>(static_cast<const PlatformData *>(globals->acquireParamBlock->platformData)->hwnd);
    HWND aDialog = CreateDialogParamA(hDLLInstance, "UIPARAM", aOwner, DialogProc, reinterpret_cast<LPARAM>(globals));
    globals->dialog = aDialog;
    Boolean aOpened = false;
    if (aDialog != nullptr) {
        ShowWindow(aDialog, SW_SHOW);
        SetWindowPos(aDialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        UpdateWindow(aDialog);
        DoEnableRevert(aDialog, FALSE);
        SetActiveWindow(aDialog);
        CheckRadioButton(aDialog, kItemRadioFirst, kItemRadioLast, kItemRadioFirst);
        aOpened = true;
    }
    globals->item = kItemRunning;
    globals->method = 0;
    return aOpened;
}

// Over the preview the pointer is a cross and the dialog holds the mouse; elsewhere it
// is the arrow and the capture is given up. Only while a point can be picked.
static void DoTrackPointer(const Globals *globals) {
    if (globals->method == 0) return;
    HWND aDialog = globals->dialog;
    POINT aCursor;
    if (!GetCursorPos(&aCursor) || !ScreenToClient(aDialog, &aCursor)) return;
    RECT aPreview;
    DoPreviewRect(aDialog, &aPreview);
    if (PtInRect(&aPreview, aCursor)) {
        SetCursor(LoadCursor(nullptr, IDC_CROSS));
        if (GetCapture() != aDialog) SetCapture(aDialog);
    } else {
        SetCursor(LoadCursor(nullptr, IDC_ARROW));
        if (GetCapture() == aDialog) ReleaseCapture();
    }
}

Boolean RunOurDialog(Globals *globals) {
    if (globals->dialog == nullptr) return false;
    DrawPreview(globals);
    MSG aMessage;
    for (;;) {
        BOOL aGot = GetMessageA(&aMessage, nullptr, 0, 0);
        if (aGot == 0 || aGot == -1) {
            // The thread's quit message belongs to whoever runs the outer loop.
            if (aGot == 0) PostQuitMessage(static_cast<int>(aMessage.wParam));
            return false;
        }
        if (!IsDialogMessageA(globals->dialog, &aMessage)) {
            TranslateMessage(&aMessage);
            DispatchMessageA(&aMessage);
        }
        DoTrackPointer(globals);
        if (globals->item == kItemOK) return true;
        if (globals->item == kItemCancel) return false;
    }
}

void CloseOurDialog(Globals *globals) {
    if (globals->dialog != nullptr) {
        if (GetCapture() == globals->dialog) ReleaseCapture();
        DestroyWindow(globals->dialog);
    }
    globals->dialog = nullptr;
}
