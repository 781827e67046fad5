// Order checks and interleaving of a streaming import.
#include "import/BandStream.h"

#include <sstream>

#include "import/PlaneAssembly.h"

namespace ekv {

namespace {

bool SameRect(const Rect &a, const Rect &b) {
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

}  // namespace

std::string BandStream::heldPlanes() const {
    std::ostringstream aText;
    const char *aNames[3] = {"red", "green", "blue"};
    bool aFirst = true;
    for (int aPlane = 0; aPlane < 3; ++aPlane)
        if (!mHeld[aPlane]) {
            aText << (aFirst ? "" : " and ") << aNames[aPlane];
            aFirst = false;
        }
    aText << " plane" << ((mHeld[0] + mHeld[1] + mHeld[2]) == 2 ? "" : "s") << " of rows " << mRect.top << " to "
          << mRect.bottom - 1;
    return aText.str();
}

std::string BandStream::add(const AcquireRecord &inRecord) {
    const Rect &aRect = inRecord.theRect;
    const int aPlane = inRecord.loPlane;
    std::ostringstream aWhy;
    if (aRect.left != 0 || aRect.right != mDocument.width) {
        aWhy << "the module delivered columns " << aRect.left << " to " << aRect.right - 1 << " of rows " << aRect.top
             << " to " << aRect.bottom - 1 << "; this host takes whole rows of " << mDocument.width << " pixels";
        return aWhy.str();
    }
    const bool aAnyHeld = mHeld[0] || mHeld[1] || mHeld[2];
    if (aAnyHeld && !SameRect(mRect, aRect)) {
        aWhy << "the module delivered rows " << aRect.top << " to " << aRect.bottom - 1 << " before the "
             << heldPlanes();
        return aWhy.str();
    }
    if (aAnyHeld && mHeld[aPlane]) {
        aWhy << "the module delivered plane " << aPlane << " of rows " << aRect.top << " to " << aRect.bottom - 1
             << " twice";
        return aWhy.str();
    }
    if (!aAnyHeld && aRect.top != mRowsDone) {
        aWhy << "the module delivered rows " << aRect.top << " to " << aRect.bottom - 1 << " out of order (row "
             << mRowsDone << " was next)";
        return aWhy.str();
    }
    if (!aAnyHeld) mBand = mSink.takeBand();
    mRect = aRect;
    CopyPlane(inRecord, mDocument.depth / 8, mBand.planes[aPlane]);
    mHeld[aPlane] = true;
    if (!(mHeld[0] && mHeld[1] && mHeld[2])) return {};

    mHeld = {};
    mBand.top = aRect.top;
    mBand.rows = aRect.bottom - aRect.top;
    mRowsDone = aRect.bottom;
    if (!mSink.putBand(std::move(mBand))) mSinkStopped = true;
    return {};
}

std::string BandStream::finish() const {
    if (!(mHeld[0] || mHeld[1] || mHeld[2])) return {};
    return "the import ended without the " + heldPlanes();
}

}  // namespace ekv
