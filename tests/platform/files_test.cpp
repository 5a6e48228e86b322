#include "platform/files.h"

#include <gtest/gtest.h>

#include "platform/encoding.h"
#include "platform/settings_store.h"
#include "platform/system.h"
#include "tests/support/temp_dir.h"

using testing_support::TempDir;

namespace {

TEST(Files, WindowsNamesResolveCaseInsensitively) {
  TempDir dir;
  dir.write("Data/Sub/File.PNG", "x");
  plat::Files files(dir.path());
  EXPECT_EQ(files.native_path("data\\sub\\file.png"), dir / "Data/Sub/File.PNG");
  EXPECT_EQ(files.native_path("DATA/SUB/FILE.png"), dir / "Data/Sub/File.PNG");
  EXPECT_TRUE(files.exists("data\\SUB\\.\\..\\sub\\file.png"));
  // A name that does not exist keeps its spelling, so it can be created.
  EXPECT_EQ(files.native_path("data\\New\\x.sav"), dir / "Data/New/x.sav");
}

TEST(Files, ShiftJisAndUtf8NamesOnDisk) {
  TempDir dir;
  const std::string sjis = "\x83\x5c\x83\x74\x83\x67.txt";       // ソフト.txt: the first character ends in "\"
  const std::string utf8 = "\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88.txt";
  dir.write(utf8, "utf8 on disk");
  dir.write(std::string("\x89\xe6.DAT"), "sjis on disk");  // 画.DAT stored as raw Shift-JIS bytes
  plat::Files files(dir.path());
  EXPECT_EQ(files.native_path(sjis), dir / utf8) << "a trail byte 0x5C is not a separator";
  EXPECT_EQ(files.native_path("\x89\xe6.dat"), dir / "\x89\xe6.DAT");
  // Only ASCII letters fold: a character that shares the lead byte but not
  // the trail byte is another name, and so is a trail byte in the letters' range.
  EXPECT_FALSE(files.exists("\x89\xe7.dat")) << "another character with the same lead byte";
  dir.write(std::string("\x83\x41.DAT"), "katakana a");
  EXPECT_TRUE(files.exists("\x83\x41.dat"));
  EXPECT_FALSE(files.exists("\x83\x61.dat")) << "a trail byte 'A' is no letter";

  auto listing = plat::list_directory(dir.path());
  bool saw_sjis_form = false;
  for (const auto& entry : listing) saw_sjis_form |= entry.name == sjis;
  EXPECT_TRUE(saw_sjis_form) << "listings give Shift-JIS names for UTF-8 files";
}

TEST(Files, FileTimeIn100nsSince1601) {
  // 1970-01-01 is 11644473600 s after 1601-01-01.
  EXPECT_EQ(plat::file_time_units(0, 0), static_cast<uint32_t>(116444736000000000ULL));
  EXPECT_EQ(plat::file_time_units(1, 500), static_cast<uint32_t>(116444736000000000ULL + 10000000ULL + 5));
}

TEST(Files, AtomicWriteLeavesNoTemporaries) {
  TempDir dir;
  std::string path = dir / "out.bin";
  ASSERT_TRUE(plat::write_file_atomic(path, std::string_view("first")));
  ASSERT_TRUE(plat::write_file_atomic(path, std::string_view("second")));
  EXPECT_EQ(dir.read("out.bin"), "second");
  EXPECT_EQ(plat::list_directory(dir.path()).size(), 1u);
  EXPECT_FALSE(plat::write_file_atomic(dir / "missing/folder/x", std::string_view("y")));
}

TEST(Files, TextModeReadsWindowsLineEnds) {
  TempDir dir;
  dir.write("t.txt", "one\r\ntwo\rthree\n");
  plat::File f = plat::File::open(dir / "t.txt", "rt");
  char line[64];
  ASSERT_TRUE(f.read_line(line, sizeof line));
  EXPECT_STREQ(line, "one\n");
  ASSERT_TRUE(f.read_line(line, sizeof line));
  EXPECT_STREQ(line, "two\rthree\n");
  EXPECT_FALSE(f.read_line(line, sizeof line));
}

TEST(Encoding, RoundTripAndBadBytes) {
  const std::string sjis = "\x8a\xf9\x82\xc9\x8b\x4e\x93\xae\x92\x86\x82\xc5\x82\xb7";  // 既に起動中です
  const std::string utf8 = "\xe6\x97\xa2\xe3\x81\xab\xe8\xb5\xb7\xe5\x8b\x95\xe4\xb8\xad\xe3\x81\xa7\xe3\x81\x99";
  EXPECT_EQ(plat::sjis_to_utf8(sjis), utf8);
  EXPECT_EQ(plat::utf8_to_sjis(utf8), sjis);
  EXPECT_EQ(plat::sjis_to_utf8("ab\x82"), "ab\xEF\xBF\xBD") << "a half character at the end";
  EXPECT_EQ(plat::sjis_to_utf8("\xb1\xb2"), "\xEF\xBD\xB1\xEF\xBD\xB2") << "half-width katakana";
  EXPECT_FALSE(plat::utf8_to_sjis("\xF0\x9F\x98\x80")) << "emoji have no Shift-JIS form";
  EXPECT_FALSE(plat::is_valid_utf8("\xC0\xAF"));
  EXPECT_FALSE(plat::is_valid_utf8("\xE3\x81"));
}

TEST(SettingsStore, RoundTripAndDamagedFiles) {
  TempDir dir;
  std::string path = dir / "cfg/game.ini";
  {
    plat::SettingsStore s(path);
    s.load();
    s.set_int("WinPosX", -9999);
    s.set_string("SrcFolder", "scenario\\snr");
    s.set_string("Title", "\x83\x51\x81\x5B\x83\x80");  // ゲーム
    ASSERT_TRUE(s.save());
  }
  plat::SettingsStore s(path);
  s.load();
  EXPECT_EQ(s.get_int("WinPosX"), -9999);
  EXPECT_EQ(s.get_string("SrcFolder"), "scenario\\snr");
  EXPECT_EQ(s.get_string("Title"), "\x83\x51\x81\x5B\x83\x80");
  EXPECT_NE(dir.read("cfg/game.ini").find("Title=\xE3\x82\xB2"), std::string::npos) << "UTF-8 on disk";

  dir.write("cfg/game.ini", "garbage\n\x01\x02\nWinPosX=12\nhalf-writ");
  s.load();
  EXPECT_EQ(s.get_int("WinPosX"), 12);
  EXPECT_FALSE(s.get_int("half-writ"));
}

TEST(SettingsStore, NamesWithoutCaseNumbersSaturateAndThePortKeepsItsOwnSection) {
  TempDir dir;
  const std::string digits(10000, '9');
  dir.write("game.ini", "MusicVolume=300\nmusicvolume=400\nWinPosX=-" + digits + "\nNANIDO=" + digits +
                            "\nGameSpeed=  7 fast\nMojiSpeed=abc\n[quorel]\nScale=3\n[later]\nEditor=x\n");
  plat::SettingsStore s(dir / "game.ini");
  s.load();
  EXPECT_EQ(s.get_int("MUSICVOLUME"), 400) << "the last of a name given twice";
  EXPECT_EQ(s.get_int("WinPosX"), INT32_MIN);
  EXPECT_EQ(s.get_int("nanido"), INT32_MAX);
  EXPECT_EQ(s.get_int("GameSpeed"), 7);
  EXPECT_EQ(s.get_int("MojiSpeed"), 0);
  EXPECT_FALSE(s.get_int("Scale")) << "the port's section is not the game's";
  EXPECT_EQ(s.get_int("Scale", plat::Section::Port), 3);
  EXPECT_FALSE(s.get_string("Editor")) << "unknown sections are skipped";

  // A name the file cannot hold stays for this run only; the rest is kept.
  s.set_int("a=b", 1);
  s.set_int("line\nbreak", 2);
  s.set_int("#hash", 3);  // would read back as a comment line
  s.set_int(";semicolon", 4);
  s.set_int("[section", 5);
  s.set_int("musicVOLUME", 500);
  ASSERT_TRUE(s.save());
  EXPECT_EQ(s.get_int("a=b"), 1);
  const std::string text = dir.read("game.ini");
  EXPECT_EQ(text.find("a=b"), std::string::npos);
  EXPECT_EQ(text.find("line"), std::string::npos);
  EXPECT_EQ(text.find("hash"), std::string::npos);
  EXPECT_EQ(text.find("semicolon"), std::string::npos);
  EXPECT_EQ(text.find("[section"), std::string::npos);
  EXPECT_EQ(s.get_int("#hash"), 3);
  EXPECT_NE(text.find("MusicVolume=500\n"), std::string::npos) << "the first spelling stays";
  EXPECT_LT(text.find("GameSpeed="), text.find("[quorel]\nScale=3\n"));
  plat::SettingsStore again(dir / "game.ini");
  again.load();
  EXPECT_EQ(again.get_int("Scale", plat::Section::Port), 3);
  EXPECT_EQ(again.get_int("MusicVolume"), 500);
}

TEST(InstanceLock, SecondHolderIsRefused) {
  plat::InstanceLock a, b;
  ASSERT_EQ(a.acquire("quorel-test-lock"), plat::InstanceLock::Result::Acquired);
  EXPECT_EQ(b.acquire("quorel-test-lock"), plat::InstanceLock::Result::AlreadyRunning);
  EXPECT_EQ(b.acquire("quorel-test-lock-other"), plat::InstanceLock::Result::Acquired);
  a.release();
  plat::InstanceLock c;
  EXPECT_EQ(c.acquire("quorel-test-lock"), plat::InstanceLock::Result::Acquired);
}

TEST(System, CommandLinesAndMemory) {
  EXPECT_EQ(plat::split_command_line("editor +%line% \"%fn%\" -x"),
            (std::vector<std::string>{"editor", "+%line%", "%fn%", "-x"}));
  EXPECT_EQ(plat::spawn_and_wait({"sh", "-c", "exit 3"}), 3);
  EXPECT_EQ(plat::spawn_and_wait({"/nonexistent/program"}), -1);
  EXPECT_GT(plat::available_memory().value_or(0), 0u);
}

}  // namespace
