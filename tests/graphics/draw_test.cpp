// Drawing on small pages, each result computed here from the formulas as
// written (branch by branch), not through the code under test.
#include <gtest/gtest.h>

#include <random>

#include "base/random.h"
#include "graphics/draw.h"
#include "graphics/state.h"
#include "tests/graphics/pixel_helpers.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_engine.h"

using pixel_helpers::bgr_at;

namespace {

class Draw : public ::testing::Test {
 protected:
  testing_support::TempDir game;
  std::unique_ptr<rt::Engine> e = testing_support::make_engine(game.path());
  std::mt19937 rng{7};

  gfx::Page& noise24(int w, int h) {
    gfx::Page& p = gfx::create_page_24(*e, w, h, false);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < 3 * w; ++x) p.row(y)[x] = static_cast<uint8_t>(rng());
    return p;
  }
  gfx::Page& noise8(int w, int h) {
    gfx::Page& p = gfx::create_page_8(*e, w, h, false);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) p.row(y)[x] = static_cast<uint8_t>(rng());
    return p;
  }
  static gfx::Page snapshot(const gfx::Page& p) {
    gfx::Page s;
    s.width = p.width, s.height = p.height, s.stride = p.stride, s.is8bit = p.is8bit, s.palette = p.palette;
    auto* mem = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(p.stride) * p.height));
    std::memcpy(mem, p.pixels(), static_cast<size_t>(p.stride) * p.height);
    s.memory.reset(mem);
    return s;
  }
};

TEST_F(Draw, ClippingToOneAndTwoPages) {
  gfx::Page& p = gfx::create_page_24(*e, 10, 8, false);
  gfx::Rect r{-3, 5, 6, 10};
  EXPECT_TRUE(gfx::clip_to_page(p, r));
  EXPECT_EQ(r, (gfx::Rect{0, 5, 3, 3}));
  r = {10, 0, 5, 5};
  EXPECT_FALSE(gfx::clip_to_page(p, r));
  EXPECT_EQ(r, (gfx::Rect{})) << "an empty result is all zero";
  r = {0x7FFFFFF0, 0, 0x7FFFFFF0, 1};
  EXPECT_FALSE(gfx::clip_to_page(p, r)) << "no overflow in x + w";

  gfx::Page& q = gfx::create_page_24(*e, 6, 6, false);
  gfx::Rect s{-2, 1, 8, 4};
  int dx = 3, dy = -1;
  ASSERT_TRUE(gfx::clip_two(p, s, q, dx, dy));
  // Source left of 0 cuts 2 from both; destination above 0 cuts 1; the
  // destination's right edge (6) leaves 1 column.
  EXPECT_EQ(s, (gfx::Rect{0, 2, 1, 3}));
  EXPECT_EQ(dx, 5);
  EXPECT_EQ(dy, 0);
  // A source reaching past its page's right and bottom edges keeps what lies on it.
  s = {7, 6, 5, 5};
  dx = 0, dy = 0;
  ASSERT_TRUE(gfx::clip_two(p, s, q, dx, dy));
  EXPECT_EQ(s, (gfx::Rect{7, 6, 3, 2}));
  EXPECT_EQ(dx, 0);
  EXPECT_EQ(dy, 0);
}

