// Loading compiled scripts: names, the scrambled form, reloads, function
// lookup, and files that are not what they claim to be.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include "base/crc32.h"
#include "resources/resources.h"
#include "script/script_file.h"
#include "script/script_machine.h"
#include "tests/support/script_game.h"
#include "tests/support/test_engine.h"

using testing_support::GameRun;
using testing_support::ScriptGame;
using testing_support::TempDir;

namespace {

void set_mtime(const std::string& path, time_t when) {
  struct utimbuf times = {when, when};
  utime(path.c_str(), &times);
}

TEST(Loader, NamesResolveToOneRecordAndReloadWhenTheFileChanges) {
  ScriptGame game;
  game.script("start", "main:\n    return\n");
  set_mtime(game.dir / "fastdata/start.mjo", 1000000000);
  auto e = testing_support::make_engine(game.dir.path());
  res::register_startup_folders(*e);
  rt::LoadedScript& a = rt::load_script(*e, "start");
  EXPECT_EQ(a.name, "START.MJO");
  EXPECT_EQ(&rt::load_script(*e, "Start.mjs"), &a);
  EXPECT_EQ(&rt::load_script(*e, "scenario\\START.MJO"), &a);
  EXPECT_EQ(e->vm->files.list.size(), 1u);
  const uint32_t old_base = a.base;
  const uint32_t generation = e->vm->files.generation;

  // A new file time: the same record, with the new code at a fresh address.
  game.script("start", "main:\n    push_i 1\n    pop\n    return\n");
  set_mtime(game.dir / "fastdata/start.mjo", 1000000100);
  rt::LoadedScript& b = rt::load_script(*e, "start");
  EXPECT_EQ(&b, &a);
  EXPECT_EQ(b.code.size(), 10u);
  EXPECT_NE(b.base, old_base) << "frames into the old code must not run the new one";
  EXPECT_NE(e->vm->files.generation, generation);
  EXPECT_EQ(rt::script_of(*e, old_base), nullptr);
}

TEST(Loader, FunctionsResolveInTheRunningFileFirst) {
  ScriptGame game;
  game.script("one", ".function $f@GLOBAL\n    return\n.function $only_one@GLOBAL\n    return\n");
  game.script("two", ".function $f@GLOBAL\n    return\n");
  auto e = testing_support::make_engine(game.dir.path());
  res::register_startup_folders(*e);
  rt::LoadedScript& one = rt::load_script(*e, "one");
  rt::LoadedScript& two = rt::load_script(*e, "two");
  const uint32_t f = base::crc32("$f@GLOBAL");
  EXPECT_EQ(rt::lookup_function(*e, f, one.base + 1), one.base) << "the executing file wins";
  EXPECT_EQ(rt::lookup_function(*e, f, 0), two.base) << "else the most recently loaded";
  EXPECT_EQ(rt::lookup_function(*e, base::crc32("$only_one@GLOBAL"), two.base), one.base + 2);
  EXPECT_EQ(rt::lookup_function(*e, base::crc32("$none@GLOBAL"), 0), 0u);
}

TEST(Loader, ScrambledCodeRunsToItsLastByte) {
  // Code longer than one 1024-byte block of the key stream, ending off a boundary.
  std::string body;
  for (int i = 0; i < 200; ++i) body += "    push_i " + std::to_string(i) + "\n    pop\n";
  ScriptGame game;
  game.script("start",
              ".function $init@GLOBAL\n    return\nmain:\n" + body +
                  "    push_s \"scrambled ok\"\n    syscall_discard debugout, 1\n    syscall_discard system_end, 0\n",
              /*scrambled=*/true);
  std::string file = game.dir.read("fastdata/start.mjo");
  ASSERT_EQ(file.substr(0, 16), std::string("QuorelObjX1.000\0", 16));
  GameRun r = game.run();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, (std::vector<std::string>{"scrambled ok "}));
}

