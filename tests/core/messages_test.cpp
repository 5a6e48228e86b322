// The English catalogue: the same keys and format directives as the
// Japanese one, and texts as the engine formats them shown in English.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>

#include "core/messages.h"
#include "platform/encoding.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

// key -> its directives in order ("%s", "%08X", ...).
std::map<std::string, std::vector<std::string>> catalogue(const std::filesystem::path& file) {
  std::map<std::string, std::vector<std::string>> keys;
  std::ifstream in(file);
  const std::regex row(R"re(^\s*(k\w+)\s*=\s*"(.*)"\s*$)re"), directive(R"(%[-0-9.l]*[a-zA-Z%])");
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (!std::regex_match(line, m, row)) continue;
    std::vector<std::string> found;
    const std::string text = m[2];
    for (std::sregex_iterator d(text.begin(), text.end(), directive), end; d != end; ++d)
      if (d->str() != "%%") found.push_back(d->str());
    EXPECT_TRUE(keys.emplace(m[1], found).second) << m[1] << " twice in " << file;
  }
  return keys;
}

TEST(Messages, TheEnglishCatalogueHasEveryKeyWithTheSameDirectives) {
  const std::filesystem::path res = std::filesystem::path(QUOREL_SOURCE_DIR) / "res";
  int tables = 0;
  for (const auto& entry : std::filesystem::directory_iterator(res)) {
    if (entry.path().extension() != ".msg") continue;
    ++tables;
    const auto japanese = catalogue(entry.path());
    const auto english = catalogue(res / "en" / entry.path().filename());
    EXPECT_FALSE(japanese.empty()) << entry.path();
    for (const auto& [key, directives] : japanese) {
      auto it = english.find(key);
      ASSERT_NE(it, english.end()) << key << " is missing from en/" << entry.path().filename().string();
      EXPECT_EQ(it->second, directives) << key << " in en/" << entry.path().filename().string();
    }
    for (const auto& [key, directives] : english)
      EXPECT_TRUE(japanese.count(key)) << key << " in en/" << entry.path().filename().string() << " is not a key";
  }
  EXPECT_GE(tables, 7);
}

std::string sjis(const std::string& utf8) { return *plat::utf8_to_sjis(utf8); }

TEST(Messages, FormattedTextsComeOutInEnglish) {
  // With the script position in front, and values of each kind carried over.
  EXPECT_EQ(rt::localise("en", sjis("START.MJO(3) : 組み込み関数[0000ABCD]は定義されていません")),
            "START.MJO(3) : Built-in function [0000ABCD] is not defined");
  EXPECT_EQ(rt::localise("en", sjis("関数のパラメータが(3個中、2番目)間違っています。")),
            "Wrong function parameter (of 3, number 2).");
  EXPECT_EQ(rt::localise("en", sjis("sprite_create_file : ファイル[背景.png]が存在しません")),
            sjis("sprite_create_file : the file [背景.png] does not exist"));
  // Two messages in one text; the more specific one wins over its tail.
  EXPECT_EQ(rt::localise("en", sjis("起動に必要なファイルが不足しています。\nインストールの異常終了、起動するフォルダ異常、等を確認してください。"
                                   "\nショートカットからの起動は作業フォルダの設定をご確認ください。\nページが存在しません")),
            "Files needed to start are missing.\nCheck that the installation finished and that the program starts in "
            "the right folder.\nWhen started from a shortcut, check its working folder.\nThe page does not exist");
  // Japanese stays byte for byte; so does text that is not the engine's.
  const std::string text = sjis("組み込み関数[0000ABCD]は定義されていません");
  EXPECT_EQ(rt::localise("ja", text), text);
  EXPECT_EQ(rt::localise("en", sjis("ミナ「こんにちは。」")), sjis("ミナ「こんにちは。」"));
}

TEST(Messages, TheProgramSpeaksEnglishWhenAsked) {
  testing_support::TempDir game;
  auto r = testing_support::run_program({"quorel", "--headless", "--lang=en", game.path()});
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_NE(r.err.find("| Files needed to start are missing.\\nCheck that"), std::string::npos) << r.err;
  auto ja = testing_support::run_program({"quorel", "--headless", game.path()});
  EXPECT_NE(ja.err.find("起動に必要なファイルが不足しています。"), std::string::npos) << ja.err;
  EXPECT_EQ(testing_support::run_program({"quorel", "--lang=fr", game.path()}).exit_code, 2);
}

}  // namespace
