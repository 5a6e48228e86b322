// Image files in a real game folder: name resolution, loading into pages,
// the alpha-name convention, difference images and the decoded-image cache.
#include <gtest/gtest.h>

#include "graphics/image_codec.h"
#include "graphics/images.h"
#include "graphics/state.h"
#include "resources/resources.h"
#include "tests/graphics/pixel_helpers.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_engine.h"

using namespace pixel_helpers;
using testing_support::TempDir;

namespace {

// A w x h image whose pixel (x, y) is (x, y, seed) as blue, green, red.
std::vector<uint8_t> coded_rct(int w, int h, uint8_t seed, const std::string& base = "") {
  std::vector<uint8_t> px;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) px.insert(px.end(), {uint8_t(x), uint8_t(y), seed});
  return gfx::encode_rct(px.data(), w, h, static_cast<size_t>(w) * 3, base);
}

std::vector<uint8_t> rgba_png(int w, int h, uint8_t alpha) {
  PngSpec s;
  s.width = w;
  s.height = h;
  s.colour_type = PNG_COLOR_TYPE_RGB_ALPHA;
  for (int y = 0; y < h; ++y) {
    std::vector<uint8_t> row;
    for (int x = 0; x < w; ++x) row.insert(row.end(), {uint8_t(100 + x), uint8_t(y), 7, alpha});
    s.rows.push_back(row);
  }
  return write_png(s);
}

std::vector<uint8_t> rgb_png(int w, int h) {
  PngSpec s;
  s.width = w;
  s.height = h;
  s.rows.assign(h, std::vector<uint8_t>(static_cast<size_t>(w) * 3, 9));
  return write_png(s);
}

class Images : public ::testing::Test {
 protected:
  TempDir game;
  std::unique_ptr<rt::Engine> e;
  void start(bool development = false) {
    if (development) game.make_dir("fastdata");
    e = testing_support::make_engine(game.path());
    res::register_startup_folders(*e);
  }
  std::optional<std::string> resolve(const char* name) { return gfx::resolve_image_name(*e, name); }
  gfx::Page* load(const char* name, gfx::LoadMode mode = gfx::LoadMode::Copy) {
    auto file = resolve(name);
    return file ? gfx::load_image_page(*e, *file, mode, "test") : nullptr;
  }
};

TEST_F(Images, NamesResolveInFormatOrder) {
  game.write("data/both.png", rgb_png(2, 2));
  game.write("data/both.rct", coded_rct(2, 2, 1));
  game.write("data/own.rct", coded_rct(2, 2, 1));
  game.write("data/own.rc8", rc8_file(1, 1, {0}));
  game.write("data/mask.rc8", rc8_file(1, 1, {0}));
  game.write("data/opaque.png", rgb_png(2, 2));
  game.write("data/see.png", rgba_png(2, 2, 128));
  start();
  EXPECT_EQ(resolve("both"), "both.png");
  EXPECT_EQ(resolve("sub\\dir\\OWN.bmp"), "OWN.rct") << "directory and extension are dropped";
  EXPECT_EQ(resolve("mask"), "mask.rc8");
  EXPECT_EQ(resolve("nothing"), std::nullopt);
  EXPECT_EQ(resolve("see_"), "see_.png") << "the transparency of see.png";
  EXPECT_EQ(resolve("opaque_"), std::nullopt) << "a PNG without transparency has no alpha image";
  game.write("data/opaque_.rc8", rc8_file(1, 1, {0}));
  start();
  EXPECT_EQ(resolve("opaque_"), "opaque_.rc8");
}

