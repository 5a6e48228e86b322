// Page records: formats and strides, handles against the live list,
// permanence, and the links and hooks that must not outlive a page.
#include <gtest/gtest.h>

#include "graphics/state.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_engine.h"

namespace {

class Pages : public ::testing::Test {
 protected:
  testing_support::TempDir game;
  std::unique_ptr<rt::Engine> e = testing_support::make_engine(game.path());
};

TEST_F(Pages, FormatsStridesAndPalette) {
  gfx::Page& p8 = gfx::create_page_8(*e, 10, 10, false);
  EXPECT_EQ(p8.stride, 12);
  EXPECT_TRUE(p8.is8bit);
  EXPECT_EQ(p8.palette[77].b, 77);
  EXPECT_EQ(p8.palette[77].r, 77);
  gfx::Page& p24 = gfx::create_page_24(*e, 10, -3, false);
  EXPECT_EQ(p24.stride, 32);
  EXPECT_EQ(p24.height, 3) << "the height is taken as its absolute value";
  EXPECT_EQ(p24.row(2)[29], 0) << "fresh pages are black";
  gfx::Page& raw = gfx::create_page(*e, 3, 1, true, false);
  EXPECT_EQ(raw.palette[200].g, 0) << "the raw form leaves the palette zero";
  EXPECT_EQ(gfx::page_stride(0x7FFFFFFF, false), -1);
}

TEST_F(Pages, HandlesNameLivePagesOnly) {
  gfx::Page& a = gfx::create_page_24(*e, 2, 2, false);
  gfx::Page& b = gfx::create_page_24(*e, 2, 2, false);
  int32_t ha = a.handle, hb = b.handle;
  EXPECT_NE(ha, 0);
  EXPECT_NE(ha, hb);
  EXPECT_EQ(gfx::find_page(*e, ha), &a);
  EXPECT_FALSE(gfx::release_page(*e, &a, false));
  EXPECT_FALSE(gfx::is_page_valid(*e, ha));
  EXPECT_FALSE(gfx::is_page_valid(*e, 0));
  EXPECT_FALSE(gfx::is_page_valid(*e, 12345678));
  gfx::Page& c = gfx::create_page_24(*e, 2, 2, false);
  EXPECT_NE(c.handle, ha) << "handles are not reused at once";
  // One counter serves every graphics object, so another kind of handle
  // never collides with a page.
  int32_t other = gfx::new_handle(e->gfx->pages);
  EXPECT_FALSE(gfx::is_page_valid(*e, other));
  EXPECT_NE(other, hb);
}

TEST_F(Pages, PermanenceAndReset) {
  gfx::Page& keep = gfx::create_page_24(*e, 1, 1, false);
  gfx::make_all_pages_permanent(*e);
  gfx::Page& go = gfx::create_page_24(*e, 1, 1, false);
  int32_t hk = keep.handle, hg = go.handle;
  EXPECT_TRUE(gfx::release_page(*e, &keep, false)) << "refused";
  EXPECT_TRUE(gfx::is_page_valid(*e, hk));
  gfx::release_all_pages(*e);
  EXPECT_TRUE(gfx::is_page_valid(*e, hk));
  EXPECT_FALSE(gfx::is_page_valid(*e, hg));
  gfx::release_every_page(*e);
  EXPECT_TRUE(e->gfx->pages.live.empty());
}

TEST_F(Pages, ReleaseDropsLinksAndTellsTheHooks) {
  gfx::Page& page = gfx::create_page_24(*e, 4, 4, false);
  gfx::Page& alpha = gfx::create_page_8(*e, 4, 4, false);
  gfx::Page& wrong = gfx::create_page_8(*e, 5, 4, false);
  page.alpha = &wrong;
  EXPECT_EQ(gfx::alpha_of(page), nullptr) << "an alpha page of another size is not used";
  page.alpha = &alpha;
  EXPECT_EQ(gfx::alpha_of(page), &alpha);

  std::vector<int32_t> released;
  std::vector<gfx::Rect> changed;
  e->gfx->pages.on_release = [&](gfx::Page& p) { released.push_back(p.handle); };
  e->gfx->pages.on_changed = [&](gfx::Page&, const gfx::Rect& r) { changed.push_back(r); };
  int32_t ha = alpha.handle;
  gfx::release_page(*e, &alpha, false);
  EXPECT_EQ(page.alpha, nullptr) << "the link to a released alpha page is dropped";
  EXPECT_EQ(released, std::vector<int32_t>{ha});
  gfx::mark_changed(*e, page, {1, 2, 3, 4});
  ASSERT_EQ(changed.size(), 1u);
  EXPECT_EQ(changed[0], (gfx::Rect{1, 2, 3, 4}));
}

}  // namespace
