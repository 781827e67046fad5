// Three planes of a band interleaved into RGB rows, as the document and the encoders
// take them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ekv {

// Interleaves inRows rows of inWidth samples of three planes into RGB rows that lie
// inStride samples apart.
void InterleaveRows(const uint16_t *inRed, const uint16_t *inGreen, const uint16_t *inBlue, int32_t inWidth,
                    int32_t inRows, uint16_t *outRows, size_t inStride);

}  // namespace ekv