TEST_F(Draw, PlainCopiesWithinAndAcrossPages) {
  gfx::Page& p = noise24(5, 6);
  gfx::Page before = snapshot(p);
  gfx::plain_copy(p, {0, 0, 5, 5}, p, 0, 1);  // one row down onto itself
  for (int y = 1; y < 6; ++y)
    for (int x = 0; x < 5; ++x) ASSERT_EQ(bgr_at(p, x, y), bgr_at(before, x, y - 1)) << x << "," << y;
  gfx::Page& q = noise24(6, 1);
  gfx::Page qb = snapshot(q);
  gfx::plain_copy(q, {0, 0, 5, 1}, q, 1, 0);  // one pixel right, same row
  for (int x = 1; x < 6; ++x) ASSERT_EQ(bgr_at(q, x, 0), bgr_at(qb, x - 1, 0));

  gfx::Page& idx = noise8(3, 2);
  idx.palette[idx.row(1)[2]] = {11, 22, 33, 0};
  gfx::Page& out = gfx::create_page_24(*e, 3, 2, false);
  gfx::plain_copy(idx, {0, 0, 3, 2}, out, 0, 0);
  EXPECT_EQ(bgr_at(out, 2, 1), (std::vector<uint8_t>{11, 22, 33})) << "8 -> 24 through the palette";
  gfx::Page& eight = gfx::create_page_8(*e, 3, 2, false);
  gfx::plain_copy(out, {0, 0, 3, 2}, eight, 0, 0);
  EXPECT_EQ(eight.row(1)[2], 0) << "24 -> 8 does nothing";

  gfx::Page& a = noise24(2, 2);
  gfx::Page& b = noise24(2, 2);
  gfx::Page ab = snapshot(a), bb = snapshot(b);
  gfx::swap_areas(a, {0, 0, 2, 1}, b, 0, 1);
  EXPECT_EQ(bgr_at(a, 1, 0), bgr_at(bb, 1, 1));
  EXPECT_EQ(bgr_at(b, 0, 1), bgr_at(ab, 0, 0));
  EXPECT_EQ(bgr_at(a, 0, 1), bgr_at(ab, 0, 1)) << "outside the area";
}

TEST_F(Draw, ConstantAlphaBlend) {
  for (int t : {-5, 0, 1, 127, 128, 254, 255, 300}) {
    gfx::Page& src = noise24(37, 2);
    gfx::Page& dst = noise24(37, 2);
    gfx::Page before = snapshot(dst);
    gfx::const_alpha_copy(src, {0, 0, 37, 2}, dst, 0, 0, t);
    int tc = std::clamp(t, 0, 255);
    for (int y = 0; y < 2; ++y)
      for (int i = 0; i < 37 * 3; ++i) {
        int s = src.row(y)[i], d = before.row(y)[i];
        ASSERT_EQ(dst.row(y)[i], ((tc + 1) * d + (256 - tc) * s) >> 8) << "t " << t << " byte " << i;
      }
    if (tc == 0) {
      EXPECT_EQ(bgr_at(dst, 5, 1), bgr_at(src, 5, 1)) << "t 0 shows the source";
    }
    if (tc == 255) {
      EXPECT_EQ(bgr_at(dst, 5, 1), bgr_at(before, 5, 1)) << "t 255 leaves the page";
    }
  }
  // 8-bit sources use the table form: each term rounded down separately.
  gfx::Page& idx = noise8(20, 1);
  for (int i = 0; i < 256; ++i) idx.palette[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7), 0};
  gfx::Page& dst = noise24(20, 1);
  gfx::Page before = snapshot(dst);
  gfx::const_alpha_copy(idx, {0, 0, 20, 1}, dst, 0, 0, 100);
  for (int x = 0; x < 20; ++x) {
    const gfx::Rgbquad& q = idx.palette[idx.row(0)[x]];
    int s[3] = {q.b, q.g, q.r};
    for (int c = 0; c < 3; ++c)
      ASSERT_EQ(dst.row(0)[3 * x + c], s[c] * 156 / 256 + before.row(0)[3 * x + c] * 101 / 256);
  }
}

// The alpha copy exactly as written: with t = 0 and 0 < t < 255 in their own
// branches.
int alpha_expected(int src, int dst, int a, int t) {
  if (t >= 255) return dst;
  if (t == 0) {
    if (a >= 254) return dst;
    if (a <= 1) return src;
    return (src * (256 - a) + dst * (a + 1)) >> 8;
  }
  int s = a + t + 1;
  if (s >= 255) return dst;
  if (s <= 2) return src;
  return (s * dst + (257 - s) * src) >> 8;
}

