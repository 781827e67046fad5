// Pauses for tests at known points of a conversion, so that a test can change the input
// or the output's directory meanwhile without relying on timing.
#pragma once

#include <string>

namespace ekv {

// When the environment variable inVariable names a FIFO: opens it for reading, which
// waits until the test opens it for writing, then waits until the test closes it.
// Nothing otherwise.
void WaitAtTestFifo(const char *inVariable);

// The pause after a conversion's first read: WaitAtTestFifo("EKV_TEST_PAUSE"), when
// EKV_TEST_PAUSE_INPUT is unset or names inInput.
void PauseForTest(const std::string &inInput);

}  // namespace ekv
