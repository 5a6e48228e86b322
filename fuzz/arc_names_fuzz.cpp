// quorel-arc's names file on arbitrary bytes: every path it would extract
// to must stay below the target folder.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "resources/name_hash.h"
#include "tools/arc/names.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  arc::NameMap names;
  names.load_lines(text);
  // Walk every hash the input could name: the lines themselves.
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    (void)names.find(res::name_hash(text.substr(start, end - start)));
    start = end + 1;
  }
  for (const auto& [hash, name] : names.all()) {
    std::string_view p = name.path;
    if (p.empty() || p.front() == '/' || p.back() == '/') std::abort();
    size_t at = 0;
    while (at <= p.size()) {
      size_t slash = p.find('/', at);
      if (slash == std::string_view::npos) slash = p.size();
      std::string_view part = p.substr(at, slash - at);
      if (part.empty() || part == "." || part == "..") std::abort();
      for (char c : part)
        if (static_cast<unsigned char>(c) < ' ') std::abort();
      at = slash + 1;
    }
  }
  return 0;
}
