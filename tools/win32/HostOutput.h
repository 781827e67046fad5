// ekvhost's output: one "key: value" line each, texts as JSON strings so that line feeds
// and quotes survive.
#pragma once

#include <cstdint>
#include <string>

namespace ekvhost {

std::string JsonString(const std::string &inText);
// A pointer or data word in hexadecimal, all of its digits.
std::string Hex(uintptr_t inValue);
void Print(const std::string &inKey, const std::string &inValue);

}  // namespace ekvhost