TEST_F(Images, LoadsEachFormatIntoPages) {
  game.write("data/c.rct", coded_rct(5, 3, 42));
  game.write("data/m.rc8", rc8_file(3, 1, {4, 0x01, 5, 6}));
  game.write("data/p.png", rgba_png(3, 2, 55));
  start();
  gfx::Page* c = load("c");
  ASSERT_TRUE(c);
  EXPECT_FALSE(c->is8bit);
  EXPECT_EQ(c->stride, 16);
  EXPECT_EQ(bgr_at(*c, 4, 2), (std::vector<uint8_t>{4, 2, 42}));
  EXPECT_FALSE(c->permanent) << "the caller owns a loaded page";

  gfx::Page* m = load("m");
  ASSERT_TRUE(m);
  EXPECT_TRUE(m->is8bit);
  EXPECT_EQ(m->row(0)[2], 6);
  EXPECT_EQ(m->palette[6].g, 249) << "palette from the file";

  gfx::Page* p = load("p");
  ASSERT_TRUE(p);
  EXPECT_EQ(bgr_at(*p, 2, 1), (std::vector<uint8_t>{7, 1, 102}));
  gfx::Page* pa = load("p_");
  ASSERT_TRUE(pa);
  EXPECT_TRUE(pa->is8bit);
  EXPECT_EQ(pa->row(1)[2], 200) << "transparency 255 - 55";
  EXPECT_EQ(pa->palette[200].r, 200) << "grey ramp";
  EXPECT_NE(pa, e->gfx->images.png_alpha) << "a copy, not the decoder's own page";
}

TEST_F(Images, BrokenFilesGiveNoPageAndAReport) {
  game.write("data/cut.rct", cut_file(coded_rct(8, 8, 1), 30));
  game.write("data/liar.rct", rc8_file(1, 1, {0}));  // an 8-bit image under the colour extension
  game.write("data/bad.png", std::string("\x89PNG\r\n\x1a\nnonsense"));
  start(true);
  testing::internal::CaptureStderr();
  EXPECT_EQ(load("cut"), nullptr);
  EXPECT_EQ(load("liar"), nullptr);
  EXPECT_EQ(load("bad"), nullptr);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("test : ファイル[cut]の画像データが壊れています"), std::string::npos) << err;
  EXPECT_NE(err.find("ファイル[liar]"), std::string::npos) << err;
  EXPECT_NE(err.find("PNG エラー | PNG エラー"), std::string::npos) << err;
}

TEST_F(Images, DifferenceImagesShowTheirBaseThroughPureRed) {
  // Base: (x, y, 9). Difference: pure red at (0, 0), red 254 at (1, 0).
  game.write("data/base.rct", coded_rct(2, 2, 9));
  std::vector<uint8_t> px = {0, 0, 255, 0, 0, 254, 1, 1, 1, 0, 0, 255};
  game.write("data/diff.rct", gfx::encode_rct(px.data(), 2, 2, 6, "base"));
  game.write("data/orphan.rct", gfx::encode_rct(px.data(), 2, 2, 6, "nowhere"));
  game.write("data/big.rct", coded_rct(3, 3, 9));
  game.write("data/misfit.rct", gfx::encode_rct(px.data(), 2, 2, 6, "big"));
  game.write("data/loop.rct", gfx::encode_rct(px.data(), 2, 2, 6, "loop"));
  start();
  gfx::Page* d = load("diff");
  ASSERT_TRUE(d);
  EXPECT_EQ(bgr_at(*d, 0, 0), (std::vector<uint8_t>{0, 0, 9})) << "pure red shows the base";
  EXPECT_EQ(bgr_at(*d, 1, 0), (std::vector<uint8_t>{0, 0, 254})) << "red 254 stays";
  EXPECT_EQ(bgr_at(*d, 0, 1), (std::vector<uint8_t>{1, 1, 1}));
  EXPECT_EQ(bgr_at(*d, 1, 1), (std::vector<uint8_t>{1, 1, 9}));

  testing::internal::CaptureStderr();
  gfx::Page* o = load("orphan");
  gfx::Page* m = load("misfit");
  gfx::Page* l = load("loop");
  std::string err = testing::internal::GetCapturedStderr();
  ASSERT_TRUE(o && m && l) << "the difference image is used as it is";
  EXPECT_EQ(bgr_at(*o, 0, 0), (std::vector<uint8_t>{0, 0, 255}));
  EXPECT_EQ(bgr_at(*m, 0, 0), (std::vector<uint8_t>{0, 0, 255})) << "a base of another size is not read";
  EXPECT_NE(err.find("差分元画像[nowhere]が存在しません | retry/cancel"), std::string::npos) << err;
  EXPECT_NE(err.find("差分元画像[big]の大きさが違います"), std::string::npos) << err;
  EXPECT_NE(err.find("差分元画像[loop]"), std::string::npos) << "a base that names itself ends";
}

