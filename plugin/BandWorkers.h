// Bands developed ahead of delivery on worker threads. The host's thread reads each
// band's sensor rows and posts them to a lane; a free thread converts the earliest band
// posted in that lane's own planes, taken from the host before any thread starts; the
// host's thread waits for the lanes in band order and delivers from them. The host's
// thread is one of the run's threads: rather than sleep while the band it waits for is
// still posted, or while a worker converts it, it converts the earliest posted band
// itself. So a run of N threads starts N - 1 workers and keeps N processors busy
// without a thread more than processors. There are lanes enough that every thread has
// bands posted ahead to convert while the host delivers from a lane:
// two lanes more than threads. A lane holds a group of consecutive
// bands, about kRAW_LaneRows output rows, read and converted as one taller band: every
// output row depends only on its own four sensor rows, so the rows are the same bits,
// while the four sensor rows that consecutive bands share are read and prepared once a
// group instead of once a band, and the threads hand over a group at a time. Only the
// host's thread calls the host.
#ifndef KARVEX_PLUGIN_BANDWORKERS_H
#define KARVEX_PLUGIN_BANDWORKERS_H

#include "../pipeline/Pipeline.h"
#include "WorkerThreads.h"

// At most this many threads, the host's own included: beyond it the host's own work per
// band (reading the rows, taking the planes) keeps further threads waiting, and memory
// grows with every lane.
enum { kRAW_MostBandThreads = 8, kRAW_MostBandLanes = kRAW_MostBandThreads + 2 };

// The output rows a lane's group of bands aims at (a group is at least one band).
enum { kRAW_LaneRows = 24 };

enum { kRAW_LaneIdle = 0, kRAW_LanePosted = 1, kRAW_LaneWorking = 2, kRAW_LaneDone = 3, kRAW_LaneFailed = 4 };

typedef struct RAW_BandWorkers RAW_BandWorkers;

typedef struct RAW_BandLane {
    // Set by the host's thread while the lane is idle or done.
    Handle strip;
    uint16 *bayer;
    uint16 *plane[kPlaneCount];
    BufferID planeID[kPlaneCount];
    RAW_BandWorkspace space;
    // The group's sensor rows and output area (the last group may hold fewer bands).
    uint16 height;
    Rect area;
    // Guarded by the workers' lock.
    int32 state;
    uint32 bandIndex;  // the group's first band
} RAW_BandLane;

struct RAW_BandWorkers {
    RAW_Lock lock;
    RAW_Condition posted;
    RAW_Condition finished;
    Boolean stop;
    int32 laneCount;
    int32 threadCount;
    RAW_BandSettings settings;
    // A whole group's geometry: the sensor width, its sensor rows and output area.
    uint16 width;
    uint16 height;
    Rect area;
    uint32 bandsPerLane;
    uint32 bandCount;  // of the run
    uint16 *lut[kLUTCount];
    RAW_BandLane lane[kRAW_MostBandLanes];
    RAW_Thread thread[kRAW_MostBandThreads];
    BufferID selfID;
};

// The threads a run may use, the host's own included: the processors the process may run
// on, within the host's limit and kRAW_MostBandThreads, unless a count was set.
int32 RAW_BandThreadCount(void);
// Sets the count for the runs that follow, whatever the processors (within
// kRAW_MostBandThreads); 0 goes back to the processors. For tests and benchmarks.
void RAW_SetBandThreads(int32 inCount);

// Takes the planes of up to inThreads + 2 lanes (one for a single thread; no more than the
// groups of the run's inBands bands) from the host, as many as it gives, and starts up to
// inThreads - 1 worker threads (no more than lanes less one), as many as the system
// starts. Null, with nothing held, when not one lane could be had: the run then converts
// band by band on the host's thread. The run's tone tables stay locked until
// RAW_StopBandWorkers.
RAW_BandWorkers *RAW_StartBandWorkers(Globals *globals, int32 inThreads, uint32 inBands);

// Reads the sensor rows of the group that starts with band inBand (a multiple of
// bandsPerLane) into the lane and hands it to the threads. False when the rows could not
// be read.
Boolean RAW_PostBand(Globals *globals, RAW_BandWorkers *ioWorkers, int32 inLane, uint32 inBand);

// Returns once the lane's band is converted, converting posted bands on the calling
// (host's) thread meanwhile, the lane's own first; false when its conversion failed.
// Band b of the run is in lane (b / bandsPerLane) mod laneCount, at output row
// (b mod bandsPerLane) × rows per band of the lane's planes.
Boolean RAW_WaitBand(RAW_BandWorkers *ioWorkers, int32 inLane);

// Gives back the sensor rows of a delivered group; the lane is idle again.
void RAW_ReleaseBand(Globals *globals, RAW_BandWorkers *ioWorkers, int32 inLane);

// Stops the threads (a band being converted is finished first), waits for them and gives
// everything back to the host.
void RAW_StopBandWorkers(Globals *globals, RAW_BandWorkers *ioWorkers);

#endif
