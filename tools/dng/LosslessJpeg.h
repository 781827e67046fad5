// Lossless JPEG (ITU T.81 process 14: SOF3, Huffman coding, predictor 1, no point
// transform) of a CFA tile, as DNG stores a compressed mosaic: the tile is coded as an
// image of half its width with two components, the even and the odd columns, so that
// each sample is predicted from the one two columns to its left, of the same colour.
// The Huffman tables are built for each tile from its own differences.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dng {

// Writes the whole JPEG stream (SOI to EOI) of inWidth x inHeight samples starting at
// inSamples, rows inStride samples apart, at the start of ioBuffer (grown as the stream
// needs, never shrunk, so that a buffer used again is not filled again) and returns its
// length. inWidth must be even and at least 2, inHeight at least 1,
// inPrecision 2..16 (the bits the samples use; larger sample values are still coded
// exactly, modulo 2^16 as decoders compute them).
size_t EncodeLosslessJpeg(const uint16_t *inSamples, size_t inStride, uint32_t inWidth, uint32_t inHeight,
                          int inPrecision, std::vector<uint8_t> &ioBuffer);

}  // namespace dng
