// The search order over resource folders and the Ff lookups, on real
// folders and archives in a temporary game folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "resources/archive.h"
#include "resources/resources.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_engine.h"

using testing_support::bytes_of;
using testing_support::TempDir;

namespace {

std::string read_all(rt::Engine& e, const char* name) {
  auto data = res::read_resource(e, name);
  return data ? std::string(data->begin(), data->end()) : std::string("<missing>");
}

std::vector<uint8_t> archive_of(std::vector<res::ArchiveMember> members) {
  std::vector<uint8_t> out;
  std::string error;
  EXPECT_TRUE(res::build_archive(std::move(members), &out, &error)) << error;
  return out;
}

class Search : public ::testing::Test {
 protected:
  TempDir game;
  std::unique_ptr<rt::Engine> e;
  void start() {
    e = testing_support::make_engine(game.path());
    res::register_startup_folders(*e);
  }
};

TEST_F(Search, EarlierFoldersWinAndModeFollowsFastdata) {
  game.write("update/a.png", "from update");
  game.write("data/a.png", "from data");
  game.write("data/b.png", "only data");
  game.write("data/sub/deeper/c.png", "nested");
  start();
  EXPECT_EQ(read_all(*e, "a.png"), "from update");
  EXPECT_EQ(read_all(*e, "B.PNG"), "only data") << "names are case-insensitive";
  EXPECT_EQ(read_all(*e, "c.png"), "nested");
  EXPECT_TRUE(rt::is_release_mode(*e)) << "no fastdata directory: release mode";

  TempDir dev;
  dev.make_dir("fastdata");
  auto e2 = testing_support::make_engine(dev.path());
  res::register_startup_folders(*e2);
  EXPECT_FALSE(rt::is_release_mode(*e2));
}

TEST_F(Search, InvisibleFilesAndFolders) {
  game.write("data/readme.txt", "x");
  game.write("data/tool.EXE", "x");
  game.write("data/mdb/m.png", "x");
  game.write("data/DebugInfo/d.png", "x");
  game.write("data/noext", "kept");
  start();
  for (const char* name : {"readme.txt", "tool.exe", "m.png", "d.png"}) EXPECT_FALSE(res::FfExists(*e, name)) << name;
  EXPECT_EQ(read_all(*e, "noext"), "kept");
}

// The extensions a folder listing leaves out, by the last dot and in any
// letter case; names that only look alike stay visible.
TEST_F(Search, IgnoredExtensionsAreTheListedOnesOnly) {
  const char* hidden[] = {"a.lnk", "a.exe", "a.com", "a.dll", "a.log", "a.sue", "a.mdb",
                          "a.mjs", "a.mjh", "a.db",  "a.txt", "b.TxT", "c.DB",  "d.png.Log"};
  const char* shown[] = {"e.tx", "f.txt2", "g.d", "h.txt.png", "i.dbx", "j.mj", "txt", "k.lnkk"};
  for (const char* name : hidden) game.write(std::string("data/") + name, "hidden");
  for (const char* name : shown) game.write(std::string("data/") + name, "shown");
  game.write("data/odd./x.png", "under a folder ending in a dot");
  start();
  for (const char* name : hidden) EXPECT_FALSE(res::FfExists(*e, name)) << name;
  for (const char* name : shown) EXPECT_EQ(read_all(*e, name), "shown") << name;
  EXPECT_FALSE(res::FfExists(*e, "x.png"));
}

TEST_F(Search, DirectoryPartsAndStreamFolders) {
  game.write("data/x.png", "x");
  game.write("stream/s.png", "streamed picture");
  game.write("stream/m.ogg", "music");
  game.write("stream/v.WAV", "a voice");
  start();
  EXPECT_FALSE(res::FfopenTry(*e, "data\\x.png", "rb")) << "a name with a directory is never found in the folders";
  EXPECT_FALSE(res::FfFilePath(*e, "data\\x.png"));
  EXPECT_EQ(res::FfFileSize(*e, "data\\x.png"), 0u) << "the size lookup tries the path below each hit's directory";
  EXPECT_TRUE(res::FfopenTry(*e, "s.png", "rb"));
  EXPECT_EQ(res::FfFileSize(*e, "s.png"), 0u) << "non-audio files in stream folders have no size";
  EXPECT_EQ(res::FfFileSize(*e, "m.ogg"), 5u);
  EXPECT_EQ(res::FfFileSize(*e, "v.wav"), 7u) << "wave files are audio as well";
}

TEST_F(Search, SizeAndTimeTryANameWithAFolderBelowEachHit) {
  game.write("data/x.png", "x");
  game.write("data/mdb/x.png", "hidden");  // not scanned, but reachable as a path below data
  start();
  EXPECT_EQ(res::FfFileSize(*e, "mdb\\x.png"), 6u);
  EXPECT_NE(res::FfFileTime(*e, "MDB\\X.PNG"), 0u);
  EXPECT_EQ(res::FfFileSize(*e, "other\\x.png"), 0u) << "not the file-name part alone";
  EXPECT_EQ(res::FfFileTime(*e, "other\\x.png"), 0u);
  EXPECT_FALSE(res::FfopenTry(*e, "mdb\\x.png", "rb"));
}

TEST_F(Search, FastReadPrefixOrder) {
  TempDir fast;
  game.write("stream/m.ogg", "stream copy");
  game.write("stream/v.wav", "stream copy");
  game.write("data/p.png", "data copy");
  fast.write("m.ogg", "fast copy");
  fast.write("v.wav", "fast copy");
  fast.write("p.png", "fast copy");
  start();
  res::FfSetFastDir(*e, fast.path());
  EXPECT_EQ(read_all(*e, "m.ogg"), "stream copy") << "audio: folders first";
  EXPECT_EQ(read_all(*e, "V.WAV"), "stream copy") << "audio, whatever the letter case";
  EXPECT_EQ(read_all(*e, "p.png"), "fast copy") << "everything else: fast-read directory first";
}

TEST_F(Search, ShiftJisNamesOnDiskInUtf8) {
  game.write("data/\xE7\x94\xBB\xE5\x83\x8F.png", "picture");  // 画像.png stored in UTF-8
  start();
  EXPECT_EQ(read_all(*e, "\x89\xe6\x91\x9c.png"), "picture");  // asked for in Shift-JIS
  EXPECT_EQ(read_all(*e, "\x89\xe6\x91\x9c.PNG"), "picture");
}

TEST_F(Search, ReRegisteringRescansButKeepsThePlace) {
  game.write("data/a.png", "data");
  game.write("data2/a.png", "data2");
  start();
  EXPECT_EQ(read_all(*e, "a.png"), "data");
  game.write("data/new.png", "new");
  EXPECT_FALSE(res::FfExists(*e, "new.png"));
  EXPECT_EQ(res::FfAddFolder(*e, "data", 0), 0);
  EXPECT_EQ(read_all(*e, "new.png"), "new");
  EXPECT_EQ(read_all(*e, "a.png"), "data") << "data stays ahead of data2";
  EXPECT_TRUE(res::FfClearFolder(*e, "data"));
  EXPECT_EQ(read_all(*e, "a.png"), "data2");
  EXPECT_EQ(res::FfAddFolder(*e, "nothing-here", 0), -1);
}

// A folder name from a script stays inside the game's folder (and the
// fast-read folder): ".." would index everything around them.
TEST(FolderNames, ParentFolderIsNeverRegistered) {
  TempDir outer;
  outer.write("game/data/a.png", "inside");
  outer.write("secret.png", "outside");
  outer.write("fast/x.png", "fast");
  outer.write("beside/secret2.png", "beside the fast folder");
  auto e = testing_support::make_engine(outer / "game");
  res::register_startup_folders(*e);
  EXPECT_EQ(res::FfAddFolder(*e, "..", 0), -1);
  EXPECT_FALSE(res::FfExists(*e, "secret.png"));
  res::FfSetFastDir(*e, outer / "fast/sub");
  outer.make_dir("fast/sub");
  EXPECT_EQ(res::FfAddFolder(*e, "..", 0), -1);
  EXPECT_FALSE(res::FfExists(*e, "x.png"));
  EXPECT_EQ(res::FfAddFolder(*e, outer / "beside", 0), -1) << "an absolute name";
  EXPECT_EQ(res::FfAddFolder(*e, "", 0), -1);
  EXPECT_FALSE(res::FfExists(*e, "secret2.png"));
  EXPECT_EQ(read_all(*e, "a.png"), "inside");
}

TEST_F(Search, DuplicateNamesInOneFolderAreReported) {
  game.write("data/one/Same.png", "first");
  game.write("data/two/same.PNG", "second");
  game.write("data2/same.png", "other folder: not a duplicate");
  testing::internal::CaptureStderr();
  start();
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.find("message box"), err.rfind("message box")) << "reported once:\n" << err;
  EXPECT_NE(err.find("same"), std::string::npos);
  EXPECT_EQ(read_all(*e, "same.png"), "first") << "the entry met first wins";
}

