// The composer on small scenes: which cells get dirty, what the sprites
// draw there and in which order, and what reaches the host.
#include <gtest/gtest.h>

#include "core/engine.h"
#include "graphics/display.h"
#include "graphics/draw.h"
#include "graphics/sprite.h"
#include "graphics/state.h"
#include "platform/files.h"
#include "script/script_machine.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_engine.h"

using testing_support::TempDir;

namespace {

// An engine whose front buffer is a cleared page of the given size.
struct Scene {
  TempDir dir;
  std::unique_ptr<rt::Engine> engine;
  rt::Engine& e;

  Scene(int width, int height) : engine(testing_support::make_engine(dir.path())), e(*engine) {
    e.client_width = width;
    e.client_height = height;
    gfx::create_screen_page(e);
    gfx::reset_screen(e);
    compose();
  }

  gfx::Display& display() { return e.gfx->display; }
  gfx::Page& front() { return *display().front; }

  void compose(uint32_t now = 0) {
    e.vm->script_clock = now;
    gfx::compose_frame(e);
  }

  gfx::Page& solid(int w, int h, uint8_t b, uint8_t g, uint8_t r) {
    gfx::Page& p = gfx::create_page_24(e, w, h, false);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        uint8_t* q = p.row(y) + 3 * x;
        q[0] = b, q[1] = g, q[2] = r;
      }
    return p;
  }

  gfx::Sprite& show(gfx::Page& page, int x, int y, gfx::Page* target = nullptr) {
    gfx::Sprite& s = gfx::create_sprite(e, page, page.bounds(), target ? *target : front());
    s.x = x, s.y = y;
    gfx::mark_sprite_area(e, s);
    return s;
  }
};

std::array<uint8_t, 3> pixel(const gfx::Page& p, int x, int y) {
  const uint8_t* q = p.row(y) + 3 * x;
  return {q[0], q[1], q[2]};
}

uint8_t blend_const(uint8_t src, uint8_t dst, int t) { return static_cast<uint8_t>(((t + 1) * dst + (256 - t) * src) >> 8); }

TEST(DirtyCells, RectanglesMarkTheBandsTheyTouch) {
  TempDir dir;
  auto e = testing_support::make_engine(dir.path());
  gfx::Page& page = gfx::create_page_24(*e, 640, 480, false);
  gfx::DisplayTarget t(page);
  EXPECT_EQ(t.columns, 1);
  EXPECT_EQ(t.rows, 120);
  auto dirty_rows = [&] {
    std::vector<int> rows;
    for (int r = 0; r < t.rows; ++r)
      if (t.cell_dirty(0, r)) rows.push_back(r);
    std::fill(t.cells.begin(), t.cells.end(), 0);
    t.dirty = false;
    return rows;
  };
  t.mark({10, 5, 1, 1});
  EXPECT_EQ(dirty_rows(), std::vector<int>{1});
  t.mark({-20, -9, 30, 14});  // from row 0 to row 1
  EXPECT_EQ(dirty_rows(), (std::vector<int>{0, 1}));
  t.mark({0, 476, 10, 100});  // cut at the last row
  EXPECT_EQ(dirty_rows(), std::vector<int>{119});
  t.mark({0, -40, 10, 20});   // above the page: nothing, but the target is dirty
  EXPECT_TRUE(t.dirty);
  EXPECT_EQ(dirty_rows(), std::vector<int>{});
  t.mark({2000000000, 2000000000, 2000000000, 2000000000});  // no overflow
  EXPECT_EQ(dirty_rows(), std::vector<int>{});

  gfx::Page& wide = gfx::create_page_24(*e, 1700, 6, false);
  gfx::DisplayTarget w(wide);
  EXPECT_EQ(w.columns, 3);
  EXPECT_EQ(w.rows, 2);
  w.mark({799, 5, 2, 1});
  EXPECT_FALSE(w.cell_dirty(0, 0));
  EXPECT_TRUE(w.cell_dirty(0, 1));
  EXPECT_TRUE(w.cell_dirty(1, 1));
  EXPECT_FALSE(w.cell_dirty(2, 1));
}

