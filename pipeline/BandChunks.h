// The optimised band conversion after the white balance: every stage from the colour
// interpolation to the final RGB runs over stretches of one output row at a time, so the
// intermediate values of a stretch stay in the first-level cache and no intermediate
// plane of the band is stored. Each stage runs the same kernel on the same inputs as
// when it runs over the whole band, so the results are the same bits.
#ifndef KARVEX_PIPELINE_BANDCHUNKS_H
#define KARVEX_PIPELINE_BANDCHUNKS_H

#include "Pipeline.h"

// The output pixels of one stretch (even: the interpolation works in pairs of windows).
enum { kRAW_ChunkPixels = 256 };

// inBayer is the white-balanced band, inBayerEdge its tone-mapped copy for the detail
// signal; the area must fit the band (the driver checks). Writes R_F, B_F and G_F in the
// driver's parameter order.
void RAW_ConvertBandInChunks(const RAW_BandSettings *s, uint16 inWidth, const uint16 *inBayer,
                             const uint16 *inBayerEdge, const Rect *inArea, uint16 *R_F, uint16 *B_F, uint16 *G_F);

#endif
