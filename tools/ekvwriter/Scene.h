// A procedural test chart and its capture by a simulated camera: the chart (colour
// patches, grey ramp and steps, a radial star of fine lines, smooth colour gradients) is
// defined in linear RGB over the output image; the camera adds the black levels, divides
// by the white-balance gains and by the colour matrix, samples through the CFA at the
// valid bits, and adds mild deterministic noise.
#pragma once

#include <cstdint>
#include <vector>

#include "Jpeg.h"
#include "rawfile/RawInfo.h"

namespace ekvwriter {

struct SceneOptions {
    double exposure = 0.92;  // linear 1.0 lands at this fraction of the range above black
    double noise = 1.0;      // scale of the noise (0: none)
    uint32_t seed = 0x4B565831;
};

// Linear RGB (0..1) of the chart at (u, v), both 0..1 across the output image; the chart
// keeps the aspect ratio 'aspect' (output width / height) so that the star stays round.
void ChartColor(double inU, double inV, double inAspect, double outRgb[3]);

// The sensor mosaic the camera described by inInfo records of the chart: image_width x
// image_length samples, output pixel (r, c) centred between sensor rows r+1, r+2 and
// columns c+1, c+2.
std::vector<uint16_t> RenderMosaic(const RAW_Info &inInfo, const SceneOptions &inOptions = {});

// The chart at thumbnail size in sRGB, with 3 x 3 supersampling.
RgbImage RenderThumbnail(int inWidth, int inHeight, double inAspect);

// A mosaic of one value per CFA colour (red, Gr, Gb, blue), no noise.
std::vector<uint16_t> FlatMosaic(const RAW_Info &inInfo, const uint16_t inValues[4]);

}  // namespace ekvwriter
