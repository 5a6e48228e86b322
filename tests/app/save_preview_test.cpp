// What the file chooser may show of a file: a save inside the save folder
// is described whole; the same bytes reached any other way (outside the
// folder, through a link or a climbing name, or through a neighbour whose
// name the engine would take for the save's) show nothing.
#include <gtest/gtest.h>
#include <unistd.h>

#include "app/save_preview.h"
#include "core/engine.h"
#include "persistence/saves.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_engine.h"

namespace {

using testing_support::TempDir;

class SavePreview : public ::testing::Test {
 protected:
  TempDir dir;
  std::unique_ptr<rt::Engine> e = testing_support::make_engine(dir.path());
  std::vector<uint8_t> thumbnail;

  // A captured game of one empty frame with a 4 x 3 thumbnail, written to `engine_path`.
  void save(const std::string& engine_path, const std::string& title) {
    persist::State& s = persist::state(*e);
    s.captured = true;
    persist::set_head_string(s.head, persist::field::kTitle, 128, title);
    persist::FrameRecord f;
    f.base = f.stack_top = 1;
    s.frames = {f};
    s.locals = {rt::int_value(0)};
    s.thumb_width = 4;
    s.thumb_height = 3;
    s.thumbnail.resize(4 * 3 * 3);
    for (size_t i = 0; i < s.thumbnail.size(); ++i) s.thumbnail[i] = static_cast<uint8_t>(i * 7);
    thumbnail = s.thumbnail;
    ASSERT_TRUE(persist::write_game(*e, engine_path));
  }
  std::optional<shell::FileSummary> describe(const std::string& relative) {
    return rt::describe_save_file(*e, dir / relative);
  }
};

TEST_F(SavePreview, ASaveInTheSaveFolderIsDescribedWhole) {
  save("savedata\\\x91\xe6\x88\xea.sav", "\x91\xe6\x88\xea\x8f\xcd");  // 第一.sav, 第一章
  auto d = describe("savedata/第一.sav");
  ASSERT_TRUE(d);
  EXPECT_EQ(d->title, "第一章");
  EXPECT_EQ(d->date.size(), 17u) << d->date;
  EXPECT_EQ(d->thumb_width, 4);
  EXPECT_EQ(d->thumb_height, 3);
  EXPECT_EQ(d->thumbnail, thumbnail);

  // Not a save, a folder, or nothing at all.
  dir.write("savedata/notes.sav", std::string(50000, 'x'));
  dir.make_dir("savedata/folder.sav");
  EXPECT_FALSE(describe("savedata/notes.sav"));
  EXPECT_FALSE(describe("savedata/folder.sav"));
  EXPECT_FALSE(describe("savedata/missing.sav"));
  EXPECT_FALSE(describe("savedata"));

  // A thumbnail the file is too short for is left out; the title still shows.
  std::string bytes = dir.read("savedata/第一.sav");
  dir.write("savedata/short.sav", bytes.substr(0, 40912 + 20));
  auto cut = describe("savedata/short.sav");
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->title, "第一章");
  EXPECT_EQ(cut->thumb_width, 0);
  EXPECT_TRUE(cut->thumbnail.empty());
}

TEST_F(SavePreview, TheSameBytesReachedOtherwiseShowNothing) {
  save("savedata\\game.sav", "inside");
  const std::string bytes = dir.read("savedata/game.sav");
  dir.write("outside.sav", bytes);
  ASSERT_TRUE(describe("savedata/game.sav"));
  EXPECT_FALSE(describe("outside.sav")) << "outside the save folder";
  EXPECT_FALSE(describe("savedata/../outside.sav"));
  EXPECT_FALSE(describe("savedata/./game.sav"));
  ASSERT_EQ(symlink((dir / "outside.sav").c_str(), (dir / "savedata/link.sav").c_str()), 0);
  EXPECT_FALSE(describe("savedata/link.sav")) << "a link leading out of the folder";
  ASSERT_EQ(symlink((dir / "savedata/game.sav").c_str(), (dir / "savedata/alias.sav").c_str()), 0);
  EXPECT_TRUE(describe("savedata/alias.sav")) << "one that stays inside is fine";

  // A neighbour that spells the save's name in Shift-JIS bytes on disk is
  // another file: the engine would find the save by that name, the chooser
  // must not show it.
  save("savedata\\\x91\xe6\x88\xea.sav", "named");
  dir.write("savedata/\x91\xe6\x88\xea.sav", std::string(50000, 'x'));
  ASSERT_TRUE(describe("savedata/第一.sav"));
  EXPECT_FALSE(describe("savedata/\x91\xe6\x88\xea.sav"));
}

}  // namespace
