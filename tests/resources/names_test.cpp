// File names as games spell them: Shift-JIS bytes on disk or UTF-8, any
// letter case, backslashes; and a folder of 100,000 files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "resources/archive.h"
#include "resources/resources.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_engine.h"

using testing_support::bytes_of;
using testing_support::TempDir;

namespace {

std::string read_all(rt::Engine& e, std::string_view name) {
  auto data = res::read_resource(e, name);
  return data ? std::string(data->begin(), data->end()) : std::string("<missing>");
}

// Shift-JIS spellings, and the same names in UTF-8.
const std::string kSoft = "\x83\x5c\x83\x74\x83\x67";          // ソフト: the first character ends in "\"
const std::string kSoftUtf8 = "\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88";
const std::string kTable = "\x95\x5c";                          // 表: also ends in "\"
const std::string kPicture = "\x89\xe6\x91\x9c";                // 画像
const std::string kPictureUtf8 = "\xE7\x94\xBB\xE5\x83\x8F";

TEST(Names, ShiftJisAndUtf8OnDiskMixedCaseAndBackslashes) {
  TempDir game;
  game.write("DATA/" + kSoft + ".PNG", "sjis on disk");           // raw Shift-JIS bytes, upper case
  game.write("Data2/" + kPictureUtf8 + "/Ev" + kTable + ".Png", "utf8 folder, sjis file");
  game.write("data3/" + kSoftUtf8 + "_b.png", "utf8 on disk");
  game.write("data4/\xff\xfe.png", "neither encoding");
  game.write("Fast/" + kTable + "/x.png", "under the prefix");
  auto e = testing_support::make_engine(game.path());
  res::register_startup_folders(*e);

  EXPECT_EQ(read_all(*e, kSoft + ".png"), "sjis on disk") << "folder and extension matched without case";
  EXPECT_EQ(read_all(*e, "ev" + kTable + ".PNG"), "utf8 folder, sjis file");
  EXPECT_EQ(read_all(*e, kSoft + "_B.PNG"), "utf8 on disk");
  EXPECT_EQ(read_all(*e, "\xff\xfe.PNG"), "neither encoding") << "bytes that are neither are kept as they are";
  EXPECT_EQ(res::FfFileSize(*e, kSoft + ".png"), 12u);

  // The trail byte 0x5C is not a folder separator, in lookups or in paths.
  EXPECT_TRUE(res::FfopenTry(*e, kSoft + ".png", "rb"));
  EXPECT_FALSE(res::FfopenTry(*e, "sub\\" + kSoft + ".png", "rb")) << "a real backslash is";
  res::FfSetFastDir(*e, game / "fast");
  EXPECT_EQ(read_all(*e, kTable + "\\X.PNG"), "under the prefix") << "the prefix resolves backslashed names";
  EXPECT_EQ(read_all(*e, kTable + "/x.png"), "under the prefix");
}

TEST(Names, ArchiveAndFolderAgreeOnHashes) {
  // A name asked for in any case finds the member the tool stored.
  TempDir game;
  std::vector<uint8_t> archive;
  std::string error;
  ASSERT_TRUE(res::build_archive({{kPicture + "01.PNG", bytes_of("member")}, {"BGM\\Title.ogg", bytes_of("ogg")}},
                                 &archive, &error));
  game.write("Data.ARC", archive);
  auto e = testing_support::make_engine(game.path());
  res::register_startup_folders(*e);
  EXPECT_EQ(read_all(*e, kPicture + "01.png"), "member");
  EXPECT_EQ(read_all(*e, "title.OGG"), "ogg") << "the folder part of a member's name does not count";
}

// 100,000 files in 100 folders (empty files keep the test quick): every
// one registered, lookups find the first, the last and the missing.
TEST(Names, FolderOfOneHundredThousandFiles) {
  TempDir game(/*in_memory=*/true);
  for (int d = 0; d < 100; ++d) {
    std::string folder = game / ("data/cg" + std::to_string(d));
    std::filesystem::create_directories(folder);
    for (int f = 0; f < 1000; ++f) {
      int n = d * 1000 + f;
      std::string name = n % 10 == 0 ? kPictureUtf8 + std::to_string(n) + ".png" : "Ev" + std::to_string(n) + ".PNG";
      std::ofstream(folder + "/" + name);
    }
  }
  game.write("data/cg99/last.png", "the last one");
  auto e = testing_support::make_engine(game.path());
  res::register_startup_folders(*e);
  const res::ResourceFolder* data = nullptr;
  for (const auto& folder : e->res->folders)
    if (folder->name == "data") data = folder.get();
  ASSERT_TRUE(data);
  EXPECT_EQ(data->cache.size(), 100001u);
  EXPECT_EQ(data->dirs.size(), 100u) << "one directory string per folder";

  for (const std::string& name : {std::string("ev1.png"), std::string("EV99999.PNG"), kPicture + "0.PNG",
                                  kPicture + "99990.png", std::string("ev54321.png")})
    EXPECT_TRUE(res::FfExists(*e, name)) << name;
  EXPECT_EQ(read_all(*e, "LAST.png"), "the last one");
  EXPECT_FALSE(res::FfExists(*e, "ev100000.png"));
  EXPECT_FALSE(res::FfExists(*e, kPicture + "1.png")) << "only every tenth has the Japanese name";
}

}  // namespace
