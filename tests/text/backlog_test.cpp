// The backlog buffer: entry layout, eviction, paging and trimming.
#include <gtest/gtest.h>

#include "text/backlog.h"

namespace {

using txt::Backlog;
using txt::kBacklogBytes;

// Positions of entries recorded one after another, from the end backwards.
struct Recorder {
  Backlog b;
  void text(const std::string& s) { b.record_text(s); }
  void cmd(const std::string& s) { b.record_command(s); }
  // The start of the entry `back` entries before the end (1 = the last).
  int start(int back) const {
    int p = kBacklogBytes;
    for (int i = 0; i < back; ++i) p -= b.bytes()[p - 2] | (b.bytes()[p - 1] << 8);
    return p;
  }
};

TEST(Backlog, EntriesAreRightAlignedWithTheirLengths) {
  Recorder r;
  r.text("abcd");
  r.cmd("w");
  const auto& bytes = r.b.bytes();
  // A text of k bytes takes k + 3, a command record of k bytes k + 4.
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[kBacklogBytes - 5]), 2), "\\w");
  EXPECT_EQ(bytes[kBacklogBytes - 3], 0);
  EXPECT_EQ(bytes[kBacklogBytes - 2], 5);
  EXPECT_EQ(bytes[kBacklogBytes - 1], 0);
  EXPECT_EQ(bytes[kBacklogBytes - 6], 0);
  EXPECT_EQ(bytes[kBacklogBytes - 7], 7);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[kBacklogBytes - 12]), 4), "abcd");
  EXPECT_EQ(bytes[kBacklogBytes - 13], 0) << "the free front is zero";
  auto e = r.b.entry_at(kBacklogBytes - 12);
  ASSERT_TRUE(e);
  EXPECT_FALSE(e->command());
  EXPECT_EQ(e->bytes, "abcd");
  EXPECT_EQ(e->end, kBacklogBytes - 5);
  EXPECT_EQ(r.b.entry_at(kBacklogBytes - 5)->record(), "w");
  EXPECT_FALSE(r.b.entry_at(kBacklogBytes - 11)) << "not the start of an entry";
  EXPECT_FALSE(r.b.entry_at(-1));
  EXPECT_FALSE(r.b.entry_at(kBacklogBytes));
}

TEST(Backlog, PagingByWipesAndByPauses) {
  Recorder r;
  r.cmd("w");      // page 1
  r.text("one");
  r.cmd("p");
  r.cmd("n");      // a fine step starts here
  r.text("two");
  r.cmd("p");
  r.cmd("w");      // page 2
  r.cmd("l0x000000100x00000020");  // commands after a wipe belong to it
  r.text("three");
  r.cmd("p");
  const int page1 = r.start(10), step2 = r.start(7), page2 = r.start(4);

  EXPECT_EQ(r.b.previous(-1, false), page2);
  EXPECT_EQ(r.b.previous(page2, false), page1);
  EXPECT_EQ(r.b.previous(page1, false), page1) << "no boundary before the first page";
  EXPECT_EQ(r.b.previous(-1, true), page2);
  EXPECT_EQ(r.b.previous(page2, true), step2);
  EXPECT_EQ(r.b.previous(step2, true), page1);

  EXPECT_EQ(r.b.next(page1, false), page2);
  EXPECT_EQ(r.b.next(page1, true), step2);
  EXPECT_EQ(r.b.next(step2, true), page2);
  EXPECT_EQ(r.b.next(page2, true), page2) << "no boundary after the last page";
  EXPECT_EQ(r.b.next(r.start(1), true), r.start(1)) << "the last entry";
  EXPECT_EQ(r.b.next(12345, true), 12345) << "not an entry";

  EXPECT_EQ(r.b.count(false), 2);
  EXPECT_EQ(r.b.count(true), 3);
  EXPECT_EQ(r.b.position_back(1, true), page2);
  EXPECT_EQ(r.b.position_back(2, true), step2);
  EXPECT_EQ(r.b.position_back(9, false), page1);
}

TEST(Backlog, AWipeFollowedByMoreWipesStartsAtTheLast) {
  Recorder r;
  r.cmd("w");
  r.text("a");
  r.cmd("w");
  r.cmd("c0x00ffffff0xffffffff");
  r.cmd("w");
  r.text("b");
  EXPECT_EQ(r.b.next(r.start(6), false), r.start(2));
}

TEST(Backlog, OverflowLosesTheOldestBytesAndTheWalkStopsThere) {
  Recorder r;
  r.cmd("w");
  const std::string line(997, 'x');  // 1,000 bytes per entry
  for (int i = 0; i < 39; ++i) r.text(line);
  const int first_wipe = r.start(40);
  EXPECT_EQ(first_wipe, kBacklogBytes - 39 * 1000 - 5);
  EXPECT_EQ(r.b.previous(-1, false), first_wipe);
  const std::string longer(1003, 'z');
  r.text(longer);  // the wipe and the start of the first text are pushed out
  EXPECT_EQ(r.b.previous(-1, false), -1) << "the cut entry ends the walk";
  EXPECT_EQ(r.b.count(false), 1);
  EXPECT_EQ(r.b.entry_at(r.start(1))->bytes, longer);
  EXPECT_EQ(r.start(39), 994);
  EXPECT_EQ(r.b.entry_at(r.start(39))->bytes, line);
  EXPECT_FALSE(r.b.entry_at(0)) << "what is left of the first text";
}

TEST(Backlog, TextLongerThanTheBufferKeepsItsBeginning) {
  Backlog b;
  std::string huge(50000, 'y');
  huge[0] = 'S';
  b.record_text(huge);
  auto e = b.entry_at(0);
  ASSERT_TRUE(e);
  EXPECT_EQ(e->end, kBacklogBytes);
  EXPECT_EQ(e->bytes.size(), static_cast<size_t>(kBacklogBytes - 3));
  EXPECT_EQ(e->bytes[0], 'S');
  // A double-byte character is never cut in half.
  std::string wide;
  while (wide.size() < 50000) wide += "\x82\xA0";
  b.record_text(wide);
  e = b.entry_at(1);
  ASSERT_TRUE(e);
  EXPECT_EQ(e->bytes.size(), static_cast<size_t>(kBacklogBytes - 4));
  EXPECT_EQ(static_cast<uint8_t>(e->bytes.back()), 0xA0);
  // Nor in a command record, after its backslash.
  b.record_command("x" + wide);
  e = b.entry_at(1);
  ASSERT_TRUE(e);
  EXPECT_TRUE(e->command());
  EXPECT_EQ(e->bytes.size(), static_cast<size_t>(kBacklogBytes - 4));
  EXPECT_EQ(static_cast<uint8_t>(e->bytes.back()), 0xA0);
}

TEST(Backlog, TrimmingEndsAtTheLastPause) {
  Recorder r;
  r.cmd("w");
  r.text("said");
  r.cmd("p");
  r.cmd("n");
  r.text("half shown");
  const int end_of_pause = r.start(2);
  r.b.trim_to_last_pause();
  EXPECT_EQ(r.b.entry_at(r.start(1))->record(), "p");
  EXPECT_EQ(r.start(1), end_of_pause + 13) << "moved right by what was removed";
  EXPECT_EQ(r.b.previous(-1, false), r.start(3));
  EXPECT_EQ(r.b.bytes()[r.start(3) - 1], 0) << "the freed front is zero";
  Backlog none;
  none.record_text("no pause at all");
  none.trim_to_last_pause();
  EXPECT_FALSE(none.entry_at(kBacklogBytes - 18));
}

}  // namespace