TEST(Composer, SpritesAreDrawnBottomToTopWithTheirTransparency) {
  Scene s(16, 8);
  gfx::Page& back = s.solid(16, 8, 10, 20, 30);
  gfx::Page& red = s.solid(4, 4, 0, 0, 250);
  gfx::Page& blue = s.solid(4, 4, 240, 0, 0);
  // The blue square has a transparency page: opaque, half, invisible columns.
  gfx::Page& alpha = gfx::create_page_8(s.e, 4, 4, false);
  for (int y = 0; y < 4; ++y) {
    uint8_t* a = alpha.row(y);
    a[0] = 0, a[1] = 128, a[2] = 255, a[3] = 1;
  }
  blue.alpha = &alpha;
  s.show(back, 0, 0);
  gfx::Sprite& r = s.show(red, 2, 2);
  r.alpha = 100;
  s.show(blue, 4, 3);
  s.compose(10);

  EXPECT_EQ(pixel(s.front(), 0, 0), (std::array<uint8_t, 3>{10, 20, 30}));
  // Red over the background at transparency 100.
  EXPECT_EQ(pixel(s.front(), 2, 2), (std::array<uint8_t, 3>{blend_const(0, 10, 100), blend_const(0, 20, 100),
                                                           blend_const(250, 30, 100)}));
  // Blue over red: opaque column, half column ((256 - a) src + (a + 1) dst) >> 8, invisible, nearly opaque.
  auto red_over_back = pixel(s.front(), 3, 3);
  EXPECT_EQ(pixel(s.front(), 4, 3), (std::array<uint8_t, 3>{240, 0, 0}));
  auto under = pixel(s.front(), 2, 3);
  EXPECT_EQ(under, red_over_back);
  auto mixed = pixel(s.front(), 5, 3);
  EXPECT_EQ(mixed[0], static_cast<uint8_t>((240 * 128 + red_over_back[0] * 129) >> 8));
  EXPECT_EQ(mixed[2], static_cast<uint8_t>((0 * 128 + red_over_back[2] * 129) >> 8));
  EXPECT_EQ(pixel(s.front(), 6, 4), (std::array<uint8_t, 3>{10, 20, 30}));  // outside the red square
  EXPECT_EQ(pixel(s.front(), 7, 4), (std::array<uint8_t, 3>{240, 0, 0}));   // transparency 1: the source

  // Red to the top: it now covers the blue one where they overlap.
  gfx::move_to_top(s.e, r);
  gfx::mark_sprite_area(s.e, r);
  s.compose(20);
  EXPECT_EQ(pixel(s.front(), 4, 3), (std::array<uint8_t, 3>{blend_const(0, 240, 100), blend_const(0, 0, 100),
                                                           blend_const(250, 0, 100)}));
}

TEST(Composer, OnlyDirtyCellsAreRedrawnAndPresented) {
  Scene s(16, 12);
  gfx::Page& back = s.solid(16, 12, 1, 2, 3);
  s.show(back, 0, 0);
  s.compose(10);
  const uint64_t before = s.display().cells_redrawn;

  // Pixels changed without a mark never reach the screen.
  for (int y = 0; y < 12; ++y) back.row(y)[0] = 99;
  s.compose(20);
  EXPECT_EQ(s.display().cells_redrawn, before) << "an idle frame redraws nothing";
  EXPECT_EQ(pixel(s.front(), 0, 5)[0], 1);

  // A 1 × 1 change redraws its band (rows 4-7) and nothing else.
  gfx::mark_changed(s.e, back, {0, 5, 1, 1});
  s.compose(30);
  EXPECT_EQ(s.display().cells_redrawn, before + 1);
  EXPECT_EQ(pixel(s.front(), 0, 3)[0], 1);
  EXPECT_EQ(pixel(s.front(), 0, 4)[0], 99);
  EXPECT_EQ(pixel(s.front(), 0, 7)[0], 99);
  EXPECT_EQ(pixel(s.front(), 0, 8)[0], 1);

  // While the invalidate lock is held changes are not even recorded.
  s.display().invalidate_lock = 1;
  EXPECT_FALSE(gfx::frame_due(s.e, 1000, true));
  gfx::mark_changed(s.e, back);
  s.display().invalidate_lock = 0;
  s.compose(40);
  EXPECT_EQ(pixel(s.front(), 0, 0)[0], 1);
}

