// Progress on a terminal: "LABEL [#####.....]  50%", redrawn in place.
#include "output/ProgressBar.h"

#include <unistd.h>

#include <cstdio>

namespace ekv {

ProgressBar::ProgressBar(std::string inLabel) : mLabel(std::move(inLabel)), mActive(isatty(STDERR_FILENO) != 0) {}

void ProgressBar::update(int32 inDone, int32 inTotal) {
    if (!mActive || inTotal <= 0) return;
    int aPercent = static_cast<int>(100LL * (inDone < 0 ? 0 : inDone) / inTotal);
    if (aPercent > 100) aPercent = 100;
    if (aPercent == mLastPercent) return;
    mLastPercent = aPercent;
    constexpr int kWidth = 30;
    char aBar[kWidth + 1];
    for (int aIndex = 0; aIndex < kWidth; ++aIndex) aBar[aIndex] = aIndex < aPercent * kWidth / 100 ? '#' : '.';
    aBar[kWidth] = 0;
    std::fprintf(stderr, "\r%s [%s] %3d%%", mLabel.c_str(), aBar, aPercent);
    std::fflush(stderr);
    mDrawn = true;
}

void ProgressBar::finish() {
    if (mDrawn) {
        std::fputc('\n', stderr);
        mDrawn = false;
    }
}

void ProgressBar::clear() {
    if (!mDrawn) return;
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(mLabel.size()) + 38, "");
    std::fflush(stderr);
    mDrawn = false;
    mLastPercent = -1;
}

void ProgressBar::setLabel(std::string inLabel) {
    if (inLabel == mLabel) return;
    clear();
    mLabel = std::move(inLabel);
    mLastPercent = -1;
}

}  // namespace ekv
