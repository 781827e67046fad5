// Text as a JSON string, for the hosts' machine-readable outputs.
#pragma once

#include <string>

namespace hostkit {

enum class JsonEscapes {
    Unicode,  // every control character as \uXXXX
    Short,    // \n, \r and \t as such, other control characters and DEL as \uXXXX
};

std::string JsonString(const std::string &inText, JsonEscapes inEscapes);

}  // namespace hostkit
