// The person in front of the module, for native hosts: answers to the open-file dialog
// and the conversion dialog given through the module's user-interface seam, and a log of
// the message boxes, beeps and thumbnails the module showed.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/AcquireInterface.h"
#if !defined(_WIN32)
#include "ui/UserSeam.h"
#endif

namespace hostkit {

struct Answers {
    std::optional<std::string> file;  // none: the open-file dialog is cancelled
    int16 method = 0;
    Point wbPoint{-1, -1};
    bool convert = true;  // OK (true) or Cancel (false) in the conversion dialog
    // Run while the conversion dialog is up, before it answers: what a host does from its
    // own windows while the dialog's loop services them (a second import, for example).
    std::function<void()> whileDialogOpen;
};

struct SeamLog {
    std::vector<std::pair<std::string, std::string>> messages;  // text, caption
    int beeps = 0;
    int thumbnailsOffered = 0;  // conversion dialogs opened with a thumbnail
};

#if !defined(_WIN32)
// Answers the seam from inAnswers and logs into ioLog while it lives, then puts back the
// responder that was there before. Both must outlive it.
class SeamResponder {
public:
    SeamResponder(const Answers &inAnswers, SeamLog &ioLog);
    ~SeamResponder();
    SeamResponder(const SeamResponder &) = delete;
    SeamResponder &operator=(const SeamResponder &) = delete;

    const Answers &answers() const { return mAnswers; }
    SeamLog &log() { return mLog; }

private:
    const Answers &mAnswers;
    SeamLog &mLog;
    UI_Responder mPrevious{};
    bool mHadPrevious = false;
};
#endif

}  // namespace hostkit
