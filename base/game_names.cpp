#include "base/game_names.h"

#include "base/sjis.h"

namespace base {

namespace {

bool is_separator(char c) { return c == '\\' || c == '/'; }

const char* check(std::string_view name, bool nested) {
  if (name.empty()) return "an empty name";
  if (name.find('\0') != std::string_view::npos) return "a NUL byte";
  if (is_separator(name[0]) || (name.size() >= 2 && name[1] == ':')) return "an absolute name";
  size_t start = 0;
  for (size_t i = 0; i <= name.size();) {
    if (i == name.size() || is_separator(name[i])) {
      std::string_view part = name.substr(start, i - start);
      if (part.empty()) return "an empty folder name";
      if (part == ".") return "a \".\" component";
      if (part == "..") return "a \"..\" component";
      if (i < name.size() && !nested) return "a folder part";
      start = ++i;
      continue;
    }
    i += sjis_char_size(name, i);
  }
  return nullptr;
}

}  // namespace

const char* unsafe_name_reason(std::string_view name) { return check(name, true); }

const char* unsafe_file_name_reason(std::string_view name) { return check(name, false); }

std::vector<std::string_view> name_components(std::string_view name) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t i = 0; i <= name.size();) {
    if (i == name.size() || is_separator(name[i])) {
      parts.push_back(name.substr(start, i - start));
      start = ++i;
      continue;
    }
    i += sjis_char_size(name, i);
  }
  return parts;
}

}  // namespace base
