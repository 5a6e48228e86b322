#include "base/sjis.h"

#include <cstdint>

namespace base {
namespace {

uint8_t lower_byte(uint8_t c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }
uint8_t upper_byte(uint8_t c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

template <uint8_t (*Fold)(uint8_t)>
std::string fold_case(std::string_view s) {
  std::string out(s);
  for (size_t i = 0; i < out.size();) {
    size_t n = sjis_char_size(out, i);
    if (n == 1) out[i] = static_cast<char>(Fold(static_cast<uint8_t>(out[i])));
    i += n;
  }
  return out;
}

}  // namespace

std::string sjis_upper(std::string_view s) { return fold_case<upper_byte>(s); }
std::string sjis_lower(std::string_view s) { return fold_case<lower_byte>(s); }

int sjis_compare_nocase(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    size_t na = sjis_char_size(a, i), nb = sjis_char_size(b, j);
    uint32_t ca = na == 2 ? (static_cast<uint8_t>(a[i]) << 8) | static_cast<uint8_t>(a[i + 1])
                          : lower_byte(static_cast<uint8_t>(a[i]));
    uint32_t cb = nb == 2 ? (static_cast<uint8_t>(b[j]) << 8) | static_cast<uint8_t>(b[j + 1])
                          : lower_byte(static_cast<uint8_t>(b[j]));
    if (ca != cb) return ca < cb ? -1 : 1;
    i += na;
    j += nb;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

std::string_view sjis_clip(std::string_view s, size_t limit) {
  size_t n = 0;
  while (n < s.size()) {
    size_t c = sjis_char_size(s, n);
    if (n + c > limit) break;
    n += c;
  }
  return s.substr(0, n);
}

size_t sjis_length(std::string_view s) {
  size_t count = 0;
  for (size_t i = 0; i < s.size(); i += sjis_char_size(s, i)) ++count;
  return count;
}

size_t sjis_offset(std::string_view s, size_t index) {
  size_t i = 0;
  while (index > 0 && i < s.size()) {
    i += sjis_char_size(s, i);
    --index;
  }
  return i;
}

int32_t c_atoi(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  int64_t v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    v = v * 10 + (s[i] - '0');
    if (v > 0x80000000LL) v = 0x80000000LL;
  }
  if (negative) v = -v;
  if (v > INT32_MAX) v = INT32_MAX;
  return static_cast<int32_t>(v);
}

std::string_view file_name_part(std::string_view path) {
  size_t start = 0;
  for (size_t i = 0; i < path.size(); i += sjis_char_size(path, i)) {
    char c = path[i];
    if (c == '\\' || c == '/' || c == ':') start = i + 1;
  }
  return path.substr(start);
}

std::string_view strip_extension(std::string_view name) {
  size_t dot = std::string_view::npos;
  for (size_t i = 0; i < name.size(); i += sjis_char_size(name, i))
    if (name[i] == '.') dot = i;
  return dot == std::string_view::npos ? name : name.substr(0, dot);
}

std::string_view extension_of(std::string_view name) {
  std::string_view stem = strip_extension(name);
  return name.substr(stem.size());
}

}  // namespace base
