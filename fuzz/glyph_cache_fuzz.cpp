// The ".fcd" glyph cache reader. An input is either a whole cache file
// (run with -max_len=400000 for those), or, when shorter than the header,
// a list of edits laid over a valid file for "FACE" at 40 × 80 holding a
// few glyphs: each edit is a 32-bit position (taken modulo the file size)
// and a 32-bit value stored there; a last odd-sized piece cuts the file to
// that many bytes from its end. A file the reader accepts must serialise
// and read back, and every glyph it names must lie inside its data.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "base/bytes.h"
#include "text/glyph_cache.h"

namespace {

std::vector<uint8_t> sample_file() {
  txt::GlyphCache c;
  c.reset("FACE", 40, 80);
  for (uint32_t code : {0xA082u, 0xA282u, 0x41u, 0xB1u}) {
    const int w = code < 256 ? 9 : 20;
    uint8_t* g = c.store(code, w);
    std::memset(g, static_cast<int>(code & 0xFF), static_cast<size_t>(w) * c.rows());
  }
  return txt::serialise_glyph_cache(c);
}

void check(std::span<const uint8_t> file) {
  auto c = txt::parse_glyph_cache(file, "FACE", 40, 80);
  if (!c) return;
  uint64_t sum = 0;
  for (size_t code = 0; code < txt::kCacheCodes; ++code) {
    if (!c->holds(static_cast<uint32_t>(code))) continue;
    const uint8_t* g = c->glyph(static_cast<uint32_t>(code));
    const size_t n = static_cast<size_t>(c->widths[code]) * c->rows();
    for (size_t i = 0; i < n; ++i) sum += g[i];
  }
  std::vector<uint8_t> again = txt::serialise_glyph_cache(*c);
  if (!txt::parse_glyph_cache(again, "FACE", 40, 80)) __builtin_trap();
  if (sum == 0xFFFFFFFFFFFFFFFFull) __builtin_trap();  // keeps the reads
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= txt::kCacheHeaderBytes) {
    check({data, size});
    return 0;
  }
  static const std::vector<uint8_t> base = sample_file();
  std::vector<uint8_t> file = base;
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    const size_t at = base::load_u32(data + i) % (file.size() - 3);
    base::store_u32(&file[at], base::load_u32(data + i + 4));
  }
  if (i < size) file.resize(file.size() - std::min(file.size(), static_cast<size_t>(data[i]) * 97));
  check(file);
  return 0;
}
