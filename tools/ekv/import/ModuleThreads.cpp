#include "ModuleThreads.h"

#include <cstdlib>
#include <string>

namespace ekv {

int ModuleThreadLimit(int inThreadsOption, int inWorkers, int inProcessors) {
    if (inThreadsOption > 0) return inThreadsOption;
    if (inWorkers <= 1) return 0;
    const int aShare = inProcessors / inWorkers;
    return aShare > 0 ? aShare : 1;
}

void ApplyModuleThreadLimit(int inLimit) {
    if (inLimit <= 0) return;
    setenv("KARVEX_THREADS", std::to_string(inLimit).c_str(), 1);
}

}  // namespace ekv
