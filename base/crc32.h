// The name hash: standard CRC-32 (reflected polynomial 0xEDB88320, initial
// value 0xFFFFFFFF, final complement). Functions, variables, events and
// resource names are all identified by it, and its 1024-byte table is also
// the key stream of scrambled script files.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace base {

inline constexpr std::array<uint32_t, 256> kCrc32Table = [] {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}();

constexpr uint32_t crc32_update(uint32_t crc, std::string_view bytes) {
  for (char ch : bytes) crc = kCrc32Table[(crc ^ static_cast<uint8_t>(ch)) & 0xFF] ^ (crc >> 8);
  return crc;
}

constexpr uint32_t crc32(std::string_view bytes) { return ~crc32_update(0xFFFFFFFFu, bytes); }

static_assert(crc32("123456789") == 0xCBF43926u);

}  // namespace base
