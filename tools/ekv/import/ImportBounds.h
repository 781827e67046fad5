// What a file's own bytes can justify: the rows an import delivers and reads, and the
// checks that refuse a header whose sizes its strips or its document cannot hold. One
// set of checks for info, convert, dng and thumbnail, so that they all agree.
#pragma once

#include <cstdint>
#include <string>

#include "rawfile/RawInfo.h"

namespace ekv {

// The rows the import delivers for an output size (whole bands of the module's band
// height, DoBandHeight, at least the first).
int32 DeliveredRows(int32 inOutputWidth, int32 inOutputHeight);
// The mosaic rows a conversion reads or writes: the header's image length, or the rows
// the import's bands read (delivered rows + 4) when those are more.
int64_t MosaicRows(const RAW_Info &inInfo);
// Bytes of the mosaic rows of MosaicRows that the file does not hold: in a strip without
// an offset, past the strips, or past the end of a file of inFileSize bytes. The module
// reads them as zeros; more than 0 means a truncated or damaged file.
int64_t MissingSensorBytes(const RAW_Info &inInfo, int64_t inFileSize);

// Why the header's sizes are more than its strips can hold, or empty: the image length
// times the width must fit in the bytes the strip table declares. Work on such a file
// would be bounded by the header's numbers, not by the file.
std::string StripRefusal(const RAW_Info &inInfo);
// Why a file of inFileSize bytes with this header cannot be converted exactly, or empty:
// StripRefusal, an output lower than the one band the module always delivers (whose
// rows would lie outside the document), sensor data the file lacks, or a mosaic larger
// than the whole file (strips that overlap). inInfo must pass the module's own check.
std::string SizeRefusal(const RAW_Info &inInfo, int64_t inFileSize);

}  // namespace ekv
