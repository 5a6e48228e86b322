// Byte-string helpers for Shift-JIS text (code page 932): the engine's
// strings are multi-byte, and every operation that walks characters or
// folds case must step over double-byte characters whole. Case folding
// touches ASCII letters only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace base {

// First byte of a double-byte character.
constexpr bool sjis_lead(uint8_t c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Bytes of the character starting at s[i]: 2 for a complete double-byte
// character, else 1 (a lone lead byte at the end counts as one).
inline size_t sjis_char_size(std::string_view s, size_t i) {
  return (sjis_lead(static_cast<uint8_t>(s[i])) && i + 1 < s.size()) ? 2 : 1;
}

std::string sjis_upper(std::string_view s);
std::string sjis_lower(std::string_view s);

// Case-insensitive comparison by characters: <0, 0, >0.
int sjis_compare_nocase(std::string_view a, std::string_view b);
inline bool sjis_equal_nocase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && sjis_compare_nocase(a, b) == 0;
}

// Number of characters.
// The text cut to at most `limit` bytes without splitting a character.
std::string_view sjis_clip(std::string_view s, size_t limit);

size_t sjis_length(std::string_view s);
// Byte offset of character `index` (clamped to the end).
size_t sjis_offset(std::string_view s, size_t index);

// C's atoi: optional blanks and sign, then digits; 0 without digits. Values
// beyond 32 bits are clamped instead of being undefined.
int32_t c_atoi(std::string_view s);

// The file-name part of a path: after the last "\", "/" or ":".
std::string_view file_name_part(std::string_view path);
// The name without its extension (from the last ".").
std::string_view strip_extension(std::string_view name);
// The extension including its dot, or empty.
std::string_view extension_of(std::string_view name);

}  // namespace base
