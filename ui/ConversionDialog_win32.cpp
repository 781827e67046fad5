// The conversion dialog on Windows. For now the dialog is not put up: opening reports
// that no dialog window exists, so Start ends as cancelled, and the dialog procedure
// handles no message.
#include "ConversionDialog.h"

#include <windows.h>

extern "C" __declspec(dllexport) INT_PTR CALLBACK DialogProc(HWND /*hWnd*/, UINT /*uMsg*/, WPARAM /*wParam*/,
                                                             LPARAM /*lParam*/) {
    return FALSE;
}

Boolean OpenOurDialog(Globals *globals) {
    globals->dialog = nullptr;
    globals->item = -1;
    globals->method = 0;
    return false;
}

Boolean RunOurDialog(Globals *globals) {
    if (globals->dialog == nullptr) return false;
    return false;
}

void CloseOurDialog(Globals *globals) {
    if (globals->dialog != nullptr) DestroyWindow(globals->dialog);
    globals->dialog = nullptr;
}