TEST(Loader, DamagedFilesAreRefusedWithTheLoadBox) {
  std::vector<uint8_t> good = testing_support::assemble_or_fail(".function $init@GLOBAL\n    return\nmain:\n    return\n");
  auto damaged = [&](auto change) {
    std::vector<uint8_t> bytes = good;
    change(bytes);
    return bytes;
  };
  std::vector<std::vector<uint8_t>> cases = {
      damaged([](auto& b) { b[15] = 'x'; }),                                  // magic
      damaged([](auto& b) { b.resize(b.size() - 1); }),                       // truncated code
      damaged([](auto& b) { b[24] = 0xFF; b[25] = 0xFF; b[26] = 0xFF; }),     // huge function count
      damaged([](auto& b) { b[32] = 0x40; }),                                 // function offset past the code
      damaged([](auto& b) { b[36] = b[37] = b[38] = b[39] = 0xFF; }),         // 4 GB of code
      damaged([](auto& b) { b[16] = 0x30; }),                                 // entry point past the code
      {},                                                                     // empty file
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    ScriptGame game;
    game.dir.write("fastdata/start.mjo", cases[i]);
    GameRun r = game.run();
    EXPECT_EQ(r.exit_code, 255) << "case " << i;
    ASSERT_EQ(r.boxes.size(), 1u) << "case " << i << r.err;
    EXPECT_NE(r.boxes[0].find("QuorelObj : ファイル [start] の読み込みで失敗しました | retry/cancel -> cancel"),
              std::string::npos) << r.boxes[0];
  }
}

TEST(Loader, MissingInitFunctionAndEntryPoint) {
  ScriptGame without_init;
  without_init.script("start", "main:\n    return\n");
  GameRun r = without_init.run();
  EXPECT_EQ(r.exit_code, 0);
  ASSERT_EQ(r.boxes.size(), 1u);
  EXPECT_NE(r.boxes[0].find("[start.msj]に $init@GLOBAL 関数がありません | ok"), std::string::npos);

  ScriptGame without_entry;
  without_entry.script("start", ".noentry\n.function $init@GLOBAL\n    return\n");
  GameRun r2 = without_entry.run({"--answer=retry", "--max-frames=3"});
  ASSERT_FALSE(r2.boxes.empty()) << r2.err;
  EXPECT_NE(r2.boxes[0].find("[start.mjs]実行関数が設定されていません。"), std::string::npos);
}

TEST(ErrorReports, PositionsOfTheActiveFrames) {
  // An error at depth 5 names frames 2, 3 and 4 and the current one, then a
  // line break and the text.
  std::string source = ".function $init@GLOBAL\n    return\nmain:\n    line 1\n    call_fn $f1@GLOBAL, 0\n";
  for (int d = 1; d <= 5; ++d) {
    source += ".function $f" + std::to_string(d) + "@GLOBAL\n    line " + std::to_string(d * 10) + "\n";
    source += d < 5 ? "    call_fn $f" + std::to_string(d + 1) + "@GLOBAL, 0\n    return\n"
                    : "    push_i 0\n    syscall_discard rand, 1\n    syscall_discard system_end, 0\n";
  }
  ScriptGame game;
  game.script("start", source);
  GameRun r = game.run({"--answer=retry"});
  EXPECT_EQ(r.exit_code, 0);
  ASSERT_EQ(r.boxes.size(), 1u);
  EXPECT_NE(r.boxes[0].find("| START.MJO(20).START.MJO(30).START.MJO(40).START.MJO(50) : \\n乱数の種に０が指定されました。 |"),
            std::string::npos) << r.boxes[0];
  ASSERT_EQ(r.log.size(), 2u);
  EXPECT_EQ(r.log[0], "START.MJO(20).START.MJO(30).START.MJO(40).START.MJO(50) : ");
}

TEST(ErrorReports, ReleaseModeIsSilentAndCancelEnds) {
  // Release mode: the data lies in "data", not "fastdata".
  ScriptGame game;
  std::string env = game.dir.read("fastdata/quorel.env");
  std::string script = ".function $init@GLOBAL\n    return\nmain:\n    push_i 0\n    syscall rand, 1\n"
                       "    syscall_discard debugout, 1\n    syscall is_debug, 0\n    st_i_pop #seen\n"
                       "    syscall_discard system_end, 0\n";
  game.dir.write("data/quorel.env", env);
  game.dir.write("data/start.mjo", testing_support::assemble_or_fail(script));
  std::remove((game.dir / "fastdata/quorel.env").c_str());
  rmdir((game.dir / "fastdata").c_str());
  GameRun r = game.run();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(r.boxes.empty()) << r.err;
  EXPECT_FALSE(game.dir.exists("debugout.log"));

  ScriptGame dev;
  dev.script("start", script);
  GameRun cancelled = dev.run({"--answer=cancel"});
  EXPECT_EQ(cancelled.exit_code, 255);
  EXPECT_EQ(cancelled.boxes.size(), 1u);
}

}  // namespace