TEST(Composer, ASpriteOnAnotherPageReachesTheScreenThroughTheSpriteShowingThatPage) {
  Scene s(16, 8);
  gfx::Page& back = s.solid(16, 8, 0, 0, 0);
  gfx::Page& panel = s.solid(8, 8, 50, 50, 50);
  gfx::Page& dot = s.solid(2, 2, 0, 255, 0);
  s.show(back, 0, 0);
  s.show(panel, 8, 0);             // the panel page on the screen at x 8
  gfx::Page& canvas = gfx::create_page_24(s.e, 8, 8, false);
  gfx::Sprite& shown = s.show(canvas, 0, 0);  // a canvas on the screen at x 0
  s.show(panel, 0, 0, &canvas);    // the canvas is composed from sprites too
  gfx::Sprite& d = s.show(dot, 1, 1, &canvas);
  s.compose(10);
  EXPECT_EQ(pixel(s.front(), 1, 1), (std::array<uint8_t, 3>{0, 255, 0}));
  EXPECT_EQ(pixel(s.front(), 9, 1), (std::array<uint8_t, 3>{50, 50, 50}));

  // Moving the dot on the canvas repaints the screen in the same frame.
  d.move_state = 1, d.move_time = 0, d.move_start = 10, d.from_x = 1, d.from_y = 1, d.dx = 4, d.dy = 4;
  s.compose(20);
  EXPECT_EQ(pixel(s.front(), 1, 1), (std::array<uint8_t, 3>{50, 50, 50}));
  EXPECT_EQ(pixel(s.front(), 5, 5), (std::array<uint8_t, 3>{0, 255, 0}));
  EXPECT_EQ(shown.target, &s.front());
}

TEST(Composer, ReleasedPagesAreForgottenBySpritesTargetsAndTheFrontBuffer) {
  Scene s(8, 8);
  gfx::Page& back = s.solid(8, 8, 7, 7, 7);
  gfx::Page& canvas = gfx::create_page_24(s.e, 8, 8, false);
  gfx::Sprite& a = s.show(back, 0, 0);
  gfx::Sprite& b = s.show(back, 0, 0, &canvas);
  s.compose(10);
  gfx::release_page(s.e, &canvas, true);
  EXPECT_EQ(b.target, nullptr);
  EXPECT_EQ(gfx::find_target(s.e, &canvas), nullptr);
  gfx::release_page(s.e, &back, true);
  EXPECT_EQ(a.page, nullptr);
  gfx::mark_changed(s.e, s.front());
  s.compose(20);  // nothing to draw, nothing dangling
  EXPECT_EQ(pixel(s.front(), 3, 3), (std::array<uint8_t, 3>{7, 7, 7}));
  gfx::release_sprite(s.e, a, false);
  gfx::release_sprite(s.e, b, false);
  EXPECT_TRUE(s.e.gfx->sprites.order.empty());

  gfx::release_page(s.e, s.display().front, true);
  EXPECT_EQ(s.display().front, nullptr);
  s.compose(30);
}

TEST(Composer, FrontBufferChangesKeepTheirReferences) {
  Scene s(8, 8);
  gfx::Page& screen = s.front();
  gfx::Page& other = gfx::create_page_24(s.e, 8, 8, false);
  EXPECT_EQ(gfx::find_target(s.e, &screen)->references, 1);
  EXPECT_EQ(gfx::set_front_buffer(s.e, screen), &screen) << "the current one is returned";
  EXPECT_EQ(gfx::find_target(s.e, &screen)->references, 1);
  EXPECT_TRUE(gfx::find_target(s.e, &screen)->dirty) << "and marked whole";
  EXPECT_EQ(gfx::set_front_buffer(s.e, other), &screen);
  EXPECT_EQ(gfx::find_target(s.e, &other)->references, 1);
  s.compose(10);
  EXPECT_EQ(gfx::find_target(s.e, &screen), nullptr) << "released at the end of the frame";
  gfx::restore_front_buffer(s.e);
  EXPECT_EQ(s.display().front, &screen);
  s.compose(20);
  EXPECT_EQ(gfx::find_target(s.e, &other), nullptr);
  EXPECT_EQ(gfx::find_target(s.e, &screen)->references, 1);
}

TEST(Composer, SpriteBlendsGiveThePlainResultOnRunsOfOpaqueAndClearPixels) {
  // Sprites have long runs of opaque (0) and clear (255) pixels; the vector
  // paths take them whole.
  const int n = 100;
  std::vector<uint8_t> src(3 * n), dst(3 * n), weight(n);
  for (int i = 0; i < 3 * n; ++i) src[i] = static_cast<uint8_t>(i * 7), dst[i] = static_cast<uint8_t>(i * 13 + 5);
  for (int i = 0; i < n; ++i) weight[i] = i < 32 ? 0 : i < 48 ? 255 : i < 64 ? static_cast<uint8_t>(i * 3) : 0;
  std::vector<uint8_t> fast = dst, plain = dst;
  gfx::kernels::blend_weighted(fast.data(), src.data(), weight.data(), n);
  gfx::kernels::blend_weighted_plain(plain.data(), src.data(), weight.data(), n);
  EXPECT_EQ(fast, plain);
}

