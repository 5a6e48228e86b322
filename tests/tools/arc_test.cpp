// quorel-arc run as a program on folders and archives made here.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "base/bytes.h"
#include "resources/archive.h"
#include "resources/name_hash.h"
#include "resources/resources.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_engine.h"

namespace fs = std::filesystem;
using testing_support::run_program;
using testing_support::RunResult;
using testing_support::TempDir;

namespace {

const std::string kSjisName = "\x83\x5c\x83\x74\x83\x67.png";  // ソフト.png in Shift-JIS: the first character ends in "\"
const std::string kSjisDir = "\x89\xe6\x91\x9c";                // 画像
const std::string kUtf8Name = "\xE9\x9F\xB3\xE6\xA5\xBD.ogg";   // 音楽.ogg in UTF-8

// Every file below `dir` by relative path, with its bytes.
std::map<std::string, std::string> tree(const std::string& dir) {
  std::map<std::string, std::string> out;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    out[fs::relative(entry.path(), dir).string()] =
        std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return out;
}

std::string binary_bytes(size_t n, uint8_t seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + seed) & 0xFF);
  return s;
}

void make_sample_folder(const TempDir& dir, const std::string& name) {
  dir.write(name + "/start.mjo", binary_bytes(3000, 1));
  dir.write(name + "/" + kSjisName, binary_bytes(70, 2));
  dir.write(name + "/" + kSjisDir + "/bg01.PNG", binary_bytes(512, 3));
  dir.write(name + "/" + kUtf8Name, binary_bytes(1, 4));
  dir.write(name + "/sub/deeper/Empty.wav", "");
}

RunResult arc(std::vector<std::string> args) {
  args.insert(args.begin(), "quorel-arc");
  return run_program(args);
}

#define EXPECT_RUN(r, code) EXPECT_EQ((r).exit_code, code) << (r).out << (r).err

TEST(QuorelArc, RoundTripsShiftJisNamedFolderByteForByte) {
  TempDir t;
  make_sample_folder(t, "src");
  auto created = arc({"create", t / "a.arc", t / "src"});
  EXPECT_RUN(created, 0);

  auto extracted = arc({"extract", t / "a.arc", t / "out", "--names", t / "src"});
  EXPECT_RUN(extracted, 0);
  EXPECT_EQ(tree(t / "out"), tree(t / "src")) << "names (Shift-JIS and UTF-8 bytes), folders and contents";

  // Without names the members come out as "#HASH" files, which pack back
  // into the very same archive.
  EXPECT_RUN(arc({"extract", t / "a.arc", t / "hashed"}), 0);
  EXPECT_TRUE(t.exists("hashed/" + [] {
    char h[16];
    std::snprintf(h, sizeof h, "#%08X", res::name_hash("start.mjo"));
    return std::string(h);
  }()));
  EXPECT_RUN(arc({"create", t / "b.arc", t / "hashed"}), 0);
  EXPECT_EQ(t.read("b.arc"), t.read("a.arc"));

  // The member order depends on the names only, not on how the folder was made.
  TempDir other;
  other.write("src/sub/deeper/Empty.wav", "");
  other.write("src/" + kUtf8Name, binary_bytes(1, 4));
  other.write("src/" + kSjisDir + "/bg01.PNG", binary_bytes(512, 3));
  other.write("src/" + kSjisName, binary_bytes(70, 2));
  other.write("src/start.mjo", binary_bytes(3000, 1));
  EXPECT_RUN(arc({"create", other / "c.arc", other / "src"}), 0);
  EXPECT_EQ(other.read("c.arc"), t.read("a.arc"));
}

