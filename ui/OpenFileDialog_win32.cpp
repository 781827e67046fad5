// The open-file dialog on Windows: the common dialog with one filter for raw files.
#include "OpenFileDialog.h"

#include <commdlg.h>
#include <string.h>

// The record size of the dialog's original layout, which every Windows version accepts.
enum { kOpenFileNameSize = 76 };

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
