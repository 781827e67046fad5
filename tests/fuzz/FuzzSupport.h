// Shared by the fuzz targets: the fuzzed bytes as a file, and the host checks that end the
// run (abort, which libFuzzer reports with the input) when the module misused or leaked
// host memory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "TestHost.h"

namespace fuzz {

// One scratch file per fuzzing process.
inline const std::string &ScratchPath(const char *inName) {
    static const std::string aPath = [&] {
        const char *aDir = std::getenv("TMPDIR");
        return std::string(aDir != nullptr ? aDir : "/tmp") + "/karvex_fuzz_" + inName + "_" +
               std::to_string(getpid()) + ".ekv";
    }();
    return aPath;
}

inline bool WriteFile(const std::string &inPath, const uint8_t *inData, size_t inSize) {
    FILE *f = std::fopen(inPath.c_str(), "wb");
    if (f == nullptr) return false;
    bool aOk = std::fwrite(inData, 1, inSize, f) == inSize;
    return std::fclose(f) == 0 && aOk;
}

[[noreturn]] inline void Fail(const char *inWhy, const std::string &inDetail = "") {
    std::fprintf(stderr, "karvex fuzz: %s %s\n", inWhy, inDetail.c_str());
    std::abort();
}

// Nothing misused, nothing left but inHandles live handles and no buffers.
inline void CheckHost(const testhost::TestHost &inHost, size_t inHandles) {
    if (!inHost.misuse().empty()) Fail("host misuse:", inHost.misuse().front());
    if (inHost.liveBuffers() != 0) Fail("buffers left allocated");
    if (inHost.liveHandles() > inHandles) Fail("handles left allocated");
}

}  // namespace fuzz
