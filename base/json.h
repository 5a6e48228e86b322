// Writing JSON strings: the one piece of JSON the engine produces.
#pragma once

#include <string>
#include <string_view>

namespace base {

// `utf8` as a JSON string literal, quotes included: quote and backslash
// escaped, control characters as \n, \t, ... or \u00XX. The bytes are
// otherwise copied, so the caller hands in valid UTF-8.
std::string json_quote(std::string_view utf8);

}  // namespace base
