// The fast-read file: which file and line name the fast-read directory,
// when the directory is used, and the archive copies kept in it.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/text_file.h"
#include "resources/archive.h"
#include "resources/resources.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_engine.h"

using testing_support::bytes_of;
using testing_support::TempDir;

namespace {

std::string prefix_of(rt::Engine& e) { return e.res->fast_prefix; }

// A folder on another file system than the game's, or nothing.
std::optional<std::string> other_file_system(const TempDir& game) {
  if (!std::filesystem::is_directory("/dev/shm")) return std::nullopt;
  auto here = plat::native_device(game.path());
  auto there = plat::native_device("/dev/shm");
  if (!here || !there || *here == *there) return std::nullopt;
  return std::string("/dev/shm");
}

TEST(FastRead, LineCleanUp) {
  EXPECT_EQ(base::clean_config_line("  /cache/dir  ; a comment\r\n"), "/cache/dir");
  EXPECT_EQ(base::clean_config_line("\t/cache//comment"), "/cache");
  EXPECT_EQ(base::clean_config_line("/a;b//c"), "/a");
  EXPECT_EQ(base::clean_config_line("//only a comment"), "");
  EXPECT_EQ(base::clean_config_line(" \x01\x1f /x y \x7f"), "/x y \x7f") << "bytes up to the blank are stripped, DEL is not";
  // Shift-JIS: no trail byte is ";" or "/", and the second half 0x5C stays.
  EXPECT_EQ(base::clean_config_line("\x83\x5c\x83\x74\x83\x67 ;x"), "\x83\x5c\x83\x74\x83\x67");
}

TEST(FastRead, FirstUsableLineOfInfElseTxt) {
  TempDir game;
  game.write("fastread.txt", "/from/txt\n");
  game.write("fastread.inf", "\n   \n; comment only\n// another\n  cache-dir ; why\nsecond\nthird\nfourth\n");
  auto e = testing_support::make_engine(game.path());
  EXPECT_EQ(res::read_fastread_lines(*e, 3), (std::vector<std::string>{"cache-dir", "second", "third"}));
  std::filesystem::remove(game / "fastread.inf");
  EXPECT_EQ(res::read_fastread_lines(*e, 1), (std::vector<std::string>{"/from/txt"}));
  std::filesystem::remove(game / "fastread.txt");
  EXPECT_TRUE(res::read_fastread_lines(*e, 3).empty());
}

TEST(FastRead, SameFileSystemIsForgottenButItsSavedataIsMade) {
  TempDir game;
  game.make_dir("fastdata");
  game.write("FastRead.INF", "cache\\Nested ; on the game's own disk\n");
  auto e = testing_support::make_engine(game.path());
  res::register_startup_folders(*e);
  EXPECT_TRUE(std::filesystem::is_directory(game / "cache/Nested/savedata")) << "made with its parents";
  EXPECT_EQ(prefix_of(*e), "") << "a copy on the same file system gains nothing";
}

TEST(FastRead, UnusableDirectoryNeitherCrashesNorStopsTheSearch) {
  TempDir game;
  game.write("data/a.png", "data");
  game.write("blocker", "a file where a folder would have to be");
  game.write("fastread.inf", (game / "blocker/cache") + "\n");
  auto e = testing_support::make_engine(game.path());
  res::register_startup_folders(*e);
  EXPECT_EQ(game.read("blocker"), "a file where a folder would have to be");
  auto data = res::read_resource(*e, "a.png");
  ASSERT_TRUE(data);
  EXPECT_EQ(std::string(data->begin(), data->end()), "data");
}

TEST(FastRead, OtherFileSystemBecomesThePrefixWithFreshArchiveCopies) {
  TempDir game;
  auto other = other_file_system(game);
  if (!other) GTEST_SKIP() << "needs /dev/shm on a file system of its own";
  TempDir fast(/*in_memory=*/true);
  std::vector<uint8_t> archive;
  std::string error;
  ASSERT_TRUE(res::build_archive({{"pic.png", bytes_of("from the archive")}}, &archive, &error));
  game.write("data1.arc", archive);
  game.write("data/only.png", "in the game folder");
  fast.write("only.png", "in the fast-read folder");
  game.write("fastread.inf", fast.path() + "  // the copy\n");
  auto e = testing_support::make_engine(game.path());
  res::register_startup_folders(*e);
  EXPECT_EQ(prefix_of(*e), fast.path() + "\\");
  EXPECT_TRUE(fast.exists("savedata"));
  EXPECT_EQ(fast.read("data1.arc"), game.read("data1.arc")) << "the archive was copied before it was registered";
  auto path = res::FfFilePath(*e, "PIC.png");
  ASSERT_TRUE(path);
  EXPECT_EQ(*path, fast / "data1.arc") << "and is read from the copy";
  auto only = res::read_resource(*e, "only.png");
  ASSERT_TRUE(only);
  EXPECT_EQ(std::string(only->begin(), only->end()), "in the fast-read folder");
}

}  // namespace