TEST(QuorelArc, EngineReadsWhatItCreates) {
  TempDir t;
  make_sample_folder(t, "pack");
  t.write("pack/notes.txt", "left out: the engine does not see .txt in folders");
  EXPECT_RUN(arc({"create", t / "data.arc", t / "pack"}), 0);
  auto e = testing_support::make_engine(t.path());
  ASSERT_EQ(res::FfAddFolder(*e, "data", 0), 1);
  auto read = [&](const std::string& name) {
    auto data = res::read_resource(*e, name);
    return data ? std::string(data->begin(), data->end()) : "<missing>";
  };
  EXPECT_EQ(read("START.MJO"), binary_bytes(3000, 1));
  EXPECT_EQ(read(kSjisName), binary_bytes(70, 2));
  EXPECT_EQ(read("bg01.png"), binary_bytes(512, 3)) << "folders are flattened";
  EXPECT_EQ(read("\x89\xb9\x8a\x79.ogg"), binary_bytes(1, 4)) << "a UTF-8 name is found by its Shift-JIS form";
  EXPECT_EQ(res::FfFileSize(*e, "empty.wav"), 0u);
  EXPECT_TRUE(res::FfExists(*e, "empty.wav"));
  EXPECT_FALSE(res::FfExists(*e, "notes.txt"));
}

