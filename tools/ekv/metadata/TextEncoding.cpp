// UTF-8 checks and an ASCII form. The ASCII form is a fixed table for the Latin-1 and
// Latin Extended-A letters, so that it does not depend on the locale, as iconv's
// transliteration does.
#include "metadata/TextEncoding.h"

#include <cstdint>

namespace ekv {

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

// Decodes the sequence at ioAt; a malformed one gives kReplacement and advances a byte.
uint32_t NextCodePoint(const std::string &inText, size_t &ioAt, bool &outValid) {
    const auto aByte = [&](size_t inIndex) { return static_cast<uint8_t>(inText[inIndex]); };
    const uint8_t aLead = aByte(ioAt);
    outValid = true;
    if (aLead < 0x80) {
        ++ioAt;
        return aLead;
    }
    size_t aLength = aLead >= 0xC2 && aLead <= 0xDF   ? 2
                     : aLead >= 0xE0 && aLead <= 0xEF ? 3
                     : aLead >= 0xF0 && aLead <= 0xF4 ? 4
                                                      : 0;
    uint32_t aCode = aLength == 2 ? aLead & 0x1Fu : aLength == 3 ? aLead & 0x0Fu : aLead & 0x07u;
    bool aOk = aLength != 0 && ioAt + aLength <= inText.size();
    for (size_t aIndex = 1; aOk && aIndex < aLength; ++aIndex) {
        const uint8_t aNext = aByte(ioAt + aIndex);
        aOk = (aNext & 0xC0) == 0x80;
        aCode = aCode << 6 | (aNext & 0x3Fu);
    }
    // Overlong forms, surrogates, code points past U+10FFFF and the two that XML forbids.
    aOk = aOk && !(aLength == 3 && aCode < 0x800) && !(aLength == 4 && (aCode < 0x10000 || aCode > 0x10FFFF)) &&
          !(aCode >= 0xD800 && aCode <= 0xDFFF) && aCode != 0xFFFE && aCode != 0xFFFF;
    if (!aOk) {
        outValid = false;
        ++ioAt;
        return kReplacement;
    }
    ioAt += aLength;
    return aCode;
}

void AppendUtf8(std::string &ioText, uint32_t inCode) {
    if (inCode < 0x80) {
        ioText += static_cast<char>(inCode);
    } else if (inCode < 0x800) {
        ioText += static_cast<char>(0xC0 | inCode >> 6);
        ioText += static_cast<char>(0x80 | (inCode & 0x3F));
    } else if (inCode < 0x10000) {
        ioText += static_cast<char>(0xE0 | inCode >> 12);
        ioText += static_cast<char>(0x80 | (inCode >> 6 & 0x3F));
        ioText += static_cast<char>(0x80 | (inCode & 0x3F));
    } else {
        ioText += static_cast<char>(0xF0 | inCode >> 18);
        ioText += static_cast<char>(0x80 | (inCode >> 12 & 0x3F));
        ioText += static_cast<char>(0x80 | (inCode >> 6 & 0x3F));
        ioText += static_cast<char>(0x80 | (inCode & 0x3F));
    }
}

// U+00C0 to U+00FF and U+0100 to U+017F: the base letter of each, '?' for the signs
// among them, '*' where two letters stand in for one (handled below).
const char kLatin1Letters[] = "AAAAAA*CEEEEIIIIDNOOOOOxOUUUUY**aaaaaa*ceeeeiiiidnooooo?ouuuuy*y";
const char kLatinExtendedA[] =
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIi**JjKkkLlLlLlLlLlNnNnNnnNnOoOoOo**RrRrRrSsSsSsSsTtTtTtUuUuUuUuU"
    "uUuWwYyYZzZzZzs";

std::string AsciiOf(uint32_t inCode) {
    switch (inCode) {
        case 0xA0: return " ";
        case 0xA9: return "(c)";
        case 0xAE: return "(R)";
        case 0xC6: return "AE";
        case 0xDE: return "TH";
        case 0xDF: return "ss";
        case 0xE6: return "ae";
        case 0xFE: return "th";
        case 0x132: return "IJ";
        case 0x133: return "ij";
        case 0x152: return "OE";
        case 0x153: return "oe";
        default: break;
    }
    if (inCode >= 0x300 && inCode <= 0x36F) return {};  // combining accents
    if (inCode >= 0xC0 && inCode <= 0xFF) return std::string(1, kLatin1Letters[inCode - 0xC0]);
    if (inCode >= 0x100 && inCode <= 0x17F) return std::string(1, kLatinExtendedA[inCode - 0x100]);
    return "?";
}

}  // namespace

std::string ValidUtf8(const std::string &inBytes, bool &outReplaced) {
    outReplaced = false;
    std::string aText;
    for (size_t aAt = 0; aAt < inBytes.size();) {
        bool aValid = true;
        AppendUtf8(aText, NextCodePoint(inBytes, aAt, aValid));
        outReplaced = outReplaced || !aValid;
    }
    return aText;
}

std::string ValidUtf8(const std::string &inBytes) {
    bool aReplaced = false;
    return ValidUtf8(inBytes, aReplaced);
}

bool IsValidUtf8(const std::string &inBytes) {
    bool aReplaced = false;
    ValidUtf8(inBytes, aReplaced);
    return !aReplaced;
}

size_t Utf8SequenceAt(const std::string &inText, size_t inAt, uint32_t &outCode) {
    size_t aAt = inAt;
    bool aValid = true;
    outCode = NextCodePoint(inText, aAt, aValid);
    return aValid ? aAt - inAt : 0;
}

bool IsAscii(const std::string &inText) {
    for (char aChar : inText)
        if (static_cast<uint8_t>(aChar) >= 0x80) return false;
    return true;
}

std::string AsciiForm(const std::string &inUtf8) {
    std::string aText;
    for (size_t aAt = 0; aAt < inUtf8.size();) {
        bool aValid = true;
        const uint32_t aCode = NextCodePoint(inUtf8, aAt, aValid);
        if (aCode < 0x80)
            aText += static_cast<char>(aCode);
        else
            aText += AsciiOf(aCode);
    }
    return aText;
}

}  // namespace ekv
