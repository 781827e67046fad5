// What a careful host checks in the module's answers: the document that Start describes
// and every plane rectangle that Continue hands over, by what the Acquire interface
// permits, with one plane per delivery as this module delivers. A violation ends the
// import with the interface's "bad parameters" code.
#pragma once

#include <string>

#include "host/AcquireInterface.h"

namespace hostkit {

// The document as Start described it.
struct Document {
    int32 width = 0;
    int32 height = 0;
    int depth = 16;  // bits per channel: 8 or 16
};

// Reads the description from the block after Start; an empty string when it is one a host
// can take (RGB, 3 planes, 8 or 16 bits matching the mode, a positive size), else the
// reason.
std::string CheckDescription(const AcquireRecord &inRecord, Document &outDocument);

// Checks one Continue delivery with non-null data against the document; an empty string
// when the rectangle, plane and layout are sound, else the reason. A sample takes
// colBytes bytes or more (the step between samples), a row rowBytes bytes or more.
std::string CheckDelivery(const AcquireRecord &inRecord, const Document &inDocument);

}  // namespace hostkit
