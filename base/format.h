// printf into a std::string.
#pragma once

#include <string>

namespace base {

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace base
