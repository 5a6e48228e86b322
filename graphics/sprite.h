// Sprites: the display list. A sprite shows a rectangle of its image page at
// a position on a target page; the composer draws the visible sprites of a
// target from the bottom of the list to the top. A sprite can move, step
// through cells of its page, fade through transparencies, and, as a
// rotation sprite, turn and scale about its position: each driven by
// keyframes on the script clock.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "graphics/page.h"

namespace rt { struct Engine; }

namespace gfx {

// Where a new sprite stands: off the screen until it is moved.
constexpr int kOffScreen = 100000;

// A keyframe sequence: entries (value, duration). A duration below 0 ends
// the sequence with that value; otherwise it loops. The entry after the
// last one is a closing guard (last value, -1).
template <typename T, int N>
struct Keyframes {
  struct Entry {
    T value{};
    int32_t time = 0;
  };
  static constexpr int kCapacity = N;  // entries, the closing one included

  int state = 0;         // 0 stopped, 1 first pass, 2 looped
  uint32_t start = 0;    // when the current step began
  int32_t time = 0;      // the current step's duration
  int index = 0;
  T prev{};              // the value the current step starts from
  int count = 0;
  std::array<Entry, N> entries{};

  // Starts the sequence as the define built-ins do.
  void begin(uint32_t now, T current) {
    state = 1;
    time = 0;
    index = -1;
    start = now;
    prev = current;
  }
  void stop() { state = 0; }
};

struct Sprite {
  int32_t handle = 0;
  Page* page = nullptr;    // image page; none once it was released elsewhere
  Rect src;                // source rectangle (moves with cell animation)
  Page* target = nullptr;  // none once it was released elsewhere
  int x = kOffScreen, y = kOffScreen;  // top-left of src on the target; a rotation sprite's centre
  bool owns_page = false;  // made from a file: releases the page with itself
  int base_x = 0, base_y = 0;
  int alpha = 0;           // 0 opaque .. 255 invisible
  int32_t group = 0;       // priority group
  int hidden = 0;          // not drawn while non-zero
  bool marked = false;     // its area was marked in this frame
  bool permanent = false;

  // Movement.
  int move_state = 0;      // 0 none, 1 moving, 2 arrived
  uint32_t move_start = 0;
  int32_t move_time = 0;
  int from_x = 0, from_y = 0;
  int64_t dx = 0, dy = 0;

  bool catch_up = false;   // late frames skip whole steps
  Keyframes<int32_t, 65> cells;   // 64 pairs and the closing entry
  Keyframes<int32_t, 32> alphas;

  // Rotation sprites.
  bool rotating = false;
  Page* rotated = nullptr;  // the rendered image, at rot on the target
  bool rotated_valid = false;
  Rect rot;
  int angle_state = 0;      // 0 none, 1 turning once, 2 without end
  float angle = 0.0f, angle_from = 0.0f, angle_to = 0.0f;
  uint32_t angle_start = 0;
  int32_t angle_time = 0;
  float xscale = 1.0f, yscale = 1.0f;
  Keyframes<float, 32> xscales, yscales;

  bool visible() const { return hidden == 0 && alpha != 255; }
};

struct SpriteList {
  std::unordered_map<int32_t, std::unique_ptr<Sprite>> live;
  std::vector<Sprite*> order;  // bottom (drawn first) to top
};

Sprite* find_sprite(rt::Engine& e, int32_t handle);

// A new sprite at the top of the list, off the screen. The caller has
// checked the pages; sizes below 1 become 1.
Sprite& create_sprite(rt::Engine& e, Page& page, Rect src, Page& target);
// Marks its area, releases a page it owns; then, unless permanent (or
// forced), unlinks and frees it.
void release_sprite(rt::Engine& e, Sprite& s, bool force);

// The sprite's area on its target marked changed (a rotation sprite: its
// rotated image).
void mark_sprite_area(rt::Engine& e, Sprite& s);
// Where the sprite draws on its target, and from which page and rectangle.
struct SpriteDraw {
  const Page* source = nullptr;
  Rect src;
  int64_t x = 0, y = 0;
};
bool sprite_draw(const Sprite& s, SpriteDraw& out);
// How sprites are drawn: through the source's alpha page with the sprite's
// transparency when it has one, else blended by the transparency, else
// copied. The rectangles are already clipped.
void draw_by_rule(const Page& src, const Rect& s, Page& dst, int dx, int dy, int alpha);

// --- Animation (now: the script clock) ---------------------------------------------------

void advance_move(rt::Engine& e, Sprite& s, uint32_t now);
// Cells, transparency and, for rotation sprites, angle and scales; renders
// an invalid rotated image of a visible sprite.
void advance_animations(rt::Engine& e, Sprite& s, uint32_t now);
void render_rotated(rt::Engine& e, Sprite& s);
// Forgets the rotated image (releases it).
void drop_rotated(rt::Engine& e, Sprite& s);
// The source rectangle of cell n (-2: the base origin).
void apply_cell(Sprite& s, int32_t cell);

// One step of a keyframe sequence; true when the value may have changed.
// `step_changed` tells whether a new entry was reached.
template <typename T, int N>
bool step_keyframes(Keyframes<T, N>& k, uint32_t now, bool catch_up, T& value, bool* step_changed);

// --- Order -------------------------------------------------------------------------------

void move_to_top(rt::Engine& e, Sprite& s);
void move_to_bottom(rt::Engine& e, Sprite& s);
// Directly below (or above) the reference; `whole_group` first walks over
// the reference's group in that direction.
void move_beside(rt::Engine& e, Sprite& s, Sprite& reference, bool above, bool whole_group);

// --- Lifecycle -----------------------------------------------------------------------------

void reset_sprites(rt::Engine& e);
void make_sprites_permanent(rt::Engine& e);
void release_every_sprite(rt::Engine& e);
// A page is going away: every sprite forgets it.
void forget_page(rt::Engine& e, const Page& page);
bool page_shown_by_sprite(rt::Engine& e, const Page& page);

}  // namespace gfx
