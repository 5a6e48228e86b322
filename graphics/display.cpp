// [SECTION] Targets and their cells
// [SECTION] Marking changes
// [SECTION] Front buffer and screen offset
// [SECTION] Frame pacing
// [SECTION] Composition
// [SECTION] Presentation
// [SECTION] Lifecycle
#include "graphics/display.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/engine.h"
#include "core/env_file.h"
#include "core/trace.h"
#include "graphics/draw.h"
#include "graphics/movie.h"
#include "graphics/sprite.h"
#include "graphics/state.h"
#include "script/scheduler.h"
#include "script/script_machine.h"

namespace gfx {

namespace {

Display& display_of(rt::Engine& e) { return e.gfx->display; }

}  // namespace

// [SECTION] Targets and their cells -----------------------------------------------------------

DisplayTarget::DisplayTarget(Page& p)
    : page(&p),
      columns((p.width + kCellWidth - 1) / kCellWidth),
      rows((p.height + kCellHeight - 1) / kCellHeight),
      cells(static_cast<size_t>(columns) * rows, 0) {}

void DisplayTarget::mark(const Rect& r) {
  dirty = true;
  // Divisions truncate toward zero, so a rectangle reaching just above or
  // left of the page still touches the first band.
  const int64_t x = r.x, y = r.y, w = r.w, h = r.h;
  const int64_t r0 = std::max<int64_t>(0, y / kCellHeight);
  const int64_t r1 = std::min<int64_t>((y + h - 1) / kCellHeight, rows - 1);
  const int64_t c0 = std::max<int64_t>(0, x / kCellWidth);
  const int64_t c1 = std::min<int64_t>((x + w - 1) / kCellWidth, columns - 1);
  for (int64_t row = r0; row <= r1; ++row)
    for (int64_t c = c0; c <= c1; ++c) cells[static_cast<size_t>(row * columns + c)] = 1;
}

DisplayTarget* find_target(rt::Engine& e, const Page* page) {
  if (!page) return nullptr;
  for (DisplayTarget& t : display_of(e).targets)
    if (t.page == page) return &t;
  return nullptr;
}

DisplayTarget& add_target_reference(rt::Engine& e, Page& page, bool at_head) {
  if (DisplayTarget* t = find_target(e, &page)) {
    ++t->references;
    return *t;
  }
  auto& targets = display_of(e).targets;
  DisplayTarget& t = at_head ? targets.emplace_front(page) : targets.emplace_back(page);
  t.references = 1;
  return t;
}

void drop_target_reference(rt::Engine& e, const Page* page) {
  if (DisplayTarget* t = find_target(e, page))
    if (t->references > 0) --t->references;
}

void release_unreferenced_targets(rt::Engine& e) {
  display_of(e).targets.remove_if([](const DisplayTarget& t) { return t.references <= 0 && !t.permanent; });
}

// [SECTION] Marking changes ---------------------------------------------------------------------

namespace {

// A rectangle moved by an offset, kept inside the int range.
Rect moved(const Rect& r, int64_t dx, int64_t dy) {
  auto fit = [](int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN / 2, INT32_MAX / 2)); };
  return {fit(r.x + dx), fit(r.y + dy), r.w, r.h};
}

}  // namespace

void page_changed(rt::Engine& e, Page& page, const Rect& r) {
  Display& d = display_of(e);
  if (d.invalidate_lock != 0) return;
  if (DisplayTarget* t = find_target(e, &page)) t->mark(r);
  for (Sprite* s : e.gfx->sprites.order) {
    if (!s->rotating) {
      if (!s->page || (s->page != &page && s->page->alpha != &page)) continue;
      if (DisplayTarget* t = find_target(e, s->target))
        t->mark(moved(r, int64_t{s->x} - s->src.x, int64_t{s->y} - s->src.y));
    } else {
      if (s->rotated == &page)
        if (DisplayTarget* t = find_target(e, s->target)) t->mark(moved(r, s->rot.x, s->rot.y));
      if (s->page == &page) s->rotated_valid = false;
    }
  }
}

// [SECTION] Front buffer and screen offset -----------------------------------------------------

Page& create_screen_page(rt::Engine& e) {
  Page& page = create_page_24(e, e.client_width, e.client_height, true);
  display_of(e).screen_page = &page;
  show_page(e, &page);
  return page;
}

void show_page(rt::Engine& e, Page* page) {
  Display& d = display_of(e);
  d.front = page;
  d.offset_active = false;
  d.offset_x = d.offset_y = 0;
  d.present_all = true;
}

