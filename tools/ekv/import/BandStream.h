// The careful host's checks for a streaming import, on top of those of each delivery:
// bands come in order from the top, cover whole rows, and each brings its three planes
// once before the next band starts. A complete band is handed to the sink.
#pragma once

#include <array>
#include <string>

#include "import/BandSink.h"
#include "host/AcquireInterface.h"

namespace ekv {

class BandStream {
public:
    BandStream(const Document &inDocument, BandSink &ioSink) : mDocument(inDocument), mSink(ioSink) {}
    // Takes a delivery that passed CheckDelivery; an empty string, or the reason the
    // delivery breaks the order (the import then ends with bad parameters).
    std::string add(const AcquireRecord &inRecord);
    // After the last delivery: empty, or the reason a band is left incomplete.
    std::string finish() const;
    // Rows from the top handed to the sink.
    int32 rowsDone() const { return mRowsDone; }
    // The sink refused a band (the output failed); the import stops without blame.
    bool sinkStopped() const { return mSinkStopped; }

private:
    std::string heldPlanes() const;

    Document mDocument;
    BandSink &mSink;
    Rect mRect{};
    std::array<bool, 3> mHeld{};
    Band mBand;  // the band whose planes are coming
    int32 mRowsDone = 0;
    bool mSinkStopped = false;
};

}  // namespace ekv
