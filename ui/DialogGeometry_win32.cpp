// The preview rectangle of the conversion dialog and its caption correction.
#include "DialogGeometry_win32.h"

enum { kStandardDpi = 96, kCorrectionStandard = -13, kCorrectionOther = -19 };

int DoCaptionCorrection(HWND inDialog) {
    HDC aDC = GetDC(inDialog);
    if (aDC == nullptr) return kCorrectionStandard;
    int aDpi = GetDeviceCaps(aDC, LOGPIXELSY);
    ReleaseDC(inDialog, aDC);
    return aDpi == kStandardDpi ? kCorrectionStandard : kCorrectionOther;
}

void DoPreviewRect(HWND inDialog, RECT *outRect) {
    int aCorrection = DoCaptionCorrection(inDialog);
    outRect->left = kPreviewLeft;
    outRect->top = kPreviewTop + aCorrection;
    outRect->right = kPreviewLeft + kPreviewWidth;
    outRect->bottom = kPreviewTop + kPreviewHeight + aCorrection;
}
