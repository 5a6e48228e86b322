// Glyph coverage: the four-times filter, an installed IPA font's ink, the
// glyph cache's copies, and coloured text with its edges.
#include <gtest/gtest.h>

#include <cstring>

#include "graphics/draw.h"
#include "graphics/page.h"
#include "tests/support/temp_dir.h"
#include "tests/text/text_helpers.h"
#include "text/glyph_cache.h"
#include "text/render.h"

using testing_support::TempDir;
using text_helpers::sj;

namespace {

gfx::Page& blank_8bit(rt::Engine& e, int w, int h) {
  gfx::Page& p = gfx::create_page_8(e, w, h, false);
  std::memset(p.pixels(), 255, static_cast<size_t>(p.stride) * h);
  return p;
}

// Draws `text` with `f` at (x, y) into an 8-bit page; returns the advances.
std::vector<int> render_at(rt::Engine& e, const txt::FontRecord& f, gfx::Page& p, const std::string& text, int x = 0,
                           int y = 0) {
  std::vector<int> adv;
  txt::measure(e, f, text, &adv);
  txt::render(e, x, y, text, f, p, adv);
  return adv;
}

bool inked(const gfx::Page& p, int x, int y) { return p.row(y)[x] < 128; }

int ink_in(const gfx::Page& p, int x0, int y0, int w, int h) {
  int n = 0;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) n += 255 - p.row(y)[x];
  return n;
}

TEST(GlyphFilter, InnerSamplesWeighTwice) {
  // An 8 × 8 buffer; the block at (4, 4) is examined.
  std::vector<uint8_t> b(64, 255);
  auto at = [&](int x, int y) -> uint8_t& { return b[y * 8 + x]; };
  EXPECT_EQ(txt::filter_4x4(b.data(), 8, 4, 4), 255);
  for (int y = 5; y <= 6; ++y)
    for (int x = 5; x <= 6; ++x) at(x, y) = 0;
  EXPECT_EQ(txt::filter_4x4(b.data(), 8, 4, 4), 12 * 255 / 20) << "the inner four: 8 of 20 parts";
  std::fill(b.begin(), b.end(), 0);
  for (int y = 5; y <= 6; ++y)
    for (int x = 5; x <= 6; ++x) at(x, y) = 255;
  EXPECT_EQ(txt::filter_4x4(b.data(), 8, 4, 4), 8 * 255 / 20);
  at(4, 4) = 255;
  EXPECT_EQ(txt::filter_4x4(b.data(), 8, 4, 4), 9 * 255 / 20) << "a corner: 1 part";
  EXPECT_EQ(txt::filter_4x4(b.data(), 8, 0, 0), 0) << "a block that does not touch it";
}

class InstalledFont : public ::testing::Test {
 protected:
  TempDir dir;
  std::unique_ptr<rt::Engine> e = text_helpers::engine(dir.path(), false);
  txt::FontRecord f = txt::default_font_record();  // "ＭＳ ゴシック" 20/10: IPA Gothic here
};

TEST_F(InstalledFont, InkLiesWhereTheStrokesAre) {
  gfx::Page& p = blank_8bit(*e, 60, 20);
  std::vector<int> adv = render_at(*e, f, p, sj("一｜A"));
  EXPECT_EQ(adv, (std::vector<int>{20, 20, 9})) << "full width = size, half width = width - 1";
  // "一": one horizontal stroke across the middle of its cell.
  EXPECT_TRUE(inked(p, 10, 9) || inked(p, 10, 10));
  EXPECT_TRUE(inked(p, 4, 9) || inked(p, 4, 10));
  EXPECT_EQ(ink_in(p, 0, 0, 20, 6), 0);
  EXPECT_EQ(ink_in(p, 0, 14, 20, 6), 0);
  // "｜": one vertical stroke down the middle of the second cell.
  for (int y : {1, 10, 18}) EXPECT_TRUE(inked(p, 29, y) || inked(p, 30, y)) << y;
  EXPECT_EQ(ink_in(p, 20, 0, 6, 20), 0);
  EXPECT_EQ(ink_in(p, 34, 0, 6, 20), 0);
  // "A": ink between its baseline and cap height, none above.
  EXPECT_GT(ink_in(p, 40, 4, 9, 13), 0);
  EXPECT_EQ(ink_in(p, 40, 0, 9, 2), 0);
  // Filtered four-times strokes give grey levels.
  bool grey = false;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 60; ++x) grey |= p.row(y)[x] > 0 && p.row(y)[x] < 255;
  EXPECT_TRUE(grey);
}

