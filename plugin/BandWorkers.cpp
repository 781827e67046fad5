// The band workers: lanes of planes taken from the host before the threads start, the
// threads that convert the bands posted to them, and the hand-over of bands between the
// host's thread and the lanes.
#include "BandWorkers.h"

#include "../pipeline/PipelineReference.h"
#include "../pipeline/kernels/StageKernels.h"
#include "HostMemory.h"

static int32 sRAW_BandThreadsSet = 0;

void RAW_SetBandThreads(int32 inCount) { sRAW_BandThreadsSet = inCount > 0 ? inCount : 0; }

int32 RAW_BandThreadCount(void) {
    if (sRAW_BandThreadsSet > 0)
        return sRAW_BandThreadsSet < kRAW_MostBandThreads ? sRAW_BandThreadsSet : kRAW_MostBandThreads;
    int32 aCount = RAW_UsableProcessors();
    int32 aLimit = RAW_HostThreadLimit();
    if (aLimit > 0 && aLimit < aCount) aCount = aLimit;
    if (aCount > kRAW_MostBandThreads) aCount = kRAW_MostBandThreads;
    return aCount < 1 ? 1 : aCount;
}

// The geometry of a group of inBands bands: the sensor rows of its first band to those
// of its last, and the output rows of all of them.
static void DoGroupGeometry(const Globals *globals, uint32 inBands, uint16 *outHeight, Rect *outArea) {
    const uint32 aRows = globals->band - 4;
    *outHeight = static_cast<uint16>(aRows * inBands + 4);
    outArea->top = 0;
    outArea->left = 0;
    outArea->bottom = static_cast<int16>(aRows * inBands);
    outArea->right = static_cast<int16>(globals->info.output_image_width);
}

// The bands of a lane: as many as make about kRAW_LaneRows output rows, and at least one.
// The straightforward stages keep fourteen planes of what they convert, so they take a
// band at a time.
static uint32 DoBandsPerLane(const Globals *globals) {
    if (RAW_ReferenceStagesSelected()) return 1;
    const uint32 aRows = globals->band - 4;
    return aRows < kRAW_LaneRows ? kRAW_LaneRows / aRows : 1;
}

// The posted lane of the earliest band, or null (the workers' lock is held).
static RAW_BandLane *DoEarliestPosted(RAW_BandWorkers *w) {
    RAW_BandLane *aEarliest = nullptr;
    for (int32 aLane = 0; aLane < w->laneCount; ++aLane) {
        RAW_BandLane *aCandidate = &w->lane[aLane];
        if (aCandidate->state == kRAW_LanePosted &&
            (aEarliest == nullptr || aCandidate->bandIndex < aEarliest->bandIndex))
            aEarliest = aCandidate;
    }
    return aEarliest;
}

// Converts a lane taken from the posted ones (its state set to working under the lock,
// which is held on entry and on return) and tells the waiting threads.
static void DoConvertTaken(RAW_BandWorkers *w, RAW_BandLane *ioLane) {
    RAW_ReleaseLock(&w->lock);
    Boolean aDone = RAW_ConvertInWorkspace(&w->settings, &ioLane->space, w->width, ioLane->height, ioLane->bayer,
                                           &ioLane->area, ioLane->plane[0], ioLane->plane[1], ioLane->plane[2]);
    RAW_TakeLock(&w->lock);
    ioLane->state = aDone ? kRAW_LaneDone : kRAW_LaneFailed;
    RAW_WakeAll(&w->finished);
}

// A worker thread: converts the earliest band posted until told to stop.
static void DoWorkerThread(void *inWorkers) {
    RAW_BandWorkers *w = static_cast<RAW_BandWorkers *>(inWorkers);
    RAW_TakeLock(&w->lock);
    for (;;) {
        RAW_BandLane *aLane = nullptr;
        while (!w->stop && (aLane = DoEarliestPosted(w)) == nullptr) RAW_WaitCondition(&w->posted, &w->lock);
        if (w->stop) break;
        aLane->state = kRAW_LaneWorking;
        DoConvertTaken(w, aLane);
    }
    RAW_ReleaseLock(&w->lock);
}

// Gives back a lane's planes (the lane's thread is not running).
static void DoFreeLane(BufferProcs *inProcs, RAW_BandLane *ioLane) {
    for (int aPlane = 0; aPlane < kPlaneCount; ++aPlane) {
        RAW_FreeBuffer(inProcs, ioLane->planeID[aPlane]);
        ioLane->planeID[aPlane] = nullptr;
        ioLane->plane[aPlane] = nullptr;
    }
    RAW_FreeBandWorkspace(inProcs, &ioLane->space);
}

