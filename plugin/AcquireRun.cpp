// The import run: Prepare chooses the file and reads its header, Start runs the dialog
// and describes the document, Continue converts and delivers the bands.
#include "AcquireRun.h"

#include "../pipeline/Pipeline.h"
#include "../pipeline/PipelineReference.h"
#include "../pipeline/kernels/StageKernels.h"
#include "../ui/ConversionDialog.h"
#include "../ui/MessageBoxes.h"
#include "../ui/OpenFileDialog.h"
#include "BandWorkers.h"
#include "HostMemory.h"

// `loop` of a run that has ended: the last band was delivered (or the run failed) and the
// next Continue releases what is still held. Once nothing is held, the run is over.
enum { kLoopEnded = -1 };
// Keeps the plane counter well inside 16 bits on very tall images: only its value mod 3
// and its being positive matter once the first band has been delivered.
enum { kLoopWrapAt = 30000, kLoopWrapTo = 3 };
enum { kResolution72dpi = 0x480000, kMaxValue16 = 65535 };

static void DoDisposeThumbnail(Globals *globals) {
    if (globals->thumbnail == nullptr) return;
    HostDisposeHandle(globals->acquireParamBlock->handleProcs, globals->thumbnail);
    globals->thumbnail = nullptr;
}

// Whether the run still holds a tone table or a plane buffer.
static Boolean DoRunHolds(const Globals *globals) {
    if (globals->workers != nullptr) return true;
    for (int aIndex = 0; aIndex < kLUTCount; ++aIndex)
        if (globals->lut[aIndex] != nullptr) return true;
    for (int aIndex = 0; aIndex < kPlaneCount; ++aIndex)
        if (globals->layer_id[aIndex] != nullptr || globals->small_layer_id[aIndex] != nullptr) return true;
    return false;
}

// Releases every table and buffer still held and empties its slot, so that nothing is
// released twice. The slots are the run's only record of what it holds.
static void DoReleaseHeld(Globals *globals) {
    AcquireRecord *aBlock = globals->acquireParamBlock;
    // The workers stop first: they read the tone tables and write their lanes.
    RAW_StopBandWorkers(globals, globals->workers);
    globals->workers = nullptr;
    for (int aIndex = 0; aIndex < kLUTCount; ++aIndex) {
        if (globals->lut[aIndex] != nullptr) HostDisposeHandle(aBlock->handleProcs, globals->lut[aIndex]);
        globals->lut[aIndex] = nullptr;
    }
    for (int aIndex = 0; aIndex < kPlaneCount; ++aIndex) {
        RAW_FreeBuffer(aBlock->bufferProcs, globals->layer_id[aIndex]);
        globals->layer_id[aIndex] = nullptr;
        globals->layer_ptr[aIndex] = nullptr;
        RAW_FreeBuffer(aBlock->bufferProcs, globals->small_layer_id[aIndex]);
        globals->small_layer_id[aIndex] = nullptr;
        globals->small_layer_ptr[aIndex] = nullptr;
        globals->ready_ptr[aIndex] = nullptr;
    }
}

void DoReleaseRun(Globals *globals) {
    DoDisposeThumbnail(globals);
    if (!DoRunHolds(globals)) return;
    DoReleaseHeld(globals);
    globals->loop = kLoopEnded;
}

static void DoEndOfImage(AcquireRecord *ioBlock) {
    ioBlock->theRect.top = 0;
    ioBlock->theRect.left = 0;
    ioBlock->theRect.bottom = 0;
    ioBlock->theRect.right = 0;
    ioBlock->data = nullptr;
}

// A run that cannot go on: everything is released, nothing more is delivered.
static void DoFailRun(Globals *globals) {
    DoReleaseHeld(globals);
    globals->loop = kLoopEnded;
    DoEndOfImage(globals->acquireParamBlock);
    *globals->result = kResultMemFull;
}

uint32 DoBandHeight(int32 inOutputWidth) {
    if (inOutputWidth < 1000) return 30;
    if (inOutputWidth < 2000) return 16;
    if (inOutputWidth < 3000) return 10;
    return 6;
}

static Boolean DoIsBandHeight(uint32 inBand) { return inBand == 30 || inBand == 16 || inBand == 10 || inBand == 6; }

