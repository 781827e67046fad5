// Identification and shooting data from the raw file's own tags, as convert reads them.
#include "metadata/DngMetadata.h"

#include "metadata/ConvertMetadata.h"
#include "metadata/TextEncoding.h"

namespace ekv {

namespace {

// The camera as raw converters key their profiles: make and model, without the make
// twice when the model already starts with it. Without a model every file of the format
// is developed alike, and the format is the camera.
std::string UniqueModel(const std::string &inMake, const std::string &inModel) {
    if (inModel.empty()) return "Karvex EKV";
    if (inModel.compare(0, inMake.size(), inMake) == 0) return inModel;
    return inMake + " " + inModel;
}

}  // namespace

void AddDngMetadata(const std::string &inFile, dng::DngDescription &ioDescription, std::vector<std::string> &ioNotes) {
    const OutputMetadata aMetadata = BuildOutputMetadata(inFile, ProfileKind::None);
    const CameraTags &aCamera = aMetadata.camera;
    const std::string aTextNote = TextNote(aCamera);
    if (!aTextNote.empty()) ioNotes.push_back(aTextNote);
    dng::DngIdentity &aIdentity = ioDescription.identity;
    // The module's reader recognises Karvex files by their header alone: a file without
    // a Make tag is still the format's maker's. Without a Model the writer's default
    // stands (raw converters look a camera up by both).
    aIdentity.make = aCamera.make.empty() ? "Karvex" : AsciiForm(aCamera.make);
    if (!aCamera.model.empty()) aIdentity.model = AsciiForm(aCamera.model);
    aIdentity.uniqueCameraModel = UniqueModel(aIdentity.make, AsciiForm(aCamera.model));
    aIdentity.software = aMetadata.software;
    aIdentity.dateTime = aCamera.dateTime;
    // Artist, copyright and the Exif placeholder in IFD0; the Exif directory once the
    // mosaic is written, as convert's TIFF writer adds them.
    ioDescription.setMetadata = [aMetadata](TIFF *ioTiff) { return SetTiffMetadata(ioTiff, aMetadata); };
    ioDescription.finishMetadata = [aCamera](TIFF *ioTiff) {
        return WriteTiffExif(ioTiff, aCamera, kExifColorSpaceUncalibrated);
    };
}

}  // namespace ekv
