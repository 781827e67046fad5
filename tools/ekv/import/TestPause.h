// A pause for tests at a known point of a conversion, so that a test can change the input
// while it is being read without relying on timing.
#pragma once

#include <string>

namespace ekv {

// When the environment variable EKV_TEST_PAUSE names a FIFO, and EKV_TEST_PAUSE_INPUT is
// unset or names inInput: opens the FIFO for reading, which waits until the test opens it
// for writing, then waits until the test closes it. Nothing otherwise.
void PauseForTest(const std::string &inInput);

}  // namespace ekv
