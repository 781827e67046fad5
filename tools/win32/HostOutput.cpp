#include "HostOutput.h"

#include <cstdio>
#include <mutex>

namespace ekvhost {

std::string JsonString(const std::string &inText) {
    std::string out = "\"";
    for (unsigned char c : inText) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20 || c == 0x7f) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

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