// The written layout as the format describes it: other tools read the header
// words the engine ignores.
TEST(QuorelArc, CreatedArchiveFollowsTheDocumentedLayout) {
  TempDir t;
  make_sample_folder(t, "pack");
  EXPECT_RUN(arc({"create", t / "data.arc", t / "pack"}), 0);
  std::ifstream in(t / "data.arc", std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GE(bytes.size(), 28u);
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  EXPECT_EQ(std::memcmp(p, "QuorelArcV1.000\0", 16), 0);
  const uint32_t count = base::load_u32(p + 16);
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(base::load_u32(p + 20), (count + 1) * 8) << "the index size";
  EXPECT_EQ(base::load_u32(p + 24), 0u);
  ASSERT_GE(bytes.size(), 28 + (count + 1) * 8);
  EXPECT_EQ(base::load_u32(p + 28 + 4), 28 + (count + 1) * 8) << "the first member follows the index";
  for (uint32_t i = 1; i < count; ++i)
    EXPECT_LT(base::load_u32(p + 28 + 8 * (i - 1)), base::load_u32(p + 28 + 8 * i)) << "hashes ascend";
  EXPECT_EQ(base::load_u32(p + 28 + 8 * count + 4), bytes.size()) << "the closing entry marks the end";
  EXPECT_EQ(bytes.size() - (28 + (count + 1) * 8), 3000u + 70 + 512 + 1 + 0) << "members stored as they are";
}

TEST(QuorelArc, CreateRefusesClashesAndKeepsTheOldArchive) {
  TempDir t;
  t.write("old.arc", "previous archive");
  t.write("src/one/Same.png", "1");
  t.write("src/two/same.PNG", "2");
  auto r = arc({"create", t / "old.arc", t / "src"});
  EXPECT_RUN(r, 1);
  EXPECT_NE(r.err.find("'one/Same.png' and 'two/same.PNG' have the same name hash"), std::string::npos) << r.err;
  EXPECT_EQ(t.read("old.arc"), "previous archive");

  // A "#HASH" file that names the hash of another file clashes as well.
  TempDir h;
  h.write("src/a.png", "a");
  char hashed[16];
  std::snprintf(hashed, sizeof hashed, "#%08x", res::name_hash("a.png"));
  h.write(std::string("src/") + hashed, "b");
  EXPECT_RUN(arc({"create", h / "x.arc", h / "src"}), 1);

  EXPECT_RUN(arc({"create", t / "new.arc", t / "no-such-folder"}), 1);
  EXPECT_RUN(arc({"create", t / "missing-folder/new.arc", t / "src/one"}), 1);
  for (const auto& entry : fs::directory_iterator(t.path()))
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << "left behind: " << entry.path();
}

TEST(QuorelArc, CreateLeavesOutWhatTheEngineWouldNotSeeUnlessAll) {
  TempDir t;
  t.write("src/a.png", "a");
  t.write("src/readme.TXT", "r");
  t.write("src/mdb/m.png", "m");
  t.write("src/DebugInfo/d.png", "d");
  auto r = arc({"create", t / "x.arc", t / "src"});
  EXPECT_RUN(r, 0);
  EXPECT_NE(r.err.find("left out 3"), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("1 members"), std::string::npos) << r.out;
  auto all = arc({"create", t / "y.arc", t / "src", "--all"});
  EXPECT_RUN(all, 0);
  EXPECT_NE(all.out.find("4 members"), std::string::npos) << all.out;

  // An archive is never written into the folder it packs.
  EXPECT_RUN(arc({"create", t / "src/self.arc", t / "src"}), 1);
  EXPECT_FALSE(t.exists("src/self.arc"));
}

// Hand-made archives: header, then (hash, offset) pairs, then data.
std::string archive_bytes(uint32_t count, std::vector<std::pair<uint32_t, uint32_t>> index, size_t data_bytes) {
  std::string s(res::kArchiveMagic, 16);
  base::append_u32(s, count);
  base::append_u32(s, 0);
  base::append_u32(s, 0);
  for (auto [hash, offset] : index) {
    base::append_u32(s, hash);
    base::append_u32(s, offset);
  }
  return s + std::string(data_bytes, 'd');
}

TEST(QuorelArc, BrokenArchivesAreRefusedClearly) {
  const uint32_t data = 28 + 3 * 8;  // where member data starts for two members
  struct Case {
    const char* what;
    std::string bytes;
    const char* message;
  } cases[] = {
      {"shorter than the header", std::string(res::kArchiveMagic, 16) + "\1\0\0", "not an archive"},
      {"magic differs", std::string("QuorelArcV1.001", 16) + std::string(20, '\0'), "not an archive"},
      {"index cut short", archive_bytes(2, {{1, data}, {2, data + 4}}, 0), "truncated"},
      {"count overflows", archive_bytes(0xFFFFFFFF, {{1, data}}, 64), "truncated"},
      {"count times 8 wraps at 32 bits", archive_bytes(0x20000000, {{0, 36}}, 0), "truncated"},
      {"member beyond the end", archive_bytes(2, {{1, data}, {2, data + 4}, {0, data + 100}}, 8),
       "ends at offset 152, beyond the end"},
      {"member starts beyond the end", archive_bytes(2, {{1, data}, {2, 0x7FFFFFF0}, {0, 0x7FFFFFF8}}, 8),
       "member 1 starts at offset"},
      {"offset going backwards", archive_bytes(2, {{1, data + 4}, {2, data}, {0, data + 8}}, 8), "negative member size"},
      {"hashes out of order", archive_bytes(2, {{9, data}, {2, data + 4}, {0, data + 8}}, 8), "ascending"},
      {"duplicate names", archive_bytes(2, {{7, data}, {7, data + 4}, {0, data + 8}}, 8), "same name hash 00000007"},
  };
  TempDir t;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    t.write("bad.arc", c.bytes);
    auto listed = arc({"list", t / "bad.arc"});
    EXPECT_RUN(listed, 1);
    EXPECT_NE(listed.err.find(c.message), std::string::npos) << listed.err;
    EXPECT_TRUE(listed.out.empty());
    EXPECT_RUN(arc({"extract", t / "bad.arc", t / "out"}), 1);
    EXPECT_FALSE(t.exists("out")) << "nothing is written for a broken archive";
  }
  EXPECT_RUN(arc({"list", t / "missing.arc"}), 1);
  EXPECT_RUN(arc({"list", t.path()}), 1) << "a folder is not an archive";
}