TEST(SpriteOrder, PrioritiesWithAndWithoutTheReferencesGroup) {
  Scene s(8, 8);
  gfx::Page& p = s.solid(1, 1, 0, 0, 0);
  gfx::Sprite& a = s.show(p, 0, 0);
  gfx::Sprite& b = s.show(p, 0, 0);
  gfx::Sprite& c = s.show(p, 0, 0);
  gfx::Sprite& d = s.show(p, 0, 0);
  auto order = [&] {
    std::string out;
    for (gfx::Sprite* x : s.e.gfx->sprites.order) out += x == &a ? 'a' : x == &b ? 'b' : x == &c ? 'c' : 'd';
    return out;
  };
  EXPECT_EQ(order(), "abcd") << "new sprites go on top";
  gfx::move_beside(s.e, c, b, true, false);  // c directly above b, in b's group
  EXPECT_EQ(c.group, b.group);
  gfx::move_beside(s.e, d, b, false, true);  // d below the whole group of b (b and c)
  EXPECT_EQ(order(), "adbc");
  gfx::move_beside(s.e, a, c, true, true);   // a above the whole group: d joined it too
  EXPECT_EQ(order(), "dbca");
  gfx::move_beside(s.e, a, d, false, false);
  EXPECT_EQ(order(), "adbc");
  gfx::move_to_top(s.e, a);
  EXPECT_EQ(order(), "dbca");
  gfx::move_to_bottom(s.e, c);
  EXPECT_EQ(order(), "cdba");
  gfx::move_beside(s.e, b, b, true, true);  // beside itself: stays
  EXPECT_EQ(order(), "cdba");
}

TEST(ScreenReset, SpritesFromTheInitialisationStayOffScreenOthersGo) {
  Scene s(8, 8);
  gfx::Page& kept_page = s.solid(2, 2, 1, 1, 1);
  gfx::Sprite& kept = s.show(kept_page, 3, 3);
  kept.alphas.state = 1;
  kept.hidden = -2;
  gfx::Page& canvas = gfx::create_page_24(s.e, 4, 4, false);
  s.show(kept_page, 0, 0, &canvas);
  gfx::make_screen_permanent(s.e);
  gfx::Page& later_page = s.solid(2, 2, 2, 2, 2);
  gfx::Sprite& later = s.show(later_page, 1, 1);
  later.owns_page = true;
  const int32_t later_handle = later.handle, later_page_handle = later_page.handle;
  gfx::Page& scratch = gfx::create_page_24(s.e, 4, 4, false);
  gfx::Sprite& on_scratch = s.show(kept_page, 0, 0, &scratch);
  const int32_t scratch_handle = scratch.handle;
  (void)on_scratch;

  gfx::reset_screen(s.e);
  EXPECT_EQ(gfx::find_sprite(s.e, later_handle), nullptr);
  EXPECT_EQ(gfx::find_page(s.e, later_page_handle), nullptr) << "its own page goes with it";
  EXPECT_EQ(gfx::find_page(s.e, scratch_handle), nullptr);
  EXPECT_EQ(s.e.gfx->sprites.order.size(), 2u);
  EXPECT_EQ(kept.x, gfx::kOffScreen);
  EXPECT_EQ(kept.alphas.state, 0);
  EXPECT_EQ(kept.hidden, 0);
  EXPECT_NE(gfx::find_target(s.e, &canvas), nullptr) << "permanent targets stay";
  EXPECT_EQ(s.e.gfx->display.targets.size(), 2u);
}

TEST(FramePacing, MaxFpsAndTheLock) {
  Scene s(8, 8);
  gfx::Display& d = s.display();
  d.max_fps = 30;  // 33 ms apart
  d.last_frame = 1000;
  EXPECT_FALSE(gfx::frame_due(s.e, 1032, false));
  EXPECT_TRUE(gfx::frame_due(s.e, 1033, false));
  EXPECT_FALSE(gfx::frame_due(s.e, 1040, false));
  EXPECT_TRUE(gfx::frame_due(s.e, 1040, true)) << "forced";
  EXPECT_TRUE(gfx::frame_due(s.e, 1000, false)) << "a clock that went back counts its distance";
  d.invalidate_lock = 2;
  EXPECT_FALSE(gfx::frame_due(s.e, 5000, true));
}

}  // namespace
