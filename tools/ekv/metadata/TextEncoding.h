// The text of TIFF tags as read and as written: raw files may hold UTF-8 (or stray
// bytes) in tags that TIFF calls ASCII, while the outputs' ASCII tags must hold ASCII.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ekv {

// inBytes as UTF-8: well-formed sequences as they are, every byte of a malformed one
// (and code points XML cannot carry: surrogates, U+FFFE, U+FFFF) as U+FFFD. outReplaced
// tells whether any was replaced.
std::string ValidUtf8(const std::string &inBytes, bool &outReplaced);
std::string ValidUtf8(const std::string &inBytes);

// Whether inBytes is well-formed UTF-8 as it stands (by the rules of ValidUtf8).
bool IsValidUtf8(const std::string &inBytes);

// The code point of the well-formed sequence at inAt in outCode, and its length (1 to 4);
// 0 where no well-formed sequence starts.
size_t Utf8SequenceAt(const std::string &inText, size_t inAt, uint32_t &outCode);

// Whether every byte is below 0x80.
bool IsAscii(const std::string &inText);

// An ASCII stand-in for UTF-8 text, for tags that must be ASCII: Latin letters without
// their accents ("Zoë" -> "Zoe", "ß" -> "ss", "Œ" -> "OE"), combining accents dropped,
// "©" -> "(c)", "®" -> "(R)", a no-break space as a space, anything else "?".
std::string AsciiForm(const std::string &inUtf8);

}  // namespace ekv
