// The message console on fixed metrics (double-byte characters 20 pixels,
// single bytes 10): line steps, indentation, the speaker name, full boxes,
// commands and what the backlog records. Hook calls are read from the
// console's queue instead of being run.
#include <gtest/gtest.h>

#include <cmath>

#include "graphics/page.h"
#include "script/script_machine.h"
#include "tests/support/temp_dir.h"
#include "tests/text/text_helpers.h"
#include "text/console.h"
#include "text/render.h"

using testing_support::TempDir;
using text_helpers::sj;

namespace {

// A drawn line: the box the after-line hook received.
struct Line {
  int x, y, w, h;
  friend bool operator==(const Line&, const Line&) = default;
};

class ConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    page = &gfx::create_page_24(*e, 640, 480, false);
    box(10, 20, 200, 200);
    txt::execute(*e, txt::font_record(20, 10, 25, 0, "TEST"), true);
    txt::execute(*e, txt::colour_record(0xFFFFFF, 0xFFFFFFFF), true);
    c.shown = true;
    c.calls.clear();
    c.backlog.clear();
  }
  void box(int left, int top, int width, int height) {
    c.rec.page = page->handle;
    c.rec.left = left;
    c.rec.top = top;
    c.rec.box_width = width;
    c.rec.box_height = height;
    c.rec.x = left;
    c.rec.y = top;
  }
  // Shows a text (UTF-8) as the text_proc opcode would, collecting the
  // lines drawn and the other hooks called.
  void show(const std::string& text, uint32_t position = 100) {
    txt::append_text(*e, sj(text));
    for (int guard = 0; guard < 200 && txt::line_step(*e, t, position); ++guard) {
      for (const txt::HookCall& call : c.calls) {
        if (call.key == txt::kHookLineDrawn)
          lines.push_back({call.args[1].number, call.args[2].number, call.args[3].number, call.args[4].number});
        else
          hooks.push_back(call);
      }
      c.calls.clear();
    }
    EXPECT_FALSE(c.pending) << "the text was shown to its end";
  }
  std::vector<std::string> backlog_entries() const {
    std::vector<std::string> out;
    for (int p = 0; p < txt::kBacklogBytes;) {
      auto entry = c.backlog.entry_at(p);
      if (!entry) {
        ++p;
        continue;
      }
      out.push_back(plat::sjis_to_utf8(entry->bytes));
      p = entry->end;
    }
    return out;
  }

  TempDir dir;
  std::unique_ptr<rt::Engine> e = text_helpers::engine(dir.path());
  rt::Thread& t = *e->vm->current;
  txt::Console& c = e->text->console;
  gfx::Page* page = nullptr;
  std::vector<Line> lines;
  std::vector<txt::HookCall> hooks;
};

TEST_F(ConsoleTest, TextIsBrokenIntoLinesByWidth) {
  show("あいうえおかきくけこさしすせそたちつてとなにぬねの");
  EXPECT_EQ(lines, (std::vector<Line>{{10, 20, 200, 20}, {10, 45, 200, 20}, {10, 70, 100, 20}}));
  EXPECT_EQ(c.rec.x, 110) << "the pen stays after the text";
  EXPECT_EQ(c.rec.y, 70);
  EXPECT_TRUE(hooks.empty());
  // The next text continues on the same line.
  lines.clear();
  show("はひふへほまみむ", 200);
  EXPECT_EQ(lines, (std::vector<Line>{{110, 70, 100, 20}, {10, 95, 60, 20}}));
}

TEST_F(ConsoleTest, KinsokuAndHangingIndentInTheBox) {
  show("「あいうえおかきくけこさしすせそ」");
  // "「" + 9 characters fill the first line; the rest hangs after the bracket.
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], (Line{10, 20, 200, 20}));
  EXPECT_EQ(lines[1].x, 10 + 21) << "INDENTOFFSET 1 past the bracket";
  EXPECT_EQ(c.rec.indent, 0) << "the closing bracket ends the indent";
  lines.clear();
  txt::execute(*e, "w", true);
  show("あいうえおかきくけこ。さ");  // "。" may not start a line: "こ" goes with it
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].w, 180);
  EXPECT_EQ(lines[1].w, 60);
}

TEST_F(ConsoleTest, ContinuationLinesLoseTheirLeadingBlanks) {
  show("「あいうえおかきくけ　　こ」");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], (Line{31, 45, 40, 20})) << "only こ」 is left for the second line";
}

TEST_F(ConsoleTest, ASpeakerNameGoesToItsOwnHook) {
  show("太郎「やあ」");
  ASSERT_EQ(hooks.size(), 1u);
  EXPECT_EQ(hooks[0].key, txt::kHookSpeaker);
  ASSERT_TRUE(hooks[0].args.at(0).text);
  EXPECT_EQ(*hooks[0].args[0].text, sj("太郎"));
  EXPECT_EQ(lines, (std::vector<Line>{{10, 20, 80, 20}})) << "the quotation is shown from its bracket";
  EXPECT_EQ(backlog_entries(), (std::vector<std::string>{"太郎「やあ」"})) << "the backlog keeps the whole text";
}