void DoPrepare(Globals *globals) {
    *globals->result = kResultSuccess;
    AcquireRecord *aBlock = globals->acquireParamBlock;
    char aPath[kChooseFilePathSize];
    if (DoChooseFile(globals, aPath)) {
        FSSpec aSpec;
        NativePathNameToFSSpec(aPath, &aSpec, 0);
        globals->file = aSpec;
        if (!RAW_IsEKV(&globals->file)) {
            ShowNotEKV(globals->platform, hDLLInstance);
            *globals->result = kResultUserCanceled;
        } else {
            // A thumbnail left by an earlier Prepare that never reached Start goes first.
            DoDisposeThumbnail(globals);
            RAW_DefaultInfo(&globals->info);
            OSErr aErr = RAW_ReadHeader(&globals->file, &globals->info, aBlock->handleProcs, &globals->thumbnail);
            if (aErr != 0) {
                DoDisposeThumbnail(globals);
                *globals->result = kResultMemFull;
            } else if (!RAW_IsConvertibleHeader(&globals->info)) {
                ShowDamagedEKV(globals->platform, hDLLInstance);
                DoDisposeThumbnail(globals);
                *globals->result = kResultUserCanceled;
            }
        }
    } else {
        *globals->result = kResultUserCanceled;
    }
    aBlock->maxData = 0;
    aBlock->wantFinalize = true;
}

static void DoDescribeDocument(Globals *globals) {
    AcquireRecord *aBlock = globals->acquireParamBlock;
    const RAW_Info *info = &globals->info;
    globals->loop = 0;
    globals->line = 0;
    globals->band = DoBandHeight(info->output_image_width);

    aBlock->imageSize.h = static_cast<int16>(info->output_image_width);
    aBlock->imageSize.v = static_cast<int16>(info->output_image_height);
    if (info->valid_bits_per_pixel[0] > 8) {
        aBlock->imageMode = plugInModeRGB48;
        aBlock->depth = 16;
    } else {
        aBlock->imageMode = plugInModeRGBColor;
        aBlock->depth = 8;
    }
    aBlock->planes = kPlaneCount;
    aBlock->imageHRes = kResolution72dpi;
    aBlock->imageVRes = kResolution72dpi;
    aBlock->maxValue = kMaxValue16;
    aBlock->dirty = false;
    aBlock->canReadBack = false;
    aBlock->wantReadBack = false;
    aBlock->acquireAgain = false;
    aBlock->canFinalize = false;
    aBlock->wantFinalize = true;
    aBlock->data = nullptr;
    aBlock->tileWidth = 0;
    aBlock->tileHeight = 0;
    aBlock->tileOrigin.v = 0;
    aBlock->tileOrigin.h = 0;
    aBlock->isFirstAlphaTransparency = false;
    aBlock->iCCprofileData = nullptr;
    aBlock->iCCprofileSize = 0;
    aBlock->canUseICCProfiles = 0;
    aBlock->lutCount = 0;
    aBlock->pushDataSource = nullptr;
}

void DoStart(Globals *globals) {
    *globals->result = kResultSuccess;
    // Tables and buffers of a run the host abandoned are not carried into this one.
    if (DoRunHolds(globals)) DoReleaseHeld(globals);

    // The preview's decoder runs only while the dialog is open. When it cannot start, the
    // media layer is as good as missing: its notice, and the import ends as cancelled.
    if (StartPreviewDecoder() != noErr) {
        ShowQuickTimeError(static_cast<const PlatformData *>(globals->acquireParamBlock->platformData), hDLLInstance);
        *globals->result = kResultUserCanceled;
        globals->loop = kLoopEnded;
        DoDisposeThumbnail(globals);
        return;
    }
    OpenOurDialog(globals);
    if (!RunOurDialog(globals)) {
        *globals->result = kResultUserCanceled;
        globals->loop = kLoopEnded;
    } else {
        DoDescribeDocument(globals);
    }
    CloseOurDialog(globals);
    StopPreviewDecoder();
    DoDisposeThumbnail(globals);
}

// The first Continue of a run: the five tone tables, the three 8-bit delivery planes and,
// for the methods that use it, the user's white balance. False when something could not
// be had.
static Boolean DoBeginRun(Globals *globals) {
    AcquireRecord *aBlock = globals->acquireParamBlock;
    for (int aIndex = 0; aIndex < kLUTCount; ++aIndex)
        globals->lut[aIndex] = RAW_GetLUT(aBlock, static_cast<int16>(aIndex - 1), hDLLInstance);
    int32 aWidth = globals->info.output_image_width;
    int32 aBand = static_cast<int32>(globals->band);
    for (int aIndex = 0; aIndex < kPlaneCount; ++aIndex)
        globals->small_layer_ptr[aIndex] = reinterpret_cast<uint8_t *>(
            RAW_AllocateBuffer(aBlock->bufferProcs, aWidth * aBand, &globals->small_layer_id[aIndex]));
    for (int aIndex = 0; aIndex < kLUTCount; ++aIndex)
        if (globals->lut[aIndex] == nullptr) return false;
    for (int aIndex = 0; aIndex < kPlaneCount; ++aIndex)
        if (globals->small_layer_ptr[aIndex] == nullptr) return false;
    if (globals->method != 0) DoWhiteBalanceGain(globals);
    return true;
}

