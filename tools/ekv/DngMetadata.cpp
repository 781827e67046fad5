// Identification and shooting data from the raw file's own tags, as convert reads them.
#include "DngMetadata.h"

#include "ConvertMetadata.h"

namespace ekv {

namespace {

double ValueOf(const Rational &inRational) { return inRational.present() ? inRational.value() : 0.0; }

// The camera as raw converters key their profiles: make and model, without the make
// twice when the model already starts with it. Without a model every file of the format
// is developed alike, and the format is the camera.
std::string UniqueModel(const std::string &inMake, const std::string &inModel) {
    if (inModel.empty()) return "Karvex EKV";
    if (inModel.compare(0, inMake.size(), inMake) == 0) return inModel;
    return inMake + " " + inModel;
}

}  // namespace

void ReadDngIdentity(const std::string &inFile, dng::DngIdentity &outIdentity, dng::DngShooting &outShooting) {
    const OutputMetadata aMetadata = BuildOutputMetadata(inFile, ProfileKind::None);
    const CameraTags &aCamera = aMetadata.camera;
    // The module's reader recognises Karvex files by their header alone: a file without
    // a Make tag is still the format's maker's.
    outIdentity.make = aCamera.make.empty() ? "Karvex" : aCamera.make;
    outIdentity.model = aCamera.model;
    outIdentity.uniqueCameraModel = UniqueModel(outIdentity.make, aCamera.model);
    outIdentity.software = aMetadata.software;
    outIdentity.dateTime = aCamera.dateTime;
    outIdentity.artist = aCamera.artist;
    outIdentity.copyright = aCamera.copyright;
    outShooting.dateTimeOriginal = aCamera.dateTimeOriginal;
    outShooting.exposureTime = ValueOf(aCamera.exposureTime);
    outShooting.fNumber = ValueOf(aCamera.fNumber);
    outShooting.focalLength = ValueOf(aCamera.focalLength);
    outShooting.iso = aCamera.iso;
}

}  // namespace ekv