TEST_F(Search, EveryEarlierCopyIsReportedAndLinkLoopsEnd) {
  game.write("data/a/x.png", "1");
  game.write("data/b/X.png", "2");
  game.write("data/c/x.PNG", "3");
  // A link back up the tree would make the scan endless.
  std::filesystem::create_directory_symlink("..", game / "data/c/loop");
  testing::internal::CaptureStderr();
  start();
  std::string err = testing::internal::GetCapturedStderr();
  size_t boxes = 0;
  for (size_t at = err.find("message box"); at != std::string::npos; at = err.find("message box", at + 1)) ++boxes;
  EXPECT_EQ(boxes, 3u) << "the second copy against the first, the third against both:\n" << err;
  // In the order of the later copies, each against the earlier ones in turn.
  const std::string a = game / "data/a", b = game / "data/b", c = game / "data/c";
  const size_t ab = err.find("[ " + a + " ]と[ " + b + " ]"), ac = err.find("[ " + a + " ]と[ " + c + " ]"),
               bc = err.find("[ " + b + " ]と[ " + c + " ]");
  ASSERT_NE(ab, std::string::npos) << err;
  ASSERT_NE(ac, std::string::npos) << err;
  ASSERT_NE(bc, std::string::npos) << err;
  EXPECT_LT(ab, ac) << err;
  EXPECT_LT(ac, bc) << err;
  EXPECT_EQ(read_all(*e, "x.png"), "1");
}

