// The Shift-JIS helpers every subsystem names files and compares text with:
// case folding of ASCII letters only, cuts that never split a character,
// C's reading of numbers, and the parts of a path.
#include "base/sjis.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// "ア" (0x83 0x41): its second byte is an 'A' that must not be folded.
const char kKatakanaA[] = "\x83\x41";

TEST(SjisText, CaseFoldsEveryAsciiLetterAndNothingElse) {
  EXPECT_EQ(base::sjis_lower("ABCXYZ"), "abcxyz");
  EXPECT_EQ(base::sjis_upper("abcxyz"), "ABCXYZ");
  EXPECT_EQ(base::sjis_lower("@[`{"), "@[`{") << "the bytes beside the letters";
  EXPECT_EQ(base::sjis_upper("@[`{"), "@[`{");
  EXPECT_EQ(base::sjis_lower(std::string("Z") + kKatakanaA + "A"), std::string("z") + kKatakanaA + "a");
  EXPECT_EQ(base::sjis_upper(std::string("\x83\x61")), "\x83\x61") << "a trail byte in the 'a' range";

  EXPECT_TRUE(base::sjis_equal_nocase("ZOO.MJO", "zoo.mjo"));
  EXPECT_TRUE(base::sjis_equal_nocase("Azure", "aZURE"));
  EXPECT_FALSE(base::sjis_equal_nocase(kKatakanaA, "\x83\x61"));
  EXPECT_LT(base::sjis_compare_nocase("abc", "ABD"), 0);
  EXPECT_GT(base::sjis_compare_nocase("ZZ", "zy"), 0);
  EXPECT_GT(base::sjis_compare_nocase("abc", "AB"), 0) << "a longer text after its prefix";
  EXPECT_EQ(base::sjis_compare_nocase("", ""), 0);
}

TEST(SjisText, ClipsAndCountsWholeCharacters) {
  const std::string mixed = std::string("a") + kKatakanaA + "b";  // 4 bytes, 3 characters
  EXPECT_EQ(base::sjis_clip(mixed, 4), mixed) << "a text that just fits is whole";
  EXPECT_EQ(base::sjis_clip(mixed, 3), std::string("a") + kKatakanaA);
  EXPECT_EQ(base::sjis_clip(mixed, 2), "a") << "half a character is left out";
  EXPECT_EQ(base::sjis_clip(mixed, 1), "a");
  EXPECT_EQ(base::sjis_clip(mixed, 0), "");
  EXPECT_EQ(base::sjis_length(mixed), 3u);
  EXPECT_EQ(base::sjis_offset(mixed, 2), 3u);
  EXPECT_EQ(base::sjis_offset(mixed, 9), 4u) << "clamped to the end";
  EXPECT_EQ(base::sjis_length("a\x83"), 2u) << "a lone lead byte at the end is a character";
}

TEST(SjisText, NumbersAreReadAsCReadsThem) {
  EXPECT_EQ(base::c_atoi("42"), 42);
  EXPECT_EQ(base::c_atoi("+42"), 42);
  EXPECT_EQ(base::c_atoi("-42"), -42);
  EXPECT_EQ(base::c_atoi(" \t\n17 apples"), 17);
  EXPECT_EQ(base::c_atoi("+-3"), 0);
  EXPECT_EQ(base::c_atoi("x1"), 0);
  EXPECT_EQ(base::c_atoi(""), 0);
  EXPECT_EQ(base::c_atoi("2147483647"), INT32_MAX);
  EXPECT_EQ(base::c_atoi("2147483648"), INT32_MAX);
  EXPECT_EQ(base::c_atoi("-2147483648"), INT32_MIN);
  EXPECT_EQ(base::c_atoi("-99999999999999999999"), INT32_MIN);
}

TEST(SjisText, PathsSplitAtTheLastSeparatorAndTheLastDot) {
  EXPECT_EQ(base::file_name_part("data\\bg\\sky.png"), "sky.png");
  EXPECT_EQ(base::file_name_part("data/bg/sky.png"), "sky.png");
  EXPECT_EQ(base::file_name_part("C:sky.png"), "sky.png") << "a drive's own folder";
  EXPECT_EQ(base::file_name_part("sky.png"), "sky.png");
  // "ソ" (0x83 0x5C) ends in a backslash byte that separates nothing.
  EXPECT_EQ(base::file_name_part("\x83\x5C.png"), "\x83\x5C.png");

  EXPECT_EQ(base::strip_extension("scene.01.mjo"), "scene.01");
  EXPECT_EQ(base::extension_of("scene.01.mjo"), ".mjo");
  EXPECT_EQ(base::extension_of("README"), "");
  EXPECT_EQ(base::strip_extension(".hidden"), "");
  EXPECT_EQ(base::extension_of("name."), ".");
}

}  // namespace