TEST_F(ConsoleTest, BracketMarksAreRemovedAndVoiceSlotsFilled) {
  c.voices[0].name = "v001";
  show("「「あいうえおかきくけこさしすせそ」」");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].w, 200) << "the doubled brackets are not shown";
  EXPECT_EQ(c.voice_count, 1);
  EXPECT_EQ(c.voices[0].top, 20);
  EXPECT_EQ(c.voices[0].height, 45 + 25 - 20) << "closed on the last line of the quotation";
}

TEST_F(ConsoleTest, AFullBoxStartsANewPage) {
  box(10, 20, 200, 60);  // room for two lines: the third would start at 70 > 20 + 60 - 20
  show("あいうえおかきくけこさしすせそたちつてとなにぬねの");
  ASSERT_EQ(hooks.size(), 1u);
  EXPECT_EQ(hooks[0].key, txt::kHookWipe);
  EXPECT_EQ(lines, (std::vector<Line>{{10, 20, 200, 20}, {10, 45, 200, 20}, {10, 20, 100, 20}}));
}

TEST_F(ConsoleTest, ALineEndingExactlyAtTheBoxBottomStillFits) {
  box(10, 20, 200, 70);  // the third line, at 70, ends at 90: the bottom
  show("あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめも");
  ASSERT_EQ(hooks.size(), 1u);
  EXPECT_EQ(hooks[0].key, txt::kHookWipe);
  EXPECT_EQ(lines, (std::vector<Line>{{10, 20, 200, 20}, {10, 45, 200, 20}, {10, 70, 200, 20}, {10, 20, 100, 20}}));
}

TEST_F(ConsoleTest, BoxesTooSmallStillMakeProgress) {
  box(10, 20, 5, 5);  // narrower than a character, lower than a line
  show("あいう");
  EXPECT_EQ(lines.size(), 3u) << "one character per line";
  EXPECT_LE(hooks.size(), 3u);
  lines.clear();
  hooks.clear();
  box(10, 20, 200, 200);
  c.rec.x = 200;  // not at a line start: nothing fits, the pen moves down
  show("あいう");
  EXPECT_EQ(lines, (std::vector<Line>{{10, 45, 60, 20}}));
}

TEST_F(ConsoleTest, JustifiedLinesFillTheBox) {
  txt::execute(*e, txt::font_record(20, 10, 25, 1, ""), true);
  EXPECT_EQ(c.rec.face, "TEST") << "an empty face keeps the face";
  box(10, 20, 210, 200);
  show("あいうえおかきくけこさし");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].w, 210) << "the room left is spread over the gaps";
  EXPECT_EQ(lines[1].w, 40) << "the last line is not spread";
}

TEST_F(ConsoleTest, CommandsMoveThePenAndAreRecorded) {
  txt::execute(*e, "w", true);
  txt::execute(*e, txt::locate_record(50, 60), true);
  EXPECT_EQ(c.rec.x, 50);
  txt::execute(*e, "o0x000000050xfffffffe", true);
  EXPECT_EQ(c.rec.x, 55);
  EXPECT_EQ(c.rec.y, 58);
  txt::execute(*e, "r", true);
  EXPECT_EQ(c.rec.y, 60);
  txt::execute(*e, "n", true);
  EXPECT_EQ(c.rec.x, 10);
  EXPECT_EQ(c.rec.y, 85);
  txt::execute(*e, txt::colour_record(0x123456, 0x01000000), true);
  EXPECT_EQ(c.rec.color, 0x123456u);
  EXPECT_EQ(c.rec.edge_mode(), 1);
  txt::execute(*e, "s0x0000001e", true);
  EXPECT_EQ(c.rec.speed, 30);
  txt::execute(*e, "z", true);
  EXPECT_EQ(c.rec.instant, 1);
  txt::execute(*e, "p", true);
  EXPECT_EQ(c.rec.instant, 0);
  EXPECT_EQ(c.rec.speed, -1);
  std::vector<uint32_t> keys;
  for (auto& call : c.calls) keys.push_back(call.key);
  EXPECT_EQ(keys, (std::vector<uint32_t>{txt::kHookWipe, txt::kHookNewline, txt::kHookPause}));
  EXPECT_EQ(backlog_entries(),
            (std::vector<std::string>{"\\w", "\\l0x000000320x0000003c", "\\o0x000000050xfffffffe", "\\r", "\\n",
                                      "\\c0x001234560x01000000", "\\s0x0000001e", "\\z", "\\p"}));
  // Recording can be suspended.
  ++c.suspend;
  txt::execute(*e, "n", true);
  --c.suspend;
  EXPECT_EQ(backlog_entries().size(), 9u);
}