Page* set_front_buffer(rt::Engine& e, Page& page) {
  Display& d = display_of(e);
  Page* old = d.front;
  if (DisplayTarget* t = find_target(e, old))
    if (!t->permanent && t->references > 0) --t->references;
  show_page(e, &page);
  if (DisplayTarget* t = find_target(e, &page)) {
    if (!t->permanent) ++t->references;
  } else {
    add_target_reference(e, page, false);
  }
  page_changed(e, page, page.bounds());
  return old;
}

void restore_front_buffer(rt::Engine& e) {
  if (Page* screen = display_of(e).screen_page) set_front_buffer(e, *screen);
}

void set_screen_offset(rt::Engine& e, int ox, int oy) {
  Display& d = display_of(e);
  d.offset_x = ox;
  d.offset_y = oy;
  d.offset_active = ox != 0 || oy != 0;
  d.present_all = true;
}

// [SECTION] Frame pacing ---------------------------------------------------------------------------

bool frame_due(rt::Engine& e, uint32_t now, bool forced) {
  Display& d = display_of(e);
  if (d.invalidate_lock != 0) return false;
  if (d.max_fps < 0) d.max_fps = std::clamp(rt::env_int(e, "MAX_FPS", 1000), 1, 1000);
  if (!forced) {
    const int64_t since = std::llabs(static_cast<int64_t>(static_cast<int32_t>(now - d.last_frame)));
    if (since < 1000 / d.max_fps) return false;
  }
  d.last_frame = now;
  return true;
}

namespace {

bool animating(const Sprite& s) {
  return s.move_state == 1 || s.cells.state != 0 || s.alphas.state != 0 || s.angle_state != 0 ||
         s.xscales.state != 0 || s.yscales.state != 0;
}

}  // namespace

uint32_t next_frame_wake(rt::Engine& e, uint32_t now) {
  Display& d = display_of(e);
  // A held invalidate lock is let go by a script, which wakes on its own.
  if (d.invalidate_lock != 0) return rt::kNoWake;
  bool pending = d.present_all || d.present_top < d.present_bottom;
  for (const DisplayTarget& t : d.targets) pending |= t.dirty;
  for (const Sprite* s : e.gfx->sprites.order) pending |= animating(*s);
  pending |= movie_playing(e);  // its pictures are taken at each frame
  return pending ? next_frame_in(e, now) : rt::kNoWake;
}

uint32_t next_frame_in(rt::Engine& e, uint32_t now) {
  Display& d = display_of(e);
  if (d.max_fps < 0) d.max_fps = std::clamp(rt::env_int(e, "MAX_FPS", 1000), 1, 1000);
  const uint32_t interval = static_cast<uint32_t>(1000 / d.max_fps);
  const uint32_t since = now - d.last_frame;
  return since >= interval ? 0 : interval - since;
}

// [SECTION] Composition ----------------------------------------------------------------------------

namespace {

// Redraws one area of a target: its visible sprites from the bottom up.
void compose_area(rt::Engine& e, Page& target, const Rect& area) {
  const int64_t ax1 = int64_t{area.x} + area.w, ay1 = int64_t{area.y} + area.h;
  for (Sprite* s : e.gfx->sprites.order) {
    if (s->target != &target || !s->visible()) continue;
    SpriteDraw d;
    if (!sprite_draw(*s, d)) continue;
    const int64_t x0 = std::max<int64_t>(d.x, area.x), y0 = std::max<int64_t>(d.y, area.y);
    const int64_t x1 = std::min<int64_t>(d.x + d.src.w, ax1), y1 = std::min<int64_t>(d.y + d.src.h, ay1);
    if (x1 <= x0 || y1 <= y0) continue;
    Rect src{static_cast<int>(d.src.x + (x0 - d.x)), static_cast<int>(d.src.y + (y0 - d.y)),
             static_cast<int>(x1 - x0), static_cast<int>(y1 - y0)};
    draw_by_rule(*d.source, src, target, static_cast<int>(x0), static_cast<int>(y0), s->alpha);
  }
}

// The dirty cells of a target, redrawn column by column in runs of rows
// (the same pixels as cell by cell, with fewer passes over the sprites).
void compose_target(rt::Engine& e, DisplayTarget& t) {
  Display& d = display_of(e);
  Page& page = *t.page;
  const bool front = &page == d.front;
  for (int c = 0; c < t.columns; ++c) {
    const int x = c * kCellWidth;
    const int w = std::min(kCellWidth, page.width - x);
    for (int row = 0; row < t.rows;) {
      if (!t.cell_dirty(c, row)) {
        ++row;
        continue;
      }
      int end = row;
      while (end < t.rows && t.cell_dirty(c, end)) t.cells[static_cast<size_t>(end++) * t.columns + c] = 0;
      const int y = row * kCellHeight;
      const int h = std::min(end * kCellHeight, page.height) - y;
      compose_area(e, page, {x, y, w, h});
      d.cells_redrawn += static_cast<uint64_t>(end - row);
      if (front) {
        if (d.present_top >= d.present_bottom) d.present_top = y, d.present_bottom = y + h;
        d.present_top = std::min(d.present_top, y);
        d.present_bottom = std::max(d.present_bottom, y + h);
      }
      row = end;
    }
  }
}

}  // namespace

