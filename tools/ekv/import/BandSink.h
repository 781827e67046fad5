// Where a streaming import puts the document: band after band of rows, in order from the
// top, instead of one whole document in memory.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "DeliveryRules.h"

namespace ekv {

using hostkit::Document;

// Rows top .. top + rows - 1 of the document as the module delivered them: three planes
// (red, green, blue) of width samples per row. The sink interleaves them, so that the
// import's thread only copies each plane once.
struct Band {
    int32_t top = 0;
    int32_t rows = 0;
    std::array<std::vector<uint16_t>, 3> planes;
};

class BandSink {
public:
    virtual ~BandSink() = default;
    // The document as Start describes it; false stops the import.
    virtual bool begin(const Document &inDocument) = 0;
    // A band to fill (its storage may be recycled from an earlier band).
    virtual Band takeBand() = 0;
    // A finished band; false stops the import (the output cannot take it).
    virtual bool putBand(Band &&ioBand) = 0;
};

}  // namespace ekv
