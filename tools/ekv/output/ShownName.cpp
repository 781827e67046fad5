// Quoting of names for messages, and UTF-8 repair for JSON.
#include "output/ShownName.h"

#include <cstdint>
#include <cstdio>

namespace ekv {

namespace {

// The length of the valid UTF-8 sequence at inAt (1 to 4), or 0 for a byte that does not
// start one: overlong forms, surrogates and code points past U+10FFFF are invalid.
size_t SequenceAt(const std::string &inText, size_t inAt, uint32_t &outCode) {
    const auto aByte = [&](size_t inIndex) { return static_cast<unsigned char>(inText[inIndex]); };
    const unsigned char aLead = aByte(inAt);
    size_t aLength;
    uint32_t aMinimum;
    if (aLead < 0x80) {
        outCode = aLead;
        return 1;
    } else if ((aLead & 0xe0) == 0xc0) {
        aLength = 2, aMinimum = 0x80, outCode = aLead & 0x1f;
    } else if ((aLead & 0xf0) == 0xe0) {
        aLength = 3, aMinimum = 0x800, outCode = aLead & 0x0f;
    } else if ((aLead & 0xf8) == 0xf0) {
        aLength = 4, aMinimum = 0x10000, outCode = aLead & 0x07;
    } else {
        return 0;
    }
    if (inAt + aLength > inText.size()) return 0;
    for (size_t aIndex = 1; aIndex < aLength; ++aIndex) {
        if ((aByte(inAt + aIndex) & 0xc0) != 0x80) return 0;
        outCode = (outCode << 6) | (aByte(inAt + aIndex) & 0x3f);
    }
    if (outCode < aMinimum || outCode > 0x10ffff || (outCode >= 0xd800 && outCode <= 0xdfff)) return 0;
    return aLength;
}

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

bool IsValidUtf8(const std::string &inText) {
    uint32_t aCode;
    for (size_t aAt = 0; aAt < inText.size();) {
        const size_t aLength = SequenceAt(inText, aAt, aCode);
        if (aLength == 0) return false;
        aAt += aLength;
    }
    return true;
}

std::string ValidUtf8(const std::string &inText) {
    std::string aText;
    uint32_t aCode;
    for (size_t aAt = 0; aAt < inText.size();) {
        const size_t aLength = SequenceAt(inText, aAt, aCode);
        aText += aLength == 0 ? std::string("\xef\xbf\xbd") : inText.substr(aAt, aLength);
        aAt += aLength == 0 ? 1 : aLength;
    }
    return aText;
}

std::string ShownName(const std::string &inName) {
    bool aPlain = true;
    uint32_t aCode;
    for (size_t aAt = 0; aAt < inName.size() && aPlain;) {
        const size_t aLength = SequenceAt(inName, aAt, aCode);
        aPlain = aLength != 0 && !IsControl(aCode);
        aAt += aLength;
    }
    if (aPlain) return inName;
    std::string aQuoted = "$'";
    for (size_t aAt = 0; aAt < inName.size();) {
        const size_t aLength = SequenceAt(inName, aAt, aCode);
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
