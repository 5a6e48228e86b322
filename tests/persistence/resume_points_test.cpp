// Saved positions placed in a rebuilt script: unchanged functions keep
// their offsets, retranslated text moves them, a line that changed shape
// starts again, a line that is gone loses the position.
#include <gtest/gtest.h>

#include "base/bytes.h"
#include "persistence/resume_points.h"
#include "script/script_file.h"
#include "script/translate.h"
#include "tests/support/script_game.h"

namespace {

rt::LoadedScript script_of(const std::string& source) {
  auto image = rt::parse_script_image(testing_support::assemble_or_fail(source));
  rt::LoadedScript s;
  if (!image) return s;
  s.name = "START.MJO";
  s.entry_point = image->entry_point;
  s.functions = image->functions;
  s.code = image->code;
  std::vector<uint32_t> entries;
  if (s.entry_point >= 0) entries.push_back(static_cast<uint32_t>(s.entry_point));
  for (const auto& f : s.functions) entries.push_back(f.offset);
  s.decoded = rt::decode_code(s.code, entries);
  return s;
}

// The offset of the n-th instruction with this opcode.
uint32_t find_op(const rt::LoadedScript& s, uint16_t opcode, int n = 0) {
  for (size_t at = 0; at < s.code.size();) {
    if (base::load_u16(&s.code[at]) == opcode && n-- == 0) return static_cast<uint32_t>(at);
    size_t len = rt::instruction_length(s.code, at);
    if (len == 0) break;
    at += len;
  }
  ADD_FAILURE() << "no such instruction";
  return 0;
}

constexpr uint16_t kSyscallDiscard = 0x835, kCall = 0x80F, kReturn = 0x82B;

std::string version(const std::string& first_line, const std::string& point_line) {
  return R"(
.function $chapter@GLOBAL
    line 1
)" + first_line + R"(
)" + point_line + R"(
    line 3
    return
main:
    call_fn $chapter@GLOBAL, 0
    return
)";
}

const char* kPoint = "    line 2\n    push_s \"title\"\n    syscall_discard save_point, 1";

TEST(ResumePoints, PositionsFollowTheirLineThroughARebuild) {
  rt::LoadedScript v1 = script_of(version("    push_s \"hello\"\n    syscall_discard debugout, 1", kPoint));
  const uint32_t point = find_op(v1, kSyscallDiscard, 1);
  const persist::Anchor a = persist::anchor_of(v1, point);
  EXPECT_TRUE(a.flags & persist::Anchor::kExact);
  EXPECT_TRUE(a.flags & persist::Anchor::kFunction);
  EXPECT_EQ(a.line, 2);
  EXPECT_EQ(a.count, 2);

  persist::Placement same = persist::place(v1, a);
  EXPECT_EQ(same.fit, persist::Fit::Same);
  EXPECT_EQ(same.offset, point);

  // Longer text in the line before: the same instruction, further on.
  rt::LoadedScript v2 =
      script_of(version("    push_s \"こんにちは、世界。長い文になりました\"\n    syscall_discard debugout, 1", kPoint));
  persist::Placement moved = persist::place(v2, a);
  EXPECT_EQ(moved.fit, persist::Fit::Moved);
  EXPECT_EQ(moved.offset, find_op(v2, kSyscallDiscard, 1));

  // The save point's line builds its title otherwise: the line starts again.
  rt::LoadedScript v3 = script_of(version("    push_s \"hello\"\n    syscall_discard debugout, 1",
                                          "    line 2\n    push_s \"ti\"\n    push_s \"tle\"\n    add_s\n"
                                          "    syscall_discard save_point, 1"));
  persist::Placement again = persist::place(v3, a);
  EXPECT_EQ(again.fit, persist::Fit::LineStart);
  EXPECT_EQ(again.offset, find_op(v3, 0x83A, 1));

  // The line is gone.
  rt::LoadedScript v4 = script_of(version("    push_s \"hello\"\n    syscall_discard debugout, 1",
                                          "    line 12\n    push_s \"title\"\n    syscall_discard save_point, 1"));
  EXPECT_EQ(persist::place(v4, a).fit, persist::Fit::Lost);

  // The caller's return position in the unchanged main code stays put.
  const uint32_t after_call = find_op(v1, kCall) + 12;
  const persist::Anchor caller = persist::anchor_of(v1, after_call);
  EXPECT_TRUE(caller.flags & persist::Anchor::kEntry);
  EXPECT_EQ(caller.opcode, kReturn);
  persist::Placement kept = persist::place(v2, caller);
  EXPECT_EQ(kept.fit, persist::Fit::Same) << "main moved with the function before it, unchanged";
  EXPECT_EQ(kept.offset, find_op(v2, kCall) + 12);

  // A position inside an instruction is never placed.
  EXPECT_FALSE(persist::on_instruction(v1, point + 1));
  EXPECT_TRUE(persist::on_instruction(v1, point));
}

TEST(ResumePoints, TheTrailerRoundTripsAndADamagedOneIsNoticed) {
  persist::Trailer t;
  t.point_argc = 1;
  t.frames.resize(2);
  t.frames[1][0] = {persist::Anchor::kPresent | persist::Anchor::kExact, 0x1234, 0xCAFE, 2, 3, 0x835, 0xF8004993};
  std::vector<uint8_t> bytes = persist::write_trailer(t);
  EXPECT_EQ(bytes.size(), 24u + 2 * 6 * 32 + 8);
  persist::Trailer back;
  ASSERT_EQ(persist::parse_trailer(bytes, 2, &back), persist::TrailerState::Present);
  EXPECT_EQ(back.point_argc, 1);
  EXPECT_EQ(back.frames[1][0].function_crc, 0xCAFEu);
  EXPECT_EQ(back.frames[1][0].operand, 0xF8004993u);
  EXPECT_EQ(persist::parse_trailer(bytes, 3, &back), persist::TrailerState::Damaged);
  bytes[40] ^= 1;
  EXPECT_EQ(persist::parse_trailer(bytes, 2, &back), persist::TrailerState::Damaged);
  EXPECT_EQ(persist::parse_trailer(std::vector<uint8_t>{1, 2, 3}, 2, &back), persist::TrailerState::Absent);
}

}  // namespace