TEST_F(Draw, PerPixelAlphaBlendAndAlphaMerge) {
  const int w = 41;  // longer than a vector step, with a tail
  for (int t : {0, 1, 2, 126, 200, 253, 254, 255}) {
    gfx::Page& src = noise24(w, 3);
    gfx::Page& sa = noise8(w, 3);
    // The edge values of the transparency in the first columns.
    const int edges[] = {0, 1, 2, 3, 127, 128, 129, 252, 253, 254, 255};
    for (int y = 0; y < 3; ++y)
      for (int i = 0; i < 11; ++i) sa.row(y)[i] = static_cast<uint8_t>(edges[i]);
    // A run of 16 equal transparencies (the vector path's shortcuts).
    for (int x = 16; x < 32; ++x) sa.row(1)[x] = 255, sa.row(2)[x] = 0;
    src.alpha = &sa;
    gfx::Page& dst = noise24(w, 3);
    gfx::Page& da = noise8(w, 3);
    dst.alpha = &da;
    gfx::Page before = snapshot(dst), abefore = snapshot(da);
    gfx::alpha_copy(src, {0, 0, w, 3}, dst, 0, 0, t);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < w; ++x) {
        int a = sa.row(y)[x];
        for (int c = 0; c < 3; ++c)
          ASSERT_EQ(dst.row(y)[3 * x + c], alpha_expected(src.row(y)[3 * x + c], before.row(y)[3 * x + c], a, t))
              << "t " << t << " a " << a << " at " << x << "," << y;
        int merged = t >= 255 ? abefore.row(y)[x] : (abefore.row(y)[x] * (a + 1)) >> 8;
        ASSERT_EQ(da.row(y)[x], merged) << "t " << t;
      }
  }
  // The documented example: transparency 128, t = 0.
  gfx::Page& one = gfx::create_page_24(*e, 1, 1, false);
  gfx::Page& oa = gfx::create_page_8(*e, 1, 1, false);
  one.alpha = &oa;
  oa.row(0)[0] = 128;
  gfx::point_set(one, 0, 0, 0xC8C8C8);
  gfx::Page& under = gfx::create_page_24(*e, 1, 1, false);
  gfx::point_set(under, 0, 0, 0x646464);
  gfx::alpha_copy(one, {0, 0, 1, 1}, under, 0, 0, 0);
  EXPECT_EQ(under.row(0)[0], (200 * 128 + 100 * 129) >> 8);
}

TEST_F(Draw, VectorKernelsMatchThePlainOnes) {
  if (!gfx::kernels::vector_paths()) GTEST_SKIP() << "no vector paths on this processor";
  for (int n : {1, 15, 16, 17, 64, 333}) {
    std::vector<uint8_t> src(3 * n), dst(3 * n), weight(n), alpha(n), a2(n);
    for (auto& v : src) v = static_cast<uint8_t>(rng());
    for (auto& v : dst) v = static_cast<uint8_t>(rng());
    for (auto& v : alpha) v = static_cast<uint8_t>(rng());
    for (int t : {0, 1, 100, 253, 254}) {
      std::vector<uint8_t> w1(n), w2(n);
      gfx::kernels::alpha_weights(w1.data(), alpha.data(), n, t);
      gfx::kernels::alpha_weights_plain(w2.data(), alpha.data(), n, t);
      ASSERT_EQ(w1, w2) << n << " t " << t;
    }
    for (auto& v : weight) v = static_cast<uint8_t>(rng() % 4 == 0 ? 255 : rng() % 4 == 0 ? 0 : rng());
    std::vector<uint8_t> d1 = dst, d2 = dst;
    gfx::kernels::blend_weighted(d1.data(), src.data(), weight.data(), n);
    gfx::kernels::blend_weighted_plain(d2.data(), src.data(), weight.data(), n);
    ASSERT_EQ(d1, d2) << n;
    for (int w : {1, 2, 129, 255, 256}) {
      d1 = dst, d2 = dst;
      gfx::kernels::blend_const(d1.data(), src.data(), 3 * n, w);
      gfx::kernels::blend_const_plain(d2.data(), src.data(), 3 * n, w);
      ASSERT_EQ(d1, d2) << n << " w " << w;
    }
    std::vector<uint8_t> m1 = alpha, m2 = alpha;
    for (auto& v : a2) v = static_cast<uint8_t>(rng());
    gfx::kernels::merge_alpha(m1.data(), a2.data(), n);
    gfx::kernels::merge_alpha_plain(m2.data(), a2.data(), n);
    ASSERT_EQ(m1, m2) << n;
  }
}

