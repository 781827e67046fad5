// A one-line progress bar on standard error, shown only when it is a terminal, within
// the terminal's width; a signal that ends the process clears it.
#pragma once

#include <string>

#include "host/AcquireInterface.h"

namespace ekv {

class ProgressBar {
public:
    explicit ProgressBar(std::string inLabel);
    ~ProgressBar() { finish(); }
    void update(int32 inDone, int32 inTotal);
    // Ends the line (once).
    void finish();
    // Erases the bar from its line (it is drawn again at the next change).
    void clear();
    void setLabel(std::string inLabel);
    // Whether the bar is shown at all (standard error is a terminal).
    bool shown() const { return mActive; }

private:
    void draw(int32 inDone, int32 inTotal);

    std::string mLabel;
    bool mActive;
    int mDrawnWidth = 0;  // the columns the line on screen takes (0: none drawn)
    int mLastPercent = -1;
};

}  // namespace ekv
