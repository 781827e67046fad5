// ekv about: the module's about box, asked for through selector 0.
#include <cstdio>

#include "import/AcquireHost.h"
#include "commands/Cli.h"

namespace ekv {

int RunAbout(const std::vector<std::string> &inArgs) {
    ArgScanner aArgs(inArgs);
    while (!aArgs.done()) {
        if (aArgs.option("-h", "--help")) {
            std::fputs(kHelpAbout, stdout);
            return kExitOk;
        }
        return UsageError("about", "unexpected argument '" + aArgs.next() + "'");
    }
    AcquireHost aHost;
    std::string aText = aHost.about();
    if (aText.empty()) return Fail(kExitModule, "about", "the module showed no about box");
    std::fputs(aText.c_str(), stdout);
    if (aText.back() != '\n') std::fputc('\n', stdout);
    return kExitOk;
}

}  // namespace ekv
