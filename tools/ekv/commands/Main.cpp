// ekv: the command-line host of the Karvex RAW File import module.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands/Cli.h"

int main(int argc, char **argv) {
    using namespace ekv;
    if (argc < 2) {
        std::fputs(kHelpMain, stderr);
        return kExitUsage;
    }
    std::string aCommand = argv[1];
    std::vector<std::string> aArgs(argv + 2, argv + argc);
    if (aCommand == "-h" || aCommand == "--help" || aCommand == "help") {
        if (aCommand == "help" && !aArgs.empty()) {
            aCommand = aArgs.front();
            aArgs = {"--help"};
        } else {
            std::fputs(kHelpMain, stdout);
            return kExitOk;
        }
    }
    if (aCommand == "--version" || aCommand == "-V") {
        std::printf("ekv %s\n", ToolVersion());
        return kExitOk;
    }
    if (aCommand == "convert") return RunConvert(aArgs);
    if (aCommand == "info") return RunInfo(aArgs);
    if (aCommand == "thumbnail") return RunThumbnail(aArgs);
    if (aCommand == "preview") return RunPreview(aArgs);
    if (aCommand == "about") return RunAbout(aArgs);
    if (aCommand == "dng") return RunDng(aArgs);
    std::fprintf(stderr, "ekv: unknown command '%s' (see 'ekv --help')\n", aCommand.c_str());
    return kExitUsage;
}
