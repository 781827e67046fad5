// The file's header as the module's reader sees it, read directly with the reader's
// functions and this host's handle callbacks (a host cannot look into the module's
// Globals). For tools that describe a file without importing it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "import/ImportBounds.h"
#include "rawfile/RawInfo.h"

namespace ekv {

enum class HeaderStatus { Ok, NotEKV, Damaged, OutOfMemory };

struct HeaderInfo {
    RAW_Info info{};
    std::vector<uint8_t> thumbnail;  // the embedded JPEG, empty when there is none
    bool convertible = false;        // whether the module will convert it
};

// inPath must name a readable file (the caller checks). outReason explains a failure.
HeaderStatus ReadHeader(const std::string &inPath, HeaderInfo &outHeader, std::string &outReason);

// Why the import of a file with this header would be refused, or empty when it would go
// ahead: a header the module does not convert, or one whose sizes the file cannot
// justify (SizeRefusal, checked against the file at inPath). info, convert and dng
// refuse exactly these files.
std::string RefusalReason(const std::string &inPath, const HeaderInfo &inHeader);
// 16 when the valid bits exceed 8, else 8.
int DocumentDepth(const RAW_Info &inInfo);

}  // namespace ekv
