// String built-ins. Strings are Shift-JIS: positions and lengths count
// characters, a double-byte character being one.
#include <algorithm>
#include <cstdio>

#include "base/crc32.h"
#include "base/sjis.h"
#include "script/builtins/tables.h"

namespace rt {
namespace {

int sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

Progress mid(Call& c) {
  std::string_view s = c.str_arg(1);
  int32_t start = std::max(0, c.int_arg(2));
  int32_t count = c.int_arg(3);
  size_t from = base::sjis_offset(s, static_cast<size_t>(start));
  if (count <= 0 || from >= s.size()) {
    c.ret_string({});
    return Progress::Done;
  }
  std::string_view rest = s.substr(from);
  c.ret_string(rest.substr(0, base::sjis_offset(rest, static_cast<size_t>(count))));
  return Progress::Done;
}

Progress left(Call& c) {
  std::string_view s = c.str_arg(1);
  int32_t count = c.int_arg(2);
  c.ret_string(count <= 0 ? std::string_view() : s.substr(0, base::sjis_offset(s, static_cast<size_t>(count))));
  return Progress::Done;
}

Progress right(Call& c) {
  std::string_view s = c.str_arg(1);
  int32_t count = c.int_arg(2);
  size_t length = base::sjis_length(s);
  if (count <= 0) c.ret_string({});
  else if (static_cast<size_t>(count) >= length) c.ret_string(s);
  else c.ret_string(s.substr(base::sjis_offset(s, length - static_cast<size_t>(count))));
  return Progress::Done;
}

Progress strcmp_(Call& c) {
  c.ret_int(sign(c.str_arg(2).compare(c.str_arg(1))));
  return Progress::Done;
}

Progress stricmp_(Call& c) {
  c.ret_int(sign(base::sjis_compare_nocase(c.str_arg(2), c.str_arg(1))));
  return Progress::Done;
}

Progress strlen_(Call& c) {
  c.ret_int(static_cast<int32_t>(base::sjis_length(c.str_arg(1))));
  return Progress::Done;
}

Progress itoa_(Call& c) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%d", c.int_arg(1));
  c.ret_string(buffer);
  return Progress::Done;
}

Progress atoi_(Call& c) {
  c.ret_int(base::c_atoi(c.str_arg(1)));
  return Progress::Done;
}

std::string_view trim_blanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string_view unquote(std::string_view s) {
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') return s.substr(1, s.size() - 2);
  return s;
}

Progress csv_count(Call& c) {
  std::string_view s = c.str_arg(1);
  c.ret_int(static_cast<int32_t>(std::count(s.begin(), s.end(), ',')) + 1);
  return Progress::Done;
}

Progress csv_field(Call& c) {
  std::string_view s = c.str_arg(1);
  int32_t index = c.int_arg(2);
  for (int32_t i = 0; index >= 0; ++i) {
    size_t comma = s.find(',');
    if (i == index) {
      c.ret_string(unquote(trim_blanks(s.substr(0, comma))));
      return Progress::Done;
    }
    if (comma == std::string_view::npos) break;
    s.remove_prefix(comma + 1);
  }
  c.ret_string({});
  return Progress::Done;
}

Progress strlwr_(Call& c) {
  c.ret_string(base::sjis_lower(c.str_arg(1)));
  return Progress::Done;
}

Progress strupr_(Call& c) {
  c.ret_string(base::sjis_upper(c.str_arg(1)));
  return Progress::Done;
}

Progress strstr_(Call& c) {
  std::string_view s = c.str_arg(1), part = c.str_arg(2);
  int32_t index = 0;
  for (size_t i = 0; i <= s.size(); i += base::sjis_char_size(s, i), ++index) {
    if (s.substr(i, part.size()) == part) {
      c.ret_int(index);
      return Progress::Done;
    }
    if (i == s.size()) break;
  }
  c.ret_int(-1);
  return Progress::Done;
}

Progress string_hash(Call& c) {
  c.ret_int(static_cast<int32_t>(base::crc32(base::sjis_lower(c.str_arg(1)))));
  return Progress::Done;
}

constexpr auto kTable = handler_table<Subsystem::script>({
    {"mid", mid},
    {"left", left},
    {"right", right},
    {"strcmp", strcmp_},
    {"stricmp", stricmp_},
    {"strlen", strlen_},
    {"itoa", itoa_},
    {"atoi", atoi_},
    {"csv_count", csv_count},
    {"csv_field", csv_field},
    {"strlwr", strlwr_},
    {"strupr", strupr_},
    {"strstr", strstr_},
    {"string_hash", string_hash},
});

}  // namespace

std::span<const BuiltinEntry> string_builtins() { return kTable; }

}  // namespace rt
