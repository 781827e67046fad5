// The open-file dialog of Prepare: lets the user choose a raw file.
#ifndef KARVEX_UI_OPENFILEDIALOG_H
#define KARVEX_UI_OPENFILEDIALOG_H

#include "../plugin/PlugInGlobals.h"

enum { kChooseFilePathSize = 260 };

// True with the chosen path in outPath (kChooseFilePathSize bytes, cleared first), false
// when the user cancels. The dialog is owned by globals->platform.
Boolean DoChooseFile(Globals *globals, char *outPath);

#endif