// Takes a lane's planes; false, with nothing held, when the host gives not all of them.
static Boolean DoAllocateLane(BufferProcs *inProcs, RAW_BandWorkers *w, RAW_BandLane *outLane) {
    int32 aBytes = 2 * (w->area.right - w->area.left) * (w->area.bottom - w->area.top);
    for (int aPlane = 0; aPlane < kPlaneCount; ++aPlane) {
        outLane->plane[aPlane] =
            reinterpret_cast<uint16 *>(RAW_AllocateBuffer(inProcs, aBytes, &outLane->planeID[aPlane]));
        if (outLane->plane[aPlane] == nullptr) {
            DoFreeLane(inProcs, outLane);
            return false;
        }
    }
    if (RAW_AllocateBandWorkspace(inProcs, w->width, w->height, &w->area, &outLane->space)) return true;
    DoFreeLane(inProcs, outLane);
    return false;
}

static void DoUnlockTables(Globals *globals, RAW_BandWorkers *w) {
    HandleProcs *aProcs = globals->acquireParamBlock->handleProcs;
    for (int aIndex = 0; aIndex < kLUTCount; ++aIndex) {
        if (w->lut[aIndex] != nullptr) HostUnlockHandle(aProcs, globals->lut[aIndex]);
        w->lut[aIndex] = nullptr;
    }
}

RAW_BandWorkers *RAW_StartBandWorkers(Globals *globals, int32 inThreads, uint32 inBands) {
    if (inThreads < 1) return nullptr;
    if (inThreads > kRAW_MostBandThreads) inThreads = kRAW_MostBandThreads;
    AcquireRecord *aBlock = globals->acquireParamBlock;
    BufferProcs *aProcs = aBlock->bufferProcs;
    BufferID aSelfID = nullptr;
    RAW_BandWorkers *w = reinterpret_cast<RAW_BandWorkers *>(
        RAW_AllocateBuffer(aProcs, static_cast<int32>(sizeof(RAW_BandWorkers)), &aSelfID));
    if (w == nullptr) {
        RAW_FreeBuffer(aProcs, aSelfID);
        return nullptr;
    }
    *w = RAW_BandWorkers{};
    w->selfID = aSelfID;
    RAW_InitLock(&w->lock);
    RAW_InitCondition(&w->posted);
    RAW_InitCondition(&w->finished);
    w->bandsPerLane = DoBandsPerLane(globals);
    w->bandCount = inBands;
    w->width = static_cast<uint16>(globals->info.image_width);
    DoGroupGeometry(globals, w->bandsPerLane, &w->height, &w->area);

    Boolean aLocked = true;
    for (int aIndex = 0; aIndex < kLUTCount; ++aIndex) {
        w->lut[aIndex] = reinterpret_cast<uint16 *>(HostLockHandle(aBlock->handleProcs, globals->lut[aIndex], false));
        if (w->lut[aIndex] == nullptr) aLocked = false;
    }
    if (aLocked) {
        RAW_ChooseBandSettings(globals, w->lut, &w->settings);
        const uint32 aGroups = (inBands + w->bandsPerLane - 1) / w->bandsPerLane;
        // The host's thread alone converts each group as it comes to it, in one lane.
        int32 aLanes = inThreads > 1 ? inThreads + 2 : 1;
        if (static_cast<uint32>(aLanes) > aGroups) aLanes = static_cast<int32>(aGroups);
        while (w->laneCount < aLanes && DoAllocateLane(aProcs, w, &w->lane[w->laneCount])) ++w->laneCount;
    }
    if (w->laneCount < 1) {
        RAW_StopBandWorkers(globals, w);
        return nullptr;
    }

    // The kernel variant is chosen once, here, rather than by the first thread to ask.
#if defined(RAW_KERNELS_HAVE_WIDE)
    (void)RAW_KernelLevel();
#endif
    // The host's thread is one of the threads; with only two lanes, one worker converts
    // the next group while the host delivers from the other. Workers the system does not
    // start leave their groups to the threads that run, the host's at least.
    const int32 aWanted = (inThreads < w->laneCount ? inThreads : w->laneCount) - 1;
    while (w->threadCount < aWanted && RAW_StartThread(&w->thread[w->threadCount], DoWorkerThread, w)) ++w->threadCount;
    return w;
}

