// The built-ins of saved games and the system data.
#include <cstdlib>
#include <cstring>

#include "base/format.h"
#include "base/sjis.h"
#include "core/engine.h"
#include "graphics/draw.h"
#include "graphics/page.h"
#include "graphics/state.h"
#include "persistence/builtins.h"
#include "persistence/saves.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "script/builtins.h"

namespace persist {
namespace {

using rt::Call;
using rt::Progress;

// The stored pixels as a 24-bit page, copied to the target with clipping.
bool draw_thumbnail(rt::Engine& e, int32_t w, int32_t h, const uint8_t* pixels, int32_t page, int32_t x, int32_t y) {
  gfx::Page* dst = gfx::find_page(e, page);
  if (!dst || w <= 0 || h <= 0) return false;
  gfx::Page src;
  src.width = w;
  src.height = h;
  src.stride = static_cast<int>(gfx::page_stride(w, false));
  src.memory.reset(static_cast<uint8_t*>(std::calloc(static_cast<size_t>(src.stride) * h, 1)));
  if (!src.memory) return false;
  for (int32_t r = 0; r < h; ++r) std::memcpy(src.row(r), pixels + static_cast<size_t>(r) * w * 3, static_cast<size_t>(w) * 3);
  gfx::Rect s{0, 0, w, h};
  int dx = x, dy = y;
  if (gfx::clip_two(src, s, *dst, dx, dy)) {
    gfx::plain_copy(src, s, *dst, dx, dy);
    gfx::mark_changed(e, *dst, gfx::Rect{dx, dy, s.w, s.h});
  }
  return true;
}

Progress save_point(Call& c) {
  State& s = state(c.engine);
  if (const rt::Value* title = c.arg(1); title && title->kind == rt::kString)
    set_head_string(s.head, field::kTitle, 128, base::sjis_clip(rt::string_of(*title), 127));
  if (s.capture_enabled) capture(c.engine, c.argc);
  return rt::done(c);
}

Progress save_write(Call& c) {
  State& s = state(c.engine);
  if (!s.captured) return rt::done(c);
  const int32_t slot = c.int_arg(1);
  if (slot < 0 && s.just_loaded) {
    s.just_loaded = false;
    return rt::done(c);
  }
  s.just_loaded = false;
  write_game(c.engine, slot_file(slot));
  return rt::done(c);
}

Progress save_load(Call& c) {
  const int32_t slot = c.int_arg(1);
  const int32_t r = request_load(c.engine, slot_file(slot), slot);
  if (r == 0) {
    State& s = state(c.engine);
    s.captured = s.capture_enabled = true;
  }
  return rt::done(c, r);
}

Progress save_title(Call& c) {
  auto summary = summarize_save(c.engine, slot_file(c.int_arg(1)));
  c.ret_string(summary ? summary->title : std::string());
  return Progress::Done;
}

Progress save_time(Call& c) {
  auto summary = summarize_save(c.engine, slot_file(c.int_arg(1)));
  c.ret_string(summary ? summary->time : std::string());
  return Progress::Done;
}

Progress capture_thumbnail_builtin(Call& c) {
  rt::Engine& e = c.engine;
  if (state(e).capture_enabled) {
    int32_t page = c.int_arg(3, 0);
    if (!c.has(3)) page = e.gfx->display.front ? e.gfx->display.front->handle : 0;
    capture_thumbnail(e, c.int_arg(1), c.int_arg(2), page);
  }
  return rt::done(c);
}

Progress save_thumb_draw(Call& c) {
  auto summary = summarize_save(c.engine, slot_file(c.int_arg(1)));
  if (!summary || summary->thumb_width <= 0) return rt::done(c, -1);
  const bool drawn = draw_thumbnail(c.engine, summary->thumb_width, summary->thumb_height, summary->thumbnail.data(),
                                    c.int_arg(2), c.int_arg(3), c.int_arg(4));
  return rt::done(c, drawn ? 0 : -1);
}

Progress save_thumb_draw_current(Call& c) {
  State& s = state(c.engine);
  if (s.thumb_width <= 0 || s.thumbnail.empty()) return rt::done(c, -1);
  const bool drawn = draw_thumbnail(c.engine, s.thumb_width, s.thumb_height, s.thumbnail.data(), c.int_arg(1),
                                    c.int_arg(2), c.int_arg(3));
  return rt::done(c, drawn ? 0 : -1);
}

Progress date_time_string(Call& c) {
  const plat::LocalTime t = plat::local_time_now();
  c.ret_string(base::format("%02d/%02d/%02d %02d:%02d:%02d", t.month, t.day, t.year % 100, t.hour, t.minute, t.second));
  return Progress::Done;
}

Progress save_title_current(Call& c) {
  c.ret_string(head_string(state(c.engine).head, field::kTitle, 128));
  return Progress::Done;
}

Progress save_as_dialog_builtin(Call& c) { return rt::done(c, save_as_dialog(c.engine)); }
Progress load_dialog_builtin(Call& c) { return rt::done(c, load_dialog(c.engine)); }

Progress save_disable(Call& c) {
  state(c.engine).capture_enabled = false;
  return rt::done(c);
}

Progress save_enable(Call& c) {
  state(c.engine).capture_enabled = true;
  return rt::done(c);
}

// The menu reads these flags whenever it is drawn.
Progress save_menu_disable(Call& c) {
  State& s = state(c.engine);
  s.capture_enabled = s.captured = false;
  return rt::done(c);
}

Progress save_menu_enable(Call& c) {
  State& s = state(c.engine);
  s.capture_enabled = s.captured = true;
  return rt::done(c);
}

Progress is_save_menu_disable(Call& c) { return rt::done(c, state(c.engine).captured ? 0 : 1); }

Progress seen_mark_builtin(Call& c) { return rt::done(c, seen_mark(c.engine, c.str_arg(1))); }
Progress seen_check_builtin(Call& c) { return rt::done(c, seen_check(c.engine, c.str_arg(1)) ? 1 : 0); }

constexpr auto kTable = rt::handler_table<rt::Subsystem::persistence>({
    {"save_point", save_point},
    {"save_write", save_write},
    {"save_load", save_load},
    {"save_title", save_title},
    {"save_time", save_time},
    {"capture_thumbnail", capture_thumbnail_builtin},
    {"save_thumb_draw", save_thumb_draw},
    {"save_thumb_draw_current", save_thumb_draw_current},
    {"date_time_string", date_time_string},
    {"save_title_current", save_title_current},
    {"save_as_dialog", save_as_dialog_builtin},
    {"load_dialog", load_dialog_builtin},
    {"save_disable", save_disable},
    {"save_enable", save_enable},
    {"save_menu_disable", save_menu_disable},
    {"save_menu_enable", save_menu_enable},
    {"is_save_menu_disable", is_save_menu_disable},
    {"seen_mark", seen_mark_builtin},
    {"seen_check", seen_check_builtin},
});

}  // namespace

std::span<const rt::BuiltinEntry> builtins() { return kTable; }

}  // namespace persist