TEST_F(InstalledFont, WithoutAntialiasingInkIsBlackOrNothing) {
  e->text->antialias = 0;
  gfx::Page& p = blank_8bit(*e, 60, 20);
  render_at(*e, f, p, sj("漢字かな"));
  int inked_pixels = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 60; ++x) {
      const uint8_t v = p.row(y)[x];
      EXPECT_TRUE(v == 0 || v == 255) << x << "," << y;
      inked_pixels += v == 0;
    }
  EXPECT_GT(inked_pixels, 40);
}

TEST_F(InstalledFont, MinchoFacesAreStruckHeavier) {
  gfx::Page& plain = blank_8bit(*e, 60, 20);
  gfx::Page& heavy = blank_8bit(*e, 60, 20);
  txt::set_font(*e, f, "IPAMincho", 20, 10, -1, 0);
  EXPECT_EQ(f.heavy, 0);
  render_at(*e, f, plain, sj("漢字"));
  txt::set_font(*e, f, sj("ＭＳ 明朝"), 20, 10, -1, 0);
  EXPECT_EQ(f.heavy, 1);
  render_at(*e, f, heavy, sj("漢字"));
  EXPECT_GT(ink_in(heavy, 0, 0, 40, 20), ink_in(plain, 0, 0, 40, 20) * 11 / 10);
}

TEST_F(InstalledFont, UnknownFacesFallBackToTheDefaultOnce) {
  gfx::Page& a = blank_8bit(*e, 40, 20);
  gfx::Page& b = blank_8bit(*e, 40, 20);
  render_at(*e, f, a, sj("漢字"));
  txt::set_font(*e, f, "No Such Face Anywhere", 20, 10, -1, 0);
  render_at(*e, f, b, sj("漢字"));
  render_at(*e, f, b, sj("漢字"));
  EXPECT_EQ(std::memcmp(a.pixels(), b.pixels(), static_cast<size_t>(a.stride) * 20), 0);
  EXPECT_EQ(e->text->noted_faces.count("No Such Face Anywhere"), 1u);
}

TEST_F(InstalledFont, CachedGlyphsAreTheGlyphsDrawn) {
  txt::open_glyph_cache(*e, f.face, 20, 10);
  txt::set_font(*e, f, f.face, 20, 10, -1, 0);
  ASSERT_EQ(f.cache_ok, 1);
  gfx::Page& fresh = blank_8bit(*e, 100, 20);
  gfx::Page& copied = blank_8bit(*e, 100, 20);
  const std::string text = sj("あ漢Aｱ");
  render_at(*e, f, fresh, text);
  const txt::GlyphCache& c = e->text->cache;
  EXPECT_TRUE(c.holds(0xA082)) << "a double-byte character under lead + 256 × trail";
  EXPECT_TRUE(c.holds('A')) << "a single byte under itself";
  EXPECT_TRUE(c.holds(0xB1)) << "half-width katakana";
  render_at(*e, f, copied, text);
  EXPECT_EQ(std::memcmp(fresh.pixels(), copied.pixels(), static_cast<size_t>(fresh.stride) * 20), 0);
  // Text partly outside the page is drawn but not stored.
  gfx::Page& edge = blank_8bit(*e, 100, 20);
  render_at(*e, f, edge, sj("字"), -5, 0);
  EXPECT_FALSE(c.holds(0x9A8E));
  EXPECT_GT(ink_in(edge, 0, 0, 15, 20), 0);
}

