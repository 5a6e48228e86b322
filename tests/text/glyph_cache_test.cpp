// The ".fcd" glyph cache: its byte layout, refusal of damaged or foreign
// files, and its life across runs.
#include <gtest/gtest.h>

#include "base/bytes.h"
#include "graphics/page.h"
#include "platform/files.h"
#include "tests/support/temp_dir.h"
#include "tests/text/text_helpers.h"
#include "text/glyph_cache.h"
#include "text/render.h"

using testing_support::TempDir;
using text_helpers::sj;

namespace {

// A cache of face "FACE" (width code 40, height code 80: 20 rows) holding
// "あ" (20 wide) and "A" (9 wide), each glyph filled with its own byte.
txt::GlyphCache sample_cache() {
  txt::GlyphCache c;
  c.reset("FACE", 40, 80);
  uint8_t* a = c.store(0xA082, 20);
  std::fill(a, a + 20 * 20, 0x11);
  uint8_t* b = c.store('A', 9);
  std::fill(b, b + 9 * 20, 0x22);
  return c;
}

TEST(GlyphCacheFile, LayoutIsByteExactAndRoundTrips) {
  txt::GlyphCache c = sample_cache();
  EXPECT_EQ(c.offsets[0xA082], 4) << "the first glyph follows the four unused bytes";
  EXPECT_EQ(c.offsets['A'], 4 + 400);
  std::vector<uint8_t> file = txt::serialise_glyph_cache(c);
  ASSERT_EQ(file.size(), 327960u + 584u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data()), 5), std::string("FACE\0", 5));
  EXPECT_EQ(base::load_u32(&file[256]), 0u);
  EXPECT_EQ(base::load_u32(&file[260]), 40u);
  EXPECT_EQ(base::load_u32(&file[264]), 80u);
  EXPECT_EQ(file[268 + 0xA082], 20);
  EXPECT_EQ(file[268 + 'A'], 9);
  EXPECT_EQ(base::load_u32(&file[65804 + 4 * 0xA082]), 4u);
  EXPECT_EQ(base::load_u32(&file[65804 + 4 * 'A']), 404u);
  EXPECT_EQ(base::load_u32(&file[327948]), 0x80000u);
  EXPECT_EQ(base::load_u32(&file[327952]), 584u);
  EXPECT_EQ(base::load_u32(&file[327956]), 0u);
  EXPECT_EQ(file[327960 + 4], 0x11);
  EXPECT_EQ(file[327960 + 404], 0x22);
  EXPECT_EQ(file.back(), 0x22);

  auto back = txt::parse_glyph_cache(file, "FACE", 40, 80);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->used, 584);
  EXPECT_EQ(back->widths[0xA082], 20);
  EXPECT_TRUE(back->holds('A'));
  EXPECT_FALSE(back->holds('B'));
  std::vector<uint8_t> again = txt::serialise_glyph_cache(*back);
  ASSERT_EQ(again.size(), file.size());
  EXPECT_EQ(base::load_u32(&again[327948]), 584u + 0x80000u) << "the capacity it has now, which readers ignore";
  base::store_u32(&again[327948], 0x80000u);
  EXPECT_EQ(again, file);
}

TEST(GlyphCacheFile, DamagedOrForeignFilesAreRefused) {
  const std::vector<uint8_t> good = txt::serialise_glyph_cache(sample_cache());
  ASSERT_TRUE(txt::parse_glyph_cache(good, "FACE", 40, 80));
  auto refused = [](std::vector<uint8_t> f, std::string face = "FACE", int w = 40, int h = 80) {
    return !txt::parse_glyph_cache(f, face, w, h);
  };
  EXPECT_TRUE(refused(std::vector<uint8_t>(good.begin(), good.begin() + 1000))) << "short header";
  EXPECT_TRUE(refused(std::vector<uint8_t>(good.begin(), good.end() - 1))) << "short data";
  EXPECT_TRUE(refused(good, "OTHER")) << "another face";
  EXPECT_TRUE(refused(good, "FACE", 44, 80)) << "another width";
  EXPECT_TRUE(refused(good, "FACE", 40, 88)) << "another height";
  auto patched = [&](size_t at, uint32_t v) {
    std::vector<uint8_t> f = good;
    base::store_u32(&f[at], v);
    return f;
  };
  EXPECT_TRUE(refused(patched(65804 + 4 * 'A', 584 - 9 * 20 + 1))) << "a glyph reaching past the data";
  EXPECT_TRUE(refused(patched(65804 + 4 * 'B', 2))) << "an offset inside the unused bytes";
  EXPECT_TRUE(refused(patched(65804 + 4 * 'B', 0x80000000u))) << "a negative offset";
  EXPECT_TRUE(refused(patched(327952, 3))) << "used size below 4";
  EXPECT_TRUE(refused(patched(327952, 0x7FFFFFFF))) << "used size beyond the file";
  std::vector<uint8_t> no_nul = good;
  std::fill(no_nul.begin(), no_nul.begin() + 256, 'F');
  EXPECT_TRUE(refused(no_nul)) << "a face field without its terminator";
  EXPECT_EQ(txt::parse_glyph_cache({}, "FACE", 40, 80), std::nullopt);
}

