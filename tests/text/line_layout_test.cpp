// Line breaking on fixed widths: double-byte characters 20 pixels, single
// bytes 10, with the default kinsoku sets.
#include <gtest/gtest.h>

#include "res/text.h"
#include "tests/text/text_helpers.h"
#include "text/line_layout.h"

using text_helpers::sj;

namespace {

int fixed_advance(uint32_t code) { return code >= 256 ? 20 : 10; }

// The line broken off `text` (UTF-8), as UTF-8.
std::string line_of(const std::string& text, int available, int type = 0, bool force_one = false) {
  const std::string s = sj(text);
  txt::KinsokuRules rules{type, msg::kLineStartKinsoku, msg::kLineEndKinsoku};
  txt::LineBreak b = txt::break_line(s, available, 10, force_one, rules, fixed_advance);
  int sum = 0;
  for (int a : b.advances) sum += a;
  EXPECT_EQ(sum, b.sum);
  return plat::sjis_to_utf8(s.substr(0, b.bytes));
}

TEST(LineBreaking, TakesWhatFitsTheWidth) {
  EXPECT_EQ(line_of("あいうえお", 60), "あいう");
  EXPECT_EQ(line_of("あいうえお", 59), "あい");
  EXPECT_EQ(line_of("ab あい", 40), "ab ");
  EXPECT_EQ(line_of("あいう", 1000), "あいう");
  EXPECT_EQ(line_of("あいう", 10), "") << "nothing fits";
  EXPECT_EQ(line_of("あいう", 10, 0, true), "あ") << "a fresh line takes one character anyway";
  EXPECT_EQ(line_of("あいう", -50, 0, true), "あ");
}

TEST(LineBreaking, KinsokuMovesOneCharacter) {
  EXPECT_EQ(line_of("あい「うえ", 60), "あい") << "an opening bracket goes to the next line";
  EXPECT_EQ(line_of("あいう。え", 60), "あい") << "the character before a closing mark goes with it";
  EXPECT_EQ(line_of("あいう、え", 80), "あいう、") << "the mark itself fits";
  EXPECT_EQ(line_of("あい「", 100), "あい") << "a text ending in an opening bracket keeps it for later";
  EXPECT_EQ(line_of("「「「「", 40), "「「") << "no allowed break: the line stays as it is";
  EXPECT_EQ(line_of("。。。", 40), "。");
  EXPECT_EQ(line_of("「", 40), "「") << "a lone character is never moved";
}

TEST(LineBreaking, KinsokuTypeOneKeepsRoomAtTheEnd) {
  EXPECT_EQ(line_of("あいうえ", 80, 1), "あいう");
  EXPECT_EQ(line_of("あいう。", 80, 1), "あいう。") << "a closing mark may end the full line";
  EXPECT_EQ(line_of("あいうえ", 200, 1), "あいうえ") << "far from the end nothing moves";
  EXPECT_EQ(line_of("あ「うえ", 60, 1), "あ") << "after an opening bracket both go";
  EXPECT_EQ(line_of("「「", 40, 1), "「「") << "but never the whole line";
}

TEST(LineBreaking, KinsokuSetsMatchWholeCharacters) {
  const std::string set = sj("ぁぃ");  // 82 9F 82 A1
  EXPECT_TRUE(txt::in_kinsoku_set(set, sj("ぃ")));
  EXPECT_FALSE(txt::in_kinsoku_set(set, "\x9F\x82")) << "straddles two characters of the set";
  EXPECT_FALSE(txt::in_kinsoku_set(set, "a"));
  EXPECT_FALSE(txt::in_kinsoku_set(set, ""));
}

TEST(LineBreaking, HangingIndentAfterTheOpeningBracket) {
  txt::IndentRules rules{true, 1, false, msg::kOpenQuote, msg::kCloseQuote, msg::kOpenParen, msg::kCloseParen};
  EXPECT_EQ(txt::indent_after(sj("「あい"), {20, 20, 20}, 0, rules), 21);
  EXPECT_EQ(txt::indent_after(sj("あ「い"), {20, 20, 20}, 0, rules), 41);
  EXPECT_EQ(txt::indent_after(sj("う」え"), {20, 20, 20}, 21, rules), 0);
  EXPECT_EQ(txt::indent_after(sj("（あ"), {20, 20}, 7, rules), 7) << "round brackets only with the flag";
  rules.parens = true;
  EXPECT_EQ(txt::indent_after(sj("（あ"), {20, 20}, 7, rules), 21);
  EXPECT_EQ(txt::indent_after(sj("あ）"), {20, 20}, 21, rules), 0);
  rules.space_indent = false;
  EXPECT_EQ(txt::indent_after(sj("「あ"), {20, 20}, 9, rules), 0);
}

TEST(LineBreaking, JustificationSpreadsTheRoomLeft) {
  std::vector<int> a = {20, 20, 20, 20, 20};
  ASSERT_TRUE(txt::justify_line(a, 110, 100));
  EXPECT_EQ(a, (std::vector<int>{23, 23, 22, 22, 20}));
  std::vector<int> b = {20, 20, 20, 20, 20};
  ASSERT_TRUE(txt::justify_line(b, 102, 100));
  EXPECT_EQ(b, (std::vector<int>{21, 21, 20, 20, 20}));
  std::vector<int> c = {20, 20, 20};
  EXPECT_FALSE(txt::justify_line(c, 100, 60)) << "two gaps are left alone";
  EXPECT_EQ(c, (std::vector<int>{20, 20, 20}));
}

}  // namespace
