// Where the conversion dialog's preview lies in its client area. Hit testing, the
// white-balance marker, the pointer shape and the preview drawing all use this one
// rectangle, so the picture always lands where the clicks are measured.
#ifndef KARVEX_UI_DIALOGGEOMETRY_WIN32_H
#define KARVEX_UI_DIALOGGEOMETRY_WIN32_H

#include <windows.h>

enum { kPreviewLeft = 10, kPreviewTop = 50, kPreviewWidth = 320, kPreviewHeight = 240 };

// The vertical correction for the caption: -13 on a 96 pixel-per-inch screen, else -19.
int DoCaptionCorrection(HWND inDialog);

// The preview rectangle in client coordinates (right and bottom exclusive).
void DoPreviewRect(HWND inDialog, RECT *outRect);

#endif
