// The band-wise assembly of delivered planes into the interleaved document.
#include "import/PlaneAssembly.h"

#include <cstring>

namespace ekv {

namespace {

bool SameRect(const Rect &a, const Rect &b) {
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

}  // namespace

void CopyPlane(const AcquireRecord &inRecord, int inSampleBytes, std::vector<uint16_t> &outSamples) {
    const Rect &aRect = inRecord.theRect;
    const int32 aWidth = aRect.right - aRect.left;
    const int32 aRows = aRect.bottom - aRect.top;
    outSamples.resize(static_cast<size_t>(aWidth) * static_cast<size_t>(aRows));
    const auto *aBytes = static_cast<const uint8_t *>(inRecord.data);
    for (int32 aRow = 0; aRow < aRows; ++aRow) {
        const uint8_t *aSource = aBytes + static_cast<size_t>(aRow) * inRecord.rowBytes;
        uint16_t *aTarget = outSamples.data() + static_cast<size_t>(aRow) * aWidth;
        if (inRecord.colBytes == 2 && inSampleBytes == 2)
            std::memcpy(aTarget, aSource, static_cast<size_t>(aWidth) * 2);
        else if (inRecord.colBytes == 1)
            for (int32 aColumn = 0; aColumn < aWidth; ++aColumn) aTarget[aColumn] = aSource[aColumn];
        else
            for (int32 aColumn = 0; aColumn < aWidth; ++aColumn) {
                const uint8_t *aSample = aSource + static_cast<size_t>(aColumn) * inRecord.colBytes;
                if (inSampleBytes == 2)
                    std::memcpy(&aTarget[aColumn], aSample, 2);
                else
                    aTarget[aColumn] = aSample[0];
            }
    }
}

void PlaneAssembly::add(const AcquireRecord &inRecord, RgbImage &ioImage) {
    const int aPlane = inRecord.loPlane;
    // A plane of another band, or a plane delivered twice: what is held goes first.
    const bool aAnyHeld = mHeld[0] || mHeld[1] || mHeld[2];
    if (aAnyHeld && (!SameRect(mRect, inRecord.theRect) || mHeld[aPlane])) flush(ioImage);
    mRect = inRecord.theRect;

    CopyPlane(inRecord, ioImage.depth / 8, mPlanes[aPlane]);
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
    const size_t aStride = static_cast<size_t>(ioImage.width) * 3;
    InterleaveRows(mPlanes[0].data(), mPlanes[1].data(), mPlanes[2].data(), mRect.right - mRect.left,
                   mRect.bottom - mRect.top, &ioImage.samples[mRect.top * aStride + mRect.left * 3], aStride);
    mHeld = {};
}

}  // namespace ekv
