// Read marks across runs, and the play modes that use them.
#include <gtest/gtest.h>

#include "base/bytes.h"
#include "script/read_marks.h"
#include "tests/support/script_game.h"

using testing_support::GameRun;
using testing_support::ScriptGame;

namespace {

TEST(ReadMarks, LinesReadInOneRunAreReadInTheNext) {
  ScriptGame game;
  game.script("start", R"(
.lines 20
.function $init@GLOBAL
    return
main:
    line 9
    syscall is_line_read, 0
    push_s "line 9 read before"
    syscall_discard debugout, 2
    push_s "start"
    syscall is_read, 1
    push_s "nothing"
    syscall is_read, 1
    push_s "is_read"
    syscall_discard debugout, 3
    push_i &$other_thread@GLOBAL
    syscall_discard thread_create, 1
    push_i 30
    syscall_discard wait, 1
    syscall_discard system_end, 0
.function $other_thread@GLOBAL
    line 12                          ; threads other than thread 0 mark nothing
    return
)");
  GameRun first = game.run();
  EXPECT_EQ(first.exit_code, 0) << first.err;
  EXPECT_EQ(first.log, (std::vector<std::string>{"line 9 read before 0 ", "is_read 0 1 "}));

  // 20 lines: a bitmap of 3 + 16 bytes; line 9 is bit 1 of byte 1.
  std::string file = game.dir.read("savedata/quorel_readmark.mss");
  ASSERT_EQ(file.size(), rt::kReadMarkHeaderSize + 19);
  EXPECT_EQ(std::string(file.c_str()), "START.MJO");
  const auto* bytes = reinterpret_cast<const uint8_t*>(file.data());
  EXPECT_EQ(base::load_u32(bytes + 128), 19u);
  EXPECT_EQ(base::load_u32(bytes + 132), 20u);
  EXPECT_EQ(bytes[rt::kReadMarkHeaderSize + 1], 0x02);
  EXPECT_EQ(bytes[rt::kReadMarkHeaderSize + 0], 0x00);

  GameRun second = game.run();
  EXPECT_EQ(second.log.front(), "line 9 read before 1 ");

  // Recompiled with another number of lines: the marks are gone.
  std::string source = R"(
.lines 30
.function $init@GLOBAL
    return
main:
    line 9
    syscall is_line_read, 0
    syscall_discard debugout, 1
    syscall_discard system_end, 0
)";
  game.script("start", source);
  GameRun third = game.run();
  EXPECT_EQ(third.log, (std::vector<std::string>{"0 "}));
}

TEST(ReadMarks, TruncatedFilesKeepTheirWholeRecords) {
  std::vector<std::unique_ptr<rt::ReadMarkRecord>> records;
  for (const char* name : {"A.MJO", "B.MJO"}) {
    auto r = std::make_unique<rt::ReadMarkRecord>();
    r->name = name;
    r->line_count = 8;
    r->bitmap.assign(rt::ReadMarkRecord::byte_count(8), 0x5A);
    records.push_back(std::move(r));
  }
  std::vector<uint8_t> bytes = rt::write_read_marks(records);
  ASSERT_EQ(bytes.size(), 2 * (148u + 17u));
  bytes.resize(bytes.size() - 3);
  auto back = rt::parse_read_marks(bytes);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0]->name, "A.MJO");
  EXPECT_EQ(back[0]->bitmap, records[0]->bitmap);
  // A byte count beyond the file is not trusted.
  bytes[128] = bytes[129] = bytes[130] = bytes[131] = 0xFF;
  EXPECT_TRUE(rt::parse_read_marks(bytes).empty());
}

TEST(PlayModes, SkippingEndsWaitsAndStopsAtUnreadLines) {
  ScriptGame game;
  game.script("start", R"(
.lines 50
.function $init@GLOBAL
    return
main:
    line 1
    syscall_discard set_fast_mode_all, 0      ; skip everything: waits end at once
    syscall timer, 0
    st_i_pop @before
    push_i 5000
    syscall_discard wait, 1
    syscall timer, 0
    load i @before
    minus_i
    syscall is_fast_mode, 0
    syscall get_play_mode, 0
    push_s "skip all"
    syscall_discard debugout, 4
    syscall_discard fast_mode_disable, 0      ; nothing skips while disabled
    syscall is_fast_mode, 0
    syscall_discard fast_mode_enable, 0
    syscall is_fast_mode, 0
    push_s "disable/enable"
    syscall_discard debugout, 3
    syscall_discard reset_fast_mode, 0
    syscall_discard set_read_skip_mode, 0     ; skip read lines only
    line 2                                     ; never read: read-skip ends here
    syscall is_fast_mode, 0
    syscall get_play_mode, 0
    push_s "read skip at an unread line"
    syscall_discard debugout, 3
    syscall_discard set_auto_mode, 0
    syscall is_auto_mode, 0
    syscall is_fast_mode, 0
    push_i 1
    syscall_discard set_auto_skip, 1
    syscall is_fast_mode, 0
    push_s "auto"
    syscall_discard debugout, 4
    push_i 3
    syscall_discard set_play_mode, 1
    syscall get_play_mode, 0
    syscall_discard reset_fast_mode, 0
    syscall get_play_mode, 0
    push_s "bits"
    syscall_discard debugout, 3
    syscall_discard system_end, 0
)");
  GameRun r = game.run();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, (std::vector<std::string>{"skip all 0 1 10 ", "disable/enable 1 0 ", "read skip at an unread line 0 0 ",
                                             "auto 1 0 1 ", "bits 0 2 "}));
}

}  // namespace