Boolean RAW_PostBand(Globals *globals, RAW_BandWorkers *w, int32 inLane, uint32 inBand) {
    uint32 inLine = inBand * (globals->band - 4);
    HandleProcs *aHandleProcs = globals->acquireParamBlock->handleProcs;
    RAW_BandLane *aLane = &w->lane[inLane];
    const uint32 aLeft = inBand < w->bandCount ? w->bandCount - inBand : 0;
    if (aLeft == 0) return false;
    DoGroupGeometry(globals, aLeft < w->bandsPerLane ? aLeft : w->bandsPerLane, &aLane->height, &aLane->area);
    Handle aStrip = nullptr;
    OSErr aErr = RAW_ReadStrip(&globals->file, &globals->info, inLine, aLane->height, aHandleProcs, &aStrip);
    if (aErr != 0 || aStrip == nullptr) {
        if (aStrip != nullptr) HostDisposeHandle(aHandleProcs, aStrip);
        return false;
    }
    uint16 *aBayer = reinterpret_cast<uint16 *>(HostLockHandle(aHandleProcs, aStrip, false));
    int32 aNeeded = globals->info.image_width * static_cast<int32>(aLane->height) * 2;
    if (aBayer == nullptr || HostGetHandleSize(aHandleProcs, aStrip) < aNeeded) {
        if (aBayer != nullptr) HostUnlockHandle(aHandleProcs, aStrip);
        HostDisposeHandle(aHandleProcs, aStrip);
        return false;
    }
    aLane->strip = aStrip;
    aLane->bayer = aBayer;
    RAW_TakeLock(&w->lock);
    aLane->bandIndex = inBand;
    aLane->state = kRAW_LanePosted;
    RAW_WakeAll(&w->posted);
    RAW_ReleaseLock(&w->lock);
    return true;
}

Boolean RAW_WaitBand(RAW_BandWorkers *w, int32 inLane) {
    RAW_BandLane *aLane = &w->lane[inLane];
    RAW_TakeLock(&w->lock);
    while (aLane->state == kRAW_LanePosted || aLane->state == kRAW_LaneWorking) {
        // The band waited for first, else the earliest posted; sleep only when every
        // posted band is being converted.
        RAW_BandLane *aTaken = aLane->state == kRAW_LanePosted ? aLane : DoEarliestPosted(w);
        if (aTaken == nullptr) {
            RAW_WaitCondition(&w->finished, &w->lock);
            continue;
        }
        aTaken->state = kRAW_LaneWorking;
        DoConvertTaken(w, aTaken);
    }
    Boolean aDone = aLane->state == kRAW_LaneDone;
    RAW_ReleaseLock(&w->lock);
    return aDone;
}

void RAW_ReleaseBand(Globals *globals, RAW_BandWorkers *w, int32 inLane) {
    HandleProcs *aHandleProcs = globals->acquireParamBlock->handleProcs;
    RAW_BandLane *aLane = &w->lane[inLane];
    if (aLane->strip != nullptr) {
        HostUnlockHandle(aHandleProcs, aLane->strip);
        HostDisposeHandle(aHandleProcs, aLane->strip);
    }
    aLane->strip = nullptr;
    aLane->bayer = nullptr;
    // The threads read every lane's state while they look for a posted band.
    RAW_TakeLock(&w->lock);
    aLane->state = kRAW_LaneIdle;
    RAW_ReleaseLock(&w->lock);
}

void RAW_StopBandWorkers(Globals *globals, RAW_BandWorkers *w) {
    if (w == nullptr) return;
    BufferProcs *aProcs = globals->acquireParamBlock->bufferProcs;
    if (w->threadCount > 0) {
        RAW_TakeLock(&w->lock);
        w->stop = true;
        RAW_WakeAll(&w->posted);
        RAW_ReleaseLock(&w->lock);
        for (int32 aThread = 0; aThread < w->threadCount; ++aThread) RAW_JoinThread(&w->thread[aThread]);
    }
    // Nothing runs any more: every lane's rows and planes go back.
    for (int32 aLane = 0; aLane < w->laneCount; ++aLane) {
        RAW_ReleaseBand(globals, w, aLane);
        DoFreeLane(aProcs, &w->lane[aLane]);
    }
    RAW_DisposeCondition(&w->finished);
    RAW_DisposeCondition(&w->posted);
    RAW_DisposeLock(&w->lock);
    DoUnlockTables(globals, w);
    RAW_FreeBuffer(aProcs, w->selfID);
}
