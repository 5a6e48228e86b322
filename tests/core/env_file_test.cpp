#include "core/env_file.h"

#include <gtest/gtest.h>

#include "app/program.h"
#include "platform/files.h"
#include "resources/archive.h"
#include "resources/name_hash.h"
#include "resources/resources.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_engine.h"

using testing_support::TempDir;

namespace {

rt::EnvFile parse(const std::string& text) {
  TempDir dir;
  dir.write("quorel.env", text);
  plat::File f = plat::File::open(dir / "quorel.env", "rt");
  rt::EnvFile env;
  env.parse(f);
  return env;
}

TEST(EnvFile, KeysValuesAndSeparators) {
  rt::EnvFile env = parse("CLIENT_WIDTH 800\r\nCLIENT_HEIGHT\t600\nTITLEBAR My|Game|Two\n");
  EXPECT_EQ(env.get_int("CLIENT_WIDTH", 640), 800);
  EXPECT_EQ(env.get_int("CLIENT_HEIGHT", 480), 600);
  EXPECT_EQ(env.get_string("TITLEBAR", 128, ""), "My Game Two");
  EXPECT_EQ(env.get_int("client_width", 640), 640) << "keys are case-sensitive";
  EXPECT_EQ(env.get_int("MISSING", -7), -7);
  EXPECT_EQ(env.get_string("MISSING", 128, "fallback"), "fallback");
}

TEST(EnvFile, SkippedLinesAndLaterLinesWin) {
  rt::EnvFile env = parse(
      " CLIENT_WIDTH 1\n"      // indented: ignored
      "//MAX_FPS 5\n"          // comment
      "\n"
      "/MAX_FPS 6\n"
      "NOVALUE\n"              // no value: skipped
      "MAX_FPS 30\n"
      "MAX_FPS 60 trailing words\n");
  EXPECT_EQ(env.get_int("CLIENT_WIDTH", 640), 640);
  EXPECT_EQ(env.get_int("MAX_FPS", 0), 60);
  EXPECT_FALSE(env.has("NOVALUE"));
  EXPECT_EQ(env.size(), 2u);
}

TEST(EnvFile, EofMarkerAndLineLimit) {
  rt::EnvFile env = parse("A 1\n[EOF]\nB 2\n");
  EXPECT_TRUE(env.has("A"));
  EXPECT_FALSE(env.has("B"));

  std::string many;
  for (int i = 0; i < 399; ++i) many += "FILL " + std::to_string(i) + "\n";
  many += "LAST 1\nBEYOND 1\n";
  rt::EnvFile limited = parse(many);
  EXPECT_TRUE(limited.has("LAST"));
  EXPECT_FALSE(limited.has("BEYOND")) << "lines after the 400th are ignored";
}

TEST(EnvFile, ValueSearchedWithin100BytesAndLongLinesSplit) {
  rt::EnvFile near = parse("KEY" + std::string(99, ' ') + "v\n");
  EXPECT_EQ(near.get_string("KEY", 128, ""), "v");
  rt::EnvFile far = parse("KEY" + std::string(100, ' ') + "v\n");
  EXPECT_FALSE(far.has("KEY"));

  // 511 bytes fill the buffer; the rest of the physical line is a line of its own.
  std::string line = "LONG " + std::string(506, 'x') + "NEXT 5\n";
  rt::EnvFile split = parse(line);
  EXPECT_EQ(split.get_string("LONG", 1024, "").size(), 506u);
  EXPECT_EQ(split.get_int("NEXT", 0), 5);
}

TEST(EnvFile, BinaryAndShiftJisBytes) {
  // Shift-JIS bytes are above 32 and belong to words; NUL and control bytes split.
  rt::EnvFile env = parse(std::string("TITLEBAR \x83\x51\x81\x5B\x83\x80\n", 16) + std::string("X\0\1Y 3\n", 7));
  EXPECT_EQ(env.get_string("TITLEBAR", 128, ""), "\x83\x51\x81\x5B\x83\x80");
  EXPECT_EQ(env.get_string("X", 128, ""), "Y");
  EXPECT_EQ(env.get_string("TITLEBAR", 3, ""), "\x83\x51") << "cut to the caller's buffer";
}

TEST(EnvFile, InsideAnArchiveEndsWithItsMember) {
  // The member after the environment file must not be read as more lines.
  std::vector<res::ArchiveMember> members = {{"quorel.env", testing_support::bytes_of("CLIENT_WIDTH 800\n")}};
  for (int i = 0;; ++i) {
    std::string name = "next" + std::to_string(i) + ".png";
    if (res::name_hash(name) > res::name_hash("quorel.env")) {
      members.push_back({name, testing_support::bytes_of("MAX_FPS 5\n")});
      break;
    }
  }
  std::vector<uint8_t> archive;
  std::string error;
  ASSERT_TRUE(res::build_archive(members, &archive, &error)) << error;
  TempDir game;
  game.write("data.arc", archive);
  auto e = testing_support::make_engine(game.path());
  ASSERT_EQ(res::FfAddFolder(*e, "data", 0), 1);
  ASSERT_EQ(rt::env_load(*e, "quorel.env"), 0);
  EXPECT_EQ(rt::env_int(*e, "CLIENT_WIDTH", 640), 800);
  EXPECT_EQ(rt::env_int(*e, "MAX_FPS", 1000), 1000);
}

TEST(EnvFile, HugeFileReadsOnlyItsFirstLines) {
  std::string big(10 * 1024 * 1024, 'z');
  rt::EnvFile env = parse("A 1\n" + big);
  EXPECT_EQ(env.get_int("A", 0), 1);
  EXPECT_LE(env.size(), 400u);
}

}  // namespace
