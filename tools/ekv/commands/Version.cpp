// The tool's version, from the project's version in the build.
#include "commands/Cli.h"

namespace ekv {

const char *ToolVersion() { return EKV_VERSION; }

}  // namespace ekv
