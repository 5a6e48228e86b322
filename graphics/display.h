// The screen: display targets with their dirty cells, the front buffer, the
// paced frame and its presentation.
//
// Nothing is drawn to the window directly. Drawing marks the rectangles it
// changed; they become dirty cells of the page's display target (and of the
// targets of the sprites that show the page). Once per frame the composer
// advances the sprites, redraws the dirty cells of every target by drawing
// the visible sprites bottom to top, and hands the changed rows of the front
// buffer to the host.
#pragma once

#include <cstdint>
#include <list>
#include <vector>

#include "graphics/page.h"

namespace rt { struct Engine; }

namespace gfx {

// A cell is a band 4 rows high and up to 800 pixels wide.
constexpr int kCellWidth = 800;
constexpr int kCellHeight = 4;

// A page that sprites draw into, or the front buffer.
struct DisplayTarget {
  Page* page = nullptr;
  int references = 0;      // sprites drawing into the page, +1 while it is the front buffer
  bool dirty = false;      // some cell is dirty
  bool permanent = false;  // not released when the references reach 0
  int columns = 0;
  int rows = 0;
  std::vector<uint8_t> cells;  // row-major, 1 = dirty

  explicit DisplayTarget(Page& p);
  // Sets the cells a rectangle touches (and the dirty flag, even when the
  // rectangle lies outside the page).
  void mark(const Rect& r);
  bool cell_dirty(int column, int row) const { return cells[static_cast<size_t>(row) * columns + column] != 0; }
};

struct Display {
  std::list<DisplayTarget> targets;  // composition order
  Page* front = nullptr;             // what the window shows
  Page* screen_page = nullptr;       // the client-size page made at start-up
  int invalidate_lock = 0;           // changes are not recorded while above 0

  // Frame pacing.
  uint32_t last_frame = 0;
  int32_t max_fps = -1;  // -1: not read yet

  // The screen offset displaces the picture in presentation only.
  bool offset_active = false;
  int offset_x = 0, offset_y = 0;

  // Rows of the front buffer composed since the last presentation; the
  // whole picture after a change of front buffer or offset.
  int present_top = 0, present_bottom = 0;
  bool present_all = true;

  std::vector<uint8_t> expanded;  // an 8-bit front buffer in colour, for the host

  // The picture the program ended with (its pages are gone by then), for
  // the screenshot: packed blue-green-red rows.
  int final_width = 0, final_height = 0;
  std::vector<uint8_t> final_picture;

  uint64_t frames = 0;         // frames composed
  uint64_t presented = 0;      // frames handed to the host
  uint64_t cells_redrawn = 0;  // cells composed, over all targets
};

// --- Targets -------------------------------------------------------------------------

DisplayTarget* find_target(rt::Engine& e, const Page* page);
// One more reference to the page's target; a new target is made at the head
// (sprites) or at the tail (the front buffer) of the list.
DisplayTarget& add_target_reference(rt::Engine& e, Page& page, bool at_head);
void drop_target_reference(rt::Engine& e, const Page* page);
// Releases targets without references that are not permanent.
void release_unreferenced_targets(rt::Engine& e);

// Records a changed rectangle of a page: in its target, in the targets of
// the sprites that show it, and by invalidating the rotated images made
// from it. Nothing while the invalidate lock is held.
void page_changed(rt::Engine& e, Page& page, const Rect& r);

// --- Front buffer ----------------------------------------------------------------------

// Start-up: the cleared page of the client size becomes the front buffer.
Page& create_screen_page(rt::Engine& e);
// What the window shows (none: white). Resets the screen offset.
void show_page(rt::Engine& e, Page* page);
// The front buffer changes hands: the old page's target loses its
// reference, the new one's gains one, and the page is marked whole.
// Returns the previous front buffer.
Page* set_front_buffer(rt::Engine& e, Page& page);
// The run loop goes back to the start-up page after each run.
void restore_front_buffer(rt::Engine& e);
void set_screen_offset(rt::Engine& e, int ox, int oy);

// --- The frame ---------------------------------------------------------------------------

// Whether a frame is due at `now`: never while the invalidate lock is held;
// forced or when 1000 / MAX_FPS ms have passed.
bool frame_due(rt::Engine& e, uint32_t now, bool forced);
// Milliseconds until the next frame is due when there is something to
// compose or present (a change, a sprite in motion, a movie), else
// rt::kNoWake.
uint32_t next_frame_wake(rt::Engine& e, uint32_t now);
// Milliseconds until the pacing allows the next frame.
uint32_t next_frame_in(rt::Engine& e, uint32_t now);
// Advances every sprite, redraws the dirty cells, presents the front buffer.
void compose_frame(rt::Engine& e);
// Hands the changed rows of the front buffer to the host.
void present(rt::Engine& e);

// --- Lifecycle ---------------------------------------------------------------------------

// The reset to the title: sprites, then pages, then targets.
void reset_screen(rt::Engine& e);
void make_screen_permanent(rt::Engine& e);
void shut_down_screen(rt::Engine& e);
// A page is going away: the front buffer and the targets forget it.
void forget_display_page(rt::Engine& e, const Page& page);

}  // namespace gfx