void compose_frame(rt::Engine& e) {
  Display& d = display_of(e);
  const uint32_t now = e.vm->script_clock;
  // Animation, from the top of the list down: all sprites see the same now.
  auto& order = e.gfx->sprites.order;
  for (size_t i = order.size(); i-- > 0;) {
    Sprite& s = *order[i];
    s.marked = false;
    advance_move(e, s, now);
    advance_animations(e, s, now);
  }
  for (DisplayTarget& t : d.targets) {
    if (!t.dirty) continue;
    t.dirty = false;
    compose_target(e, t);
  }
  release_unreferenced_targets(e);
  ++d.frames;
  step_movie(e);
  present(e);
}

// [SECTION] Presentation -------------------------------------------------------------------------------

void present(rt::Engine& e) {
  Display& d = display_of(e);
  if (e.vm->hooks.movie_playing && e.vm->hooks.movie_playing(e)) return;
  Page* front = d.front;
  int top = d.present_top, bottom = d.present_bottom;
  if (d.present_all && front) top = 0, bottom = front->height;
  if (!d.present_all && top >= bottom) return;
  d.present_all = false;
  d.present_top = d.present_bottom = 0;

  plat::FrameView view;
  if (front) {
    view.width = front->width;
    view.height = front->height;
    if (!front->is8bit) {
      view.pixels = front->pixels();
      view.stride = front->stride;
    } else {
      // An 8-bit front buffer is shown through its palette.
      view.stride = front->width * 3;
      d.expanded.resize(static_cast<size_t>(view.stride) * front->height);
      for (int y = top; y < bottom; ++y) {
        const uint8_t* from = front->row(y);
        uint8_t* to = d.expanded.data() + static_cast<size_t>(y) * view.stride;
        for (int x = 0; x < front->width; ++x) {
          const Rgbquad& q = front->palette[from[x]];
          to[3 * x] = q.b, to[3 * x + 1] = q.g, to[3 * x + 2] = q.r;
        }
      }
      view.pixels = d.expanded.data();
    }
    if (d.offset_active) {
      // The remainders keep the sign of the offset.
      view.shift_x = d.offset_x % front->width;
      view.shift_y = d.offset_y % front->height;
    }
  }
  e.host->present(view, top, bottom);
  if (d.presented++ == 0) QUOREL_TRACE(e, graphics, "first frame presented");
}

// [SECTION] Lifecycle -------------------------------------------------------------------------------------

void reset_screen(rt::Engine& e) {
  Display& d = display_of(e);
  set_screen_offset(e, 0, 0);
  reset_sprites(e);
  release_all_pages(e);
  release_unreferenced_targets(e);
  if (d.front && !find_target(e, d.front)) add_target_reference(e, *d.front, false);
  d.invalidate_lock = 0;
}

void make_screen_permanent(rt::Engine& e) {
  make_all_pages_permanent(e);
  make_sprites_permanent(e);
  for (DisplayTarget& t : display_of(e).targets) t.permanent = true;
}

void shut_down_screen(rt::Engine& e) {
  Display& d = display_of(e);
  if (Page* front = d.front; front && !e.options.screenshot.empty()) {
    d.final_width = front->width;
    d.final_height = front->height;
    const size_t row = static_cast<size_t>(front->width) * 3;
    d.final_picture.resize(row * front->height);
    for (int y = 0; y < front->height; ++y) {
      uint8_t* to = d.final_picture.data() + row * y;
      const uint8_t* from = front->row(y);
      if (!front->is8bit) {
        std::memcpy(to, from, row);
        continue;
      }
      for (int x = 0; x < front->width; ++x) {
        const Rgbquad& q = front->palette[from[x]];
        to[3 * x] = q.b, to[3 * x + 1] = q.g, to[3 * x + 2] = q.r;
      }
    }
  }
  release_every_sprite(e);
  d.targets.clear();
  // Before the pages are released.
  d.front = nullptr;
}

void forget_display_page(rt::Engine& e, const Page& page) {
  Display& d = display_of(e);
  if (d.front == &page) {
    d.front = nullptr;
    d.present_all = true;
  }
  if (d.screen_page == &page) d.screen_page = nullptr;
  d.targets.remove_if([&](const DisplayTarget& t) { return t.page == &page; });
}

}  // namespace gfx
