// Shared helpers of the whole-import tests: EKV files written by ekv-make into a scratch
// folder of this process, and imports through ENTRYPOINT with the ekv host core, with
// the optimised or the straightforward stages.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "import/AcquireHost.h"

namespace wholetest {

// Writes `ekv-make sample -o <scratch>/<inName>.ekv <inArguments>` and returns the path.
std::string MakeSample(const std::string &inName, const std::string &inArguments);

struct Import {
    ekv::ImportResult result;
    size_t peakBytes = 0;  // the most bytes the module held from the host at once
};

// One whole import with one host that keeps the module loaded between imports.
// inThreads: the module's band threads (0: as many as the processors).
Import RunImport(const std::string &inPath, int16 inMethod, Point inPoint, bool inReference, int32 inThreads = 0);
// The same import streamed band by band into a sink (the optimised stages).
ekv::ImportResult StreamImport(const std::string &inPath, int16 inMethod, Point inPoint, ekv::BandSink &ioSink);
// This process's scratch folder.
std::string ScratchFolder();

}  // namespace wholetest
