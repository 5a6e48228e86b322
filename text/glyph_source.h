// Where character shapes come from: the installed fonts (FreeType behind
// platform/), or fixed metrics that make every layout predictable.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/font_rasterizer.h"

namespace rt { struct Engine; }

namespace txt {

class GlyphSource {
 public:
  virtual ~GlyphSource() = default;
  // Selects a face (Shift-JIS) at the context's sizes: `height` pixels
  // high, `width` the half-width advance; `antialias` for the four-times
  // scale. Sizes below 1 select nothing: no room, no ink.
  virtual void select(std::string_view face, int height, int width, bool antialias) = 0;
  // The advance of a character (code: lead + 256 × trail, or the byte).
  virtual int extent(uint32_t code) = 0;
  // Strikes a character with its advance box centred on `centre_x` and its
  // cell's top at `top`; ink darkens (255 = none, 0 = full).
  virtual void strike(uint32_t code, int centre_x, int top, plat::InkBuffer target) = 0;
};

// The installed fonts: the face name is looked up through fontconfig; a
// name no installed font carries is mapped to IPA Gothic or Mincho, and
// failing that to the default face, which the debug log notes once.
std::unique_ptr<GlyphSource> make_font_glyphs(rt::Engine& e);
// Fixed metrics: double-byte characters are 2 × width wide, printable
// single-byte ones width wide; a character's ink fills its advance box.
std::unique_ptr<GlyphSource> make_fixed_glyphs();

}  // namespace txt
