// Puts the planes the module hands over, one plane of one band per Continue, into the
// interleaved document. A band's planes are held until all three have come and then
// written in one pass over the band's rows, instead of three strided passes.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "import/InterleaveRows.h"
#include "import/RgbImage.h"
#include "host/AcquireInterface.h"

namespace ekv {

// The plane of a checked delivery as samples of inSampleBytes bytes (1 or 2) that lie
// colBytes apart, in rows without gaps (the layout is decided once per delivery).
void CopyPlane(const AcquireRecord &inRecord, int inSampleBytes, std::vector<uint16_t> &outSamples);

class PlaneAssembly {
public:
    // Takes the plane of a checked delivery (one plane, inside the document).
    void add(const AcquireRecord &inRecord, RgbImage &ioImage);
    // Writes whatever is still held (planes of a band that never got all three).
    void flush(RgbImage &ioImage);

private:
    void writePlane(int inPlane, RgbImage &ioImage);
    void writeBand(RgbImage &ioImage);

    Rect mRect{};
    std::array<bool, 3> mHeld{};
    std::array<std::vector<uint16_t>, 3> mPlanes;
};

}  // namespace ekv
