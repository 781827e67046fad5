// Writes a DNG (version 1.4, readable by DNG 1.1 readers) of a CFA mosaic through libtiff:
// 16-bit samples with the valid bits at the bottom, uncompressed in strips or as lossless
// JPEG in 256 x 256 tiles (DNG Compression 7), the CFA pattern, per-cell
// black levels, the white level, the default crop, the camera's colour description and
// identification, any metadata of the caller's, and optionally a JPEG preview. With a
// preview, IFD0 holds the preview (NewSubFileType 1) and the mosaic sits in a SubIFD
// (NewSubFileType 0); without one the mosaic is IFD0 itself.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// libtiff's handle, declared here so that this header stays free of libtiff's typedefs.
typedef struct tiff TIFF;

namespace dng {

enum class MosaicCompression { None, LosslessJpeg };

struct DngRaw {
    MosaicCompression compression = MosaicCompression::None;
    // Lossless JPEG: the tiles of a band are coded on this many threads at once; 0: as
    // many as the processors online.
    unsigned threads = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    // Colours of the 2 x 2 cell at the top-left sample, row by row: 0 red, 1 green, 2 blue.
    uint8_t cfa[4] = {0, 1, 1, 2};
    uint16_t black[4] = {0, 0, 0, 0};  // black level of each cell position, same order
    uint32_t white = 65535;
    // The final image on the sensor, in whole samples: x, y.
    uint32_t cropOrigin[2] = {0, 0};
    uint32_t cropSize[2] = {0, 0};
};

struct DngColor {
    // Camera values of a neutral: (1 / red gain, 1, 1 / blue gain). Not written when
    // hasNeutral is false.
    bool hasNeutral = false;
    double asShotNeutral[3] = {1.0, 1.0, 1.0};
    // XYZ (D65) to camera, row-major; calibrated for D65.
    double colorMatrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    // Pairs (input, output) in 0..1 from (0, 0) to (1, 1); empty: none.
    std::vector<float> toneCurve;
};

struct DngIdentity {
    std::string make;
    // Raw converters find a camera by Make and Model and some insist on a Model: without
    // one of the camera's own, the file format's name stands in.
    std::string model = "EKV";
    std::string uniqueCameraModel;
    std::string software;
    std::string dateTime;  // "YYYY:MM:DD HH:MM:SS" or empty
};

struct DngDescription {
    DngRaw raw;
    DngColor color;
    DngIdentity identity;
    std::vector<uint8_t> previewJpeg;  // empty: no preview
    // The caller's own metadata, optional: setMetadata is called on IFD0 before it is
    // written (after the identity's fields, which it may replace); finishMetadata once
    // every image directory is written, to add directories that IFD0 points to (Exif)
    // and rewrite IFD0. Each returns false when libtiff fails.
    std::function<bool(TIFF *)> setMetadata;
    std::function<bool(TIFF *)> finishMetadata;
};

// Fills outRows with inCount rows of raw.width samples each, starting at inFirstRow;
// false with a reason stops the writing.
using RowSource =
    std::function<bool(uint32_t inFirstRow, uint32_t inCount, std::vector<uint16_t> &outRows, std::string &outError)>;

// The reason WriteDng gives when memory runs out.
extern const char kOutOfMemory[];

// Writes the DNG to the open descriptor inFd, which libtiff takes over and closes in any
// case. Rows are requested in bands, so memory stays independent of the image height.
// A write or an allocation that failed is reported with the system's reason, and errno
// then holds it (ENOMEM when memory ran out); errno is 0 for other failures.
bool WriteDng(int inFd, const std::string &inName, const DngDescription &inDescription, const RowSource &inRows,
              std::string &outError);

}  // namespace dng
