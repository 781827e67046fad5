// Quoting of names for messages.
#include "output/ShownName.h"

#include <cstdint>
#include <cstdio>

#include "metadata/TextEncoding.h"

namespace ekv {

namespace {

bool IsControl(uint32_t inCode) { return inCode < 0x20 || (inCode >= 0x7f && inCode < 0xa0); }

std::string Escape(unsigned char inByte) {
    switch (inByte) {
        case '\n': return "\\n";
        case '\t': return "\\t";
        case '\r': return "\\r";
        case '\\': return "\\\\";
        case '\'': return "\\'";
        default: break;
    }
    char aHex[5];
    std::snprintf(aHex, sizeof aHex, "\\x%02x", inByte);
    return aHex;
}

}  // namespace

std::string ShownName(const std::string &inName) {
    bool aPlain = true;
    uint32_t aCode;
    for (size_t aAt = 0; aAt < inName.size() && aPlain;) {
        const size_t aLength = Utf8SequenceAt(inName, aAt, aCode);
        aPlain = aLength != 0 && !IsControl(aCode);
        aAt += aLength;
    }
    if (aPlain) return inName;
    std::string aQuoted = "$'";
    for (size_t aAt = 0; aAt < inName.size();) {
        const size_t aLength = Utf8SequenceAt(inName, aAt, aCode);
        if (aLength == 0 || IsControl(aCode)) {
            // A control character's bytes, or a byte that is not UTF-8, one by one.
            const size_t aBytes = aLength == 0 ? 1 : aLength;
            for (size_t aIndex = 0; aIndex < aBytes; ++aIndex)
                aQuoted += Escape(static_cast<unsigned char>(inName[aAt + aIndex]));
            aAt += aBytes;
        } else {
            aQuoted += aLength == 1 && (inName[aAt] == '\\' || inName[aAt] == '\'')
                           ? Escape(static_cast<unsigned char>(inName[aAt]))
                           : inName.substr(aAt, aLength);
            aAt += aLength;
        }
    }
    return aQuoted + "'";
}

}  // namespace ekv
