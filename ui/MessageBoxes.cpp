// Message boxes: the text and caption come from the module's string table at the moment
// the box is shown; the box is modal to the owner window and has one OK button.
#include "MessageBoxes.h"

#include "../resources/Strings.h"

#if !defined(_WIN32)
#include <cstdio>

#include "UserSeam.h"
#endif

static void ShowStringBox(KarvexWindow inOwner, KarvexInstance hInstance, uint32 inMessageID) {
    char aMessage[256] = {0};
    char aCaption[60] = {0};
#if defined(_WIN32)
    LoadStringA(hInstance, inMessageID, aMessage, 255);
    LoadStringA(hInstance, IDS_CAPTION, aCaption, 60);
    MessageBoxA(inOwner, aMessage, aCaption, 0x40);
#else
    (void)inOwner;
    (void)hInstance;
    UI_LoadString(inMessageID, aMessage, 256);
    UI_LoadString(IDS_CAPTION, aCaption, 60);
    const UI_Responder *aResponder = UI_GetResponder();
    if (aResponder != nullptr && aResponder->showMessage != nullptr)
        aResponder->showMessage(aResponder->context, aMessage, aCaption);
    else
        std::fprintf(stderr, "%s: %s\n", aCaption, aMessage);
#endif
}

static KarvexWindow OwnerOf(const PlatformData *platform) {
    if (platform == nullptr) return 0;
#if defined(_WIN32)
    return reinterpret_cast<HWND>(platform->hwnd);
#else
    return platform->hwnd;
#endif
}

void ShowAbout(const PlatformData *platform, KarvexInstance hInstance) {
    ShowStringBox(OwnerOf(platform), hInstance, IDS_ABOUT);
}

void ShowQuickTimeError(const PlatformData *platform, KarvexInstance hInstance) {
    ShowStringBox(OwnerOf(platform), hInstance, IDS_NO_QUICKTIME);
}

void ShowNotEKV(KarvexWindow hwnd, KarvexInstance hInstance) { ShowStringBox(hwnd, hInstance, IDS_NOT_EKV); }

void ShowDamagedEKV(KarvexWindow hwnd, KarvexInstance hInstance) { ShowStringBox(hwnd, hInstance, IDS_DAMAGED_EKV); }
