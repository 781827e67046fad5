// RAW_Info to DNG: pattern, black and white levels, crop, white balance, colour matrix.
#include "DngCamera.h"

#include <cmath>

#include "pipeline/Pipeline.h"
#include "pipeline/PipelineSupport.h"
#include "plugin/HostMemory.h"

namespace dng {

namespace {

// Linear sRGB to CIE XYZ, white D65 (Y = 1), from the sRGB primaries.
const double kSrgbToXyz[9] = {0.412453, 0.357580, 0.180423,  //
                              0.212671, 0.715160, 0.072169,  //
                              0.019334, 0.119193, 0.950227};

void Multiply(const double inA[9], const double inB[9], double outC[9]) {
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            outC[3 * r + c] = inA[3 * r] * inB[c] + inA[3 * r + 1] * inB[3 + c] + inA[3 * r + 2] * inB[6 + c];
}

bool Invert(const double inM[9], double outInverse[9]) {
    const double *m = inM;
    double aCofactor[9] = {m[4] * m[8] - m[5] * m[7], m[2] * m[7] - m[1] * m[8], m[1] * m[5] - m[2] * m[4],
                           m[5] * m[6] - m[3] * m[8], m[0] * m[8] - m[2] * m[6], m[2] * m[3] - m[0] * m[5],
                           m[3] * m[7] - m[4] * m[6], m[1] * m[6] - m[0] * m[7], m[0] * m[4] - m[1] * m[3]};
    double aDeterminant = m[0] * aCofactor[0] + m[1] * aCofactor[3] + m[2] * aCofactor[6];
    if (!(std::fabs(aDeterminant) > 1e-9)) return false;
    for (int i = 0; i < 9; ++i) outInverse[i] = aCofactor[i] / aDeterminant;
    return true;
}

}  // namespace

// The module develops (methods 1 and 2) rgb = C . G . (raw - black), with G =
// diag(gain R, 1, gain B) the white balance and C the camera matrix. Taking rgb as linear
// sRGB, XYZ = S . rgb with S the sRGB to XYZ (D65) matrix, so for camera values
// cam = raw - black:
//     XYZ = S . C . G . cam,   hence   cam = G^-1 . C^-1 . S^-1 . XYZ.
// ColorMatrix1 (XYZ to camera, calibrated for D65) is G^-1 . C^-1 . S^-1, scaled as DNG
// wants: D65 white (Y = 1) maps to camera values whose largest is 1. A neutral the
// camera records as G^-1 . (1, 1, 1) is what white balance makes neutral: AsShotNeutral.
bool ColorMatrixFor(double inGainR, double inGainB, const double inCameraMatrix[9], double outMatrix[9]) {
    double aCameraInverse[9], aXyzToSrgb[9];
    if (!Invert(inCameraMatrix, aCameraInverse) || !Invert(kSrgbToXyz, aXyzToSrgb)) return false;
    double aMatrix[9];
    Multiply(aCameraInverse, aXyzToSrgb, aMatrix);
    const double aGain[3] = {inGainR, 1.0, inGainB};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) aMatrix[3 * r + c] /= aGain[r];
    const double aWhite[3] = {kSrgbToXyz[0] + kSrgbToXyz[1] + kSrgbToXyz[2], 1.0,
                              kSrgbToXyz[6] + kSrgbToXyz[7] + kSrgbToXyz[8]};
    double aLargest = 0.0;
    for (int r = 0; r < 3; ++r) {
        double aCamera = aMatrix[3 * r] * aWhite[0] + aMatrix[3 * r + 1] * aWhite[1] + aMatrix[3 * r + 2] * aWhite[2];
        aLargest = std::fmax(aLargest, aCamera);
    }
    if (!(aLargest > 0.0)) return false;
    for (int i = 0; i < 9; ++i) outMatrix[i] = aMatrix[i] / aLargest;
    return true;
}

