#include "HostOutput.h"

#include <cstdio>
#include <mutex>

#include "JsonText.h"

namespace ekvhost {

std::string JsonString(const std::string &inText) { return hostkit::JsonString(inText, hostkit::JsonEscapes::Short); }

std::string Hex(uintptr_t inValue) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08lx", static_cast<unsigned long>(inValue));
    return buf;
}

void Print(const std::string &inKey, const std::string &inValue) {
    static std::mutex sMutex;
    std::lock_guard<std::mutex> lock(sMutex);
    std::printf("%s: %s\n", inKey.c_str(), inValue.c_str());
    std::fflush(stdout);
}

}  // namespace ekvhost
