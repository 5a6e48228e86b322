// quorel-text: the demo's texts out to a PO file and back in, byte for byte
// when nothing is translated; a translated demo that plays to its end and
// shows the English lines; and PO files that must be refused, with the line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tools/text/po.h"

using namespace testing_support;

namespace {

const std::string kDemo = std::string(QUOREL_BINARY_DIR) + "/examples/demo";

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The PO text with the translation of one context filled in.
std::string translate(std::string po, const std::string& context, const std::string& text) {
  size_t at = po.find("msgctxt \"" + context + "\"\n");
  EXPECT_NE(at, std::string::npos) << context;
  size_t str = po.find("msgstr \"\"", at);
  return po.replace(str, 9, "msgstr " + quorel_text::po_string(text));
}

TEST(TextProgram, AnUnchangedPoFileGivesTheSameScripts) {
  TempDir dir;
  RunResult x = run_program({"quorel-text", "extract", kDemo, dir / "demo.po"});
  ASSERT_EQ(x.exit_code, 0) << x.err;
  const std::string po = dir.read("demo.po");
  EXPECT_NE(po.find("\"Content-Type: text/plain; charset=UTF-8\\n\""), std::string::npos);
  EXPECT_NE(po.find("#. speaker: ミナ"), std::string::npos) << po;
  EXPECT_NE(po.find("msgctxt \"fastdata/start.mjo:51.2\"\nmsgid \"ミナ「きれいな星だね。"), std::string::npos) << po;

  RunResult a = run_program({"quorel-text", "apply", kDemo, dir / "demo.po", dir / "out"});
  ASSERT_EQ(a.exit_code, 0) << a.err;
  EXPECT_EQ(dir.read("out/fastdata/start.mjo"), slurp(kDemo + "/fastdata/start.mjo"));

  // The PO file parses back into the entries it was written from.
  std::vector<quorel_text::PoEntry> entries;
  std::string error;
  ASSERT_TRUE(quorel_text::parse_po(po, &entries, &error)) << error;
  EXPECT_EQ(quorel_text::write_po("demo", entries), po);
}

// The BMP's rows from y0 to y1 (24-bit, bottom-up, 640 wide).
std::string rows(const std::string& bmp, int y0, int y1) {
  const size_t row = 640 * 3;
  return bmp.substr(54 + (480 - y1) * row, (y1 - y0) * row);
}

TEST(TextProgram, TheTranslatedDemoPlaysAndShowsItsEnglishLines) {
  TempDir dir;
  ASSERT_EQ(run_program({"quorel-text", "extract", kDemo, dir / "demo.po"}).exit_code, 0);
  std::string po = dir.read("demo.po");
  po = translate(po, "fastdata/start.mjo:51", "On the hill at dusk, a small star turns slowly.");
  po = translate(po, "fastdata/start.mjo:51.2",
                 "Mina「What a pretty star. I wonder how long it has been turning up there.」");
  po = translate(po, "fastdata/start.mjo:55", "Mina「Then let us watch a little longer.」");
  dir.write("en.po", po);
  ASSERT_EQ(run_program({"/bin/cp", "-r", kDemo, dir / "en"}).exit_code, 0);
  RunResult a = run_program({"quorel-text", "apply", kDemo, dir / "en.po", dir / "en"});
  ASSERT_EQ(a.exit_code, 0) << a.err;
  EXPECT_NE(a.out.find("3 texts translated"), std::string::npos) << a.out;

  auto play = [&](const std::string& game, int frames, const std::string& shot) {
    return run_program({"quorel", "--headless", "--virtual-clock=16", "--max-frames=" + std::to_string(frames),
                        "--seed=1", "--settings=" + (dir / "settings.ini"), "--screenshot=" + (dir / shot),
                        "--input=" + std::string(QUOREL_SOURCE_DIR) + "/examples/demo/autoplay.txt", game},
                       {}, 120, {"XDG_RUNTIME_DIR=" + dir.path()});
  };
  // The whole play: the moved code still jumps, calls and chooses as before.
  ASSERT_EQ(play(dir / "en", 2300, "end.bmp").exit_code, 0);
  EXPECT_NE(dir.read("en/debugout.log").find("demo: back to the title"), std::string::npos);
  // The first page: the same picture above the message window, other text in it.
  ASSERT_EQ(play(dir / "en", 330, "en.bmp").exit_code, 0);
  ASSERT_EQ(run_program({"/bin/cp", "-r", kDemo, dir / "ja"}).exit_code, 0);  // not in the build tree
  ASSERT_EQ(play(dir / "ja", 330, "ja.bmp").exit_code, 0);
  const std::string en = dir.read("en.bmp"), ja = dir.read("ja.bmp");
  ASSERT_EQ(en.size(), ja.size());
  EXPECT_EQ(rows(en, 0, 300), rows(ja, 0, 300));
  EXPECT_NE(rows(en, 360, 440), rows(ja, 360, 440));
}

TEST(TextProgram, RefusesBadPoFilesWithTheLineAndWritesNothing) {
  TempDir dir;
  ASSERT_EQ(run_program({"quorel-text", "extract", kDemo, dir / "demo.po"}).exit_code, 0);
  const std::string po = dir.read("demo.po");
  auto refused = [&](const std::string& text, const std::string& expected) {
    dir.write("bad.po", text);
    RunResult r = run_program({"quorel-text", "apply", kDemo, dir / "bad.po", dir / "out"});
    EXPECT_EQ(r.exit_code, 1) << expected;
    EXPECT_NE(r.err.find(expected), std::string::npos) << r.err;
    EXPECT_FALSE(dir.exists("out")) << "nothing half-written: " << expected;
  };
  const std::string line51 = "msgctxt \"fastdata/start.mjo:51\"";
  const int entry_line = [&] {
    int n = 1;
    for (size_t i = 0; i < po.find(line51); ++i) n += po[i] == '\n';
    return n - 1;  // the "#:" line above msgctxt starts the entry
  }();
  const std::string at = "bad.po:" + std::to_string(entry_line) + ": ";

  refused(translate(po, "fastdata/start.mjo:51", "Emoji \xF0\x9F\x98\x80"), at + "the translation of");
  refused(translate(po, "fastdata/start.mjo:51", std::string(100 * 1024, 'a')), "is 102400 bytes in Shift-JIS");
  refused(translate(po, "fastdata/start.mjo:51.2", "What a pretty star."), "names its speaker before 「");
  std::string stale = po;
  stale.replace(stale.find("小さな星"), std::string("小さな星").size(), "大きな星");
  refused(stale, at + "the source of \"fastdata/start.mjo:51\" no longer matches");
  std::string gone = po;
  gone.replace(gone.find(line51), line51.size(), "msgctxt \"fastdata/start.mjo:999\"");
  refused(gone, "no text \"fastdata/start.mjo:999\"");
  std::string twice = po + "\n" + po.substr(po.find("#: fastdata/start.mjo:51\n"), po.find("\n\n", po.find(line51)) - po.find("#: fastdata/start.mjo:51\n")) + "\n";
  refused(twice, "is there twice (first at line " + std::to_string(entry_line));
  std::string latin1 = po;
  latin1.replace(latin1.find("msgstr \"\"", latin1.find(line51)), 9, "msgstr \"caf\xE9\"");
  refused(latin1, "line " + std::to_string(entry_line + 3) + ": not UTF-8");
  refused(po + "\nmsgid \"x\"\nmsgid_plural \"xs\"\nmsgstr[0] \"\"\n", "plural forms");
  refused(po + "\nmsgid \"unterminated\nmsgstr \"\"\n", "a broken string");

  // Missing entries keep their originals; a fuzzy translation is not used.
  std::string partial = translate(po.substr(0, po.find("#: fastdata/start.mjo:52")), "fastdata/start.mjo:51", "Fuzzy");
  partial.insert(partial.find("#: fastdata/start.mjo:51\n"), "#, fuzzy\n");
  dir.write("partial.po", partial);
  RunResult r = run_program({"quorel-text", "apply", kDemo, dir / "partial.po", dir / "out"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(dir.read("out/fastdata/start.mjo"), slurp(kDemo + "/fastdata/start.mjo"));

  // The game's own folder is never the output.
  EXPECT_EQ(run_program({"quorel-text", "apply", kDemo, dir / "demo.po", kDemo}).exit_code, 2);
  EXPECT_EQ(run_program({"quorel-text", "apply", kDemo}).exit_code, 2);
  EXPECT_EQ(run_program({"quorel-text", "extract", dir / "nothing-here", dir / "x.po"}).exit_code, 1);
  EXPECT_FALSE(dir.exists("x.po"));

  // Nor is one of its scripts the PO file, however it is spelled.
  std::filesystem::copy(kDemo, dir / "game", std::filesystem::copy_options::recursive);
  const std::string script = dir.read("game/fastdata/start.mjo");
  for (const std::string& out : {dir / "game/fastdata/start.mjo", dir / "game/fastdata/../fastdata/start.mjo"}) {
    RunResult own = run_program({"quorel-text", "extract", dir / "game", out});
    EXPECT_EQ(own.exit_code, 2) << out;
    EXPECT_NE(own.err.find("refusing to write over it"), std::string::npos) << own.err;
    EXPECT_EQ(dir.read("game/fastdata/start.mjo"), script);
  }
}

// A line that is not UTF-8 is refused, overlong two-byte forms included; an
// escape that is not one of C's is refused rather than read as something else,
// and so are escapes that spell bytes which are not UTF-8 (the file the tool
// writes back from them would not read).
TEST(PoFile, RefusesWhatIsNotUtf8OrNotAnEscape) {
  auto reads = [](const std::string& msgstr) {
    std::vector<quorel_text::PoEntry> entries;
    std::string error;
    return quorel_text::parse_po("msgctxt \"s.mjo:3\"\nmsgid \"a\"\nmsgstr \"" + msgstr + "\"\n", &entries, &error);
  };
  EXPECT_TRUE(reads("\xC2\x80"));
  EXPECT_TRUE(reads("\xE3\x81\x82"));
  EXPECT_FALSE(reads("\xC0\xAF")) << "an overlong '/'";
  EXPECT_FALSE(reads("\xC1\xBF"));
  EXPECT_FALSE(reads("\xE3\x81"));
  EXPECT_TRUE(reads("\\7\\077"));
  EXPECT_TRUE(reads("\\343\\201\\202")) << "an escaped UTF-8 character";
  EXPECT_FALSE(reads("\\377"));
  EXPECT_FALSE(reads("\\204"));
  EXPECT_FALSE(reads("\\xE3\\x81"));
  EXPECT_FALSE(reads("\\8"));
  EXPECT_FALSE(reads("\\9"));
  EXPECT_FALSE(reads("\\q"));
}

TEST(PoFile, ReadsWhatOtherEditorsWrite) {
  // Wrapped lines, escapes, a byte-order mark, CRLF, obsolete entries.
  const std::string text =
      "\xEF\xBB\xBFmsgid \"\"\r\nmsgstr \"\"\r\n\"Language: en\\n\"\r\n\r\n"
      "#. speaker: A\r\n#: s.mjo:3\r\nmsgctxt \"s.mjo:3\"\r\nmsgid \"\"\r\n\"one\\n\"\r\n\"two \\\"q\\\"\"\r\n"
      "msgstr \"\\x41\\102\\t\"\r\n#~ msgid \"old\"\r\n#~ msgstr \"alt\"\r\n";
  std::vector<quorel_text::PoEntry> entries;
  std::string error;
  ASSERT_TRUE(quorel_text::parse_po(text, &entries, &error)) << error;
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].context, "s.mjo:3");
  EXPECT_EQ(entries[0].source, "one\ntwo \"q\"");
  EXPECT_EQ(entries[0].translation, "AB\t");
  EXPECT_EQ(entries[0].line, 5);
  EXPECT_EQ(entries[0].comments, std::vector<std::string>{"speaker: A"});
  EXPECT_EQ(quorel_text::po_string("one\ntwo"), "\"\"\n\"one\\n\"\n\"two\"");

  // The fuzz target's seeds: each reads, and reads back the same once written.
  for (const auto& seed : std::filesystem::directory_iterator(std::string(QUOREL_SOURCE_DIR) + "/fuzz/corpus/po")) {
    std::vector<quorel_text::PoEntry> first, second;
    ASSERT_TRUE(quorel_text::parse_po(slurp(seed.path().string()), &first, &error)) << seed.path() << ": " << error;
    ASSERT_TRUE(quorel_text::parse_po(quorel_text::write_po("seed", first), &second, &error)) << error;
    ASSERT_EQ(first.size(), second.size());
    for (size_t i = 0; i < first.size(); ++i) EXPECT_EQ(first[i].translation, second[i].translation);
  }
}

}  // namespace
