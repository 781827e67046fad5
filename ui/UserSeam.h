// The native build's user-interface seam. Nobody clicks on Linux: the answers of the
// person in front of the module (which file, which method and preview point, OK or
// Cancel, acknowledging a message box) come from the host program through this one
// interface, which the host installs before it calls the module.
#ifndef KARVEX_UI_USERSEAM_H
#define KARVEX_UI_USERSEAM_H

#include "../host/AcquireInterface.h"

// What the conversion dialog answers.
typedef struct UI_DialogAnswer {
    int16 method;     // 0, 1 or 2: the radio button the user checked last
    Point wb_point;   // the picked preview point, or (-1, -1); honoured for methods 1 and 2
    Boolean convert;  // true for OK, false for Cancel
} UI_DialogAnswer;

typedef struct UI_Responder {
    void *context;
    // The open-file dialog: true with the chosen path in outPath (inSize bytes), false
    // when the user cancels.
    Boolean (*chooseFile)(void *context, char *outPath, int32 inSize);
    // A message box with its text and caption; returns once it is acknowledged.
    void (*showMessage)(void *context, const char *inText, const char *inCaption);
    // The conversion dialog; the thumbnail JPEG (or null, size 0) is what it previews.
    void (*runDialog)(void *context, const uint8_t *inThumbnail, int32 inThumbnailSize, UI_DialogAnswer *outAnswer);
    // The system's warning beep.
    void (*beep)(void *context);
} UI_Responder;

// Installs the responder (copied); null removes it. Without a responder the file dialog
// and the conversion dialog are cancelled and message boxes go to standard error.
void UI_SetResponder(const UI_Responder *inResponder);
const UI_Responder *UI_GetResponder(void);

void UI_Beep(void);

// The module's string table (the same texts the Windows resources carry). Copies at most
// inSize - 1 characters and returns their count; 0 and an empty buffer when unknown.
int32 UI_LoadString(uint32 inID, char *outBuffer, int32 inSize);

#endif