TEST_F(Images, CacheCountsHitsAndHandsOutCopies) {
  game.write("data/bg.rct", coded_rct(4, 4, 3));
  start();
  e->image_cache_budget = 1 << 20;
  gfx::ImageCache& cache = e->gfx->images.cache;
  gfx::Page* first = load("bg");
  gfx::Page* second = load("bg");
  ASSERT_TRUE(first && second);
  EXPECT_NE(first, second);
  EXPECT_EQ(cache.lookups, 2u);
  EXPECT_EQ(cache.hits, 1u);
  EXPECT_EQ(cache.hit_rate(), 50u);
  first->row(0)[0] = 99;
  EXPECT_EQ(second->row(0)[0], 0) << "independent pages";
  EXPECT_EQ(cache.total(), 12u * 4 + 368);

  gfx::Page* shared = load("bg", gfx::LoadMode::Shared);
  EXPECT_EQ(shared, cache.entries().front().page);
  EXPECT_TRUE(shared->permanent);
  EXPECT_TRUE(gfx::release_page(*e, shared, false)) << "the cached page refuses an ordinary release";
}

TEST_F(Images, CacheEvictsTheLeastRecentlyUsed) {
  for (const char* n : {"a", "b", "c"}) game.write(std::string("data/") + n + ".rct", coded_rct(10, 10, 1));
  start();
  uint64_t cost = 32 * 10 + 368;  // stride 32
  e->image_cache_budget = static_cast<uint32_t>(2 * cost);
  gfx::ImageCache& cache = e->gfx->images.cache;
  gfx::release_page(*e, load("a"), false);
  gfx::release_page(*e, load("b"), false);
  gfx::release_page(*e, load("a"), false);  // a is now the most recent
  size_t live = e->gfx->pages.live.size();
  gfx::release_page(*e, load("c"), false);
  EXPECT_EQ(cache.size(), 2u);
  EXPECT_TRUE(cache.find("a"));
  EXPECT_FALSE(cache.find("b")) << "b was the least recently used";
  EXPECT_EQ(e->gfx->pages.live.size(), live) << "the evicted page was released";
  EXPECT_EQ(cache.total(), 2 * cost);

  e->image_cache_budget = 100;  // smaller than any entry: nothing is kept
  gfx::release_page(*e, load("b"), false);
  EXPECT_FALSE(cache.find("b"));
  e->image_cache_budget = 0;
  uint32_t hits = cache.hits;
  gfx::release_page(*e, load("a"), false);
  EXPECT_EQ(cache.hits, hits + 1) << "entries already cached still serve";
}

TEST_F(Images, SizesWithoutDecoding) {
  // The data of "hdr" is cut off: a size query reads only the header.
  game.write("data/hdr.rct", cut_file(coded_rct(300, 200, 1), 25));
  game.write("data/p.png", rgba_png(7, 5, 0));
  start();
  EXPECT_EQ(gfx::image_size(*e, "hdr.rct"), (std::pair{300, 200}));
  EXPECT_EQ(gfx::image_size(*e, "p.png"), (std::pair{7, 5}));
  EXPECT_EQ(gfx::image_size(*e, "p_.png"), (std::pair{7, 5}));
  EXPECT_EQ(gfx::image_size(*e, "none.rc8"), std::nullopt);
}

}  // namespace
