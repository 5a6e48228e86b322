// Measuring and drawing text: characters are struck at one or four times
// the size, filtered down, kept in the glyph cache, and composed onto pages
// in a colour with a shadow or an outline.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "graphics/page.h"
#include "text/font.h"

namespace rt { struct Engine; }

namespace txt {

// Sizes beyond this draw nothing (no screen has room for such glyphs).
inline constexpr int kMaxGlyphSize = 512;

// One character of a Shift-JIS string: its code (lead + 256 × trail, or the
// byte) and its length in bytes. A lead byte at the end stands alone.
struct Char {
  uint32_t code = 0;
  size_t size = 1;
};
Char char_at(std::string_view text, size_t i);

// The scale characters are struck at now: 4 with antialiasing, else 1.
int current_scale(rt::Engine& e);
// The context width for a font: width × scale, plus scale / 2 for odd sizes.
int context_width(const FontRecord& f, int scale);
// True when the open glyph cache serves the font at the current scale.
bool cache_matches(rt::Engine& e, const FontRecord& f);

// The advance of one character as the measuring step sees it.
int measure_char(rt::Engine& e, const FontRecord& f, uint32_t code);
// The advance of one character as line layout sees it (no single-byte
// adjustment).
int layout_advance(rt::Engine& e, const FontRecord& f, uint32_t code);
// The total advance of a string; the per-character advances go to
// `advances` when given.
int measure(rt::Engine& e, const FontRecord& f, std::string_view text, std::vector<int>* advances = nullptr);

// Draws the coverage of a string into an 8-bit page at (x, y) with the
// given advances, using the glyph cache and filling it when `store`.
void render(rt::Engine& e, int x, int y, std::string_view text, const FontRecord& f, gfx::Page& target,
            std::span<const int> advances, bool store = true);

// Composes a string in the font's colour with its edge at the font's pen
// on a 24-bit page; the changed rectangle is marked. Returns the advance.
// `advances`, when given, replaces the measured ones (justified lines).
int draw(rt::Engine& e, const FontRecord& f, gfx::Page& target, std::string_view text, gfx::Rect* dirty,
         std::span<const int> advances = {});

// The four-times filter: the mean of the 4 × 4 block at (x, y), inner
// samples weighing 2 and outer ones 1.
uint8_t filter_4x4(const uint8_t* pixels, int stride, int x, int y);

// The page a font record starts with: the front buffer, or 0 before one.
int32_t drawing_page(rt::Engine& e);

}  // namespace txt
