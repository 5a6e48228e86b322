// Little-endian field access for the engine's file formats, which keep
// their 32-bit Windows layouts byte for byte.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace base {

inline uint16_t load_u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t load_u32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline int16_t load_i16(const uint8_t* p) { return static_cast<int16_t>(load_u16(p)); }
inline int32_t load_i32(const uint8_t* p) { return static_cast<int32_t>(load_u32(p)); }
inline float load_f32(const uint8_t* p) {
  uint32_t u = load_u32(p);
  float f;
  std::memcpy(&f, &u, 4);
  return f;
}

inline void store_u16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void store_u32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Appends fields to a byte string, for writers.
inline void append_u16(std::string& out, uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}
inline void append_u32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}
inline void append_f32(std::string& out, float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  append_u32(out, u);
}

}  // namespace base
