// Tone look-ups through a table of one depth. The tables have 65536 entries on the 16-bit
// scale, and a sample of d bits reads only every 2^(16 - d)th of them: at 10 bits 1024
// entries, each in a cache line of its own, more than the first-level cache holds. For
// depths up to kRAW_CompactToneBits the entries a depth can read are gathered once, on
// the sample scale, into a table that stays in that cache; a look-up then reads
// compact[s & (2^d - 1)], which is exactly table[(s << (16 - d)) & 0xFFFF] >> (16 - d).
#ifndef KARVEX_PIPELINE_TONELOOKUP_H
#define KARVEX_PIPELINE_TONELOOKUP_H

#include "Pipeline.h"

enum { kRAW_CompactToneBits = 12, kRAW_CompactToneEntries = 1 << kRAW_CompactToneBits };

typedef struct RAW_ToneLookup {
    const uint16 *table;  // the full table; null for the identity
    uint32 shift;         // 16 - depth
    uint32 mask;          // 2^depth - 1, the sample bits a look-up uses
    Boolean compact;      // look-ups read compactEntries
    // The entries, and one more that is never a result: a look-up may read one entry past
    // the one it takes.
    uint16 compactEntries[kRAW_CompactToneEntries + 1];
} RAW_ToneLookup;

// The shift between a depth and the 16-bit scale of the tables.
static inline uint32 RAW_ToneShift(uint16 inValidBits) { return 16u - (inValidBits > 16 ? 16u : inValidBits); }

// Sets up the look-ups of inTable (null: the identity) at a depth.
void RAW_PrepareToneLookup(const uint16 *inTable, uint16 inValidBits, RAW_ToneLookup *outLookup);
// outSamples[i] = the entry for inSamples[i], for inCount samples.
void RAW_RunToneLookup(const RAW_ToneLookup *inLookup, const uint16 *inSamples, size_t inCount, uint16 *outSamples);

#endif