// The three 16-bit planes a run converts into on the host's thread (a run on band workers
// delivers from its lanes' planes instead). False when the host gives not all of them.
static Boolean DoTakeLayerPlanes(Globals *globals) {
    BufferProcs *aProcs = globals->acquireParamBlock->bufferProcs;
    int32 aBytes = globals->info.output_image_width * static_cast<int32>(globals->band) * 2;
    for (int aIndex = 0; aIndex < kPlaneCount; ++aIndex) {
        globals->layer_ptr[aIndex] =
            reinterpret_cast<uint16 *>(RAW_AllocateBuffer(aProcs, aBytes, &globals->layer_id[aIndex]));
        if (globals->layer_ptr[aIndex] == nullptr) return false;
        globals->ready_ptr[aIndex] = globals->layer_ptr[aIndex];
    }
    return true;
}

// The bands the run delivers: every whole band of output rows, and at least one.
static uint32 DoBandCount(const Globals *globals) {
    uint32 aRows = globals->band - 4;
    uint32 aCount = static_cast<uint32>(globals->info.output_image_height) / aRows;
    return aCount > 0 ? aCount : 1;
}

// Starts the band workers for a run of several bands, with worker threads when the
// machine has processors to spare, and posts them the first groups of bands. On one
// thread the workers are the host's thread alone, converting a group of bands at a time
// in one lane. A run of a single band, one with the straightforward stages on one
// thread, and one whose lanes could not have their memory convert band by band on the
// host's thread.
static Boolean DoStartWorkers(Globals *globals) {
    uint32 aBands = DoBandCount(globals);
    if (aBands < 2) return true;
    // Fewer threads than bands.
    int32 aThreads = RAW_BandThreadCount();
    if (static_cast<uint32>(aThreads) >= aBands) aThreads = static_cast<int32>(aBands - 1);
    if (aThreads < 2 && RAW_ReferenceStagesSelected()) return true;
    globals->workers = RAW_StartBandWorkers(globals, aThreads, aBands);
    RAW_BandWorkers *w = globals->workers;
    if (w == nullptr) return true;
    for (int32 aLane = 0; aLane < w->laneCount; ++aLane)
        if (!RAW_PostBand(globals, w, aLane, static_cast<uint32>(aLane) * w->bandsPerLane)) return false;
    return true;
}

// The next band from the workers. At the first band of a group, the lane of the group
// delivered last takes the group that many lanes further on; then the host's thread
// waits for this group's lane and delivers the band from its rows.
static Boolean DoTakeWorkerBand(Globals *globals) {
    RAW_BandWorkers *w = globals->workers;
    uint32 aRows = globals->band - 4;
    uint32 aBand = globals->line / aRows;
    uint32 aGroup = aBand / w->bandsPerLane;
    uint32 aLanes = static_cast<uint32>(w->laneCount);
    if (aBand > 0 && aBand % w->bandsPerLane == 0) {
        int32 aFreed = static_cast<int32>((aGroup - 1) % aLanes);
        RAW_ReleaseBand(globals, w, aFreed);
        uint32 aNext = (aGroup - 1 + aLanes) * w->bandsPerLane;
        if (aNext < w->bandCount && !RAW_PostBand(globals, w, aFreed, aNext)) return false;
    }
    int32 aLane = static_cast<int32>(aGroup % aLanes);
    if (!RAW_WaitBand(w, aLane)) return false;
    size_t aOffset =
        static_cast<size_t>(aBand % w->bandsPerLane) * aRows * static_cast<size_t>(globals->info.output_image_width);
    for (int aIndex = 0; aIndex < kPlaneCount; ++aIndex)
        globals->ready_ptr[aIndex] = w->lane[aLane].plane[aIndex] + aOffset;
    return true;
}

