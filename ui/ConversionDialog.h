// The conversion dialog: opened, run until OK or Cancel, and closed around the import;
// DrawPreview paints the thumbnail into the dialog's preview area.
#ifndef KARVEX_UI_CONVERSIONDIALOG_H
#define KARVEX_UI_CONVERSIONDIALOG_H

#include "../plugin/PlugInGlobals.h"

// Creates the dialog for globals->platform; false when it cannot be created.
Boolean OpenOurDialog(Globals *globals);
// Runs the dialog; true for OK (convert), false for Cancel.
Boolean RunOurDialog(Globals *globals);
void CloseOurDialog(Globals *globals);
void DrawPreview(Globals *globals);

#endif
