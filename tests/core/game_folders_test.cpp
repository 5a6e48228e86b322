// Where "savedata" names from game data land: below the save-data folder
// when one is set, below the game folder otherwise, and nowhere at all when
// the name climbs out of it or is absolute, for reading as for writing.
#include "core/game_folders.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "core/engine.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_engine.h"

using testing_support::TempDir;

namespace {

const char* const kEscaping[] = {"..\\secret.txt", "savedata\\..\\..\\secret.txt", "\\etc\\passwd", "/etc/passwd",
                                 "C:secret.txt", "savedata\\.\\a.sav", ""};

TEST(GameFolders, SaveNamesStayBelowTheirFolder) {
  TempDir game;
  game.make_dir("savedata");
  auto e = testing_support::make_engine(game.path());

  EXPECT_EQ(rt::savedata_native_path(*e, "savedata\\quorel_0001.sav"), game / "savedata/quorel_0001.sav");
  auto written = rt::savedata_write_path(*e, "savedata\\new\\quorel_0002.sav");
  ASSERT_TRUE(written);
  EXPECT_EQ(*written, game / "savedata/new/quorel_0002.sav");
  EXPECT_TRUE(game.exists("savedata/new")) << "the folders on the way are made";

  for (const char* name : kEscaping) {
    SCOPED_TRACE(name);
    EXPECT_EQ(rt::savedata_native_path(*e, name), "");
    EXPECT_FALSE(rt::savedata_write_path(*e, name));
  }
  EXPECT_FALSE(game.exists("secret.txt"));
}

TEST(GameFolders, ASaveDataFolderTakesTheNames) {
  TempDir game, elsewhere;
  auto e = testing_support::make_engine(game.path());
  e->savedata_dir = elsewhere.path();

  EXPECT_EQ(rt::savedata_native_path(*e, "savedata\\quorel_0001.sav"), elsewhere / "savedata/quorel_0001.sav");
  auto written = rt::savedata_write_path(*e, "debugout.log");
  ASSERT_TRUE(written);
  EXPECT_EQ(*written, elsewhere / "debugout.log");
  for (const char* name : kEscaping) {
    SCOPED_TRACE(name);
    EXPECT_EQ(rt::savedata_native_path(*e, name), "");
    EXPECT_FALSE(rt::savedata_write_path(*e, name));
  }
}

TEST(GameFolders, ReadsDoNotFollowLinksOutOfTheSaveFolder) {
  TempDir game, outside;
  outside.write("quorel_0001.sav", "theirs");
  outside.write("private.txt", "theirs");
  game.make_dir("savedata");
  game.write("ours.sav", "ours");
  auto e = testing_support::make_engine(game.path());

  ASSERT_EQ(symlink((outside / "private.txt").c_str(), (game / "savedata/quorel_0002.sav").c_str()), 0);
  ASSERT_EQ(symlink((game / "ours.sav").c_str(), (game / "savedata/quorel_0003.sav").c_str()), 0);
  EXPECT_EQ(rt::savedata_native_path(*e, "savedata\\quorel_0002.sav"), "") << "a file link leading out";
  EXPECT_EQ(rt::savedata_native_path(*e, "savedata\\quorel_0003.sav"), game / "savedata/quorel_0003.sav")
      << "a link that stays in the game folder";

  TempDir other;
  auto linked = testing_support::make_engine(other.path());
  ASSERT_EQ(symlink(outside.path().c_str(), (other / "savedata").c_str()), 0);
  EXPECT_EQ(rt::savedata_native_path(*linked, "savedata\\quorel_0001.sav"), "") << "a folder link leading out";
  EXPECT_FALSE(rt::savedata_write_path(*linked, "savedata\\quorel_0001.sav"));
  EXPECT_EQ(outside.read("quorel_0001.sav"), "theirs");
}

}  // namespace
