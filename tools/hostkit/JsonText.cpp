// Quoting and escaping of JSON strings.
#include "JsonText.h"

#include <cstdio>

namespace hostkit {

namespace {

// The short escape of a character, or null when it has none (or they are not wanted).
const char *ShortEscape(unsigned char inChar) {
    switch (inChar) {
        case '\n': return "\\n";
        case '\r': return "\\r";
        case '\t': return "\\t";
        default: return nullptr;
    }
}

}  // namespace

std::string JsonString(const std::string &inText, JsonEscapes inEscapes) {
    const bool aShort = inEscapes == JsonEscapes::Short;
    std::string aOut = "\"";
    for (unsigned char aChar : inText) {
        const char *aEscape = aShort ? ShortEscape(aChar) : nullptr;
        if (aEscape != nullptr) {
            aOut += aEscape;
        } else if (aChar == '"' || aChar == '\\') {
            aOut += '\\';
            aOut += static_cast<char>(aChar);
        } else if (aChar < 0x20 || (aShort && aChar == 0x7f)) {
            char aUnicode[8];
            std::snprintf(aUnicode, sizeof aUnicode, "\\u%04x", aChar);
            aOut += aUnicode;
        } else {
            aOut += static_cast<char>(aChar);
        }
    }
    return aOut + "\"";
}

}  // namespace hostkit
