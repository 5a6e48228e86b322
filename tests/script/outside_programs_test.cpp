// The editor opened at an error line, and the outside compiler on a
// dropped file, with stand-in programs that record their arguments.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>

#include "script/outside_programs.h"
#include "tests/support/script_game.h"
#include "tests/support/test_engine.h"

using testing_support::ScriptGame;
using testing_support::TempDir;

namespace {

std::string recorder(const std::string& log) {
  return "#!/bin/sh\n(pwd; for a in \"$@\"; do echo \"$a\"; done) > \"" + log + ".tmp\"; mv \"" + log + ".tmp\" \"" +
         log + "\"\n";
}

std::string wait_for(const TempDir& dir, const std::string& name) {
  for (int i = 0; i < 500 && !dir.exists(name); ++i) usleep(10000);
  return dir.read(name);
}

TEST(OutsidePrograms, EditorOpensAtTheErrorLine) {
  ScriptGame game;
  game.file("bin/editor", recorder(game.dir / "editor.log"));
  chmod((game.dir / "bin/editor").c_str(), 0755);
  // The compiled script lies in fastdata/; its source one folder up.
  game.file("start.txt", "source");
  game.script("start", ".function $init@GLOBAL\n    return\nmain:\n    line 17\n    push_i 0\n"
                       "    syscall_discard rand, 1\n    syscall_discard system_end, 0\n");
  game.file("settings.ini", "Editor=" + (game.dir / "bin/editor") + " -l%line% \"%fn%\"\n");
  // With a (dummy) display: editors are only opened where someone looks.
  auto r = testing_support::run_program({"quorel", "--answer=retry", "--virtual-clock=10",
                                         "--settings=" + (game.dir / "settings.ini"), game.dir.path()});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  std::string log = wait_for(game.dir, "editor.log");
  EXPECT_EQ(log.substr(log.find('\n') + 1), "-l17\n" + game.dir.path() + "/start.txt\n") << "the editor's arguments";
}

// The editor command is the player's: a game that writes the setting
// would have the engine run a program of its choosing at its next error.
TEST(OutsidePrograms, AGameCannotChooseTheEditor) {
  ScriptGame game;
  game.file("bin/editor", recorder(game.dir / "editor.log"));
  chmod((game.dir / "bin/editor").c_str(), 0755);
  game.file("start.txt", "source");
  const std::string command = game.dir / "bin/editor";
  game.script("start", ".function $init@GLOBAL\n    return\nmain:\n    line 17\n"
                       "    push_i 7\n    push_s \"Editor\"\n    syscall_discard reg_set_int, 2\n"
                       "    push_s \"" + command + " %fn%\"\n    push_s \"EDITOR\"\n    syscall_discard reg_set_string, 2\n"
                       "    push_s \"none\"\n    push_s \"Editor\"\n    syscall reg_get_string, 2\n"
                       "    syscall_discard debugout, 1\n"
                       "    push_i 0\n    syscall_discard rand, 1\n    syscall_discard system_end, 0\n");
  auto r = testing_support::run_program({"quorel", "--answer=retry", "--virtual-clock=10",
                                         "--settings=" + (game.dir / "settings.ini"), game.dir.path()},
                                        {}, 60, {"VISUAL=", "EDITOR="});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  usleep(300000);  // an editor, had one been started, has written by now
  EXPECT_FALSE(game.dir.exists("editor.log")) << game.dir.read("editor.log");
  std::string settings = game.dir.read("settings.ini");
  for (char& ch : settings) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  EXPECT_EQ(settings.find("editor"), std::string::npos) << settings;
  EXPECT_NE(game.dir.read("debugout.log").find("none"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("\"Editor\""), std::string::npos) << r.err;
}

TEST(OutsidePrograms, CompilerStartsBesideTheDroppedFile) {
  TempDir dir;
  dir.write("src/QuorelCompile.exe", recorder(dir / "compile.log"));
  chmod((dir / "src/QuorelCompile.exe").c_str(), 0755);
  dir.write("src/scene 1.txt", "text");
  auto e = testing_support::make_engine(dir.path());
  rt::start_outside_compiler(*e, "src\\scene 1.txt");
  EXPECT_EQ(wait_for(dir, "compile.log"), dir.path() + "/src\n/f\n/t\n/d\n/txt\n/s" + dir.path() + "/src/scene 1.txt\n");
}

}  // namespace