TEST(GlyphCacheFile, NamesStayInsideTheSaveFolder) {
  EXPECT_EQ(txt::glyph_cache_file_name(sj("ＭＳ ゴシック"), 40, 80), sj("fc_ＭＳ ゴシック_040x080.fcd"));
  EXPECT_EQ(txt::glyph_cache_file_name("../x\\y", 4, 8), "fc_.._x_y_004x008.fcd");
  // "ソ" ends in the byte of a backslash: it is part of the character.
  EXPECT_EQ(txt::glyph_cache_file_name(sj("ソ"), 4, 8), sj("fc_ソ_004x008.fcd"));
}

class GlyphCacheRuns : public ::testing::Test {
 protected:
  // Draws "あいA" with a font of face "TEST", 20/10, into an 8-bit page.
  void draw_sample(rt::Engine& e) {
    txt::FontRecord f = txt::default_font_record();
    txt::set_font(e, f, "TEST", 20, 10, -1, 0);
    ASSERT_EQ(f.cache_ok, 1);
    gfx::Page& page = gfx::create_page_8(e, 100, 30, false);
    std::vector<int> adv;
    txt::measure(e, f, sj("あいA"), &adv);
    txt::render(e, 0, 0, sj("あいA"), f, page, adv);
  }
  std::string cache_file() const { return dir / "savedata/fc_TEST_040x080.fcd"; }
  TempDir dir;
};

TEST_F(GlyphCacheRuns, WrittenAtCloseAndReusedByTheNextRun) {
  {
    auto e = text_helpers::engine(dir.path());
    txt::open_glyph_cache(*e, "TEST", 20, 10);
    draw_sample(*e);
    EXPECT_TRUE(e->text->cache.dirty);
    txt::close_glyph_cache(*e);
  }
  auto size = plat::native_file_size(cache_file());
  ASSERT_TRUE(size);
  EXPECT_EQ(*size, 327960 + 4 + 20 * 20 * 2 + 9 * 20);
  auto e = text_helpers::engine(dir.path());
  txt::open_glyph_cache(*e, "TEST", 20, 10);
  const txt::GlyphCache& c = e->text->cache;
  EXPECT_TRUE(c.holds(0xA082));
  EXPECT_TRUE(c.holds('A'));
  EXPECT_EQ(c.widths['A'], 9);
  EXPECT_FALSE(c.dirty);
  draw_sample(*e);
  EXPECT_FALSE(c.dirty) << "every glyph came from the cache";
}

TEST_F(GlyphCacheRuns, AForeignFileIsRebuiltNotTrusted) {
  txt::GlyphCache other;
  other.reset("TEST", 44, 88);  // another size under this size's name
  std::fill_n(other.store(0xA082, 20), 20 * 22, 0);
  dir.write("savedata/fc_TEST_040x080.fcd", txt::serialise_glyph_cache(other));
  auto e = text_helpers::engine(dir.path());
  txt::open_glyph_cache(*e, "TEST", 20, 10);
  EXPECT_FALSE(e->text->cache.holds(0xA082));
  draw_sample(*e);
  txt::close_glyph_cache(*e);
  auto bytes = plat::read_whole_file(cache_file());
  ASSERT_TRUE(bytes);
  EXPECT_TRUE(txt::parse_glyph_cache(*bytes, "TEST", 40, 80));
}

TEST_F(GlyphCacheRuns, NothingIsWrittenWhenSavingIsDisabledOrNothingChanged) {
  auto e = text_helpers::engine(dir.path());
  e->env.parse("LOADSAVEDISABLE 1\n");
  txt::open_glyph_cache(*e, "TEST", 20, 10);
  draw_sample(*e);
  txt::close_glyph_cache(*e);
  EXPECT_FALSE(plat::native_exists(cache_file()));
  e->env.clear();
  txt::open_glyph_cache(*e, "TEST", 20, 10);
  txt::close_glyph_cache(*e);
  EXPECT_FALSE(plat::native_exists(cache_file())) << "an unchanged cache is not written";
}

TEST_F(GlyphCacheRuns, OnlyTheMatchingFontUsesTheCache) {
  auto e = text_helpers::engine(dir.path());
  txt::open_glyph_cache(*e, "TEST", 20, 10);
  txt::FontRecord f = txt::default_font_record();
  txt::set_font(*e, f, "TEST", 21, 10, -1, 0);
  EXPECT_EQ(f.cache_ok, 0);
  txt::set_font(*e, f, "OTHER", 20, 10, -1, 0);
  EXPECT_EQ(f.cache_ok, 0);
  e->text->antialias = 0;  // scale 1: a cache opened with the font's own size does not serve it
  txt::set_font(*e, f, "TEST", 20, 10, -1, 0);
  EXPECT_EQ(f.cache_ok, 0);
  txt::open_glyph_cache(*e, "TEST", 5, 2);
  txt::set_font(*e, f, "TEST", 20, 8, -1, 0);
  EXPECT_EQ(f.cache_ok, 1) << "matches at scale 1 (20 = 4 × 5) ...";
  gfx::Page& page = gfx::create_page_8(*e, 100, 30, false);
  std::vector<int> adv;
  txt::measure(*e, f, sj("あ"), &adv);
  txt::render(*e, 0, 0, sj("あ"), f, page, adv);
  EXPECT_FALSE(e->text->cache.holds(0xA082)) << "... but one-to-one glyphs are not stored";
  // Zero or negative sizes open no cache.
  txt::open_glyph_cache(*e, "TEST", 0, 10);
  EXPECT_FALSE(e->text->cache.open());
  txt::open_glyph_cache(*e, "TEST", 20, -3);
  EXPECT_FALSE(e->text->cache.open());
}

}  // namespace