TEST_F(Draw, MaskedColourPaste) {
  gfx::Page& mask = noise8(20, 2);
  const int edges[] = {0, 1, 2, 100, 253, 254, 255};
  for (int i = 0; i < 7; ++i) mask.row(0)[i] = static_cast<uint8_t>(edges[i]);
  gfx::Page& dst = noise24(22, 3);
  gfx::Page& da = noise8(22, 3);
  dst.alpha = &da;
  gfx::Page before = snapshot(dst), abefore = snapshot(da);
  const uint32_t colour = 0x00123456;  // blue 0x12, green 0x34, red 0x56
  gfx::masked_paste(mask, {0, 0, 20, 2}, dst, 2, 1, colour);
  const int k[3] = {0x12, 0x34, 0x56};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 20; ++x) {
      int m = mask.row(y)[x];
      for (int c = 0; c < 3; ++c) {
        int d = before.row(y + 1)[3 * (x + 2) + c];
        int want = m >= 254 ? d : m <= 1 ? k[c] : ((257 - (m + 1)) * k[c] + (m + 1) * d) >> 8;
        ASSERT_EQ(dst.row(y + 1)[3 * (x + 2) + c], want) << "m " << m;
      }
      ASSERT_EQ(da.row(y + 1)[x + 2], (abefore.row(y + 1)[x + 2] * (m + 1)) >> 8);
    }
  EXPECT_EQ(bgr_at(dst, 0, 0), bgr_at(before, 0, 0));
}

TEST_F(Draw, ScaledCopyMapsAndClips) {
  gfx::Page& src = gfx::create_page_8(*e, 4, 1, false);
  for (int x = 0; x < 4; ++x) src.row(0)[x] = static_cast<uint8_t>(10 + x);
  auto run = [&](gfx::Rect s, gfx::Rect d, int dst_w) {
    gfx::Page& dst = gfx::create_page_8(*e, dst_w, 1, false);
    gfx::scaled_copy(src, s, dst, d);
    return std::vector<uint8_t>(dst.row(0), dst.row(0) + dst_w);
  };
  EXPECT_EQ(run({0, 0, 2, 1}, {0, 0, 4, 1}, 4), (std::vector<uint8_t>{10, 10, 11, 11})) << "enlarge";
  EXPECT_EQ(run({0, 0, 4, 1}, {0, 0, 2, 1}, 2), (std::vector<uint8_t>{11, 13})) << "shrink";
  EXPECT_EQ(run({0, 0, 4, 1}, {0, 0, 4, 1}, 4), (std::vector<uint8_t>{10, 11, 12, 13}));
  EXPECT_EQ(run({0, 0, 4, 1}, {-2, 0, 8, 1}, 6), (std::vector<uint8_t>{11, 11, 12, 12, 13, 13}))
      << "a destination cut on the left moves the source with it";
  EXPECT_EQ(run({-2, 0, 4, 1}, {0, 0, 4, 1}, 4), (std::vector<uint8_t>{0, 0, 10, 11}))
      << "a source cut on the left moves the destination";
  EXPECT_EQ(run({0, 0, 0, 1}, {0, 0, 4, 1}, 4), (std::vector<uint8_t>{0, 0, 0, 0})) << "empty source";
  gfx::Page& colour = gfx::create_page_24(*e, 2, 1, false);
  gfx::Page& eight = gfx::create_page_8(*e, 2, 1, false);
  eight.row(0)[0] = 7;
  gfx::scaled_copy(colour, {0, 0, 2, 1}, eight, {0, 0, 2, 1});
  EXPECT_EQ(eight.row(0)[0], 7) << "24 -> 8 draws nothing";
}