// Reads the band's sensor rows and converts them into the three 16-bit planes.
static Boolean DoConvertBand(Globals *globals) {
    AcquireRecord *aBlock = globals->acquireParamBlock;
    HandleProcs *aHandleProcs = aBlock->handleProcs;
    const RAW_Info *info = &globals->info;

    Handle aStrip = nullptr;
    OSErr aErr = RAW_ReadStrip(&globals->file, info, globals->line, globals->band, aHandleProcs, &aStrip);
    if (aErr != 0 || aStrip == nullptr) {
        if (aStrip != nullptr) HostDisposeHandle(aHandleProcs, aStrip);
        return false;
    }
    uint16 *aBayer = reinterpret_cast<uint16 *>(HostLockHandle(aHandleProcs, aStrip, false));
    int32 aNeeded = info->image_width * static_cast<int32>(globals->band) * 2;
    if (aBayer == nullptr || HostGetHandleSize(aHandleProcs, aStrip) < aNeeded) {
        if (aBayer != nullptr) HostUnlockHandle(aHandleProcs, aStrip);
        HostDisposeHandle(aHandleProcs, aStrip);
        return false;
    }

    uint16 *aLUT[kLUTCount];
    Boolean aLocked = true;
    for (int aIndex = 0; aIndex < kLUTCount; ++aIndex) {
        aLUT[aIndex] = reinterpret_cast<uint16 *>(HostLockHandle(aHandleProcs, globals->lut[aIndex], false));
        if (aLUT[aIndex] == nullptr) aLocked = false;
    }

    Boolean aConverted = false;
    if (aLocked) {
        Rect area;
        area.top = 0;
        area.left = 0;
        area.bottom = static_cast<int16>(globals->band - 4);
        area.right = static_cast<int16>(info->output_image_width);
        aConverted =
            DoConvert(globals, static_cast<uint16>(info->image_width), static_cast<uint16>(globals->band), aBayer,
                      &area, aLUT, globals->layer_ptr[0], globals->layer_ptr[1], globals->layer_ptr[2]);
    }

    for (int aIndex = 0; aIndex < kLUTCount; ++aIndex)
        if (aLUT[aIndex] != nullptr) HostUnlockHandle(aHandleProcs, globals->lut[aIndex]);
    HostUnlockHandle(aHandleProcs, aStrip);
    HostDisposeHandle(aHandleProcs, aStrip);
    return aConverted;
}

// Hands plane `loop` mod 3 of the current band to the host and advances the bookkeeping.
static void DoDeliverPlane(Globals *globals) {
    AcquireRecord *aBlock = globals->acquireParamBlock;
    const RAW_Info *info = &globals->info;
    int32 aWidth = info->output_image_width;
    int32 aRows = static_cast<int32>(globals->band) - 4;
    int p = globals->loop % 3;

    aBlock->theRect.top = static_cast<int16>(globals->line);
    aBlock->theRect.left = 0;
    aBlock->theRect.bottom = static_cast<int16>(globals->line + globals->band - 4);
    aBlock->theRect.right = static_cast<int16>(aWidth);
    aBlock->loPlane = static_cast<int16>(p);
    aBlock->hiPlane = static_cast<int16>(p);
    if (info->valid_bits_per_pixel[0] > 8) {
        aBlock->colBytes = 2;
        aBlock->rowBytes = 2 * aWidth;
        aBlock->data = globals->ready_ptr[p];
    } else {
        // An 8-bit document's samples are at most 255: the low byte is the value.
        aBlock->colBytes = 1;
        aBlock->rowBytes = aWidth;
        const uint16 *aFrom = globals->ready_ptr[p];
        uint8_t *aTo = globals->small_layer_ptr[p];
        RAW_RUN_KERNEL(RAW_KNarrowSamples, aFrom, static_cast<size_t>(aRows) * static_cast<size_t>(aWidth), aTo);
        aBlock->data = aTo;
    }
    aBlock->planeBytes = 0;
    aBlock->tileWidth = static_cast<int16>(aWidth);
    aBlock->tileHeight = static_cast<int16>(aRows);

    globals->loop += 1;
    if (globals->loop % 3 == 0) {
        globals->line += globals->band - 4;
        if (globals->line + globals->band - 4 > static_cast<uint32>(info->output_image_height))
            globals->loop = kLoopEnded;
        else if (globals->loop >= kLoopWrapAt)
            globals->loop = kLoopWrapTo;
    }
}

void DoContinue(Globals *globals) {
    *globals->result = kResultSuccess;
    AcquireRecord *aBlock = globals->acquireParamBlock;

    if (globals->loop < 0) {
        if (globals->loop == kLoopEnded && DoRunHolds(globals)) {
            // The call after the last plane: release everything and end the image.
            DoReleaseHeld(globals);
            DoEndOfImage(aBlock);
            aBlock->canFinalize = true;
            return;
        }
        // No run is going on: it ended already (or never began).
        DoEndOfImage(aBlock);
        *globals->result = kResultBadParameters;
        return;
    }

    if (globals->loop == 0) {
        // Only Start describes a run; without it the band height was never chosen.
        if (!DoIsBandHeight(globals->band) || !RAW_IsConvertibleHeader(&globals->info)) {
            DoEndOfImage(aBlock);
            *globals->result = kResultBadParameters;
            return;
        }
        if (!DoBeginRun(globals) || !DoStartWorkers(globals) ||
            (globals->workers == nullptr && !DoTakeLayerPlanes(globals))) {
            DoFailRun(globals);
            return;
        }
    }

    if (globals->loop % 3 == 0) {
        Boolean aReady = globals->workers != nullptr ? DoTakeWorkerBand(globals) : DoConvertBand(globals);
        if (!aReady) {
            DoFailRun(globals);
            return;
        }
    }
    DoDeliverPlane(globals);
}
