// The band-wise assembly of delivered planes into the interleaved document.
#include "PlaneAssembly.h"

#include <cstring>

namespace ekv {

namespace {

bool SameRect(const Rect &a, const Rect &b) {
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

}  // namespace

void PlaneAssembly::add(const AcquireRecord &inRecord, RgbImage &ioImage) {
    const int aPlane = inRecord.loPlane;
    // A plane of another band, or a plane delivered twice: what is held goes first.
    const bool aAnyHeld = mHeld[0] || mHeld[1] || mHeld[2];
    if (aAnyHeld && (!SameRect(mRect, inRecord.theRect) || mHeld[aPlane])) flush(ioImage);
    mRect = inRecord.theRect;

    // The plane as samples of the document, rows without gaps; the sample width is
    // decided once per delivery.
    const int32 aWidth = mRect.right - mRect.left;
    const int32 aRows = mRect.bottom - mRect.top;
    std::vector<uint16_t> &aSamples = mPlanes[aPlane];
    aSamples.resize(static_cast<size_t>(aWidth) * static_cast<size_t>(aRows));
    const auto *aBytes = static_cast<const uint8_t *>(inRecord.data);
    for (int32 aRow = 0; aRow < aRows; ++aRow) {
        const uint8_t *aSource = aBytes + static_cast<size_t>(aRow) * inRecord.rowBytes;
        uint16_t *aTarget = aSamples.data() + static_cast<size_t>(aRow) * aWidth;
        if (inRecord.colBytes == 2)
            std::memcpy(aTarget, aSource, static_cast<size_t>(aWidth) * 2);
        else
            for (int32 aColumn = 0; aColumn < aWidth; ++aColumn) aTarget[aColumn] = aSource[aColumn];
    }
    mHeld[aPlane] = true;
    if (mHeld[0] && mHeld[1] && mHeld[2]) writeBand(ioImage);
}

void PlaneAssembly::flush(RgbImage &ioImage) {
    for (int aPlane = 0; aPlane < 3; ++aPlane)
        if (mHeld[aPlane]) writePlane(aPlane, ioImage);
    mHeld = {};
}

void PlaneAssembly::writePlane(int inPlane, RgbImage &ioImage) {
    const int32 aWidth = mRect.right - mRect.left;
    const uint16_t *aFrom = mPlanes[inPlane].data();
    for (int32 aRow = mRect.top; aRow < mRect.bottom; ++aRow) {
        uint16_t *aTo = &ioImage.samples[(static_cast<size_t>(aRow) * ioImage.width + mRect.left) * 3 + inPlane];
        for (int32 aColumn = 0; aColumn < aWidth; ++aColumn) aTo[3 * aColumn] = *aFrom++;
    }
}

void PlaneAssembly::writeBand(RgbImage &ioImage) {
    const int32 aWidth = mRect.right - mRect.left;
    const uint16_t *aRed = mPlanes[0].data(), *aGreen = mPlanes[1].data(), *aBlue = mPlanes[2].data();
    for (int32 aRow = mRect.top; aRow < mRect.bottom; ++aRow) {
        uint16_t *aTo = &ioImage.samples[(static_cast<size_t>(aRow) * ioImage.width + mRect.left) * 3];
        for (int32 aColumn = 0; aColumn < aWidth; ++aColumn) {
            aTo[3 * aColumn] = aRed[aColumn];
            aTo[3 * aColumn + 1] = aGreen[aColumn];
            aTo[3 * aColumn + 2] = aBlue[aColumn];
        }
        aRed += aWidth;
        aGreen += aWidth;
        aBlue += aWidth;
    }
    mHeld = {};
}

}  // namespace ekv
