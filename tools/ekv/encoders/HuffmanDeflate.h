// Raw deflate with Huffman coding only (no string matching), as zlib's Z_HUFFMAN_ONLY
// strategy writes it, but several times faster: every block of the input gets its own
// code, built from the block's byte counts and limited to deflate's 15 bits, and the
// bytes are coded through a table with a 64-bit bit buffer. The output ends on a byte
// boundary with an empty stored block (a sync flush), so outputs of consecutive pieces
// join into one stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ekv {

// Writes at the start of ioBuffer the non-final dynamic blocks that code inSize bytes,
// then the empty stored block, and returns the bytes written (none for no bytes). The
// buffer grows when it may be too small and is never shrunk, so that a reused buffer
// costs nothing to prepare.
size_t HuffmanDeflate(const uint8_t *inBytes, size_t inSize, std::vector<uint8_t> &ioBuffer);

// The final block of a stream: an empty fixed-code block.
void HuffmanDeflateEnd(std::vector<uint8_t> &ioOutput);

// Deflate code lengths for symbols of the given counts: 0 for a symbol that does not
// occur, at most inLongest bits, a prefix code that gives shorter codes to more frequent
// symbols (optimal when no code needs more than inLongest bits).
std::vector<uint8_t> LimitedCodeLengths(const std::vector<uint32_t> &inCounts, int inLongest);

}  // namespace ekv
