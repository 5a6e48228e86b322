// The wall: contents, shuffling, draws and returns, tiles set aside.
#include "mahjong/wall.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

namespace {

using mj::Wall;

// Every count the wall keeps must agree with its contents.
void expect_consistent(const Wall& w) {
  std::array<int, mj::kCodeCount> in_wall{}, free{};
  for (int pos = w.next_index(); pos < w.count(); ++pos) {
    int code = w.tile_at(pos) / 10;
    ++in_wall[code];
    if (!w.taken_at(pos)) ++free[code];
  }
  for (int code = 1; code < mj::kCodeCount; ++code) {
    ASSERT_EQ(w.unseen(code), in_wall[code]) << "code " << code;
    ASSERT_EQ(w.unseen_free(code), free[code]) << "code " << code;
  }
}

TEST(Wall, ContentsByPlayerCount) {
  for (int players : {2, 3, 4}) {
    SCOPED_TRACE(players);
    base::Random rng;
    Wall w;
    w.build(players, rng);
    EXPECT_EQ(w.count(), players == 3 ? 108 : 136);
    std::vector<int> values;
    for (int pos = 0; pos < w.count(); ++pos) values.push_back(w.tile_at(pos));
    EXPECT_EQ(w.tile_at(w.count()), -1);
    std::sort(values.begin(), values.end());
    EXPECT_TRUE(std::adjacent_find(values.begin(), values.end()) == values.end()) << "every value once";
    for (int code = 1; code < mj::kCodeCount; ++code) {
      int expected = !mj::is_tile(code) ? 0 : players == 3 && code >= 2 && code <= 8 ? 0 : 4;
      EXPECT_EQ(w.unseen(code), expected) << code;
    }
    expect_consistent(w);
  }
}

TEST(Wall, SameSeedSameOrder) {
  base::Random a, b, c;
  a.seed(42), b.seed(42), c.seed(43);
  Wall wa, wb, wc;
  wa.build(4, a), wb.build(4, b), wc.build(4, c);
  std::vector<int> da, db, dc;
  for (int i = 0; i < 136; ++i) da.push_back(wa.draw()), db.push_back(wb.draw()), dc.push_back(wc.draw());
  EXPECT_EQ(da, db);
  EXPECT_NE(da, dc);
  EXPECT_EQ(wa.draw(), -1) << "an exhausted wall gives -1";
}

TEST(Wall, DrawAndPutBack) {
  base::Random rng;
  rng.seed(7);
  Wall w;
  w.build(4, rng);
  std::vector<int> drawn;
  for (int i = 0; i < 20; ++i) drawn.push_back(w.draw());
  expect_consistent(w);
  EXPECT_EQ(w.remaining(), 116);
  for (int i = 19; i >= 10; --i) ASSERT_TRUE(w.put_back(drawn[i], rng));
  EXPECT_EQ(w.remaining(), 126);
  expect_consistent(w);

  // What cannot go back: nothing, and a fifth copy.
  int code = drawn[0] / 10;
  int in_wall_before = w.unseen(code);
  ASSERT_TRUE(w.put_back(drawn[0], rng));
  EXPECT_EQ(w.unseen(code), in_wall_before + 1);
  while (w.unseen(code) < 4) ASSERT_TRUE(w.put_back(code * 10, rng));
  EXPECT_FALSE(w.put_back(code * 10, rng)) << "a fifth copy";
  EXPECT_FALSE(w.put_back(100, rng)) << "code 10 names no tile";
  EXPECT_FALSE(w.put_back(-1, rng));
  expect_consistent(w);

  Wall fresh;
  EXPECT_FALSE(fresh.put_back(11, rng)) << "nothing was drawn";
}

TEST(Wall, SetAsideTilesAreForTheFavouredOnly) {
  base::Random rng;
  rng.seed(3);
  Wall w;
  w.build(4, rng);
  for (int k = 0; k < 3; ++k) ASSERT_TRUE(w.set_aside(35));
  EXPECT_EQ(w.available(35, true), 4);
  EXPECT_EQ(w.available(35, false), 1);
  expect_consistent(w);

  // Draws pass over set-aside tiles.
  int whites = 0;
  for (int v; (v = w.draw()) >= 0;) whites += v / 10 == 35;
  EXPECT_EQ(whites, 1);
  EXPECT_EQ(w.remaining(), 3);
  expect_consistent(w);
  EXPECT_EQ(w.take(35, false), -1) << "others never take a set-aside tile";
  EXPECT_GE(w.take(35, true) / 10, 35);
  EXPECT_EQ(w.available(35, true), 2);
  expect_consistent(w);
}

TEST(Wall, FavouredTakesItsOwnTilesFirst) {
  base::Random rng;
  rng.seed(11);
  Wall w;
  w.build(4, rng);
  ASSERT_TRUE(w.set_aside(21));
  int reserved_pos = -1;
  for (int pos = 0; pos < w.count(); ++pos)
    if (w.taken_at(pos)) reserved_pos = pos;
  int reserved_value = w.tile_at(reserved_pos);
  EXPECT_EQ(w.take(21, true), reserved_value);
  EXPECT_EQ(w.unseen_free(21), 3) << "the other copies stay free";
  expect_consistent(w);
}

}  // namespace
