// Shared by the graphics tests: image files written byte by byte or with
// libpng directly, and small page helpers.
#pragma once

#include <png.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/page.h"

namespace pixel_helpers {

inline void put_u16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}
inline void put_u32(std::vector<uint8_t>& v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}

inline std::vector<uint8_t> cut_file(std::vector<uint8_t> v, size_t n) {
  v.resize(n);
  return v;
}

// An ".rct" file around a hand-written compressed stream.
inline std::vector<uint8_t> rct_file(int w, int h, const std::vector<uint8_t>& data, const std::string& base = "",
                                     int declared_size = -1) {
  std::vector<uint8_t> f = {0x98, 0x5A, 0x92, 0x9A, 'T', 'C', '0', base.empty() ? uint8_t('0') : uint8_t('1')};
  put_u32(f, static_cast<uint32_t>(w));
  put_u32(f, static_cast<uint32_t>(h));
  put_u32(f, static_cast<uint32_t>(declared_size < 0 ? static_cast<int>(data.size()) : declared_size));
  if (!base.empty()) {
    put_u16(f, static_cast<uint32_t>(base.size()));
    f.insert(f.end(), base.begin(), base.end());
  }
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

// An ".rc8" file; the palette is entry i = (i, 255 - i, i / 2) as blue,
// green, red.
inline std::vector<uint8_t> rc8_file(int w, int h, const std::vector<uint8_t>& data, int declared_size = -1) {
  std::vector<uint8_t> f = {0x98, 0x5A, 0x92, 0x9A, '8', '_', '0', '0'};
  put_u32(f, static_cast<uint32_t>(w));
  put_u32(f, static_cast<uint32_t>(h));
  put_u32(f, static_cast<uint32_t>(declared_size < 0 ? static_cast<int>(data.size()) : declared_size));
  for (int i = 0; i < 256; ++i) {
    f.push_back(static_cast<uint8_t>(i));
    f.push_back(static_cast<uint8_t>(255 - i));
    f.push_back(static_cast<uint8_t>(i / 2));
  }
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

// A PNG written with libpng exactly as described: `rows` holds the raw
// samples of each row in the file's own layout (RGB order, big-endian 16-bit
// samples, packed low bit depths).
struct PngSpec {
  int width = 1, height = 1;
  int colour_type = PNG_COLOR_TYPE_RGB;
  int bit_depth = 8;
  bool interlaced = false;
  std::vector<std::vector<uint8_t>> rows;
  std::vector<png_color> palette;
  std::vector<uint8_t> trns_alpha;       // palette images
  bool trns_colour = false;              // grey / RGB images
  png_color_16 trns_key{};
};

inline void png_append(png_structp png, png_bytep data, size_t n) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}

inline std::vector<uint8_t> write_png(const PngSpec& spec) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, png_append, nullptr);
  png_set_IHDR(png, info, spec.width, spec.height, spec.bit_depth, spec.colour_type,
               spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!spec.palette.empty())
    png_set_PLTE(png, info, spec.palette.data(), static_cast<int>(spec.palette.size()));
  if (!spec.trns_alpha.empty())
    png_set_tRNS(png, info, spec.trns_alpha.data(), static_cast<int>(spec.trns_alpha.size()), nullptr);
  if (spec.trns_colour) png_set_tRNS(png, info, nullptr, 0, &spec.trns_key);
  png_write_info(png, info);
  int passes = png_set_interlace_handling(png);
  for (int pass = 0; pass < passes; ++pass)
    for (const auto& row : spec.rows) png_write_row(png, row.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

// The pixel at (x, y) of a 24-bit page as {b, g, r}.
inline std::vector<uint8_t> bgr_at(const gfx::Page& p, int x, int y) {
  const uint8_t* q = p.row(y) + 3 * x;
  return {q[0], q[1], q[2]};
}

}  // namespace pixel_helpers