TEST_F(Draw, AffineCopyRotatesScalesAndCarriesAlpha) {
  gfx::Page& src = noise24(3, 3);
  gfx::Page& sa = noise8(3, 3);
  src.alpha = &sa;
  // Identity: angle a multiple of 360 (after truncating angle x 1000):
  // the source centred in the destination rectangle.
  for (double angle : {0.0, 360.0, 0.0004, -720.0}) {
    gfx::Page& dst = gfx::create_page_24(*e, 5, 5, false);
    gfx::Page& da = gfx::create_page_8(*e, 5, 5, false);
    dst.alpha = &da;
    gfx::affine_copy(src, {0, 0, 3, 3}, dst, {0, 0, 6, 6}, angle, 1.0, 1.0);
    // left = (6 - 3 + 1) / 2 = 2
    EXPECT_EQ(bgr_at(dst, 2, 2), bgr_at(src, 0, 0)) << angle;
    EXPECT_EQ(bgr_at(dst, 4, 4), bgr_at(src, 2, 2)) << angle;
    EXPECT_EQ(da.row(3)[3], sa.row(1)[1]) << angle;
    EXPECT_EQ(bgr_at(dst, 1, 1), (std::vector<uint8_t>{0, 0, 0})) << angle;
  }
  // 90 degrees: destination (i, j) shows source (j, 2 - i).
  gfx::Page& rot = gfx::create_page_24(*e, 3, 3, false);
  gfx::Page& ra = gfx::create_page_8(*e, 3, 3, false);
  rot.alpha = &ra;
  gfx::affine_copy(src, {0, 0, 3, 3}, rot, {0, 0, 3, 3}, 90.0, 1.0, 1.0);
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 3; ++i) {
      ASSERT_EQ(bgr_at(rot, i, j), bgr_at(src, j, 2 - i)) << i << "," << j;
      ASSERT_EQ(ra.row(j)[i], sa.row(2 - i)[j]);
    }
  // Scale 2 at angle 0 is not the identity: nearest-neighbour doubling; a
  // source without alpha page writes transparency 0.
  gfx::Page& plain = noise24(2, 2);
  gfx::Page& big = noise24(6, 6);
  gfx::Page& ba = noise8(6, 6);
  big.alpha = &ba;
  gfx::Page before = snapshot(big);
  gfx::affine_copy(plain, {0, 0, 2, 2}, big, {0, 0, 4, 4}, 0.0, 2.0, 2.0);
  for (int j = 0; j < 4; ++j)
    for (int i = 0; i < 4; ++i) {
      ASSERT_EQ(bgr_at(big, i, j), bgr_at(plain, i / 2, j / 2)) << i << "," << j;
      ASSERT_EQ(ba.row(j)[i], 0);
    }
  EXPECT_EQ(bgr_at(big, 5, 5), bgr_at(before, 5, 5)) << "outside the destination rectangle";
  // 45 degrees: corners that map outside the source stay as they were.
  gfx::Page& turned = noise24(9, 9);
  gfx::Page tb = snapshot(turned);
  gfx::Page& square = noise24(5, 5);
  gfx::affine_copy(square, {0, 0, 5, 5}, turned, {0, 0, 9, 9}, 45.0, 1.0, 1.0);
  EXPECT_EQ(bgr_at(turned, 0, 0), bgr_at(tb, 0, 0));
  EXPECT_EQ(bgr_at(turned, 4, 4), bgr_at(square, 2, 2)) << "the centre maps to the centre";
  // Degenerate scales draw nothing.
  gfx::affine_copy(square, {0, 0, 5, 5}, turned, {0, 0, 9, 9}, 10.0, 0.002, 1.0);
  gfx::affine_copy(square, {0, 0, 5, 5}, turned, {0, 0, 9, 9}, std::nan(""), 1.0, 1.0);
  EXPECT_EQ(bgr_at(turned, 0, 0), bgr_at(tb, 0, 0));
}

