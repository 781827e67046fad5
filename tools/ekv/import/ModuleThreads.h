// How many band threads the module may use in each import, and telling it so. The module
// takes its limit from the environment variable KARVEX_THREADS (the Acquire interface has
// no field for it), which this process and its batch workers inherit.
#pragma once

namespace ekv {

// The limit for each import: the user's --threads when given (inThreadsOption > 0);
// otherwise, when a batch runs inWorkers worker processes at once, the processors shared
// out among them (at least one each); 0 when the module may use every processor.
int ModuleThreadLimit(int inThreadsOption, int inWorkers, int inProcessors);

// Sets KARVEX_THREADS to inLimit for the imports of this process (and of the workers it
// forks); 0 leaves the environment as the user gave it.
void ApplyModuleThreadLimit(int inLimit);

}  // namespace ekv
