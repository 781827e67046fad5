// Progress on a terminal: "LABEL [#####.....]  50%", redrawn in place, as wide as the
// terminal allows.
#include "output/ProgressBar.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <new>

#include "output/SignalCleanup.h"

namespace ekv {

namespace {

constexpr int kWidestBar = 30;
constexpr int kNarrowestBar = 5;

// The terminal's width in columns (80 when it does not say).
int TerminalColumns() {
    winsize aSize{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &aSize) == 0 && aSize.ws_col > 0) return aSize.ws_col;
    return 80;
}

}  // namespace

ProgressBar::ProgressBar(std::string inLabel) : mLabel(std::move(inLabel)), mActive(isatty(STDERR_FILENO) != 0) {}

// Progress is reported from within the module's calls: a bar that cannot be drawn for
// want of memory is not drawn, and the failure is left to the import.
void ProgressBar::update(int32 inDone, int32 inTotal) {
    try {
        draw(inDone, inTotal);
    } catch (const std::bad_alloc &) {}
}

void ProgressBar::draw(int32 inDone, int32 inTotal) {
    if (!mActive || inTotal <= 0) return;
    int aPercent = static_cast<int>(100LL * (inDone < 0 ? 0 : inDone) / inTotal);
    if (aPercent > 100) aPercent = 100;
    if (aPercent == mLastPercent) return;
    mLastPercent = aPercent;
    // The line stays short of the last column, so that the terminal never wraps it.
    const int aRoom = TerminalColumns() - 1;
    char aPercentText[16];
    std::snprintf(aPercentText, sizeof aPercentText, "%3d%%", aPercent);
    const int aFixed = static_cast<int>(mLabel.size()) + 8;  // " [", "] ", "100%"
    const int aBarWidth = aRoom - aFixed < kWidestBar ? aRoom - aFixed : kWidestBar;
    std::string aLine;
    if (aBarWidth >= kNarrowestBar) {
        const int aFilled = aPercent * aBarWidth / 100;
        aLine = mLabel + " [" + std::string(static_cast<size_t>(aFilled), '#') +
                std::string(static_cast<size_t>(aBarWidth - aFilled), '.') + "] " + aPercentText;
    } else {
        aLine = mLabel + " " + aPercentText;
        if (static_cast<int>(aLine.size()) > aRoom) aLine = aRoom > 4 ? aPercentText : "";
    }
    if (aLine.empty()) return;
    // A shorter line than the last one blanks what the last one left.
    const int aWidth = static_cast<int>(aLine.size());
    if (aWidth < mDrawnWidth) aLine += std::string(static_cast<size_t>(mDrawnWidth - aWidth), ' ');
    std::fprintf(stderr, "\r%s", aLine.c_str());
    std::fflush(stderr);
    mDrawnWidth = aWidth > mDrawnWidth ? aWidth : mDrawnWidth;
    NoteProgressLine(mDrawnWidth);
}

void ProgressBar::finish() {
    if (mDrawnWidth > 0) {
        std::fputc('\n', stderr);
        mDrawnWidth = 0;
        NoteProgressLine(0);
    }
}

void ProgressBar::clear() {
    if (mDrawnWidth == 0) return;
    NoteProgressLine(0);
    std::fprintf(stderr, "\r%*s\r", mDrawnWidth, "");
    std::fflush(stderr);
    mDrawnWidth = 0;
    mLastPercent = -1;
}

void ProgressBar::setLabel(std::string inLabel) {
    if (inLabel == mLabel) return;
    clear();
    mLabel = std::move(inLabel);
    mLastPercent = -1;
}

}  // namespace ekv