TEST_F(Draw, FillsAndFilters) {
  gfx::Page& p = gfx::create_page_24(*e, 4, 3, false);
  EXPECT_EQ(gfx::box_fill(p, {-1, 1, 3, 9}, 0x00010203), (gfx::Rect{0, 1, 2, 2}));
  EXPECT_EQ(bgr_at(p, 1, 2), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(bgr_at(p, 2, 2), (std::vector<uint8_t>{0, 0, 0}));
  EXPECT_EQ(gfx::point_get(p, 1, 1), 0x00010203);
  EXPECT_EQ(gfx::point_get(p, 4, 0), -1);
  EXPECT_EQ(gfx::point_get(p, 0, -1), -1);

  // extboxfill at the ends of t: (k + 256p) >> 8 and (256k + p) >> 8.
  for (int t : {255, 0, 77, 999, -9}) {
    gfx::Page& q = noise24(3, 1);
    gfx::Page qb = snapshot(q);
    gfx::ext_box_fill(q, {0, 0, 3, 1}, 0x00C08040, t);
    int c = std::clamp(t + 1, 1, 256);
    const int k[3] = {0xC0, 0x80, 0x40};
    for (int i = 0; i < 9; ++i) ASSERT_EQ(q.row(0)[i], (k[i % 3] * (257 - c) + c * qb.row(0)[i]) >> 8) << t;
  }
  gfx::Page& idx = gfx::create_page_8(*e, 2, 1, false);
  idx.row(0)[0] = 10;
  gfx::ext_box_fill(idx, {0, 0, 1, 1}, 0x1234, 127);
  EXPECT_EQ(idx.row(0)[0], static_cast<uint8_t>((129u * 0x1234 + 128u * 10) >> 8)) << "8-bit: the whole colour";

  gfx::Page& m = noise24(5, 2);
  gfx::Page mb = snapshot(m);
  gfx::mul_box_fill(m, {0, 0, 5, 1}, 0x00FFFFFF);
  EXPECT_EQ(bgr_at(m, 3, 0), bgr_at(mb, 3, 0)) << "white leaves pixels";
  gfx::mul_box_fill(m, {0, 1, 5, 1}, 0x00004080);  // red 0x80, green 0x40, blue 0
  EXPECT_EQ(m.row(1)[0], mb.row(1)[0] >> 8);
  EXPECT_EQ(m.row(1)[1], (0x41 * mb.row(1)[1]) >> 8);
  EXPECT_EQ(m.row(1)[2], (0x81 * mb.row(1)[2]) >> 8);
  gfx::reverse(m, {4, 0, 5, 5});
  EXPECT_EQ(m.row(0)[14], 255 - mb.row(0)[14]);
  EXPECT_EQ(m.row(0)[11], mb.row(0)[11]) << "left of the rectangle";

  // Sepia of black: w = 1, (2048 dark + light) >> 11; with keep, a share of
  // the old colour; on 8-bit pages the palette changes.
  gfx::Page& s = gfx::create_page_24(*e, 2, 1, false);
  gfx::point_set(s, 1, 0, 0x00FFFFFF);
  gfx::sepia(s, {0, 0, 2, 1}, 0x00102030, 0x00F0E0D0, -1);
  EXPECT_EQ(bgr_at(s, 0, 0), (std::vector<uint8_t>{(2048 * 0x10 + 0xF0) >> 11, (2048 * 0x20 + 0xE0) >> 11,
                                                   (2048 * 0x30 + 0xD0) >> 11}));
  int w = 255 + 4 * 255 + 2 * 255 + 1, v = 2049 - w;
  EXPECT_EQ(s.row(0)[3], (v * 0x10 + w * 0xF0) >> 11);
  gfx::Page& k = gfx::create_page_24(*e, 1, 1, false);
  gfx::point_set(k, 0, 0, 0x00000080);  // red 128
  gfx::sepia(k, {0, 0, 1, 1}, 0, 0x00FFFFFF, 63);
  int wk = 2 * 128 + 1, nr = (wk * 255) >> 11;
  EXPECT_EQ(k.row(0)[2], (64 * 128 + 193 * nr) / 256);
  gfx::Page& pal = gfx::create_page_8(*e, 2, 2, false);
  gfx::sepia(pal, {0, 0, 1, 1}, 0, 0x00FFFFFF, -1);
  EXPECT_EQ(pal.palette[255].b, ((2049 - 1786) * 0 + 1786 * 255) >> 11) << "every entry, whatever the rectangle";
  EXPECT_EQ(pal.row(1)[1], 0);
}

TEST_F(Draw, MosaicBlocksAreCentredAverages) {
  base::Random random;
  random.seed(3);
  gfx::Page& src = noise24(10, 3);
  gfx::Page& dst = gfx::create_page_24(*e, 10, 3, false);
  gfx::mosaic(src, {0, 0, 10, 3}, dst, 0, 0, 1, random);
  for (int x = 0; x < 10; ++x) ASSERT_EQ(bgr_at(dst, x, 1), bgr_at(src, x, 1)) << "block size 1 copies";

  // Width 10, blocks of 4: columns 0 | 1-4 | 5-8 | 9. With every such block
  // of one colour, the mosaic reproduces the source exactly; any other grid
  // would mix two colours in a block.
  gfx::Page& bands = gfx::create_page_24(*e, 10, 4, false);
  const int group[10] = {0, 1, 1, 1, 1, 2, 2, 2, 2, 3};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 10; ++x) gfx::point_set(bands, x, y, static_cast<uint32_t>(group[x] * 60 + 30));
  gfx::Page& out = gfx::create_page_24(*e, 10, 4, false);
  gfx::mosaic(bands, {0, 0, 10, 4}, out, 0, 0, 4, random);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 10; ++x) ASSERT_EQ(bgr_at(out, x, y), bgr_at(bands, x, y)) << x << "," << y;

  // Three samples of a two-colour block average each channel, truncated.
  gfx::Page& two = gfx::create_page_24(*e, 1, 2, false);
  gfx::point_set(two, 0, 0, 0x000000FF);
  gfx::Page& res = gfx::create_page_24(*e, 1, 2, false);
  gfx::mosaic(two, {0, 0, 1, 2}, res, 0, 0, 2, random);
  int red = res.row(0)[2];
  EXPECT_TRUE(red == 0 || red == 85 || red == 170 || red == 255) << red;
  EXPECT_EQ(res.row(1)[2], red);
  gfx::Page& eight = gfx::create_page_8(*e, 1, 2, false);
  EXPECT_EQ(gfx::mosaic(two, {0, 0, 1, 2}, eight, 0, 0, 2, random), (gfx::Rect{})) << "8-bit refused";
}

TEST_F(Draw, AlphaTables) {
  gfx::Page& src = noise8(4, 3);
  gfx::Page& dst = gfx::create_page_8(*e, 3, 5, false);
  std::vector<int32_t> table(256);
  for (int i = 0; i < 256; ++i) table[i] = i * 2 - 100;
  gfx::apply_alpha_table(src, dst, table);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) ASSERT_EQ(dst.row(y)[x], std::clamp(src.row(y)[x] * 2 - 100, 0, 255));
  EXPECT_EQ(dst.row(4)[0], 0) << "outside the common area";
  std::vector<int32_t> short_table(255, 1);
  gfx::apply_alpha_table(src, dst, short_table);
  EXPECT_EQ(dst.row(0)[0], std::clamp(src.row(0)[0] * 2 - 100, 0, 255)) << "a short table is refused";
}

}  // namespace
