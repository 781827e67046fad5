// A pause for tests at a known point of a conversion, so that a test can change the input
// while it is being read without relying on timing.
#pragma once

namespace ekv {

// When the environment variable EKV_TEST_PAUSE names a FIFO: opens it for reading, which
// waits until the test opens it for writing, then waits until the test closes it.
// Nothing otherwise.
void PauseForTest();

}  // namespace ekv