class ColouredText : public ::testing::Test {
 protected:
  TempDir dir;
  std::unique_ptr<rt::Engine> e = text_helpers::engine(dir.path());
  txt::FontRecord f = txt::default_font_record();
  gfx::Page& page = gfx::create_page_24(*e, 200, 60, false);

  uint32_t at(int x, int y) { return static_cast<uint32_t>(gfx::point_get(page, x, y)); }
};

TEST_F(ColouredText, ShadowAndOutlineAroundTheText) {
  // Fixed glyphs: "あ" is a full 20 × 18 box of ink (size 18, width 10).
  txt::set_font(*e, f, f.face, 18, 10, -1, 0);
  f.x = 50;
  f.y = 20;
  f.color = 0xFFFFFF;
  f.edge = 0x0000FF;  // shadow in red: s = 2, t = 1
  gfx::Rect box;
  EXPECT_EQ(txt::draw(*e, f, page, sj("あ"), &box), 20);
  EXPECT_EQ(box, (gfx::Rect{50, 20, 20 + 2 + 1, 18 + 1}));
  EXPECT_EQ(at(55, 25), 0xFFFFFFu);
  EXPECT_EQ(at(71, 30), 0x0000FFu) << "shadow right of the text";
  EXPECT_EQ(at(60, 38), 0x0000FFu) << "and below it";
  EXPECT_EQ(at(49, 30), 0u) << "nothing left of it";

  gfx::box_fill(page, {0, 0, 200, 60}, 0);
  f.edge = 0x0100FF00;  // outline in green
  txt::draw(*e, f, page, sj("あ"), &box);
  EXPECT_EQ(box, (gfx::Rect{50, 20, 23, 19}));
  EXPECT_EQ(at(49, 30), 0x00FF00u) << "the outline reaches left of the box";
  EXPECT_EQ(at(60, 19), 0x00FF00u);
  EXPECT_EQ(at(70, 30), 0x00FF00u);

  gfx::box_fill(page, {0, 0, 200, 60}, 0);
  f.edge = 0x02FF0000;  // outline and shadow in blue
  txt::draw(*e, f, page, sj("あ"), &box);
  EXPECT_EQ(box, (gfx::Rect{50, 20, 20 + 4 + 1, 18 + 2}));
  EXPECT_EQ(at(71, 39), 0xFF0000u);
  EXPECT_EQ(at(72, 39), 0u);

  gfx::box_fill(page, {0, 0, 200, 60}, 0);
  f.edge = 0x7F000000;  // any other mode: no edge
  txt::draw(*e, f, page, sj("あ"), &box);
  EXPECT_EQ(box, (gfx::Rect{50, 20, 20, 18}));
  EXPECT_EQ(at(71, 30), 0u);
}

TEST_F(ColouredText, OddSizesAndTargetsDrawNothingAndNeverFail) {
  f.x = 10;
  f.y = 10;
  gfx::Rect box;
  for (int size : {0, -20, 100000}) {
    txt::set_font(*e, f, f.face, size, 10, -1, 0);
    txt::draw(*e, f, page, sj("あいう"), &box);
    EXPECT_TRUE(box.empty()) << size;
  }
  txt::set_font(*e, f, f.face, 20, 0, -1, 0);
  EXPECT_GT(txt::draw(*e, f, page, sj("あ"), &box), 0) << "no width: the face's own proportions";
  txt::set_font(*e, f, f.face, 20, 10, -1, 0);
  EXPECT_EQ(txt::draw(*e, f, page, "\x82", &box), 0) << "a lone lead byte takes no room";
  EXPECT_EQ(txt::draw(*e, f, page, sj("あ") + "\x82", &box), 20);
  gfx::Page& grey = gfx::create_page_8(*e, 50, 50, false);
  EXPECT_EQ(txt::draw(*e, f, grey, sj("あ"), &box), 20);
  EXPECT_TRUE(box.empty()) << "text is composed onto colour pages only";
  f.x = -15;
  f.y = 50;
  txt::draw(*e, f, page, sj("あいう"), &box);  // clipped by the page, no fault
}

}  // namespace
