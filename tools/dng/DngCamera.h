// The DNG description of an EKV camera's mosaic, derived from the reader's RAW_Info the
// way the module's pipeline uses it: the CFA pattern as the module decodes it, black
// levels on the cells where white balance subtracts them, the white level of the valid
// bits, the output rectangle on the sensor, and the camera's white balance and colour
// matrix as DNG colour tags.
#pragma once

#include <string>
#include <vector>

#include "DngWriter.h"
#include "host/AcquireInterface.h"
#include "rawfile/RawInfo.h"

namespace dng {

// Fills outDescription.raw and outDescription.color (without a tone curve). outNotes
// receives one line for each camera setting a DNG cannot carry as it stands.
void DescribeCamera(const RAW_Info &inInfo, DngDescription &outDescription, std::vector<std::string> &outNotes);

// The XYZ (D65) to camera matrix for white-balance gains inGainR, inGainB and the camera
// matrix inCameraMatrix (row-major, camera RGB after white balance to linear sRGB);
// false when that matrix cannot be inverted.
bool ColorMatrixFor(double inGainR, double inGainB, const double inCameraMatrix[9], double outMatrix[9]);

// The tone table the camera's tone mode selects under "RGB, Auto Image Process", loaded
// through the module with the given handle callbacks, as ProfileToneCurve points
// sampled at the table indices that inValidBits-bit samples reach (at most 1025
// points). Empty when the tone mode selects no table or it cannot be loaded.
std::vector<float> ToneCurveOfMode(int16 inToneMode, int inValidBits, HandleProcs *inHandleProcs);

}  // namespace dng
