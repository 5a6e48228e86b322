// Saving under a name and loading by name through the player shell's file
// choice: what the chooser is asked, where the file goes, long names and
// cancels.
#include <gtest/gtest.h>

#include "core/engine.h"
#include "persistence/saves.h"
#include "script/script_machine.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_engine.h"

namespace {

rt::FileChoice last_choice;
std::optional<std::string> answer;

std::optional<std::string> chooser(rt::Engine&, const rt::FileChoice& c) {
  last_choice = c;
  return answer;
}

TEST(SaveDialogs, SaveAsAndLoadByNameGoThroughTheChooser) {
  testing_support::TempDir dir;
  auto e = testing_support::make_engine(dir.path());
  e->vm->hooks.choose_file = chooser;
  persist::State& s = persist::state(*e);
  EXPECT_EQ(persist::save_as_dialog(*e), -1) << "nothing captured";

  // A captured game of one empty frame.
  s.captured = true;
  persist::set_head_string(s.head, persist::field::kTitle, 128, "a/b");
  persist::FrameRecord f;
  f.base = f.stack_top = 1;
  s.frames = {f};
  s.locals = {rt::int_value(0)};

  answer = "named";
  EXPECT_EQ(persist::save_as_dialog(*e), 0);
  EXPECT_EQ(last_choice.purpose, rt::FileChoice::Purpose::SaveAs);
  EXPECT_EQ(last_choice.folder, "savedata");
  EXPECT_EQ(last_choice.filter, ".sav");
  EXPECT_EQ(last_choice.suggestion.rfind("a\x81^b", 0), 0u) << last_choice.suggestion;
  EXPECT_TRUE(dir.exists("savedata/named.sav"));

  answer = std::nullopt;
  EXPECT_EQ(persist::load_dialog(*e), -1) << "cancelled";
  answer = std::string(200, 'x');
  EXPECT_EQ(persist::load_dialog(*e), -1) << "a name of 192 bytes or more";
  answer = "savedata\\named.sav";
  EXPECT_EQ(persist::load_dialog(*e), 0);
  EXPECT_EQ(last_choice.purpose, rt::FileChoice::Purpose::LoadByName);
  EXPECT_TRUE(s.pending);
  auto summary = persist::summarize_save(*e, "savedata\\named.sav");
  ASSERT_TRUE(summary);
  EXPECT_EQ(summary->title, "a/b");
  EXPECT_EQ(summary->time.size(), 17u);
}

}  // namespace
