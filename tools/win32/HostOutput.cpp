#include "HostOutput.h"

#include <cstdio>
#include <mutex>

#include "JsonText.h"

namespace ekvhost {

std::string JsonString(const std::string &inText) { return hostkit::JsonString(inText, hostkit::JsonEscapes::Short); }

std::string Hex(uintptr_t inValue) {
    // Every digit of the pointer: 8 in a 32-bit host, 16 in a 64-bit one (where long,
    // under Windows, has 32 bits only).
    char buf[2 + 2 * sizeof(uintptr_t) + 1];
    std::snprintf(buf, sizeof buf, "0x%0*llx", int(2 * sizeof(uintptr_t)), static_cast<unsigned long long>(inValue));
    return buf;
}

void Print(const std::string &inKey, const std::string &inValue) {
    static std::mutex sMutex;
    std::lock_guard<std::mutex> lock(sMutex);
    std::printf("%s: %s\n", inKey.c_str(), inValue.c_str());
    std::fflush(stdout);
}

}  // namespace ekvhost
