#include "core/trace.h"

#include <cstdarg>
#include <cstdio>

namespace rt {
namespace {

constexpr std::string_view kNames[] = {"script", "resources", "graphics", "text", "sound", "input"};

}  // namespace

std::string_view channel_name(Channel c) { return kNames[static_cast<size_t>(c)]; }

std::optional<uint32_t> trace_mask(const std::vector<std::string>& names, std::string* bad) {
  uint32_t mask = 0;
  for (const std::string& name : names) {
    if (name == "all") {
      mask |= (1u << std::size(kNames)) - 1;
      continue;
    }
    size_t i = 0;
    while (i < std::size(kNames) && kNames[i] != name) ++i;
    if (i == std::size(kNames)) {
      if (bad) *bad = name;
      return std::nullopt;
    }
    mask |= 1u << i;
  }
  return mask;
}

void trace_line(Channel c, const char* fmt, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(buffer, sizeof buffer, fmt, args);
  va_end(args);
  // One write per line, so lines of the sound thread do not split others.
  std::string line = "quorel: " + std::string(channel_name(c)) + ": " + buffer + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace rt
