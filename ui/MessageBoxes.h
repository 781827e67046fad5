// The module's message boxes: about, media layer missing, not an EKV file, damaged file.
#ifndef KARVEX_UI_MESSAGEBOXES_H
#define KARVEX_UI_MESSAGEBOXES_H

#include "../plugin/PlugInGlobals.h"

void ShowAbout(const PlatformData *platform, KarvexInstance hInstance);
void ShowQuickTimeError(const PlatformData *platform, KarvexInstance hInstance);
void ShowNotEKV(KarvexWindow hwnd, KarvexInstance hInstance);
void ShowDamagedEKV(KarvexWindow hwnd, KarvexInstance hInstance);

#endif
