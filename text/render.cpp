// [SECTION] Characters and the drawing context
// [SECTION] Measuring
// [SECTION] Rendering coverage (strike, filter, glyph cache)
// [SECTION] Drawing coloured text with its edge
#include "text/render.h"

#include <algorithm>
#include <cstring>

#include "base/sjis.h"
#include "core/engine.h"
#include "graphics/draw.h"
#include "graphics/state.h"
#include "script/read_marks.h"
#include "text/text_state.h"

namespace txt {

// [SECTION] Characters and the drawing context ---------------------------------------

Char char_at(std::string_view text, size_t i) {
  const uint8_t b = static_cast<uint8_t>(text[i]);
  if (base::sjis_lead(b) && i + 1 < text.size())
    return {b + 256u * static_cast<uint8_t>(text[i + 1]), 2};
  return {b, 1};
}

int current_scale(rt::Engine& e) {
  switch (e.text->antialias) {
    case 0: return 1;
    case 2: return rt::is_skipping(e) ? 1 : 4;
    default: return 4;
  }
}

int context_width(const FontRecord& f, int scale) {
  return static_cast<int>(static_cast<int64_t>(f.width) * scale + (f.size % 2 != 0 ? scale / 2 : 0));
}

bool cache_matches(rt::Engine& e, const FontRecord& f) {
  const GlyphCache& c = e.text->cache;
  const int scale = current_scale(e);
  return c.open() && c.face == f.face && c.height_code == static_cast<int64_t>(f.size) * scale &&
         c.width_code == static_cast<int64_t>(f.width) * scale;
}

namespace {

bool drawable_size(const FontRecord& f) {
  return f.size >= 1 && f.size <= kMaxGlyphSize && f.width <= kMaxGlyphSize;
}

// Points the glyph source at the font and scale; the source is asked again
// only when face or sizes change.
void set_up_context(rt::Engine& e, const FontRecord& f, int scale) {
  State& s = *e.text;
  DrawingContext want;
  if (drawable_size(f)) {
    want.face = f.face;
    want.height = f.size * scale;
    // No width means the face's own proportions.
    const int w = context_width(f, scale);
    want.width = w > 0 ? w : want.height / 2;
    want.antialias = scale == 4;
    want.valid = true;
  }
  DrawingContext& have = s.context;
  if (have.valid == want.valid && have.face == want.face && have.height == want.height && have.width == want.width &&
      have.antialias == want.antialias && have.generation == s.font_generation)
    return;
  want.generation = s.font_generation;
  have = want;
  glyph_source(e).select(want.face, want.valid ? want.height : 0, want.width, want.antialias);
}

// The cache holds glyphs of this font, `size` rows each.
bool cache_readable(rt::Engine& e, const FontRecord& f) {
  return f.cache_ok && cache_matches(e, f) && e.text->cache.rows() == f.size;
}

int advance_of(rt::Engine& e, const FontRecord& f, uint32_t code, int scale, bool readable, bool single_byte_fix) {
  const GlyphCache& c = e.text->cache;
  if (readable && c.holds(code)) return c.widths[code];
  const int cx = glyph_source(e).extent(code);
  int a = scale == 4 ? (cx + 3) / 4 : cx;
  if (single_byte_fix && code <= 256) --a;
  return std::max(a, 0);
}

}  // namespace

int32_t drawing_page(rt::Engine& e) {
  const gfx::Page* front = e.gfx->display.front;
  return front ? front->handle : 0;
}

// [SECTION] Measuring --------------------------------------------------------------------

int measure_char(rt::Engine& e, const FontRecord& f, uint32_t code) {
  const int scale = current_scale(e);
  set_up_context(e, f, scale);
  return advance_of(e, f, code, scale, cache_readable(e, f), true);
}

int layout_advance(rt::Engine& e, const FontRecord& f, uint32_t code) {
  const int scale = current_scale(e);
  set_up_context(e, f, scale);
  return advance_of(e, f, code, scale, cache_readable(e, f), false);
}

int measure(rt::Engine& e, const FontRecord& f, std::string_view text, std::vector<int>* advances) {
  const int scale = current_scale(e);
  set_up_context(e, f, scale);
  const bool readable = cache_readable(e, f);
  if (advances) advances->clear();
  int64_t total = 0;
  for (size_t i = 0; i < text.size();) {
    Char c = char_at(text, i);
    const int a = advance_of(e, f, c.code, scale, readable, true);
    if (advances) advances->push_back(a);
    total += a;
    i += c.size;
  }
  return static_cast<int>(std::min<int64_t>(total, INT32_MAX));
}

// [SECTION] Rendering coverage -----------------------------------------------------------

uint8_t filter_4x4(const uint8_t* p, int stride, int x, int y) {
  int sum = 0;
  for (int dy = 0; dy < 4; ++dy) {
    const uint8_t* row = p + static_cast<ptrdiff_t>(y + dy) * stride + x;
    const bool inner_row = dy == 1 || dy == 2;
    sum += row[0] + row[3] + (inner_row ? 2 : 1) * (row[1] + row[2]);
  }
  return static_cast<uint8_t>(sum / 20);
}

namespace {

// Strikes one character of advance `a` and writes its coverage into the
// page at (x, y), leaving out what falls outside the page.
void strike_into(rt::Engine& e, uint32_t code, int a, const FontRecord& f, int scale, gfx::Page& page, int x, int y) {
  if (a <= 0) return;
  State& s = *e.text;
  GlyphSource& g = glyph_source(e);
  const int size = f.size;
  const int cell_h = size * scale;
  const int cell_w = scale == 4 ? 6 * a + 4 : 2 * a + 4;
  s.strike_buffer.assign(static_cast<size_t>(cell_w) * cell_h, 255);
  plat::InkBuffer cell{s.strike_buffer.data(), cell_w, cell_h, cell_w};
  const int c0 = std::max(0, -x), c1 = std::min(a, page.width - x);
  const int r0 = std::max(0, -y), r1 = std::min(size, page.height - y);
  if (c0 >= c1 || r0 >= r1) return;
  if (scale == 4) {
    g.strike(code, 4 * a + 1, 1, cell);
    if (f.heavy) {
      g.strike(code, 4 * a - 1, 1, cell);
      g.strike(code, 4 * a + 1, -1, cell);
      g.strike(code, 4 * a - 1, -1, cell);
    }
    for (int r = r0; r < r1; ++r) {
      uint8_t* out = page.row(y + r) + x;
      for (int c = c0; c < c1; ++c) out[c] = filter_4x4(cell.pixels, cell_w, 2 * a + 4 * c, 4 * r);
    }
  } else {
    g.strike(code, a, 0, cell);
    if (f.heavy) g.strike(code, a + 1, 0, cell);
    for (int r = r0; r < r1; ++r)
      std::memcpy(page.row(y + r) + x + c0, cell.pixels + static_cast<size_t>(r) * cell_w + a / 2 + c0,
                  static_cast<size_t>(c1 - c0));
  }
}

}  // namespace

void render(rt::Engine& e, int x, int y, std::string_view text, const FontRecord& f, gfx::Page& target,
            std::span<const int> advances, bool store) {
  if (!target.is8bit || !drawable_size(f)) return;
  const int scale = current_scale(e);
  set_up_context(e, f, scale);
  GlyphCache& cache = e.text->cache;
  const bool readable = cache_readable(e, f);
  // Only four-times glyphs go into the cache, so that a file never mixes
  // glyphs of two scales.
  const bool storable = store && readable && scale == 4;
  size_t k = 0;
  for (size_t i = 0; i < text.size(); ++k) {
    Char ch = char_at(text, i);
    i += ch.size;
    const int a = k < advances.size() ? advances[k] : 0;
    const bool inside = x >= 0 && y >= 0 && x + a <= target.width && y + f.size <= target.height;
    if (readable && cache.holds(ch.code) && inside) {
      const int cw = cache.widths[ch.code];
      const uint8_t* glyph = cache.glyph(ch.code);
      const int w = std::min(a, cw);
      for (int r = 0; r < f.size; ++r)
        std::memcpy(target.row(y + r) + x, glyph + static_cast<size_t>(r) * cw, static_cast<size_t>(w));
    } else {
      strike_into(e, ch.code, a, f, scale, target, x, y);
      if (storable && !cache.holds(ch.code) && inside) {
        if (uint8_t* slot = cache.store(ch.code, a)) {
          for (int r = 0; r < f.size; ++r)
            std::memcpy(slot + static_cast<size_t>(r) * a, target.row(y + r) + x, static_cast<size_t>(a));
        }
      }
    }
    x += a;
  }
}

// [SECTION] Drawing coloured text ---------------------------------------------------------

namespace {

gfx::Page& work_page(rt::Engine& e, int height) {
  State& s = *e.text;
  const int width = e.client_width > 0 ? e.client_width : 640;
  if (!s.work_page || s.work_page->width != width || s.work_page->height != height) {
    auto p = std::make_unique<gfx::Page>();
    p->width = width;
    p->height = height;
    p->stride = static_cast<int>(gfx::page_stride(width, true));
    p->is8bit = true;
    p->memory.reset(static_cast<uint8_t*>(std::malloc(static_cast<size_t>(p->stride) * height)));
    gfx::set_grey_ramp(*p);
    s.work_page = std::move(p);
  }
  std::memset(s.work_page->pixels(), 255, static_cast<size_t>(s.work_page->stride) * height);
  return *s.work_page;
}

gfx::Rect unite(const gfx::Rect& a, const gfx::Rect& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  const int x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
  const int x1 = std::max(a.x + a.w, b.x + b.w), y1 = std::max(a.y + a.h, b.y + b.h);
  return {x0, y0, x1 - x0, y1 - y0};
}

}  // namespace

int draw(rt::Engine& e, const FontRecord& f, gfx::Page& target, std::string_view text, gfx::Rect* dirty,
         std::span<const int> advances) {
  State& s = *e.text;
  int total;
  if (advances.empty()) {
    total = measure(e, f, text, &s.advances);
  } else {
    s.advances.assign(advances.begin(), advances.end());
    int64_t sum = 0;
    for (int a : advances) sum += a;
    total = static_cast<int>(std::min<int64_t>(sum, INT32_MAX));
  }
  int result = total;
  if (s.explicit_advance >= 0) {
    result = s.explicit_advance + 1;
    s.explicit_advance = -1;
  }
  if (dirty) *dirty = {f.x, f.y, 0, 0};
  if (!drawable_size(f) || total <= 0 || target.is8bit) return result;

  gfx::Page& work = work_page(e, f.size);
  render(e, 0, 0, text, f, work, s.advances, advances.empty());
  const gfx::Rect glyphs{0, 0, std::min(total, work.width), std::min<int>(f.size, work.height)};
  const int sx = std::max(1, f.size / 9), ty = std::max(1, f.size / 18);
  gfx::Rect box{f.x, f.y, glyphs.w, glyphs.h};
  gfx::Rect changed = box;
  auto paste = [&](int dx, int dy, uint32_t colour) {
    gfx::masked_paste(work, glyphs, target, f.x + dx, f.y + dy, colour);
    changed = unite(changed, {f.x + dx, f.y + dy, glyphs.w, glyphs.h});
  };
  const uint32_t edge = f.edge_colour();
  switch (f.edge_mode()) {
    case kShadow:
      paste(sx, ty, edge);
      box.w += sx + 1;
      box.h += ty;
      break;
    case kOutline:
    case kOutlineShadow:
      paste(ty, ty, edge);
      paste(-ty, ty, edge);
      paste(ty, -ty, edge);
      paste(-ty, -ty, edge);
      if (f.edge_mode() == kOutline) {
        box.w += sx + 1;
        box.h += ty;
      } else {
        paste(2 * ty, 2 * ty, edge);
        paste(2 * ty, ty, edge);
        box.w += 2 * sx + 1;
        box.h += 2 * ty;
      }
      break;
    default:
      break;
  }
  paste(0, 0, f.color);
  // The outline reaches left of and above the box it reports; all of it
  // must reach the screen.
  gfx::mark_changed(e, target, unite(changed, box));
  if (dirty) *dirty = box;
  return result;
}

}  // namespace txt