void DescribeCamera(const RAW_Info &inInfo, DngDescription &outDescription, std::vector<std::string> &outNotes) {
    DngRaw &aRaw = outDescription.raw;
    aRaw.width = static_cast<uint32_t>(inInfo.image_width);
    aRaw.height = static_cast<uint32_t>(inInfo.image_length);
    const int aValidBits = inInfo.valid_bits_per_pixel[0];
    aRaw.white = (1u << aValidBits) - 1;

    // The module decodes the pattern bytes into one of four layouts (anything else reads
    // as RGGB) and subtracts optical_black[0..3] from R, Gr, Gb and B samples: a sample
    // at (r, c) is what RGGB holds at (r + row phase, c + column phase).
    int32 aRowPhase = 0, aColumnPhase = 0;
    RAW_PatternPhase(RAW_ReadCFAPatternValue(inInfo.cfa_pattern.value), &aRowPhase, &aColumnPhase);
    const uint8_t kRggbColour[4] = {0, 1, 1, 2};
    for (int aCell = 0; aCell < 4; ++aCell) {
        int aRggb = ((aCell / 2 + aRowPhase) % 2) * 2 + (aCell % 2 + aColumnPhase) % 2;
        aRaw.cfa[aCell] = kRggbColour[aRggb];
        aRaw.black[aCell] = static_cast<uint16_t>(inInfo.optical_black[aRggb]);
    }

    // Output pixel (r, c) lies at the centre of sensor rows r + 1, r + 2 and columns
    // c + 1, c + 2. Readers take only whole-sample crops: the crop starts at sample
    // (2, 2), which keeps the CFA phase of the mosaic, so its pixel (r, c) is sample
    // (c + 2, r + 2), half a sample right of and below the module's pixel (r, c).
    aRaw.cropOrigin[0] = aRaw.cropOrigin[1] = 2;
    auto aFit = [](int32 inOutput, uint32_t inSensor) {
        uint32_t aRoom = inSensor > 2 ? inSensor - 2 : 0;
        return inOutput > 0 && static_cast<uint32_t>(inOutput) < aRoom ? static_cast<uint32_t>(inOutput) : aRoom;
    };
    aRaw.cropSize[0] = aFit(inInfo.output_image_width, aRaw.width);
    aRaw.cropSize[1] = aFit(inInfo.output_image_height, aRaw.height);

    DngColor &aColor = outDescription.color;
    double aGainR = RAW_SInt32ToGainRatio(inInfo.wb_gain_gr);
    double aGainB = RAW_SInt32ToGainRatio(inInfo.wb_gain_gb);
    aColor.hasNeutral = aGainR > 0.0 && aGainB > 0.0;
    if (aColor.hasNeutral) {
        aColor.asShotNeutral[0] = 1.0 / aGainR;
        aColor.asShotNeutral[1] = 1.0;
        aColor.asShotNeutral[2] = 1.0 / aGainB;
    } else {
        outNotes.push_back("the camera's white-balance gains are not positive; no AsShotNeutral is written");
        aGainR = aGainB = 1.0;
    }
    double aCamera[9];
    for (int i = 0; i < 9; ++i) aCamera[i] = RAW_SInt16ToX(inInfo.color_matrix[i]);
    if (!ColorMatrixFor(aGainR, aGainB, aCamera, aColor.colorMatrix)) {
        outNotes.push_back("the camera's colour matrix cannot be inverted; the identity stands in for it");
        const double kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        ColorMatrixFor(aGainR, aGainB, kIdentity, aColor.colorMatrix);
    }
}

std::vector<float> ToneCurveOfMode(int16 inToneMode, int inValidBits, HandleProcs *inHandleProcs) {
    std::vector<float> aCurve;
    AcquireRecord aRecord{};
    aRecord.handleProcs = inHandleProcs;
    Handle aTables[3] = {nullptr, nullptr, nullptr};
    const uint16 *aEntries[3] = {nullptr, nullptr, nullptr};
    for (int i = 0; i < 3; ++i) {
        aTables[i] = RAW_GetLUT(&aRecord, static_cast<int16>(i), hDLLInstance);
        if (aTables[i] != nullptr)
            aEntries[i] = reinterpret_cast<const uint16 *>(RAW_LockHandle(inHandleProcs, aTables[i], false));
    }
    const uint16 *aTable = RAW_ToneTableOfMode(inToneMode, aEntries[0], aEntries[1], aEntries[2]);
    if (aTable != nullptr && inValidBits >= 1 && inValidBits <= 16) {
        // A sample v reads entry v << (16 - ValidBits); sample those entries, at most 1025.
        uint32_t aStep = 1u << (16 - inValidBits);
        if (aStep < 64) aStep = 64;
        for (uint32_t aIndex = 0; aIndex < 65536; aIndex += aStep) {
            aCurve.push_back(static_cast<float>(aIndex / 65535.0));
            aCurve.push_back(static_cast<float>(aTable[aIndex] / 65535.0));
        }
        // DNG curves end at (1, 1); the tables end within two units of full scale.
        aCurve.push_back(1.0f);
        aCurve.push_back(1.0f);
    }
    for (int i = 0; i < 3; ++i)
        if (aTables[i] != nullptr) {
            RAW_UnlockHandle(inHandleProcs, aTables[i]);
            RAW_DisposeHandle(inHandleProcs, aTables[i]);
        }
    return aCurve;
}

}  // namespace dng