TEST(QuorelArc, ListAndExtractWithANamesFile) {
  TempDir t;
  t.write("src/title.png", "T");
  t.write("src/" + kSjisName, "S");
  t.write("src/evil.png", "E");
  t.write("src/unnamed.png", "U");
  EXPECT_RUN(arc({"create", t / "x.arc", t / "src"}), 0);
  // UTF-8 and Shift-JIS lines, a folder path with backslashes, a path that
  // tries to leave the target folder, blank lines and CRLF endings.
  t.write("names.txt", "bg\\Title.PNG\r\n\n\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88.png\r\n../../evil.png\n  \n");
  auto listed = arc({"list", t / "x.arc", "--names=" + (t / "names.txt")});
  EXPECT_RUN(listed, 0);
  EXPECT_NE(listed.out.find("bg/Title.PNG"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88.png"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("  -\n"), std::string::npos) << "unnamed members show '-'";
  EXPECT_NE(listed.out.find("  evil.png\n"), std::string::npos) << "a path leaving the folder keeps its file name";

  auto r = arc({"extract", t / "x.arc", t / "out", "--names", t / "names.txt"});
  EXPECT_RUN(r, 0);
  EXPECT_EQ(t.read("out/bg/Title.PNG"), "T");
  EXPECT_EQ(t.read("out/\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88.png"), "S");
  EXPECT_EQ(t.read("out/evil.png"), "E") << "kept inside the target folder";
  EXPECT_FALSE(fs::exists(fs::path(t.path()).parent_path() / "evil.png"));

  // Extracting again would overwrite: refused unless --force.
  t.write("out/evil.png", "edited by hand");
  auto again = arc({"extract", t / "x.arc", t / "out", "--names", t / "names.txt"});
  EXPECT_RUN(again, 1);
  EXPECT_NE(again.err.find("already exists"), std::string::npos);
  EXPECT_EQ(t.read("out/evil.png"), "edited by hand");
  EXPECT_RUN(arc({"extract", t / "x.arc", t / "out", "--names", t / "names.txt", "--force"}), 0);
  EXPECT_EQ(t.read("out/evil.png"), "E");

  EXPECT_RUN(arc({"list", t / "x.arc", "--names", t / "no-such-names"}), 1);
}

// A names-file line loses the blanks around it, and doubled separators in
// its folder path count once: the member lands in that folder.
TEST(QuorelArc, NamesFileLinesAreTrimmedAndRepeatedSeparatorsCountOnce) {
  TempDir t;
  t.write("src/title.png", "T");
  t.write("src/logo.png", "L");
  EXPECT_RUN(arc({"create", t / "x.arc", t / "src"}), 0);
  t.write("names.txt", " \tsub//deep\\\\title.png  \t\r\nlogo.png \n");
  auto r = arc({"extract", t / "x.arc", t / "out", "--names", t / "names.txt"});
  EXPECT_RUN(r, 0);
  EXPECT_EQ(t.read("out/sub/deep/title.png"), "T");
  EXPECT_EQ(t.read("out/logo.png"), "L");
}

TEST(QuorelArc, CommandLine) {
  auto help = arc({"--help"});
  EXPECT_RUN(help, 0);
  EXPECT_NE(help.out.find("usage: quorel-arc list"), std::string::npos);
  for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{
           {}, {"frobnicate"}, {"list"}, {"list", "a", "b"}, {"create", "a.arc"}, {"list", "a.arc", "--bogus"},
           {"create", "a.arc", "dir", "--force"}, {"list", "a.arc", "--names"}, {"hash"}}) {
    auto r = arc(bad);
    EXPECT_EQ(r.exit_code, 2) << ::testing::PrintToString(bad);
    EXPECT_NE(r.err.find("usage:"), std::string::npos);
  }
  auto hashed = arc({"hash", "START.MJO", kSjisName});
  EXPECT_RUN(hashed, 0);
  char expected[64];
  std::snprintf(expected, sizeof expected, "%08X  START.MJO\n", res::name_hash("start.mjo"));
  EXPECT_EQ(hashed.out.substr(0, std::strlen(expected)), expected);
}

TEST(QuorelArc, LargeJobsShowProgress) {
  TempDir t(/*in_memory=*/true);
  for (int i = 0; i < 5000; ++i) t.write("src/f" + std::to_string(i) + ".png", std::to_string(i));
  auto r = arc({"create", t / "big.arc", t / "src"});
  EXPECT_RUN(r, 0);
  EXPECT_NE(r.err.find("creating " + (t / "big.arc") + ":  50%"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("100% (5000/5000 members"), std::string::npos) << r.err;
  auto x = arc({"extract", t / "big.arc", t / "out"});
  EXPECT_RUN(x, 0);
  EXPECT_NE(x.err.find("extracting"), std::string::npos);
}

}  // namespace