TEST_F(ConsoleTest, TheSkippedNewlineOnlyAtTheBoxOrigin) {
  c.skip_newline = true;
  txt::execute(*e, "n", true);
  EXPECT_EQ(c.rec.y, 20) << "ignored at the box origin";
  EXPECT_TRUE(backlog_entries().empty());
  txt::execute(*e, "n", true);
  EXPECT_EQ(c.rec.y, 45) << "the flag lasts for one command";
  c.skip_newline = true;
  txt::execute(*e, "n", true);
  EXPECT_EQ(c.rec.y, 70) << "away from the origin it moves";
}

TEST_F(ConsoleTest, TextIsRecordedOncePerPosition) {
  show("あい", 100);
  show("あい", 100);  // the same opcode again (a loop): recorded again
  txt::append_text(*e, sj("うえ"));
  txt::line_step(*e, t, 300);
  txt::line_step(*e, t, 300);
  EXPECT_EQ(backlog_entries(), (std::vector<std::string>{"あい", "あい", "うえ"}));
}

TEST_F(ConsoleTest, WhileReplayingScriptsCannotCommand) {
  c.replay_mode = 1;
  txt::execute(*e, txt::locate_record(99, 99), true);
  EXPECT_EQ(c.rec.x, 10);
  txt::execute(*e, txt::locate_record(99, 98), false);
  EXPECT_EQ(c.rec.x, 99);
  EXPECT_TRUE(backlog_entries().empty()) << "a replay records nothing";
  txt::reset_console(*e);
  EXPECT_EQ(c.replay_mode, 0);
}

TEST_F(ConsoleTest, ControlCodesTakeTheirValuesOffTheStack) {
  rt::push(*e, t, rt::int_value(0x123456));  // pushed first: the first field
  rt::push(*e, t, rt::int_value(-1));
  txt::control(*e, t, "c");
  EXPECT_EQ(c.rec.color, 0x123456u);
  EXPECT_EQ(c.rec.edge, 0xFFFFFFFFu);
  // Floats are truncated as for every built-in; NaN gives the lowest int.
  rt::push(*e, t, rt::float_value(20.9f));
  rt::push(*e, t, rt::float_value(std::nanf("")));
  txt::control(*e, t, "c");
  EXPECT_EQ(c.rec.color, 20u);
  EXPECT_EQ(c.rec.edge, 0x80000000u);
  // Offsets move the pen as 32-bit sums do: they wrap.
  for (int k = 0; k < 4; ++k) rt::push(*e, t, rt::int_value(-2000000000));
  txt::control(*e, t, "l");
  txt::control(*e, t, "o");
  EXPECT_EQ(c.rec.x, 294967296);
  EXPECT_EQ(c.rec.y, 294967296);
  for (int v : {24, -1, 30}) rt::push(*e, t, rt::int_value(v));
  rt::push(*e, t, rt::string_value(rt::new_string(sj("ＭＳ 明朝"))));
  rt::push(*e, t, rt::int_value(1));
  txt::control(*e, t, "f");
  EXPECT_EQ(c.rec.size, 24);
  EXPECT_EQ(c.rec.width, 12);
  EXPECT_EQ(c.rec.pitch, 30);
  EXPECT_EQ(c.rec.justify, 1);
  EXPECT_EQ(c.rec.heavy, 1);
  EXPECT_EQ(t.frame().stack_top, 1) << "every value was taken";
  txt::control(*e, t, "s");  // nothing on the stack: 0
  EXPECT_EQ(c.rec.speed, 0);
  rt::push(*e, t, rt::int_value(42));
  txt::control(*e, t, "d");
  rt::push(*e, t, rt::string_value(rt::new_string("!")));
  txt::control(*e, t, "d");
  EXPECT_EQ(*c.pending, "42!");
  c.quote = true;
  txt::control(*e, t, "n");
  EXPECT_EQ(backlog_entries().back(), "\\N");
}

TEST_F(ConsoleTest, TheFirstLineOfAPageIsKept) {
  txt::execute(*e, "w", true);
  show("あいうえおかきくけこさし");
  EXPECT_EQ(plat::sjis_to_utf8(c.first_line_text), "あいうえおかきくけこ");
}

// A voice command names its voice after one digit, the loop flag: only a
// 1 makes it loop. The male flag is used up by the next voice.
struct VoiceHeard {
  std::string name;
  bool loop, male;
  friend bool operator==(const VoiceHeard&, const VoiceHeard&) = default;
};
std::vector<VoiceHeard> voices_heard;

TEST_F(ConsoleTest, AVoiceLoopsOnlyWhenItsDigitIsOne) {
  voices_heard.clear();
  e->text->voice_player = [](rt::Engine&, std::string_view name, bool loop, bool, bool, bool male) {
    voices_heard.push_back({std::string(name), loop, male});
  };
  c.voice_male = true;
  for (const char* record : {"v1rain", "v0bell", "v2wind", "v9sea", "v"}) txt::execute(*e, record, true);
  EXPECT_EQ(voices_heard, (std::vector<VoiceHeard>{{"rain", true, true},
                                                   {"bell", false, false},
                                                   {"wind", false, false},
                                                   {"sea", false, false},
                                                   {"", false, false}}));
}

}  // namespace
