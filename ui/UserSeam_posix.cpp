// The native user-interface seam and string table.
#include "UserSeam.h"

#include <cstdio>
#include <cstring>

#include "../resources/Strings.h"

namespace {
UI_Responder sResponder;
bool sHasResponder = false;
}  // namespace

void UI_SetResponder(const UI_Responder *inResponder) {
    sHasResponder = inResponder != nullptr;
    if (sHasResponder)
        sResponder = *inResponder;
    else
        std::memset(&sResponder, 0, sizeof sResponder);
}

const UI_Responder *UI_GetResponder(void) { return sHasResponder ? &sResponder : nullptr; }

void UI_Beep(void) {
    if (sHasResponder && sResponder.beep != nullptr) sResponder.beep(sResponder.context);
}

int32 UI_LoadString(uint32 inID, char *outBuffer, int32 inSize) {
    if (outBuffer == nullptr || inSize <= 0) return 0;
    outBuffer[0] = 0;
    const char *aText = nullptr;
    switch (inID) {
        case IDS_ABOUT: aText = STR_ABOUT; break;
        case IDS_CAPTION: aText = STR_CAPTION; break;
        case IDS_NO_QUICKTIME: aText = STR_NO_QUICKTIME; break;
        case IDS_NOT_EKV: aText = STR_NOT_EKV; break;
        case IDS_DAMAGED_EKV: aText = STR_DAMAGED_EKV; break;
        default: return 0;
    }
    size_t aLength = std::strlen(aText);
    if (aLength > static_cast<size_t>(inSize - 1)) aLength = static_cast<size_t>(inSize - 1);
    std::memcpy(outBuffer, aText, aLength);
    outBuffer[aLength] = 0;
    return static_cast<int32>(aLength);
}
