// The open-file dialog of the native build: the answer comes through the UI seam.
#include "OpenFileDialog.h"

#include <cstring>

#include "UserSeam.h"

Boolean DoChooseFile(Globals * /*globals*/, char *outPath) {
    std::memset(outPath, 0, kChooseFilePathSize);
    const UI_Responder *aResponder = UI_GetResponder();
    if (aResponder == nullptr || aResponder->chooseFile == nullptr) return false;
    if (!aResponder->chooseFile(aResponder->context, outPath, kChooseFilePathSize)) return false;
    outPath[kChooseFilePathSize - 1] = 0;  // never trust the answer to end the string
    return outPath[0] != 0;
}
