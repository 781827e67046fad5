// The GDI+ entry points that draw the preview, resolved when the decoder starts (see
// StartPreviewDecoder): GDI+ is loaded only while the conversion dialog is open, so the
// module does not import it and loads on a machine without it.
#ifndef KARVEX_HOST_PREVIEWDECODER_WIN32_H
#define KARVEX_HOST_PREVIEWDECODER_WIN32_H

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

typedef Gdiplus::GpStatus(WINGDIPAPI *PreviewGdipCreateBitmapFromStream)(IStream *, Gdiplus::GpBitmap **);
typedef Gdiplus::GpStatus(WINGDIPAPI *PreviewGdipCreateFromHDC)(HDC, Gdiplus::GpGraphics **);
typedef Gdiplus::GpStatus(WINGDIPAPI *PreviewGdipSetInterpolationMode)(Gdiplus::GpGraphics *,
                                                                       Gdiplus::InterpolationMode);
typedef Gdiplus::GpStatus(WINGDIPAPI *PreviewGdipSetPixelOffsetMode)(Gdiplus::GpGraphics *, Gdiplus::PixelOffsetMode);
typedef Gdiplus::GpStatus(WINGDIPAPI *PreviewGdipDrawImageRectI)(Gdiplus::GpGraphics *, Gdiplus::GpImage *, INT, INT,
                                                                 INT, INT);
typedef Gdiplus::GpStatus(WINGDIPAPI *PreviewGdipDeleteGraphics)(Gdiplus::GpGraphics *);
typedef Gdiplus::GpStatus(WINGDIPAPI *PreviewGdipDisposeImage)(Gdiplus::GpImage *);

// Valid while the decoder runs; null before it first starts.
extern PreviewGdipCreateBitmapFromStream gGdipCreateBitmapFromStream;
extern PreviewGdipCreateFromHDC gGdipCreateFromHDC;
extern PreviewGdipSetInterpolationMode gGdipSetInterpolationMode;
extern PreviewGdipSetPixelOffsetMode gGdipSetPixelOffsetMode;
extern PreviewGdipDrawImageRectI gGdipDrawImageRectI;
extern PreviewGdipDeleteGraphics gGdipDeleteGraphics;
extern PreviewGdipDisposeImage gGdipDisposeImage;

// True while the decoder runs and its entry points can be called.
BOOL PreviewDecoderRunning(void);

#endif
