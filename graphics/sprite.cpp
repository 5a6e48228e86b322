// [SECTION] Lookup, creation and release
// [SECTION] Areas and drawing
// [SECTION] Keyframes
// [SECTION] Movement and animation
// [SECTION] Rotated images
// [SECTION] Order
// [SECTION] Lifecycle
#include "graphics/sprite.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/engine.h"
#include "graphics/display.h"
#include "graphics/draw.h"
#include "graphics/state.h"
#include "script/script_machine.h"

namespace gfx {

namespace {

SpriteList& list_of(rt::Engine& e) { return e.gfx->sprites; }
uint32_t clock_now(rt::Engine& e) { return e.vm->script_clock; }

int clamp_int(int64_t v) {
  return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

void erase_from_order(SpriteList& list, Sprite* s) {
  auto it = std::find(list.order.begin(), list.order.end(), s);
  if (it != list.order.end()) list.order.erase(it);
}

}  // namespace

// [SECTION] Lookup, creation and release ------------------------------------------------------

Sprite* find_sprite(rt::Engine& e, int32_t handle) {
  if (handle == 0) return nullptr;
  auto& live = list_of(e).live;
  auto it = live.find(handle);
  return it == live.end() ? nullptr : it->second.get();
}

Sprite& create_sprite(rt::Engine& e, Page& page, Rect src, Page& target) {
  SpriteList& list = list_of(e);
  auto sprite = std::make_unique<Sprite>();
  Sprite& s = *sprite;
  s.handle = new_handle(e.gfx->pages, [&list](int32_t h) { return list.live.count(h) != 0; });
  s.page = &page;
  s.src = {src.x, src.y, std::max(src.w, 1), std::max(src.h, 1)};
  s.base_x = src.x;
  s.base_y = src.y;
  s.target = &target;
  s.cells.start = s.alphas.start = clock_now(e);
  s.group = s.handle;
  list.order.push_back(&s);
  list.live.emplace(s.handle, std::move(sprite));
  add_target_reference(e, target, true);
  return s;
}

void release_sprite(rt::Engine& e, Sprite& s, bool force) {
  mark_sprite_area(e, s);
  if (s.owns_page && s.page) {
    Page* page = s.page;
    Page* alpha = page->owns_alpha ? page->alpha : nullptr;
    release_page(e, alpha, false);
    release_page(e, page, false);
  }
  if (s.permanent && !force) return;
  drop_rotated(e, s);
  drop_target_reference(e, s.target);
  SpriteList& list = list_of(e);
  erase_from_order(list, &s);
  list.live.erase(s.handle);
}

// [SECTION] Areas and drawing ------------------------------------------------------------------

void mark_sprite_area(rt::Engine& e, Sprite& s) {
  if (!s.target) return;
  if (s.rotating) {
    if (s.rotated) page_changed(e, *s.target, s.rot);
    return;
  }
  page_changed(e, *s.target, {s.x, s.y, s.src.w, s.src.h});
}

bool sprite_draw(const Sprite& s, SpriteDraw& out) {
  if (s.rotating) {
    if (!s.rotated) return false;
    out.source = s.rotated;
    out.src = s.rotated->bounds();
    out.x = s.rot.x;
    out.y = s.rot.y;
    return true;
  }
  if (!s.page) return false;
  // The source rectangle cut to its page; the position moves with a cut
  // at the left or top.
  int64_t sx = s.src.x, sy = s.src.y, w = s.src.w, h = s.src.h, x = s.x, y = s.y;
  if (sx < 0) w += sx, x -= sx, sx = 0;
  if (sy < 0) h += sy, y -= sy, sy = 0;
  w = std::min<int64_t>(w, s.page->width - sx);
  h = std::min<int64_t>(h, s.page->height - sy);
  if (w <= 0 || h <= 0) return false;
  out.source = s.page;
  out.src = {static_cast<int>(sx), static_cast<int>(sy), static_cast<int>(w), static_cast<int>(h)};
  out.x = x;
  out.y = y;
  return true;
}

void draw_by_rule(const Page& src, const Rect& s, Page& dst, int dx, int dy, int alpha) {
  if (const Page* a = alpha_of(src))
    alpha_copy_with(src, *a, s, dst, dx, dy, alpha);
  else if (alpha != 0)
    const_alpha_copy(src, s, dst, dx, dy, alpha);
  else
    plain_copy(src, s, dst, dx, dy);
}

// [SECTION] Keyframes ----------------------------------------------------------------------------

template <typename T, int N>
bool step_keyframes(Keyframes<T, N>& k, uint32_t now, bool catch_up, T& value, bool* step_changed) {
  *step_changed = false;
  if (k.state == 0) return false;
  if (k.count <= 0 || k.count >= N) {
    k.state = 0;
    return false;
  }
  int64_t e = std::llabs(static_cast<int64_t>(static_cast<int32_t>(now - k.start)));
  if (e >= k.time) {
    *step_changed = true;
    // One step forward; true when stepping should stop.
    auto step = [&] {
      const int32_t b = k.time;
      if (k.index >= 0) k.prev = k.entries[k.index].value;
      if (++k.index >= k.count) {
        k.index = 0;
        k.state = 2;
      }
      if (k.entries[k.index].time < 0) {
        k.state = 0;
        e = 0;
        return true;
      }
      k.time = k.entries[k.index].time;
      e -= b;
      return e < k.time;
    };
    if (catch_up) {
      for (int i = 0; i < 100; ++i)
        if (step()) break;
    } else {
      step();
      e = 0;
    }
    k.start = now - static_cast<uint32_t>(e);
  }
  if (k.index < 0) return false;
  const auto& entry = k.entries[k.index];
  if (entry.time < 1) {
    value = entry.value;
  } else {
    const int64_t t = entry.time;
    const int64_t at = std::clamp<int64_t>(e, 0, t);
    if constexpr (std::is_floating_point_v<T>)
      value = (static_cast<T>(at) * entry.value + static_cast<T>(t - at) * k.prev) / static_cast<T>(t);
    else
      value = static_cast<T>((at * entry.value + (t - at) * static_cast<int64_t>(k.prev)) / t);
  }
  return true;
}

template bool step_keyframes(Keyframes<int32_t, 65>&, uint32_t, bool, int32_t&, bool*);
template bool step_keyframes(Keyframes<int32_t, 32>&, uint32_t, bool, int32_t&, bool*);
template bool step_keyframes(Keyframes<float, 32>&, uint32_t, bool, float&, bool*);

// [SECTION] Movement and animation ---------------------------------------------------------------

void advance_move(rt::Engine& e, Sprite& s, uint32_t now) {
  if (s.move_state != 1) return;
  int64_t elapsed = static_cast<uint32_t>(now - s.move_start);
  if (elapsed >= s.move_time) {
    s.move_state = 2;
    elapsed = s.move_time;
  }
  int nx, ny;
  if (s.move_time != 0) {
    nx = clamp_int(s.from_x + elapsed * s.dx / s.move_time);
    ny = clamp_int(s.from_y + elapsed * s.dy / s.move_time);
  } else {
    nx = clamp_int(s.from_x + s.dx);
    ny = clamp_int(s.from_y + s.dy);
  }
  if (nx == s.x && ny == s.y) return;
  if (s.rotating) {
    s.x = nx, s.y = ny;
    s.rotated_valid = false;
  } else {
    mark_sprite_area(e, s);
    s.x = nx, s.y = ny;
    mark_sprite_area(e, s);
  }
  s.marked = true;
}

void apply_cell(Sprite& s, int32_t cell) {
  if (cell == -2) {
    s.src.x = s.base_x;
    s.src.y = s.base_y;
    return;
  }
  int columns = s.page && s.src.w > 0 ? s.page->width / s.src.w : 1;
  if (columns < 1) columns = 1;
  s.src.x = clamp_int(int64_t{s.src.w} * (cell % columns));
  s.src.y = clamp_int(int64_t{cell / columns} * s.src.h);
}

namespace {

void mark_once(rt::Engine& e, Sprite& s, bool set_marked) {
  if (s.marked) return;
  mark_sprite_area(e, s);
  if (set_marked) s.marked = true;
}

void advance_scale(Keyframes<float, 32>& k, float& scale, Sprite& s, uint32_t now) {
  float value = scale;
  bool step;
  if (step_keyframes(k, now, s.catch_up, value, &step) && value != scale) {
    scale = value;
    s.rotated_valid = false;
  }
}

void advance_angle(Sprite& s, uint32_t now) {
  if (s.angle_state == 0) return;
  float angle;
  if (s.angle_time == 0) {
    s.angle_state = 0;
    angle = s.angle_to;
  } else {
    int64_t elapsed = std::llabs(static_cast<int64_t>(static_cast<int32_t>(now - s.angle_start)));
    if (s.angle_state == 1 && (elapsed >= s.angle_time || s.angle_time < 0)) {
      elapsed = s.angle_time;
      s.angle_state = 0;
    }
    angle = s.angle_from +
            (s.angle_to - s.angle_from) / static_cast<float>(s.angle_time) * static_cast<float>(elapsed);
  }
  if (angle != s.angle) {
    s.angle = angle;
    s.rotated_valid = false;
  }
}

}  // namespace

void advance_animations(rt::Engine& e, Sprite& s, uint32_t now) {
  int32_t value = 0;
  bool step;
  if (step_keyframes(s.cells, now, s.catch_up, value, &step) && step) {
    apply_cell(s, s.cells.entries[s.cells.index].value);
    s.rotated_valid = false;
    mark_once(e, s, true);
  }
  value = s.alpha;
  if (step_keyframes(s.alphas, now, s.catch_up, value, &step)) {
    value = std::clamp(value, 0, 255);
    if (value != s.alpha) {
      s.alpha = value;
      mark_once(e, s, !s.rotating);
    }
  }
  if (!s.rotating) return;
  advance_angle(s, now);
  advance_scale(s.xscales, s.xscale, s, now);
  advance_scale(s.yscales, s.yscale, s, now);
  if (!s.rotated_valid && s.visible()) render_rotated(e, s);
}

// [SECTION] Rotated images -------------------------------------------------------------------------

void drop_rotated(rt::Engine& e, Sprite& s) {
  s.rotated_valid = false;
  Page* image = s.rotated;
  if (!image) return;
  page_changed(e, *image, image->bounds());  // the old area on the target
  s.rotated = nullptr;
  // The image belongs to the sprite alone, even when it was made permanent.
  Page* alpha = image->owns_alpha ? image->alpha : nullptr;
  release_page(e, alpha, true);
  release_page(e, image, true);
}

void render_rotated(rt::Engine& e, Sprite& s) {
  drop_rotated(e, s);
  s.rotated_valid = true;
  if (!s.page || !s.target) return;
  const double hw = s.src.w / 2, hh = s.src.h / 2;
  const double r0 = std::sqrt(hw * hw + hh * hh);
  const double rx = std::trunc(r0 * s.xscale) + 1, ry = std::trunc(r0 * s.yscale) + 1;
  double rd = std::max(rx, ry);
  if (!(rd >= 1)) return;            // NaN, or a negative scale on both axes
  rd = std::min(rd, double{1 << 24});  // beyond any screen
  const int64_t r = static_cast<int64_t>(rd);
  const int64_t left = int64_t{s.x} - r, top = int64_t{s.y} - r;
  const int64_t l = std::max<int64_t>(left, 0), t = std::max<int64_t>(top, 0);
  const int64_t w = std::min<int64_t>(left + 2 * r, e.client_width) - l;
  const int64_t h = std::min<int64_t>(top + 2 * r, e.client_height) - t;
  if (w <= 0 || h <= 0) return;
  Page& image = create_page(e, static_cast<int>(w), static_cast<int>(h), s.page->is8bit, false);
  if (s.page->is8bit) image.palette = s.page->palette;
  if (alpha_of(*s.page)) {
    Page& alpha = create_page_8(e, image.width, image.height, false);
    std::memset(alpha.pixels(), 255, static_cast<size_t>(alpha.stride) * alpha.height);
    image.alpha = &alpha;
    image.owns_alpha = true;
  }
  Rect square{static_cast<int>(left - l), static_cast<int>(top - t), static_cast<int>(2 * r), static_cast<int>(2 * r)};
  affine_copy(*s.page, s.src, image, square, s.angle, s.xscale, s.yscale);
  s.rotated = &image;
  s.rot = {static_cast<int>(l), static_cast<int>(t), image.width, image.height};
  // The whole square: where the turned picture does not reach, the image
  // still covers the screen.
  page_changed(e, image, image.bounds());
}

// [SECTION] Order ------------------------------------------------------------------------------------

void move_to_top(rt::Engine& e, Sprite& s) {
  SpriteList& list = list_of(e);
  erase_from_order(list, &s);
  list.order.push_back(&s);
}

void move_to_bottom(rt::Engine& e, Sprite& s) {
  SpriteList& list = list_of(e);
  erase_from_order(list, &s);
  list.order.insert(list.order.begin(), &s);
}

void move_beside(rt::Engine& e, Sprite& s, Sprite& reference, bool above, bool whole_group) {
  s.group = reference.group;
  if (&s == &reference) return;
  SpriteList& list = list_of(e);
  erase_from_order(list, &s);
  auto& order = list.order;
  auto at = std::find(order.begin(), order.end(), &reference);
  if (at == order.end()) {
    order.push_back(&s);
    return;
  }
  size_t i = static_cast<size_t>(at - order.begin());
  if (whole_group) {
    if (above)
      while (i + 1 < order.size() && order[i + 1]->group == reference.group) ++i;
    else
      while (i > 0 && order[i - 1]->group == reference.group) --i;
  }
  order.insert(order.begin() + static_cast<ptrdiff_t>(above ? i + 1 : i), &s);
}

// [SECTION] Lifecycle ----------------------------------------------------------------------------------

void reset_sprites(rt::Engine& e) {
  std::vector<Sprite*> all = list_of(e).order;
  for (Sprite* s : all) {
    mark_sprite_area(e, *s);
    s->move_state = 0;
    s->move_time = 0;
    s->cells.stop();
    s->alphas.stop();
    s->angle_state = 0;
    s->xscales.stop();
    s->yscales.stop();
    s->hidden = 0;
    drop_rotated(e, *s);
    s->x = s->y = kOffScreen;
    s->rot.x = kOffScreen - s->rot.w / 2;
    s->rot.y = kOffScreen - s->rot.h / 2;
  }
  for (Sprite* s : all)
    if (!s->permanent) release_sprite(e, *s, false);
}

void make_sprites_permanent(rt::Engine& e) {
  for (Sprite* s : list_of(e).order) s->permanent = true;
}

void release_every_sprite(rt::Engine& e) {
  std::vector<Sprite*> all = list_of(e).order;
  for (Sprite* s : all) release_sprite(e, *s, true);
}

void forget_page(rt::Engine& e, const Page& page) {
  for (Sprite* s : list_of(e).order) {
    if (s->page == &page) {
      s->page = nullptr;
      s->owns_page = false;
      s->rotated_valid = false;
    }
    if (s->target == &page) s->target = nullptr;
    if (s->rotated == &page) {
      s->rotated = nullptr;
      s->rotated_valid = false;
    }
  }
}

bool page_shown_by_sprite(rt::Engine& e, const Page& page) {
  for (Sprite* s : list_of(e).order)
    if (s->page == &page) return true;
  return false;
}

}  // namespace gfx
