// The drawing built-ins (grp_*, the alpha tables, the mosaic): each checks
// its pages, draws through the routines of draw.h and marks what changed.
//
// [SECTION] Helpers
// [SECTION] Points and fills
// [SECTION] Copies and blends
// [SECTION] Alpha tables
// [SECTION] Scaling, rotation, mosaic
// [SECTION] Table
#include <algorithm>

#include "core/engine.h"
#include "graphics/builtins.h"
#include "graphics/draw.h"
#include "graphics/state.h"
#include "res/graphics.h"
#include "script/script_error.h"

namespace gfx {
namespace {

using rt::Call;
using rt::Progress;

// [SECTION] Helpers ---------------------------------------------------------------

Rect rect_args(const Call& c, int first) {
  return {c.int_arg(first), c.int_arg(first + 1), c.int_arg(first + 2), c.int_arg(first + 3)};
}

uint32_t colour_arg(const Call& c, int n) { return static_cast<uint32_t>(c.int_arg(n)); }

void mark(Call& c, Page& page, const Rect& r) {
  if (!r.empty()) mark_changed(c.engine, page, r);
}

// Source and destination pages of a two-page built-in (arguments 1 and 6),
// each reported with its own text when it is not live.
bool two_pages(Call& c, Page*& src, Page*& dst, int dst_arg = 6) {
  src = page_arg(c, 1, msg::kSourcePageMissing);
  if (!src) return false;
  dst = page_arg(c, dst_arg, msg::kDestPageMissing);
  return dst != nullptr;
}

// An int array argument with at least 256 elements, or nothing.
std::span<const int32_t> table_arg(const Call& c, int n) {
  const rt::Value* v = c.arg(n);
  if (!v || v->kind != rt::kIntArray || !v->a || v->a->count() < 256) return {};
  return {v->a->ints(), 256};
}

Rect merged(const Rect& a, const Rect& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  int x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
  int x1 = std::max(a.x + a.w, b.x + b.w), y1 = std::max(a.y + a.h, b.y + b.h);
  return {x0, y0, x1 - x0, y1 - y0};
}

// [SECTION] Points and fills --------------------------------------------------------

Progress grp_point_get(Call& c) {
  Page* p = page_arg(c, 1);
  if (!p) return done(c, 0);
  return done(c, static_cast<int32_t>(point_get(*p, c.int_arg(2), c.int_arg(3))));
}

Progress grp_point_set(Call& c) {
  Page* p = page_arg(c, 1);
  if (p && point_set(*p, c.int_arg(2), c.int_arg(3), colour_arg(c, 4))) mark(c, *p, {c.int_arg(2), c.int_arg(3), 1, 1});
  return done(c);
}

Progress grp_boxfill(Call& c) {
  if (Page* p = page_arg(c, 1)) mark(c, *p, box_fill(*p, rect_args(c, 2), colour_arg(c, 6)));
  return done(c);
}

Progress grp_extboxfill(Call& c) {
  if (Page* p = page_arg(c, 1)) mark(c, *p, ext_box_fill(*p, rect_args(c, 2), colour_arg(c, 6), c.int_arg(7)));
  return done(c);
}

Progress grp_mulboxfill(Call& c) {
  Page* p = page_arg(c, 1);
  if (!p) return done(c);
  if (p->is8bit) {
    rt::builtin_error(c.engine, c.name(), msg::kNo256Colours);
    return done(c);
  }
  mark(c, *p, mul_box_fill(*p, rect_args(c, 2), colour_arg(c, 6)));
  return done(c);
}

Progress grp_reverse(Call& c) {
  Page* p = page_arg(c, 1);
  if (!p) return done(c);
  if (p->is8bit) {
    rt::builtin_error(c.engine, c.name(), msg::kNo256Colours);
    return done(c);
  }
  mark(c, *p, reverse(*p, rect_args(c, 2)));
  return done(c);
}

Progress grp_sepia(Call& c) {
  Page* p = page_arg(c, 1);
  if (!p) return done(c);
  int keep = c.has(8) ? std::clamp(c.int_arg(8), 0, 255) : -1;
  mark(c, *p, sepia(*p, rect_args(c, 2), colour_arg(c, 6), colour_arg(c, 7), keep));
  return done(c);
}

// [SECTION] Copies and blends ----------------------------------------------------------

Progress grp_copy(Call& c) {
  Page *src, *dst;
  if (!two_pages(c, src, dst)) return done(c);
  if (!src->is8bit && dst->is8bit) {
    rt::builtin_error(c.engine, c.name(), msg::kCopy24To8);
    return done(c);
  }
  Rect s = rect_args(c, 2);
  int dx = c.int_arg(7), dy = c.int_arg(8);
  if (!clip_two(*src, s, *dst, dx, dy)) return done(c);
  plain_copy(*src, s, *dst, dx, dy);
  Page *sa = alpha_of(*src), *da = alpha_of(*dst);
  if (sa && da) plain_copy(*sa, s, *da, dx, dy);
  mark(c, *dst, {dx, dy, s.w, s.h});
  return done(c);
}

Progress grp_swap(Call& c) {
  Page *src, *dst;
  if (!two_pages(c, src, dst)) return done(c);
  if (src->is8bit != dst->is8bit) {
    rt::builtin_error(c.engine, c.name(), src->is8bit ? msg::kCopy8To24 : msg::kCopy24To8);
    return done(c);
  }
  Rect s = rect_args(c, 2);
  int dx = c.int_arg(7), dy = c.int_arg(8);
  if (!clip_two(*src, s, *dst, dx, dy)) return done(c);
  swap_areas(*src, s, *dst, dx, dy);
  Page *sa = alpha_of(*src), *da = alpha_of(*dst);
  if (sa && da) swap_areas(*sa, s, *da, dx, dy);
  mark(c, *src, s);
  mark(c, *dst, {dx, dy, s.w, s.h});
  return done(c);
}

Progress grp_extcopy(Call& c) {
  Page *src, *dst;
  if (!two_pages(c, src, dst)) return done(c);
  if (dst->is8bit) {
    rt::builtin_error(c.engine, c.name(), msg::kDestNot8bit);
    return done(c);
  }
  Rect s = rect_args(c, 2);
  int dx = c.int_arg(7), dy = c.int_arg(8);
  if (!clip_two(*src, s, *dst, dx, dy)) return done(c);
  alpha_copy(*src, s, *dst, dx, dy, c.int_arg(9));
  mark(c, *dst, {dx, dy, s.w, s.h});
  return done(c);
}

// [SECTION] Alpha tables ------------------------------------------------------------------

Progress grp_alfa_tabled_copy(Call& c) {
  rt::Engine& e = c.engine;
  Page *src, *dst;
  if (!two_pages(c, src, dst)) return done(c);
  Page* base = page_arg(c, 9, msg::kAlphaBaseMissing);
  if (!base) return done(c);
  if (!base->is8bit) {
    rt::builtin_error(e, c.name(), msg::kAlphaPageNot8bit);
    return done(c);
  }
  if (!src->is8bit && dst->is8bit) {
    rt::builtin_error(e, c.name(), msg::kCopy24To8);
    return done(c);
  }
  std::span<const int32_t> table = table_arg(c, 10);
  if (table.empty()) {
    rt::builtin_error(e, c.name(), msg::kTableTooShort);
    return done(c);
  }
  Rect s = rect_args(c, 2);
  int dx = c.int_arg(7), dy = c.int_arg(8);
  if (!clip_two(*src, s, *dst, dx, dy)) return done(c);
  // The table's transparency covers only the base page: a source area
  // beyond it is not drawn.
  s.w = std::min(s.w, base->width - s.x);
  s.h = std::min(s.h, base->height - s.y);
  if (s.empty() || dst->is8bit) return done(c);
  Page& mapped = create_page(e, base->width, base->height, true, false);
  apply_alpha_table(*base, mapped, table);
  alpha_copy_with(*src, mapped, s, *dst, dx, dy, 0);
  release_page(e, &mapped, true);
  mark(c, *dst, {dx, dy, s.w, s.h});
  return done(c);
}

Progress make_alfa_table(Call& c) {
  rt::Engine& e = c.engine;
  Page *src, *dst;
  src = page_arg(c, 1, msg::kSourcePageMissing);
  if (!src) return done(c);
  dst = page_arg(c, 2, msg::kDestPageMissing);
  if (!dst) return done(c);
  if (!src->is8bit) {
    rt::builtin_error(e, c.name(), msg::kSourceAlphaNot8bit);
    return done(c);
  }
  if (!dst->is8bit) {
    rt::builtin_error(e, c.name(), msg::kDestAlphaNot8bit);
    return done(c);
  }
  std::span<const int32_t> table = table_arg(c, 3);
  if (table.empty()) {
    rt::builtin_error(e, c.name(), msg::kTableTooShort);
    return done(c);
  }
  apply_alpha_table(*src, *dst, table);
  mark(c, *dst, dst->bounds());
  return done(c);
}

// [SECTION] Scaling, rotation, mosaic ---------------------------------------------------------

Progress grp_modify_copy(Call& c) {
  Page *src, *dst;
  if (!two_pages(c, src, dst)) return done(c);
  Rect s = rect_args(c, 2), d = {c.int_arg(7), c.int_arg(8), c.int_arg(9), c.int_arg(10)};
  double angle = c.float_arg(11), xs = c.float_arg(12, 1.0f), ys = c.float_arg(13, 1.0f);
  Rect changed = affine_copy(*src, s, *dst, d, angle, xs, ys);
  Page *sa = alpha_of(*src), *da = alpha_of(*dst);
  if (sa && da) affine_copy(*sa, s, *da, d, angle, xs, ys);
  if (!changed.empty()) {
    clip_to_page(*dst, d);
    mark(c, *dst, merged(changed, d));
  }
  return done(c);
}

Progress grp_modcopy(Call& c) {
  Page *src, *dst;
  if (!two_pages(c, src, dst)) return done(c);
  Rect s = rect_args(c, 2), d = {c.int_arg(7), c.int_arg(8), c.int_arg(9), c.int_arg(10)};
  Rect changed = scaled_copy(*src, s, *dst, d);
  Page *sa = alpha_of(*src), *da = alpha_of(*dst);
  if (sa && da) scaled_copy(*sa, s, *da, d);
  mark(c, *dst, changed);
  return done(c);
}

Progress make_mosaic(Call& c) {
  Page *src, *dst;
  if (!two_pages(c, src, dst)) return done(c);
  if (src->is8bit || dst->is8bit) {
    rt::builtin_error(c.engine, c.name(), msg::kMosaicNo8bit);
    return done(c);
  }
  Rect r = mosaic(*src, rect_args(c, 2), *dst, c.int_arg(7), c.int_arg(8), c.int_arg(9), c.engine.random);
  mark(c, *dst, r);
  return done(c);
}

// [SECTION] Table -----------------------------------------------------------------------------

constexpr auto kTable = rt::handler_table<rt::Subsystem::graphics>({
    {"grp_point_get", grp_point_get},
    {"grp_point_set", grp_point_set},
    {"grp_boxfill", grp_boxfill},
    {"grp_extboxfill", grp_extboxfill},
    {"grp_mulboxfill", grp_mulboxfill},
    {"grp_reverse", grp_reverse},
    {"grp_sepia", grp_sepia},
    {"grp_copy", grp_copy},
    {"grp_swap", grp_swap},
    {"grp_extcopy", grp_extcopy},
    {"grp_alfa_tabled_copy", grp_alfa_tabled_copy},
    {"make_alfa_table", make_alfa_table},
    {"grp_modify_copy", grp_modify_copy},
    {"make_mosaic", make_mosaic},
    {"grp_modcopy", grp_modcopy},
});

}  // namespace

std::span<const rt::BuiltinEntry> draw_builtins() { return kTable; }

}  // namespace gfx
