// The runtime's own built-ins, called from scripts.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "tests/support/script_game.h"

using testing_support::GameRun;
using testing_support::ScriptGame;

namespace {

std::string program(const std::string& body) {
  return ".function $init@GLOBAL\n    return\nmain:\n" + body + "\n    syscall_discard system_end, 0\n";
}

// Calls a built-in with arguments given first-to-last and logs its result.
std::string call(const std::string& name, std::vector<std::string> pushes) {
  std::string s;
  for (auto it = pushes.rbegin(); it != pushes.rend(); ++it) s += "    " + *it + "\n";
  s += "    syscall " + name + ", " + std::to_string(pushes.size()) + "\n    syscall_discard debugout, 1\n";
  return s;
}

TEST(RuntimeBuiltins, Strings) {
  ScriptGame game;
  // 日本語テキスト: seven double-byte characters.
  const std::string jp = "push_s \"日本語テキスト\"";
  game.script("start", program(
      call("mid", {jp, "push_i 2", "push_i 3"}) + call("mid", {jp, "push_i 9", "push_i 3"}) +
      call("mid", {jp, "push_i 5", "push_i 99"}) + call("left", {jp, "push_i 2"}) + call("left", {jp, "push_i 50"}) +
      call("right", {jp, "push_i 3"}) + call("strlen", {jp}) + call("strlen", {"push_s \"abc日本\""}) +
      call("strcmp", {"push_s \"b\"", "push_s \"a\""}) + call("stricmp", {"push_s \"ABC\"", "push_s \"abc\""}) +
      call("itoa", {"push_i -42"}) + call("atoi", {"push_s \"  17xyz\""}) +
      call("csv_count", {"push_s \"a,b,,c\""}) + call("csv_field", {"push_s \"a, \\\"b c\\\" ,d\"", "push_i 1"}) +
      call("csv_field", {"push_s \"a,b\"", "push_i 5"}) + call("strlwr", {"push_s \"ABC日本\""}) +
      call("strupr", {"push_s \"abc\""}) + call("strstr", {"push_s \"日本語abc\"", "push_s \"abc\""}) +
      call("strstr", {"push_s \"x\"", "push_s \"y\""}) + call("string_hash", {"push_s \"ABC\""})));
  GameRun r = game.run({"--answer=retry"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, (std::vector<std::string>{
                       "語テキ ", " ", "スト ", "日本 ", "日本語テキスト ", "キスト ", "7 ", "5 ", "-1 ", "0 ",
                       "-42 ", "17 ", "4 ", "b c ", " ", "abc日本 ", "ABC ", "3 ", "-1 ",
                       std::to_string(static_cast<int32_t>(0x352441C2u)) + " "}));
}

// A CSV field loses its outer blanks and one pair of enclosing quotes; a
// lone quote is not a pair and stays.
TEST(RuntimeBuiltins, CsvFieldsLoseOnePairOfEnclosingQuotes) {
  const std::string line = R"(push_s "a,\",\"\"y\"\", \"z\" ")";
  ScriptGame game;
  game.script("start", program(call("csv_field", {line, "push_i 1"}) + call("csv_field", {line, "push_i 2"}) +
                               call("csv_field", {line, "push_i 3"})));
  GameRun r = game.run({"--answer=retry"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, (std::vector<std::string>{"\" ", "\"y\" ", "z "}));
}

TEST(RuntimeBuiltins, NumbersArraysAndVariablesByName) {
  ScriptGame game;
  game.script("start", program(
      call("max", {"push_i 3", "push_i 9"}) + call("min", {"push_i 3", "push_i 9"}) + call("abs", {"push_i -5"}) +
      call("max", {"push_f 1.5", "push_i 1"}) + call("sin", {"push_f 90.0"}) + call("cos", {"push_f 0.0"}) +
      // A string and a missing argument count as 0.
      call("min", {"push_s \"x\"", "push_i -2"}) + call("max", {"push_i -4"}) +
      // The engine's generator: seed 1 gives 41, 18467, 6334, ...
      call("rand", {"push_i 100"}) + call("rand", {"push_i 100"}) +
      "    push_i 55\n    push_s \"%flag\"\n    syscall_discard set_variable, 2\n" +
      call("get_variable", {"push_s \"%flag@GLOBAL\""}) +
      "    push_i 1\n    push_s \"_local\"\n    syscall_discard set_variable, 2\n" +
      "    push_i 1\n    push_s \"bad\"\n    syscall_discard set_variable, 2\n" +
      call("get_variable", {"push_s \"@missing\""}) +
      "    push_i 4\n    push_i 3\n    push_i 2\n    syscall int_array, 3\n    st_ref_ia_pop @cube\n"
      "    push_i 9\n    push_i 3\n    push_i 2\n    push_i 1\n    ast_i_pop @cube[3]\n"
      "    push_i 3\n    push_i 2\n    push_i 1\n    load_elem i @cube[3]\n    syscall_discard debugout, 1\n"
      "    push_i 0\n    syscall_discard int_array, 1\n"
      // Every size counts, the outer and the middle one too.
      "    push_i 2\n    push_i 2\n    push_i 0\n    syscall_discard int_array, 3\n"
      "    push_i 2\n    push_i 0\n    push_i 2\n    syscall_discard int_array, 3\n"));
  GameRun r = game.run({"--answer=retry", "--seed=1"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  ASSERT_GE(r.log.size(), 17u);
  EXPECT_EQ(std::vector<std::string>(r.log.begin(), r.log.begin() + 11),
            (std::vector<std::string>{"9 ", "3 ", "5 ", "1.500000 ", "1.000000 ", "1.000000 ", "-2 ", "0 ", "41 ",
                                      "67 ", "55 "}));
  EXPECT_NE(r.log[11].find("set_variable : [ _local@GLOBAL ]ローカル変数は設定できません"), std::string::npos);
  EXPECT_NE(r.log[12].find("set_variable : [ bad@GLOBAL ]変数名が間違っています"), std::string::npos);
  EXPECT_NE(r.log[13].find("get_variable : 変数[ @missing@GLOBAL ]は存在しません"), std::string::npos);
  EXPECT_EQ(r.log[15], "9 ") << "[1][2][3] of a 2x3x4 array";
  ASSERT_EQ(r.log.size(), 19u);
  for (size_t i = 16; i < 19; ++i) EXPECT_NE(r.log[i].find("配列数は1以上を指定してください。"), std::string::npos) << i;
}

TEST(RuntimeBuiltins, TextFiles) {
  ScriptGame game;
  game.file("fastdata/table.csv",
            "; a comment line\r\n"
            "  10, 20 ,,30  // trailing comment\r\n"
            "\r\n"
            "\"quoted text\",plain\r\n"
            "the rest of a line; comment\r\n");
  game.script("start", program(
      "    push_s \"table.csv\"\n    syscall file_open, 1\n    st_i_pop @h\n" +
      call("file_read", {"load i @h"}) + call("file_read", {"load i @h"}) + call("file_read", {"load i @h"}) +
      call("file_read_string", {"load i @h"}) + call("file_read_line", {"load i @h"}) +
      call("file_read_line", {"load i @h"}) + call("file_read", {"load i @h"}) +
      "    load i @h\n    syscall_discard file_close, 1\n" + call("file_read", {"load i @h"})));
  GameRun r = game.run({"--answer=retry"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, (std::vector<std::string>{"10 ", "20 ", "30 ", "quoted text ", "plain ", "the rest of a line ",
                                             "0 ", "0 "}));
}

TEST(RuntimeBuiltins, MessageBoxesAnswerAsToldAndFormatTheirArguments) {
  ScriptGame game;
  game.script("start", program(
      "    push_s \"x\"\n    push_f 0.5\n    push_i 3\n    syscall msgbox_yesno, 3\n    syscall_discard debugout, 1\n" +
      call("msgbox_okcancel", {"push_s \"q\""}) + call("msgbox_warning_retrycancel", {"push_s \"w\""}) +
      "    push_i 2\n    syscall int_array, 1\n    syscall msgbox_error_yesno, 1\n    syscall_discard debugout, 1\n" +
      call("is_debug", {})));
  GameRun r = game.run({"--answer=yes"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  ASSERT_EQ(r.boxes.size(), 4u) << r.err;
  EXPECT_NE(r.boxes[0].find("| 3 0.500000 x  | yes/no -> yes"), std::string::npos) << r.boxes[0];
  EXPECT_NE(r.boxes[1].find("| q  | ok/cancel -> ok"), std::string::npos) << "no matching button: the first";
  EXPECT_NE(r.boxes[3].find("[INT_ARRAY]"), std::string::npos);
  EXPECT_EQ(r.log, (std::vector<std::string>{"1 ", "1 ", "1 ", "[INT_ARRAY] ", "1 ", "1 "}));
}

TEST(RuntimeBuiltins, SettingsAndFolders) {
  ScriptGame game;
  game.file("extra/late.png", "x");
  game.script("start", program(
      "    push_i 123\n    push_s \"Custom\"\n    syscall_discard reg_set_int, 2\n"
      "    push_s \"テキスト\"\n    push_s \"Words\"\n    syscall_discard reg_set_string, 2\n" +
      call("reg_get_int", {"push_s \"Custom\"", "push_i 0"}) + call("reg_get_int", {"push_s \"Nope\"", "push_i -7"}) +
      call("reg_get_string", {"push_s \"Words\"", "push_s \"\""}) +
      // A stored string comes back as at most 511 bytes.
      "    push_s \"\"\n    push_s \"Long\"\n    syscall reg_get_string, 2\n    syscall strlen, 1\n"
      "    syscall_discard debugout, 1\n"
      "    push_s \"\"\n    push_s \"Mid\"\n    syscall reg_get_string, 2\n    syscall strlen, 1\n"
      "    syscall_discard debugout, 1\n"
      // ... and the cut keeps double-byte characters whole.
      "    push_s \"\"\n    push_s \"Kana\"\n    syscall reg_get_string, 2\n    syscall strlen, 1\n"
      "    syscall_discard debugout, 1\n" +
      call("get_nanido", {}) +
      call("get_game_speed", {}) + call("client_width", {}) +
      "    push_s \"c:\\\\game\\\\extra\"\n    syscall_discard folder_add, 1\n" +
      "    push_s \"late.png\"\n    syscall file_open, 1\n    syscall_discard debugout, 1\n"));
  std::string kana300;
  for (int i = 0; i < 300; ++i) kana300 += "あ";
  game.file("settings.ini", "NANIDO=9\nGameSpeed=-3\nLong=" + std::string(600, 'x') + "\nMid=" + std::string(300, 'y') +
                             "\nKana=" + kana300 + "\n");
  GameRun r = game.run({"--answer=retry"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, (std::vector<std::string>{"123 ", "-7 ", "テキスト ", "511 ", "300 ", "255 ", "4 ", "0 ", "640 ", "1 "}));
  std::string settings = game.dir.read("settings.ini");
  EXPECT_NE(settings.find("Custom=123"), std::string::npos);
  EXPECT_NE(settings.find("Words=テキスト"), std::string::npos) << "UTF-8 on disk";
}

TEST(RuntimeBuiltins, DesktopProgramsGetArgumentVectors) {
  // Stand-ins for xdg-open and gsettings record how they were called.
  ScriptGame game;
  std::string bin = game.dir / "bin";
  game.file("bin/xdg-open", "#!/bin/sh\nprintf '%s|' \"$@\" >> \"" + (game.dir / "calls") + "\"; echo >> \"" +
                                (game.dir / "calls") + "\"\n");
  game.file("bin/gsettings", "#!/bin/sh\nprintf '%s|' \"$@\" >> \"" + (game.dir / "calls") + "\"; echo >> \"" +
                                 (game.dir / "calls") + "\"\n");
  chmod((bin + "/xdg-open").c_str(), 0755);
  chmod((bin + "/gsettings").c_str(), 0755);
  game.file("fastdata/my wall #1'.png", "png");
  game.script("start", program(
      "    push_s \"https://example.org/a b;$(rm -rf /)\"\n    syscall_discard shell_open, 1\n" +
      call("set_wallpaper", {"push_s \"fastdata\\\\my wall #1'.png\"", "push_i 2"}) +
      "    push_i 20\n    syscall_discard wait, 1\n"));
  auto argv = std::vector<std::string>{"quorel", "--headless", "--virtual-clock=10", "--settings=" + (game.dir / "s.ini"),
                                        game.dir.path()};
  auto r = testing_support::run_program(argv, {}, 60, {"PATH=" + bin + ":/usr/bin:/bin"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  std::string calls = game.dir.read("calls");
  EXPECT_NE(calls.find("https://example.org/a b;$(rm -rf /)|"), std::string::npos) << "one argument, no shell: " << calls;
  // A URI in a quoted settings value, whatever the file's name holds.
  EXPECT_NE(calls.find("set|org.gnome.desktop.background|picture-uri|'file://" + game.dir.path() +
                       "/fastdata/my%20wall%20%231%27.png'|"),
            std::string::npos) << calls;
  EXPECT_NE(calls.find("picture-options|stretched|"), std::string::npos);
}

// A script opens files of the game on the desktop, and addresses; never a
// file outside the game's folder, however the name is spelled.
TEST(RuntimeBuiltins, DesktopOpensOnlyFilesOfTheGame) {
  testing_support::TempDir outside;
  outside.write("secret.html", "private");
  const std::string beside = std::filesystem::path(outside.path()).filename().string();
  ScriptGame game;
  std::string bin = game.dir / "bin";
  game.file("bin/xdg-open", "#!/bin/sh\nprintf '%s|' \"$@\" >> \"" + (game.dir / "calls") + "\"; echo >> \"" +
                                (game.dir / "calls") + "\"\n");
  chmod((bin + "/xdg-open").c_str(), 0755);
  game.file("manual.html", "help");
  auto open = [](const std::string& target) { return "    push_s \"" + target + "\"\n    syscall_discard shell_open, 1\n"; };
  game.script("start", program(open("x:\\\\..\\\\..\\\\" + beside + "\\\\secret.html") +
                               open("file://" + outside.path() + "/secret.html") +
                               open("FILE:" + outside.path() + "/secret.html") +
                               open("../" + beside + "/secret.html") + open("MANUAL.HTML") +
                               open("mailto:someone@example.org") + "    push_i 20\n    syscall_discard wait, 1\n"));
  auto r = testing_support::run_program(
      {"quorel", "--headless", "--virtual-clock=10", "--settings=" + (game.dir / "s.ini"), game.dir.path()}, {}, 60,
      {"PATH=" + bin + ":/usr/bin:/bin"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  std::string calls = game.dir.read("calls");
  EXPECT_EQ(calls.find("secret"), std::string::npos) << calls;
  EXPECT_NE(calls.find(game.dir / "manual.html|"), std::string::npos) << calls;
  EXPECT_NE(calls.find("mailto:someone@example.org|"), std::string::npos) << calls;
}

}  // namespace
