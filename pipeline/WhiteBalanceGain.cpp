// The user's red and blue gains, measured on the 10 x 10 sensor block under the point
// picked on the preview. Without a usable point or area the camera's gains stand.
#include "../plugin/HostMemory.h"
#include "Pipeline.h"

enum { kWBAreaSize = 10, kWBAreaCells = 5, kPreviewWidth = 320, kPreviewHeight = 240 };

// Sums of one colour: the unsigned total the gains are formed from and, beside it, the
// exact signed total that shows whether the area lies at or below the black level.
typedef struct RAW_WBSum {
    uint32 total;
    int64_t exact;
} RAW_WBSum;

static void DoAddSample(RAW_WBSum *ioSum, uint16 inSample) {
    ioSum->total += inSample;
    ioSum->exact += inSample;
}

static void DoSubtractBlack(RAW_WBSum *ioSum, uint16 inBlack) {
    ioSum->total -= inBlack;
    ioSum->exact -= inBlack;
}

// The area's top-left sensor column and row for the picked point, both even. The column
// is kept inside the sensor's row; false when the row is too short for the area.
static Boolean DoWhiteBalanceArea(const Globals *globals, int32 *outX, int32 *outY) {
    const RAW_Info *info = &globals->info;
    int32 W = info->output_image_width;
    int32 H = info->output_image_height;
    int32 ax = 2 * ((W / kPreviewWidth) / 2);
    int32 ay = 2 * ((H / kPreviewHeight) / 2);
    int32 bx = (W - kPreviewWidth * ax) / 2;
    int32 by = (H - kPreviewHeight * ay) / 2;
    int32 x = 2 * ((globals->wb_point.h * ax + bx) / 2);
    int32 y = 2 * ((globals->wb_point.v * ay + by) / 2);
    if (info->image_width < kWBAreaSize || info->image_width > 65535) return false;
    int32 aLastX = 2 * ((info->image_width - kWBAreaSize) / 2);
    if (x > aLastX) x = aLastX;
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    *outX = x;
    *outY = y;
    return true;
}

// Measures the gains on the area; false (gains untouched) when the strip cannot be read
// or the area gives no positive total for a colour.
static Boolean DoMeasureGains(Globals *globals, uint16 inOB[4], double *ioWB_R, double *ioWB_B) {
    const RAW_Info *info = &globals->info;
    HandleProcs *aHandleProcs = globals->acquireParamBlock->handleProcs;
    int32 x = 0, y = 0;
    if (!DoWhiteBalanceArea(globals, &x, &y)) return false;

    Handle aBayerStrip = nullptr;
    OSErr aErr = RAW_ReadStrip(&globals->file, info, static_cast<uint32>(y), kWBAreaSize, aHandleProcs, &aBayerStrip);
    if (aErr != 0 || aBayerStrip == nullptr) {
        if (aBayerStrip != nullptr) HostDisposeHandle(aHandleProcs, aBayerStrip);
        return false;
    }
    int32 aNeeded = kWBAreaSize * info->image_width * 2;
    uint16 *aBayer = reinterpret_cast<uint16 *>(HostLockHandle(aHandleProcs, aBayerStrip, false));
    if (aBayer == nullptr || HostGetHandleSize(aHandleProcs, aBayerStrip) < aNeeded) {
        if (aBayer != nullptr) HostUnlockHandle(aHandleProcs, aBayerStrip);
        HostDisposeHandle(aHandleProcs, aBayerStrip);
        return false;
    }
    RAW_ShiftRight(aBayer, static_cast<uint16>(info->image_width), kWBAreaSize,
                   static_cast<uint16>(info->valid_bits_per_pixel[0]),
                   static_cast<uint16>(info->valid_bits_per_pixel[1]), info->endian);

    // The colour of each position of a cell, by the pattern code: 0 R, 1 Gr, 2 Gb, 3 B.
    int aColour[4];
    switch (RAW_ReadCFAPatternValue(info->cfa_pattern.value)) {
        case kRAW_Pattern_GRBG:
            aColour[0] = 1;
            aColour[1] = 0;
            aColour[2] = 3;
            aColour[3] = 2;
            break;
        case kRAW_Pattern_GBRG:
            aColour[0] = 2;
            aColour[1] = 3;
            aColour[2] = 0;
            aColour[3] = 1;
            break;
        case kRAW_Pattern_BGGR:
            aColour[0] = 3;
            aColour[1] = 2;
            aColour[2] = 1;
            aColour[3] = 0;
            break;
        default:
            aColour[0] = 0;
            aColour[1] = 1;
            aColour[2] = 2;
            aColour[3] = 3;
            break;
    }

    RAW_WBSum aSum[4] = {};  // WBr, WBgr, WBgb, WBb
    int32 aRow = info->image_width;
    for (int32 aWBy = 0; aWBy < kWBAreaCells; ++aWBy) {
        for (int32 aWBx = 0; aWBx < kWBAreaCells; ++aWBx) {
            const uint16 *aTop = aBayer + (2 * aWBy) * aRow + x + 2 * aWBx;
            const uint16 *aBottom = aTop + aRow;
            DoAddSample(&aSum[aColour[0]], aTop[0]);
            DoAddSample(&aSum[aColour[1]], aTop[1]);
            DoAddSample(&aSum[aColour[2]], aBottom[0]);
            DoAddSample(&aSum[aColour[3]], aBottom[1]);
            for (int aIndex = 0; aIndex < 4; ++aIndex) DoSubtractBlack(&aSum[aIndex], inOB[aIndex]);
        }
    }
    HostUnlockHandle(aHandleProcs, aBayerStrip);
    HostDisposeHandle(aHandleProcs, aBayerStrip);

    for (int aIndex = 0; aIndex < 4; ++aIndex)
        if (aSum[aIndex].exact <= 0) return false;
    uint32 aGreen = aSum[1].total + aSum[2].total;
    *ioWB_R = (static_cast<double>(aGreen) * 0.5) / static_cast<double>(aSum[0].total);
    *ioWB_B = (static_cast<double>(aGreen) * 0.5) / static_cast<double>(aSum[3].total);
    return true;
}

void DoWhiteBalanceGain(Globals *globals) {
    const RAW_Info *info = &globals->info;
    uint16 aOB[4] = {0, 0, 0, 0};
    double WB_R = 1.0;
    double WB_B = 1.0;
    if (globals->method != 0) {
        for (int aIndex = 0; aIndex < 4; ++aIndex) aOB[aIndex] = static_cast<uint16>(info->optical_black[aIndex]);
        WB_R = RAW_SInt32ToGainRatio(info->wb_gain_gr);
        WB_B = RAW_SInt32ToGainRatio(info->wb_gain_gb);
    }
    if (globals->wb_point.h != -1 && globals->wb_point.v != -1) DoMeasureGains(globals, aOB, &WB_R, &WB_B);
    globals->wb_r = WB_R;
    globals->wb_b = WB_B;
}
