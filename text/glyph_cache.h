// The persistent glyph cache: finished 8-bit glyphs of one face and size,
// kept in "savedata\fc_<face>_<width code>x<height code>.fcd" so that later
// runs copy rows instead of rasterising.
//
// File layout (little-endian): face (256 bytes, NUL-terminated), a spare
// word, the width and height codes, the width table (65,536 bytes), the
// offset table (65,536 × int32), the data capacity, the used size U, a
// spare word, then U bytes of glyph data. A glyph is (height code / 4) rows
// of `width` bytes, 255 = no ink. Offset 0 means "not cached", so the data
// starts with 4 unused bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rt { struct Engine; }

namespace txt {

inline constexpr size_t kCacheCodes = 65536;
inline constexpr size_t kCacheFaceBytes = 256;
inline constexpr size_t kCacheHeaderBytes = 256 + 4 + 4 + 4 + kCacheCodes + 4 * kCacheCodes + 4 + 4 + 4;  // 327,960
inline constexpr int32_t kCacheGrowth = 0x80000;
inline constexpr int32_t kCacheFirstOffset = 4;
// The data block never grows beyond this; later glyphs are drawn uncached.
inline constexpr int64_t kCacheDataLimit = 256 * 1024 * 1024;

struct GlyphCache {
  std::string face;                 // empty: no cache open
  int32_t width_code = 0;           // set_font_cache width × 4
  int32_t height_code = 0;          // set_font_cache height × 4
  std::vector<uint8_t> widths;      // per character code: advance
  std::vector<int32_t> offsets;     // per character code: data offset, 0 = none
  std::vector<uint8_t> data;        // capacity = data.size()
  int32_t used = kCacheFirstOffset;
  bool dirty = false;

  bool open() const { return !face.empty(); }
  int rows() const { return height_code / 4; }
  bool holds(uint32_t code) const { return code < offsets.size() && offsets[code] != 0; }
  // The rows of a cached glyph (widths[code] bytes each).
  const uint8_t* glyph(uint32_t code) const { return data.data() + offsets[code]; }
  // Room for a new glyph of `width` × rows() bytes; nullptr when the
  // block may not grow that far. The caller fills the rows.
  uint8_t* store(uint32_t code, int width);

  // An empty cache for a face and codes.
  void reset(std::string_view face, int32_t width_code, int32_t height_code);
};

// Reads a cache file's bytes. The file must be whole and consistent and
// belong to the given face and codes; otherwise nullopt (the caller starts
// an empty cache, which is written over the old file when it is closed).
std::optional<GlyphCache> parse_glyph_cache(std::span<const uint8_t> bytes, std::string_view face,
                                            int32_t width_code, int32_t height_code);
// The file's bytes: header and the used part of the data block.
std::vector<uint8_t> serialise_glyph_cache(const GlyphCache& cache);

// "fc_<face>_<width code>x<height code>.fcd", with the face made safe for
// a file name (path separators and control bytes become "_").
std::string glyph_cache_file_name(std::string_view face, int32_t width_code, int32_t height_code);

// set_font_cache: closes the open cache (writing it back) and opens the one
// of face/height/width; an empty face or sizes below 1 leave none open.
void open_glyph_cache(rt::Engine& e, std::string_view face, int32_t height, int32_t width);
// Writes the open cache back when it changed (unless LOADSAVEDISABLE is 1)
// and closes it.
void close_glyph_cache(rt::Engine& e);

}  // namespace txt
