// File names as messages and JSON show them. A name is the user's bytes: it may hold a
// newline, an escape sequence or bytes that are not UTF-8. Messages stay one line each
// and never drive the terminal; JSON stays valid UTF-8.
#pragma once

#include <string>

namespace ekv {

// The name as it is when every character is printable UTF-8; otherwise quoted as a shell
// reads it back, $'...', with control characters and stray bytes as escapes
// ($'a\nb.ekv', $'\x1b[2J.ekv'), as ls and cp show such names.
std::string ShownName(const std::string &inName);

}  // namespace ekv