TEST_F(Search, ArchiveMembers) {
  game.write("data.arc", archive_of({{"a.png", bytes_of("AAAA")}, {"b.png", bytes_of("BB")}, {"c.png", bytes_of("")}}));
  game.write("data/a.png", "directory of the same name is ignored");
  start();
  EXPECT_EQ(read_all(*e, "A.PNG"), "AAAA");
  EXPECT_EQ(read_all(*e, "b.png"), "BB");
  EXPECT_EQ(res::FfFileSize(*e, "b.png"), 2u);
  EXPECT_TRUE(res::FfExists(*e, "c.png"));
  EXPECT_EQ(res::FfFileSize(*e, "c.png"), 0u);
  EXPECT_EQ(res::FfFileTime(*e, "a.png"), 0u) << "archive members have no file time";
  EXPECT_EQ(res::FfAddFolder(*e, "data", 0), 1) << "an archive folder is not reloaded";
  // The stream of a member is the archive itself: reading on goes into the next member.
  size_t readable = 0;
  for (const char* name : {"a.png", "b.png"}) {
    plat::File f = res::FfopenTry(*e, name, "rb");
    ASSERT_TRUE(f);
    char buf[64];
    readable += f.read(buf, sizeof buf);
  }
  EXPECT_GT(readable, 6u) << "at least one member is followed by another's bytes";
}

TEST_F(Search, DamagedArchivesFallBackToTheDirectory) {
  auto good = archive_of({{"a.png", bytes_of("A")}});
  auto bad_magic = good;
  bad_magic[15] = 'x';  // the terminating NUL counts
  game.write("data.arc", bad_magic);
  game.write("data/a.png", "directory");
  auto truncated = good;
  truncated.resize(30);
  game.write("data1.arc", truncated);
  auto backwards = archive_of({{"x.png", bytes_of("xx")}, {"y.png", bytes_of("yy")}});
  backwards[28 + 4] = 0xFF;  // first member offset beyond the second
  game.write("data2.arc", backwards);
  start();
  EXPECT_EQ(read_all(*e, "a.png"), "directory");
  EXPECT_FALSE(res::FfExists(*e, "x.png"));
}

TEST(Archive, IndexRules) {
  std::vector<uint8_t> empty;
  std::string error;
  ASSERT_TRUE(res::build_archive({}, &empty, &error));
  auto index = res::parse_archive_index(empty);
  ASSERT_TRUE(index);
  EXPECT_EQ(index->count(), 0u);
  EXPECT_EQ(index->entries.size(), 1u) << "only the closing entry";

  std::vector<uint8_t> out;
  EXPECT_FALSE(res::build_archive({{"a.png", {}}, {"A.PNG", {}}}, &out, &error)) << "same hash twice";

  // A count so large that the index would overflow 32 bits.
  auto huge = empty;
  huge[16] = huge[17] = huge[18] = huge[19] = 0xFF;
  res::ArchiveProblem why;
  EXPECT_FALSE(res::parse_archive_index(huge, &why));
  EXPECT_EQ(why.error, res::ArchiveError::Truncated);
}

TEST(UpdateCopy, KeepsFreshCopiesAndRefreshesStaleOnes) {
  TempDir game, fast;
  game.write("data.arc", "new archive");
  auto e = testing_support::make_engine(game.path());
  res::FfSetFastDir(*e, fast.path());

  res::update_archive_copy(*e, "data");
  EXPECT_EQ(fast.read("data.arc"), "new archive") << "a missing copy is made";

  fast.write("data.arc", "stale");
  // Make the copy clearly older than the source.
  std::string cmd = "touch -d '2001-01-01' " + (fast / "data.arc");
  ASSERT_EQ(system(cmd.c_str()), 0);
  res::update_archive_copy(*e, "data");
  EXPECT_EQ(fast.read("data.arc"), "new archive");

  fast.write("data.arc", "newer copy");  // newer than the source: kept
  res::update_archive_copy(*e, "data");
  EXPECT_EQ(fast.read("data.arc"), "newer copy");

  std::remove((game / "data.arc").c_str());
  res::update_archive_copy(*e, "data");
  EXPECT_FALSE(fast.exists("data.arc")) << "a copy whose source is gone is deleted";
}

}  // namespace
