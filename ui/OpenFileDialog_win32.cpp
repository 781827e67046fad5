// The open-file dialog on Windows: the common dialog with one filter for raw files.
#include "OpenFileDialog.h"

#include <commdlg.h>
#include <stddef.h>
#include <string.h>

// The record size of the dialog's original layout, which every Windows version accepts:
// 76 bytes on 32-bit Windows, 136 on 64-bit (the pointers are twice as wide). Anything
// else is refused by the 64-bit dialog, which then never shows.
enum { kOpenFileNameSize = offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR) };
#if defined(_WIN32) && !defined(_WIN64)
static_assert(kOpenFileNameSize == 76, "the 32-bit record of the original layout");
#else
static_assert(kOpenFileNameSize == 136, "the 64-bit record of the original layout");
#endif

Boolean DoChooseFile(Globals *globals, char *outPath) {
    memset(outPath, 0, kChooseFilePathSize);
    OPENFILENAMEA aDialog;
    memset(&aDialog, 0, sizeof aDialog);
    aDialog.lStructSize = kOpenFileNameSize;
    aDialog.hwndOwner = globals->platform;
    aDialog.lpstrFilter = "Karvex Raw File (*.ekv)\0*.ekv\0\0";
    aDialog.nFilterIndex = 0;
    aDialog.lpstrFile = outPath;
    aDialog.nMaxFile = kChooseFilePathSize;
    aDialog.Flags = OFN_FILEMUSTEXIST;
    aDialog.lpstrDefExt = "ekv";
    return GetOpenFileNameA(&aDialog) != 0;
}
