// Game data is untrusted: what a game folder may make the engine write, and
// how a run ends when it is interrupted or its outputs cannot be written.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/support/process.h"
#include "tests/support/script_game.h"
#include "tests/support/temp_dir.h"

using testing_support::Background;
using testing_support::run_program;
using testing_support::ScriptGame;
using testing_support::TempDir;
namespace fs = std::filesystem;

namespace {

// Logs a line, then waits in a loop until the run is ended from outside.
const char kLogThenWait[] = R"(
.function $init@GLOBAL
    return
main:
    line 1
    push_s "up"
    syscall_discard debugout, 1
again:
    push_i 50
    syscall_discard wait, 1
    jmp again
)";

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(GameDataSafety, LinksPlantedInTheGameFolderAreNotFollowed) {
  TempDir outside;
  outside.write("shell_startup", "precious\n");
  outside.make_dir("elsewhere");
  // Looks like a save cut short, but belongs to whoever owns that folder.
  outside.write("elsewhere/quorel_0001.sav.tmp.Ab12Cd", "theirs");
  ScriptGame game;
  game.script("start", std::string(kLogThenWait));
  ASSERT_EQ(symlink((outside / "shell_startup").c_str(), (game.dir / "debugout.log").c_str()), 0);
  ASSERT_EQ(symlink((outside / "elsewhere").c_str(), (game.dir / "savedata").c_str()), 0);

  auto r = game.run({"--max-frames=20"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(outside.read("shell_startup"), "precious\n") << "the log went through the link";
  EXPECT_EQ(std::distance(fs::directory_iterator(outside / "elsewhere"), fs::directory_iterator()), 1)
      << "read marks went through the linked folder";
  EXPECT_EQ(outside.read("elsewhere/quorel_0001.sav.tmp.Ab12Cd"), "theirs") << "removed through the linked folder";
  EXPECT_TRUE(contains(r.err, "debugout.log: it is a symbolic link")) << r.err;
  EXPECT_TRUE(contains(r.err, "a folder on the way is a link that leads out of")) << r.err;
  // Said once, though the script logs on every run of the loop.
  EXPECT_EQ(r.err.find("it is a symbolic link"), r.err.rfind("it is a symbolic link")) << r.err;
  EXPECT_TRUE(fs::is_symlink(game.dir / "debugout.log"));

  // A link that stays inside the game's own folder is fine.
  fs::remove(game.dir / "debugout.log");
  fs::remove(game.dir / "savedata");
  game.dir.make_dir("real_saves");
  ASSERT_EQ(symlink("real_saves", (game.dir / "savedata").c_str()), 0);
  auto inside = game.run({"--max-frames=20"});
  EXPECT_EQ(inside.exit_code, 0) << inside.err;
  EXPECT_TRUE(game.dir.exists("real_saves/quorel_readmark.mss")) << inside.err;
  ASSERT_EQ(inside.log.size(), 1u);
  EXPECT_TRUE(contains(inside.log[0], "up"));
}

TEST(GameDataSafety, LinksPlantedInTheGameFolderDoNotLeadReadsOut) {
  TempDir outside;
  outside.write("stolen.wav", "theirs");
  outside.write("elsewhere/deep.wav", "theirs");
  ScriptGame game;
  std::string source = ".function $init@GLOBAL\n    return\nmain:\n";
  for (const char* name : {"leak", "deep", "alias", "inside"})
    source += std::string("    push_s \"") + name + "\"\n    syscall voice_is_exist, 1\n    syscall_discard debugout, 1\n";
  source += "    syscall_discard system_end, 0\n";
  game.script("start", source);
  game.file("fastdata/inside.wav", "ours");
  ASSERT_EQ(symlink((outside / "stolen.wav").c_str(), (game.dir / "fastdata/leak.wav").c_str()), 0);
  ASSERT_EQ(symlink((outside / "elsewhere").c_str(), (game.dir / "fastdata/linked").c_str()), 0);
  ASSERT_EQ(symlink("inside.wav", (game.dir / "fastdata/alias.wav").c_str()), 0);  // stays inside: fine

  auto r = game.run({"--max-frames=20"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, (std::vector<std::string>{"0 ", "0 ", "1 ", "1 "})) << r.err;
  EXPECT_TRUE(contains(r.err, "leak.wav: it is reached through a link that leads out of the game's folders")) << r.err;
}

TEST(GameDataSafety, FifosPlantedInTheGameFolderDoNotHangIt) {
  ScriptGame game;
  game.script("start", R"(
.function $init@GLOBAL
    return
main:
    push_s "table.csv"
    syscall file_open, 1
    st_i_pop @h
    load i @h
    syscall file_read_line, 1
    syscall_discard debugout, 1
    push_s "done"
    syscall_discard debugout, 1
    syscall_discard system_end, 0
)");
  game.dir.make_dir("savedata");
  // Nobody ever writes into these: opening one the usual way waits forever.
  ASSERT_EQ(mkfifo((game.dir / "fastdata/table.csv").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo((game.dir / "savedata/quorel_readmark.mss").c_str(), 0600), 0);

  auto r = game.run({"--max-frames=50"}, 20);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  ASSERT_EQ(r.log.size(), 2u) << r.err;
  EXPECT_TRUE(contains(r.log[1], "done"));
  EXPECT_TRUE(fs::is_regular_file(game.dir / "savedata/quorel_readmark.mss")) << "written in the FIFO's place";
}

TEST(GameDataSafety, SettingsSectionNamesCannotClimbOut) {
  TempDir config;
  config.write("other.ini", "Theirs=1\n");
  auto start = [&](const std::string& global, const std::string& local) {
    ScriptGame game("REG_GLOBAL " + global + "\nREG_LOCAL " + local + "\n");
    game.script("start", std::string(kLogThenWait));
    return run_program({"quorel", "--headless", "--virtual-clock=10", "--max-frames=5", game.dir.path()}, {}, 60,
                       {"XDG_CONFIG_HOME=" + config.path()});
  };
  // "<config>/quorel/../other.ini" is another program's file.
  auto climbing = start("..", "other");
  EXPECT_EQ(climbing.exit_code, 0) << climbing.err;
  EXPECT_EQ(config.read("other.ini"), "Theirs=1\n");
  EXPECT_TRUE(contains(climbing.err, "REG_GLOBAL \"..\" is refused")) << climbing.err;
  EXPECT_FALSE(fs::exists(config / "quorel/QUOREL_SYSTEM")) << "a refused name is not replaced by the default";

  for (const char* bad : {"a\\..\\..\\..\\x", "\\abs", "a\\\\b", "."}) {
    auto r = start("Maker", bad);
    EXPECT_TRUE(contains(r.err, "REG_LOCAL")) << bad << ": " << r.err;
  }
  EXPECT_EQ(config.read("other.ini"), "Theirs=1\n");

  // Backslashes make nested folders, as the registry key did; a Shift-JIS
  // character whose second byte is 0x5C is not a separator.
  auto nested = start("Maker\\Series", "\x83\x5c\x83\x74\x83\x67");  // ソフト
  EXPECT_EQ(nested.exit_code, 0) << nested.err;
  EXPECT_TRUE(fs::exists(config / "quorel/Maker/Series/\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88.ini")) << nested.err;
}

TEST(GameDataSafety, FastReadFolderIsAnnouncedAndTakesOnlyItsFiles) {
  TempDir fast;
  ScriptGame game;
  game.script("start", std::string(kLogThenWait));
  game.file("fastread.inf", fast.path() + "\n");
  auto r = game.run({"--max-frames=20"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  const std::string notice = "fastread.inf: reading game data from and writing save data";
  ASSERT_TRUE(contains(r.err, notice)) << r.err;
  EXPECT_EQ(r.err.find(notice), r.err.rfind(notice)) << "said once";
  EXPECT_TRUE(fast.exists("savedata/quorel_readmark.mss"));
  EXPECT_TRUE(contains(fast.read("debugout.log"), "up"));
}

// F1 opens the game's help document on the desktop: a file of the game,
// whatever the environment file names.
TEST(GameDataSafety, HelpDocumentIsAFileOfTheGame) {
  TempDir outside;
  outside.write("secret.html", "private");
  std::string beside = fs::path(outside.path()).filename().string();
  std::string absolute = outside / "secret.html";
  std::replace(absolute.begin(), absolute.end(), '/', '\\');
  for (const std::string& help : {"..\\" + beside + "\\secret.html", absolute, std::string("Manual.html")}) {
    ScriptGame game("HELP_FILE " + help + "\n");
    game.script("start", std::string(kLogThenWait));
    game.file("manual.html", "help");
    game.file("input.txt", "100 key press f1\n");
    game.file("bin/xdg-open", "#!/bin/sh\nprintf '%s|' \"$@\" >> \"" + (game.dir / "calls") + "\"\n");
    chmod((game.dir / "bin/xdg-open").c_str(), 0755);
    // In a window (of the dummy video driver): a headless run opens nothing.
    auto r = run_program({"quorel", "--virtual-clock=10", "--max-frames=30", "--input=" + (game.dir / "input.txt"),
                          "--settings=" + (game.dir / "settings.ini"), game.dir.path()},
                         {}, 60, {"PATH=" + (game.dir / "bin") + ":/usr/bin:/bin"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    // The opener runs detached: give it a moment to write.
    for (int i = 0; i < 100 && help[0] == 'M' && !game.dir.exists("calls"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::string calls = game.dir.read("calls");
    if (help[0] == 'M')
      EXPECT_EQ(calls, (game.dir / "manual.html") + "|") << r.err;
    else {
      EXPECT_EQ(calls, "") << help;
      EXPECT_TRUE(contains(r.err, "HELP_FILE \"" + help + "\" is refused")) << r.err;
    }
  }
}

TEST(RunEnd, EachTerminationSignalEndsLikeAConfirmedQuit) {
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    ScriptGame game;
    game.script("start", std::string(kLogThenWait));
    Background run({"quorel", "--headless", "--settings=" + (game.dir / "settings.ini"), game.dir.path()}, {},
                   game.dir / "stderr.txt");
    for (int i = 0; i < 3000 && !contains(game.dir.read("debugout.log"), "up"); ++i) {
      ASSERT_TRUE(run.running()) << game.dir.read("stderr.txt");
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(contains(game.dir.read("settings.ini"), "AbnormalTerminateFlg=1"));
    kill(run.pid(), sig);
    ASSERT_TRUE(run.wait(30000)) << "signal " << sig << " did not end the run";
    EXPECT_EQ(run.exit_code(), 0) << "signal " << sig << ": " << game.dir.read("stderr.txt");
    EXPECT_TRUE(contains(game.dir.read("settings.ini"), "AbnormalTerminateFlg=0")) << "signal " << sig;
    EXPECT_TRUE(game.dir.exists("savedata/quorel_readmark.mss")) << "signal " << sig;
  }
}

TEST(RunEnd, AFrameLimitStopsAScriptThatNeverWaits) {
  ScriptGame game;
  game.script("start", R"(
.function $init@GLOBAL
    return
main:
top:
    jmp top
)");
  auto r = game.run({"--max-frames=3"}, 60);
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.exit_code, 0) << r.err;

  // The quit of an input file reaches it as well.
  game.file("quit.txt", "100 quit\n");
  auto quit = game.run({"--max-frames=1000000", "--answer=yes", "--input=" + (game.dir / "quit.txt")}, 60);
  EXPECT_FALSE(quit.timed_out);
  EXPECT_EQ(quit.exit_code, 0) << quit.err;
}

// The frame limit counts every pass, the restarts of a start script that
// ends at once among them: the run takes its picture of the last pass and
// never reaches the one after. (The first pass is the initialisation run,
// which the game's start follows whatever the limit: limits from 2.)
TEST(RunEnd, AFrameLimitCountsTheRestartsOfAScriptThatEndsAtOnce) {
  ScriptGame game;
  game.script("start", R"(
.function $init@GLOBAL
    return
main:
    push_s "started"
    syscall_discard debugout, 1
    return
)");
  for (int limit = 2; limit <= 6; ++limit) {
    SCOPED_TRACE("limit " + std::to_string(limit));
    const std::string last = game.dir / ("last" + std::to_string(limit) + ".png");
    const std::string beyond = game.dir / ("beyond" + std::to_string(limit) + ".png");
    auto r = game.run({"--max-frames=" + std::to_string(limit), "--screenshot-at=" + std::to_string(limit) + ":" + last,
                       "--screenshot-at=" + std::to_string(limit + 1) + ":" + beyond});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_FALSE(r.log.empty()) << "the script started";
    EXPECT_TRUE(fs::exists(last));
    EXPECT_FALSE(fs::exists(beyond));
  }
}

TEST(RunEnd, OutputsThatCannotBeWrittenFailTheRun) {
  ScriptGame game;
  game.script("start", std::string(kLogThenWait));
  const std::string nowhere = game.dir / "no/such/folder";
  auto shot = game.run({"--max-frames=5", "--screenshot=" + nowhere + "/shot.png"});
  EXPECT_EQ(shot.exit_code, 1) << shot.err;
  EXPECT_TRUE(contains(shot.err, "cannot write the screenshot")) << shot.err;
  EXPECT_TRUE(contains(game.dir.read("settings.ini"), "AbnormalTerminateFlg=0")) << "the game still shut down";

  auto sound = game.run({"--max-frames=5", "--audio-out=" + nowhere + "/out.wav"});
  EXPECT_EQ(sound.exit_code, 1) << sound.err;
  EXPECT_TRUE(contains(sound.err, "No such file or directory")) << sound.err;

  auto folder = game.run({"--max-frames=5", "--input=" + game.dir.path()});
  EXPECT_EQ(folder.exit_code, 2) << folder.err;
  EXPECT_TRUE(contains(folder.err, "is a folder")) << folder.err;

  // The settings are not an output of the run, but a player whose choices
  // are not kept is told so, once.
  game.file("plain", "a file, not a folder");
  auto settings = run_program({"quorel", "--headless", "--virtual-clock=10", "--max-frames=5",
                               "--settings=" + (game.dir / "plain/s.ini"), game.dir.path()});
  EXPECT_EQ(settings.exit_code, 0) << settings.err;
  const std::string said = "cannot write the settings file " + (game.dir / "plain/s.ini") + ": Not a directory";
  EXPECT_TRUE(contains(settings.err, said)) << settings.err;
  EXPECT_EQ(settings.err.find(said), settings.err.rfind(said)) << settings.err;

  auto fine = game.run({"--max-frames=5", "--screenshot=" + (game.dir / "shot.bmp")});
  EXPECT_EQ(fine.exit_code, 0) << fine.err;
  EXPECT_TRUE(game.dir.exists("shot.bmp"));
}

TEST(RunEnd, ALockThatCannotBeTakenSaysWhyAndFails) {
  ScriptGame game;
  game.script("start", std::string(kLogThenWait));
  TempDir home;
  home.write("not_a_folder", "x");
  // No runtime folder, and a cache folder that cannot be made.
  auto r = run_program({"quorel", "--headless", "--max-frames=5", "--settings=" + (game.dir / "s.ini"),
                        game.dir.path()},
                       {}, 60, {"XDG_RUNTIME_DIR=", "XDG_CACHE_HOME=" + (home / "not_a_folder")});
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_TRUE(contains(r.err, "cannot take the single-instance lock")) << r.err;
  EXPECT_TRUE(contains(r.err, home / "not_a_folder")) << r.err;

  // Without a runtime folder the lock goes to the user's cache, never /tmp.
  auto cached = run_program({"quorel", "--headless", "--max-frames=5", "--settings=" + (game.dir / "s.ini"),
                             game.dir.path()},
                            {}, 60, {"XDG_RUNTIME_DIR=", "XDG_CACHE_HOME=" + (home / "cache")});
  EXPECT_EQ(cached.exit_code, 0) << cached.err;
  bool lock_there = false;
  for (const auto& entry : fs::directory_iterator(home / "cache/quorel"))
    lock_there |= entry.path().extension() == ".lock";
  EXPECT_TRUE(lock_there);
}

}  // namespace
