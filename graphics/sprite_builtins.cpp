// The sprite built-ins.
//
// [SECTION] Helpers
// [SECTION] Creation and release
// [SECTION] Drawing once, movement, queries
// [SECTION] Cell and transparency sequences
// [SECTION] Order and hiding
// [SECTION] Rotation and scaling
// [SECTION] Table
#include <algorithm>
#include <string>

#include "core/engine.h"
#include "core/error_report.h"
#include "graphics/display.h"
#include "graphics/draw.h"
#include "graphics/images.h"
#include "graphics/screen_builtins.h"
#include "graphics/sprite.h"
#include "graphics/state.h"
#include "res/screen.h"
#include "resources/resources.h"
#include "script/script_error.h"
#include "script/script_machine.h"

namespace gfx {

namespace {

using rt::Call;
using rt::Progress;

// [SECTION] Helpers ------------------------------------------------------------------------------

// The sprite of argument n; reports "<name> : スプライトが存在しません" when
// it is not live.
Sprite* sprite_arg(Call& c, int n = 1) {
  Sprite* s = find_sprite(c.engine, c.int_arg(n));
  if (!s) rt::builtin_error(c.engine, c.name(), msg::kSpriteMissing);
  return s;
}

uint32_t nonzero(uint32_t t) { return t == 0 ? 1 : t; }

// Group-2 waits: run again next cycle while `waiting`.
Progress wait_while(Call& c, bool waiting) {
  rt::Frame& f = c.frame();
  if (waiting) {
    f.wait_deadline = nonzero(c.now() + 1);
    c.thread.polls = rt::Thread::Poll::Frame;  // only a frame moves a sprite on
    return Progress::NotFinished;
  }
  f.wait_deadline = 0;
  return done(c);
}

// [SECTION] Creation and release ------------------------------------------------------------------

Progress create(Call& c, bool rotating) {
  rt::Engine& e = c.engine;
  Page* page = find_page(e, c.int_arg(1));
  if (!page) {
    rt::script_error(e, msg::kCreatePageMissing);
    return done(c);
  }
  if (c.argc != 1 && c.argc != 5 && c.argc != 6) rt::script_error(e, msg::kCreateParameters);
  Rect src = page->bounds();
  if (c.argc >= 5) src = {c.int_arg(2), c.int_arg(3), c.int_arg(4), c.int_arg(5)};
  Page* target = c.argc >= 6 ? find_page(e, c.int_arg(6)) : e.gfx->display.front;
  if (!target) {
    rt::script_error(e, msg::kCreateTargetMissing);
    return done(c);
  }
  if (src.w <= 0 || src.h <= 0) rt::script_error(e, msg::kCreateSizeNotPositive);
  Sprite& s = create_sprite(e, *page, src, *target);
  s.rotating = rotating;
  return done(c, s.handle);
}

Progress sprite_create(Call& c) { return create(c, false); }
Progress sprite_create_ext(Call& c) { return create(c, true); }

// The image of a name, or in release mode a 1 × 1 stand-in when it does
// not exist; nullptr when it cannot be read.
Page* load_named_image(Call& c, std::string_view name) {
  rt::Engine& e = c.engine;
  for (;;) {
    if (auto file = resolve_image_name(e, name)) return load_image_page(e, *file, LoadMode::Copy, c.name());
    if (rt::is_release_mode(e)) {
      bool is8bit = name.find("_.") != std::string_view::npos;
      return &create_page(e, 1, 1, is8bit, false);
    }
    // The developer may put the file in place and retry.
    rt::script_error(e, base::format(msg::kCreateFileMissing, std::string(name).c_str()));
  }
}

Progress create_file(Call& c, bool rotating) {
  rt::Engine& e = c.engine;
  std::string name(c.str_arg(1));
  Page* page = load_named_image(c, name);
  if (!page) return done(c);
  Rect src = page->bounds();
  if (c.argc >= 5) src = {c.int_arg(2), c.int_arg(3), c.int_arg(4), c.int_arg(5)};
  Page* target = c.argc >= 6 ? find_page(e, c.int_arg(6)) : e.gfx->display.front;
  if (!target) {
    rt::script_error(e, msg::kCreateTargetMissing);
    release_page(e, page, false);
    return done(c);
  }
  std::string alpha_name = image_base_name(name) + "_";
  if (auto file = resolve_image_name(e, alpha_name)) {
    Page* alpha = load_image_page(e, *file, LoadMode::Copy, c.name());
    const char* refusal = nullptr;
    std::string text;
    if (alpha && !alpha->is8bit) {
      text = base::format(msg::kCreateFileAlphaNot8bit, alpha_name.c_str());
      refusal = text.c_str();
    } else if (alpha && (alpha->width != page->width || alpha->height != page->height)) {
      refusal = msg::kCreateFileAlphaSize;
    }
    if (refusal) {
      rt::script_error(e, refusal);
      release_page(e, alpha, false);
      release_page(e, page, false);
      return done(c);
    }
    if (alpha) {
      page->alpha = alpha;
      page->owns_alpha = true;
    }
  }
  if (src.w <= 0 || src.h <= 0) rt::script_error(e, msg::kCreateSizeNotPositive);
  Sprite& s = create_sprite(e, *page, src, *target);
  s.owns_page = true;
  s.rotating = rotating;
  return done(c, s.handle);
}

Progress sprite_create_file(Call& c) { return create_file(c, false); }
Progress sprite_create_file_ext(Call& c) { return create_file(c, true); }

Progress sprite_release(Call& c) {
  if (Sprite* s = sprite_arg(c)) release_sprite(c.engine, *s, false);
  return done(c);
}

// [SECTION] Drawing once, movement, queries ---------------------------------------------------------

Progress sprite_paste(Call& c) {
  rt::Engine& e = c.engine;
  Sprite* s = sprite_arg(c);
  if (!s) return done(c);
  Page* dst = find_page(e, c.int_arg(2));
  if (!dst) {
    rt::builtin_error(c.engine, c.name(), msg::kPasteDestMissing);
    return done(c);
  }
  if (c.argc < 4) advance_move(e, *s, c.now());
  if (!s->visible()) return done(c);
  SpriteDraw d;
  if (!sprite_draw(*s, d)) return done(c);
  int64_t x = d.x, y = d.y;
  if (c.argc >= 4) {
    // The given point stands for the sprite's own position.
    const int64_t own_x = s->rotating ? s->rot.x : s->x, own_y = s->rotating ? s->rot.y : s->y;
    x = c.int_arg(3) + (d.x - own_x);
    y = c.int_arg(4) + (d.y - own_y);
  }
  if (x < INT32_MIN / 2 || x > INT32_MAX / 2 || y < INT32_MIN / 2 || y > INT32_MAX / 2) return done(c);
  Rect src = d.src;
  int dx = static_cast<int>(x), dy = static_cast<int>(y);
  if (!clip_two(*d.source, src, *dst, dx, dy)) return done(c);
  draw_by_rule(*d.source, src, *dst, dx, dy, s->alpha);
  page_changed(e, *dst, {dx, dy, src.w, src.h});
  return done(c);
}

Progress sprite_move(Call& c) {
  Sprite* s = sprite_arg(c);
  if (!s) return done(c);
  int64_t start_x = s->x, start_y = s->y;
  if (s->move_state != 0 && s->move_time == 0) {
    // An instant move not shown yet: the next one starts where it ends.
    start_x = s->from_x + s->dx;
    start_y = s->from_y + s->dy;
  }
  mark_sprite_area(c.engine, *s);
  s->from_x = static_cast<int>(start_x);
  s->from_y = static_cast<int>(start_y);
  s->dx = int64_t{c.int_arg(2)} - start_x;
  s->dy = int64_t{c.int_arg(3)} - start_y;
  s->move_time = c.int_arg(4, 0);
  s->move_state = 1;
  s->move_start = c.now();
  return done(c);
}

Progress sprite_move_wait(Call& c) {
  Sprite* s = sprite_arg(c);
  return wait_while(c, s && s->move_state == 1);
}

Progress sprite_is_move(Call& c) {
  Sprite* s = sprite_arg(c);
  return done(c, s && s->move_state == 1 ? 1 : 0);
}

Progress position(Call& c, bool y) {
  Sprite* s = find_sprite(c.engine, c.int_arg(1));
  if (!s) {
    rt::script_error(c.engine, msg::kSpritePosMissing);
    return done(c);
  }
  if (s->move_time != 0) return done(c, y ? s->y : s->x);
  // After an instant move: its destination (0 for a sprite never moved).
  return done(c, static_cast<int32_t>(y ? s->from_y + s->dy : s->from_x + s->dx));
}

Progress sprite_get_pos_x(Call& c) { return position(c, false); }
Progress sprite_get_pos_y(Call& c) { return position(c, true); }

Progress sprite_get_page(Call& c) {
  Sprite* s = find_sprite(c.engine, c.int_arg(1));
  if (!s) {
    rt::script_error(c.engine, msg::kSpriteGetPageMissing);
    return done(c);
  }
  return done(c, s->page ? s->page->handle : 0);
}

Progress sprite_is_exist(Call& c) { return done(c, find_sprite(c.engine, c.int_arg(1)) ? 1 : 0); }

// [SECTION] Cell and transparency sequences -----------------------------------------------------------

// Reads (value, time) pairs from argument 2 on, and a final value with
// duration -1 when one is left over. At most `limit` entries; false when
// there are more (nothing is stored then).
template <typename T, int N, typename Read>
bool read_keyframes(Call& c, Keyframes<T, N>& k, int first_entry, int limit, bool cut, Read read) {
  const int values = std::max(c.argc - 1, 0);
  int entries = values / 2 + values % 2;
  if (first_entry + entries > limit) {
    if (!cut) return false;
    entries = std::max(limit - first_entry, 0);
  }
  for (int i = 0; i < entries; ++i) {
    const int arg = 2 + 2 * i;
    auto& entry = k.entries[first_entry + i];
    entry.value = read(arg);
    entry.time = c.has(arg + 1) ? c.int_arg(arg + 1) : -1;
  }
  k.count = first_entry + entries;
  // The closing guard: the last value, to the end.
  auto& closing = k.entries[k.count];
  closing.value = k.count > 0 ? k.entries[k.count - 1].value : T{};
  closing.time = -1;
  return true;
}

// Phase-locked start: a multiple of the sum of the given times.
uint32_t locked_start(Call& c, uint32_t now) {
  int64_t sum = 0;
  for (int arg = 3; arg <= c.argc; arg += 2) sum += c.int_arg(arg);
  const uint64_t period = sum > 0 ? static_cast<uint64_t>(sum) : 1;
  return static_cast<uint32_t>(now - now % period);
}

constexpr int kCellEntries = 64;
constexpr int kAlphaEntries = 31;  // and the closing one

Progress define_cells(Call& c, bool locked) {
  Sprite* s = sprite_arg(c);
  if (!s) return done(c);
  auto& k = s->cells;
  if (c.argc <= 1) {
    k.state = 0;
    k.count = 0;
    k.index = 0;
    return done(c);
  }
  if (!read_keyframes(c, k, 0, kCellEntries, locked, [&](int arg) { return c.int_arg(arg); })) {
    rt::builtin_error(c.engine, c.name(), msg::kTooManyCells);
    return done(c);
  }
  s->catch_up = true;
  k.begin(locked ? locked_start(c, c.now()) : c.now(), 0);
  return done(c);
}

Progress sprite_animate_define(Call& c) { return define_cells(c, false); }
Progress sprite_animate_define_abs(Call& c) { return define_cells(c, true); }

Progress sprite_animate_add(Call& c) {
  Sprite* s = sprite_arg(c);
  if (!s) return done(c);
  auto& k = s->cells;
  const int before = k.count;
  if (!read_keyframes(c, k, before, kCellEntries, false, [&](int arg) { return c.int_arg(arg); })) {
    rt::builtin_error(c.engine, c.name(), msg::kTooManyCells);
    return done(c);
  }
  if (before == 0) {
    s->catch_up = true;
    k.begin(c.now(), 0);
  }
  return done(c);
}

Progress sprite_animate_wait(Call& c) {
  Sprite* s = sprite_arg(c);
  return wait_while(c, s && s->cells.state == 1);
}

Progress define_alphas(Call& c, bool locked) {
  Sprite* s = sprite_arg(c);
  if (!s) return done(c);
  auto& k = s->alphas;
  read_keyframes(c, k, 0, kAlphaEntries, true, [&](int arg) { return c.int_arg(arg); });
  if (k.count == 0) {
    k.stop();
    return done(c);
  }
  s->catch_up = true;
  k.begin(locked ? locked_start(c, c.now()) : c.now(), s->alpha);
  return done(c);
}

Progress sprite_alfa_define(Call& c) { return define_alphas(c, false); }
Progress sprite_alfa_define_abs(Call& c) { return define_alphas(c, true); }

Progress sprite_alfa_set(Call& c) {
  Sprite* s = sprite_arg(c);
  if (!s) return done(c);
  const int32_t t = c.int_arg(2), time = c.int_arg(3, 0);
  auto& k = s->alphas;
  k.entries[0] = {t, time};
  k.entries[1] = {t, -1};
  k.count = 2;
  if (time != 0) {
    s->catch_up = true;
    k.begin(c.now(), s->alpha);
  } else {
    k.stop();
    s->alpha = std::clamp(t, 0, 255);
    mark_sprite_area(c.engine, *s);
  }
  return done(c);
}

Progress sprite_alfa_wait(Call& c) {
  Sprite* s = sprite_arg(c);
  return wait_while(c, s && s->alphas.state == 1);
}

Progress sprite_tl_set(Call& c) {
  Sprite* s = find_sprite(c.engine, c.int_arg(1));
  if (!s) {
    rt::script_error(c.engine, msg::kSpritePosMissing);
    return done(c);
  }
  const int32_t t = c.int_arg(2);
  auto& k = s->alphas;
  k.entries[0] = {t, -1};
  k.entries[1] = {t, -1};
  k.count = 1;
  s->catch_up = true;
  k.time = 0;
  k.index = -1;
  return done(c);
}

// [SECTION] Order and hiding -----------------------------------------------------------------------------

Progress priority(Call& c, bool high, bool single) {
  rt::Engine& e = c.engine;
  Sprite* s = find_sprite(e, c.int_arg(1));
  if (!s) {
    rt::builtin_error(c.engine, c.name(), msg::kFirstSpriteMissing);
    return done(c);
  }
  if (c.argc >= 2) {
    Sprite* reference = find_sprite(e, c.int_arg(2));
    if (!reference) {
      rt::builtin_error(c.engine, c.name(), msg::kSecondSpriteMissing);
      return done(c);
    }
    move_beside(e, *s, *reference, high, !single);
  } else if (high) {
    move_to_top(e, *s);
  } else {
    move_to_bottom(e, *s);
  }
  mark_sprite_area(e, *s);
  return done(c);
}

Progress sprite_priority_low(Call& c) { return priority(c, false, false); }
Progress sprite_priority_high(Call& c) { return priority(c, true, false); }
Progress sprite_priority_low_single(Call& c) { return priority(c, false, true); }
Progress sprite_priority_high_single(Call& c) { return priority(c, true, true); }

Progress sprite_push(Call& c) {
  for (Sprite* s : c.engine.gfx->sprites.order) --s->hidden;
  return done(c);
}

Progress sprite_pop(Call& c) {
  rt::Engine& e = c.engine;
  for (Sprite* s : e.gfx->sprites.order) {
    if (s->hidden < 0 && ++s->hidden != 0) continue;
    s->hidden = 0;
    mark_sprite_area(e, *s);
  }
  return done(c);
}

// [SECTION] Rotation and scaling -------------------------------------------------------------------------

// A sprite turns into a rotation sprite: its position becomes its centre,
// so what it showed until now is repainted.
void make_rotating(rt::Engine& e, Sprite& s) {
  if (s.rotating) return;
  mark_sprite_area(e, s);
  s.rotating = true;
  s.rotated_valid = false;
}

Progress sprite_rotate(Call& c) {
  Sprite* s = sprite_arg(c);
  if (!s) return done(c);
  make_rotating(c.engine, *s);
  s->angle_from = s->angle;
  s->angle_to = c.float_arg(2);
  s->angle_start = c.now();
  s->angle_time = c.int_arg(3, 0);
  s->angle_state = c.int_arg(4, 0) != 0 ? 2 : 1;
  if (s->angle_time == 0) {
    s->angle_state = 0;
    if (s->angle != s->angle_to) {
      s->angle = s->angle_to;
      s->rotated_valid = false;
    }
  }
  return done(c);
}

Progress define_scales(Call& c, bool y) {
  Sprite* s = sprite_arg(c);
  if (!s) return done(c);
  make_rotating(c.engine, *s);
  auto& k = y ? s->yscales : s->xscales;
  read_keyframes(c, k, 0, kAlphaEntries, true, [&](int arg) { return c.float_arg(arg); });
  if (k.count == 0) {
    k.stop();
    return done(c);
  }
  s->catch_up = true;
  k.begin(c.now(), y ? s->yscale : s->xscale);
  return done(c);
}

Progress set_scale(Call& c, bool y) {
  Sprite* s = sprite_arg(c);
  if (!s) return done(c);
  make_rotating(c.engine, *s);
  auto& k = y ? s->yscales : s->xscales;
  float& scale = y ? s->yscale : s->xscale;
  const float value = c.float_arg(2);
  const int32_t time = c.int_arg(3, 0);
  k.entries[0] = {value, time};
  k.entries[1] = {value, -1};
  k.count = 2;
  if (time != 0) {
    s->catch_up = true;
    k.begin(c.now(), scale);
  } else {
    k.stop();
    if (scale != value) {
      scale = value;
      s->rotated_valid = false;
    }
  }
  return done(c);
}

Progress sprite_xmodify_define(Call& c) { return define_scales(c, false); }
Progress sprite_ymodify_define(Call& c) { return define_scales(c, true); }
Progress sprite_xmodify_set(Call& c) { return set_scale(c, false); }
Progress sprite_ymodify_set(Call& c) { return set_scale(c, true); }

// [SECTION] Table -----------------------------------------------------------------------------------------

constexpr auto kSpriteBuiltins = rt::handler_table<rt::Subsystem::graphics>({
    {"sprite_create", sprite_create},
    {"sprite_create_ext", sprite_create_ext},
    {"sprite_create_file", sprite_create_file},
    {"sprite_create_file_ext", sprite_create_file_ext},
    {"sprite_release", sprite_release},
    {"sprite_paste", sprite_paste},
    {"sprite_move", sprite_move},
    {"sprite_move_wait", sprite_move_wait},
    {"sprite_is_move", sprite_is_move},
    {"sprite_get_pos_x", sprite_get_pos_x},
    {"sprite_get_pos_y", sprite_get_pos_y},
    {"sprite_get_page", sprite_get_page},
    {"sprite_is_exist", sprite_is_exist},
    {"sprite_animate_define", sprite_animate_define},
    {"sprite_animate_define_abs", sprite_animate_define_abs},
    {"sprite_animate_add", sprite_animate_add},
    {"sprite_animate_wait", sprite_animate_wait},
    {"sprite_alfa_define", sprite_alfa_define},
    {"sprite_alfa_define_abs", sprite_alfa_define_abs},
    {"sprite_alfa_set", sprite_alfa_set},
    {"sprite_alfa_wait", sprite_alfa_wait},
    {"sprite_tl_set", sprite_tl_set},
    {"sprite_priority_low", sprite_priority_low},
    {"sprite_priority_high", sprite_priority_high},
    {"sprite_priority_low_single", sprite_priority_low_single},
    {"sprite_priority_high_single", sprite_priority_high_single},
    {"sprite_rotate", sprite_rotate},
    {"sprite_xmodify_define", sprite_xmodify_define},
    {"sprite_xmodify_set", sprite_xmodify_set},
    {"sprite_ymodify_define", sprite_ymodify_define},
    {"sprite_ymodify_set", sprite_ymodify_set},
    {"sprite_push", sprite_push},
    {"sprite_pop", sprite_pop},
});

}  // namespace

std::span<const rt::BuiltinEntry> sprite_builtins() { return kSpriteBuiltins; }

}  // namespace gfx
