// Identification from what the module's reader knows of a file.
#include "DngMetadata.h"

namespace ekv {

void ReadDngIdentity(const std::string &, const HeaderInfo &, dng::DngIdentity &outIdentity) {
    // The module's reader recognises Karvex files by their header alone and keeps no
    // camera name, model or date in RAW_Info: the make is the format's maker, and the
    // unique model names the format, as every file of it is developed alike.
    outIdentity.make = "Karvex";
    outIdentity.model.clear();
    outIdentity.uniqueCameraModel = "Karvex EKV";
    outIdentity.software = "ekv dng (Karvex RAW File import)";
    outIdentity.dateTime.clear();
}

}  // namespace ekv
