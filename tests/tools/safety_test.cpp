// The tools as a careless or hostile user drives them: outputs that are
// their own inputs, interruptions, folders they cannot read, refusals that
// must leave nothing behind, and messages that name the real cause.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "base/crc32.h"
#include "graphics/image_codec.h"
#include "graphics/png_codec.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;
using testing_support::Background;
using testing_support::run_program;
using testing_support::RunResult;
using testing_support::TempDir;

namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string bytes_string(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

// A small .rct and its alpha image NAME_.rc8.
void write_image_pair(const TempDir& t, const std::string& name) {
  std::vector<uint8_t> bgr(4 * 4 * 3, 0x40), alpha(4 * 4, 0x80);
  t.write(name + ".rct", bytes_string(gfx::encode_rct(bgr.data(), 4, 4, 12, "")));
  gfx::Palette grey{};
  for (int i = 0; i < 256; ++i) grey[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
  t.write(name + "_.rc8", bytes_string(gfx::encode_rc8(alpha.data(), 4, 4, 4, grey)));
}

TEST(ToolSafety, NoToolWritesOverItsOwnInput) {
  TempDir t;
  write_image_pair(t, "ball");
  const std::string rct = t.read("ball.rct"), rc8 = t.read("ball_.rc8");
  for (std::vector<std::string> argv : std::vector<std::vector<std::string>>{
           {"quorel-img", "decode", t / "ball.rct", t / "ball.rct"},
           {"quorel-img", "decode", t / "ball.rct", t / "ball_.rc8"},
           {"quorel-img", "encode", t / "ball.rct", t / "ball.rct"}}) {
    auto r = run_program(argv);
    EXPECT_NE(r.exit_code, 0) << argv[1] << " " << argv[3];
    EXPECT_EQ(t.read("ball.rct"), rct);
    EXPECT_EQ(t.read("ball_.rc8"), rc8);
  }
  auto decoded = run_program({"quorel-img", "decode", t / "ball.rct", t / "ball.png"});
  EXPECT_EQ(decoded.exit_code, 0) << decoded.err;
  auto png_over_alpha = run_program({"quorel-img", "encode", t / "ball.png", t / "ball_.png"});
  EXPECT_EQ(png_over_alpha.exit_code, 0) << "another name is fine: " << png_over_alpha.err;

  t.write("x.qasm", ".function $f@GLOBAL\n    return\n");
  const std::string source = t.read("x.qasm");
  for (std::vector<std::string> argv : std::vector<std::vector<std::string>>{
           {"quorel-asm", t / "x.qasm", "-o", t / "x.qasm"},
           {"quorel-asm", t / "x.qasm", "--symbols", t / "x.qasm"}}) {
    auto r = run_program(argv);
    EXPECT_EQ(r.exit_code, 2) << argv[2];
    EXPECT_TRUE(contains(r.err, "refusing to write over it")) << r.err;
    EXPECT_EQ(t.read("x.qasm"), source);
  }
  ASSERT_EQ(run_program({"quorel-asm", t / "x.qasm", "-o", t / "x.mjo"}).exit_code, 0);
  auto symbols_over_object = run_program({"quorel-asm", t / "x.qasm", "-o", t / "x.mjo", "--symbols", t / "x.mjo"});
  EXPECT_EQ(symbols_over_object.exit_code, 2);

  t.write("src/a.png", "A");
  t.write("src/b.png", "B");
  auto packed_into_itself = run_program({"quorel-arc", "create", t / "src/a.png", t / "src"});
  EXPECT_EQ(packed_into_itself.exit_code, 1);
  EXPECT_TRUE(contains(packed_into_itself.err, "inside the folder being packed")) << packed_into_itself.err;
  EXPECT_EQ(t.read("src/a.png"), "A");
  EXPECT_FALSE(t.exists("src/new.arc"));
  EXPECT_EQ(run_program({"quorel-arc", "create", t / "src/new.arc", t / "src"}).exit_code, 1);
  EXPECT_FALSE(t.exists("src/new.arc"));

  // An archive holding a member of its own name, or of its names file's,
  // extracted beside itself: --force overwrites files, never the inputs.
  t.write("own/x.arc", "member");
  t.write("own/names.txt", "member");
  t.write("own/p.png", "P");
  ASSERT_EQ(run_program({"quorel-arc", "create", t / "own.arc", t / "own", "--all"}).exit_code, 0);
  t.write("out/by-link.txt", "x.arc\np.png\n");
  t.write("out/names.txt", "names.txt\np.png\n");
  fs::copy_file(t / "own.arc", t / "out/own.arc");
  fs::create_hard_link(t / "out/own.arc", t / "out/x.arc");  // the archive under another name
  const std::string archive = t.read("out/own.arc"), names = t.read("out/names.txt");
  for (const std::string& names_file : {t / "out/by-link.txt", t / "out/../out/names.txt"}) {
    auto r = run_program({"quorel-arc", "extract", t / "out/own.arc", t / "out", "--names", names_file, "--force"});
    EXPECT_EQ(r.exit_code, 1) << names_file << r.out;
    EXPECT_TRUE(contains(r.err, "is an input")) << r.err;
    EXPECT_EQ(t.read("out/own.arc"), archive);
    EXPECT_EQ(t.read("out/names.txt"), names);
    EXPECT_FALSE(t.exists("out/p.png")) << "nothing is written";
  }
}

TEST(ToolSafety, AnInterruptedCreateLeavesNoTemporaryFile) {
  TempDir t;
  t.make_dir("src");
  t.make_dir("out");
  {
    // Large but sparse: it costs no disk until it is copied.
    std::FILE* f = std::fopen((t / "src/big.png").c_str(), "wb");
    ASSERT_TRUE(f);
    ASSERT_EQ(ftruncate(fileno(f), 1500ll << 20), 0);
    std::fclose(f);
  }
  Background run({"quorel-arc", "create", t / "out/data.arc", t / "src"});
  bool temp_seen = false;
  for (int i = 0; i < 20000 && !temp_seen && run.running(); ++i) {
    for (const auto& e : fs::directory_iterator(t / "out")) temp_seen |= contains(e.path().filename(), ".tmp.");
    if (!temp_seen) std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  ASSERT_TRUE(temp_seen) << "the archive was written before it could be interrupted";
  kill(run.pid(), SIGINT);
  ASSERT_TRUE(run.wait(20000));
  EXPECT_EQ(run.exit_code(), 128 + SIGINT);
  EXPECT_TRUE(fs::is_empty(t / "out")) << "a temporary file (or an archive) is left";
}

TEST(ToolSafety, UnreadableFoldersAreRefusedNotSkipped) {
  // Root reads every folder: then the tools run as "nobody", when that can be done.
  std::vector<std::string> as_user;
  if (geteuid() == 0) {
    if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "run as root without setpriv: cannot be shown";
    as_user = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  }
  TempDir t;
  t.write("src/a.png", "A");
  t.write("src/locked/b.png", "B");
  std::vector<uint8_t> bgr(2 * 2 * 3, 0);
  t.write("pngs/c.png", bytes_string(gfx::encode_png_bgr(bgr.data(), 2, 2, 6)));
  t.write("pngs/locked/c.png", bytes_string(gfx::encode_png_bgr(bgr.data(), 2, 2, 6)));
  for (const char* open : {"", "src", "pngs"}) chmod((t / open).c_str(), 0777);
  chmod((t / "src/locked").c_str(), 0);
  chmod((t / "pngs/locked").c_str(), 0);
  auto run = [&](std::vector<std::string> argv) {
    argv[0] = testing_support::built_program(argv[0]);
    argv.insert(argv.begin(), as_user.begin(), as_user.end());
    return run_program(argv);
  };
  auto arc = run({"quorel-arc", "create", t / "data.arc", t / "src"});
  auto img = run({"quorel-img", "encode-dir", t / "pngs", t / "out"});
  chmod((t / "src/locked").c_str(), 0755);
  chmod((t / "pngs/locked").c_str(), 0755);
  EXPECT_EQ(arc.exit_code, 1) << arc.err;
  EXPECT_TRUE(contains(arc.err, "locked: cannot read the folder: Permission denied")) << arc.err;
  EXPECT_FALSE(t.exists("data.arc"));
  EXPECT_EQ(img.exit_code, 1) << img.err;
  EXPECT_TRUE(contains(img.err, "locked: cannot read the folder")) << img.err;
  EXPECT_TRUE(t.exists("out/c.rct")) << "the readable files are still converted: " << img.err;
}

TEST(ToolSafety, ARefusedExtractLeavesNothingBehind) {
  TempDir t;
  t.write("src/a.png", "A");
  t.write("src/deep.png", "D");
  ASSERT_EQ(run_program({"quorel-arc", "create", t / "x.arc", t / "src"}).exit_code, 0);
  // A name too deep for the file system: hundreds of folders before it fails.
  std::string deep;
  for (int i = 0; i < 3000; ++i) deep += "dddddddd/";
  t.write("names.txt", "a.png\n" + deep + "deep.png\n");
  auto r = run_program({"quorel-arc", "extract", t / "x.arc", t / "out", "--names", t / "names.txt"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(contains(r.err, "File name too long")) << r.err;
  EXPECT_FALSE(fs::exists(t / "out")) << "folders or files of the failed extract are left";

  // Into a folder that exists: it stays, and only it.
  t.make_dir("out");
  t.write("out/mine.txt", "mine");
  r = run_program({"quorel-arc", "extract", t / "x.arc", t / "out", "--names", t / "names.txt"});
  EXPECT_EQ(r.exit_code, 1);
  size_t entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(t / "out")) ++entries;
  EXPECT_EQ(entries, 1u);
  EXPECT_EQ(t.read("out/mine.txt"), "mine");
}

TEST(ToolSafety, AssemblerRefusesScriptsTheEngineCannotLoad) {
  TempDir t;
  t.write("entry.qasm", ".entry 100\n.function $f@GLOBAL\n    return\n");
  auto entry = run_program({"quorel-asm", t / "entry.qasm"});
  EXPECT_EQ(entry.exit_code, 1);
  EXPECT_TRUE(contains(entry.err, "entry.qasm:1: the entry point at offset 100 is not inside the code")) << entry.err;
  EXPECT_FALSE(t.exists("entry.mjo"));

  t.write("export.qasm", ".function $f@GLOBAL\n    return\nend:\n.export $g@GLOBAL, end\n");
  auto exported = run_program({"quorel-asm", t / "export.qasm"});
  EXPECT_EQ(exported.exit_code, 1);
  EXPECT_TRUE(contains(exported.err, "export.qasm:4: the function at offset")) << exported.err;

  t.write("trailing.qasm", ".function $f@GLOBAL\n    return\n.function $g@GLOBAL\n");
  EXPECT_EQ(run_program({"quorel-asm", t / "trailing.qasm"}).exit_code, 1);

  // A byte-order mark from an editor is not an instruction.
  t.write("bom.qasm", "\xEF\xBB\xBF.function $f@GLOBAL\n    return\n");
  auto bom = run_program({"quorel-asm", t / "bom.qasm"});
  EXPECT_EQ(bom.exit_code, 0) << bom.err;

  auto folder = run_program({"quorel-asm", t.path()});
  EXPECT_EQ(folder.exit_code, 1);
  EXPECT_TRUE(contains(folder.err, "Is a directory")) << folder.err;
}

TEST(ToolSafety, MessagesNameTheRealCause) {
  TempDir t;
  // More than an archive's offsets can reach, as sparse files.
  t.make_dir("huge");
  for (const char* name : {"huge/a.png", "huge/b.png"}) {
    std::FILE* f = std::fopen((t / name).c_str(), "wb");
    ASSERT_TRUE(f);
    ASSERT_EQ(ftruncate(fileno(f), 1200ll << 20), 0);
    std::fclose(f);
  }
  auto big = run_program({"quorel-arc", "create", t / "huge.arc", t / "huge"});
  EXPECT_EQ(big.exit_code, 1);
  EXPECT_TRUE(contains(big.err, "the most its 32-bit offsets can reach\n")) << big.err;
  EXPECT_FALSE(contains(big.err, "letter case")) << big.err;

  auto missing = run_program({"quorel-img", "decode", t / "none.rct"});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_TRUE(contains(missing.err, "No such file or directory")) << missing.err;
}

// A PNG that claims 16384 x 16384 pixels (its data need not be there: the
// size alone is refused).
std::string huge_png_header() {
  auto chunk = [](const std::string& type, const std::string& data) {
    std::string out;
    for (int i = 0; i < 4; ++i) out += static_cast<char>(data.size() >> (24 - 8 * i));
    std::string body = type + data;
    uint32_t crc = base::crc32(body);
    out += body;
    for (int i = 0; i < 4; ++i) out += static_cast<char>(crc >> (24 - 8 * i));
    return out;
  };
  std::string ihdr;
  for (uint32_t v : {16384u, 16384u})
    for (int i = 0; i < 4; ++i) ihdr += static_cast<char>(v >> (24 - 8 * i));
  ihdr += std::string("\x08\x02\x00\x00\x00", 5);
  return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr) + chunk("IDAT", std::string(64, '\0')) +
         chunk("IEND", "");
}

TEST(ToolSafety, ImagesTooLargeForTheEngineAreRefusedAtOnce) {
  TempDir t;
  t.write("huge.png", huge_png_header());
  auto start = std::chrono::steady_clock::now();
  auto r = run_program({"quorel-img", "encode", t / "huge.png", t / "huge.rct"});
  auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(contains(r.err, "16384 x 16384 is too large")) << r.err;
  EXPECT_LT(seconds, 10.0);
  EXPECT_FALSE(t.exists("huge.rct"));
}

TEST(ToolSafety, DebuggerLeavesAnyFileAtItsPathAlone) {
  TempDir t;
  t.write("important.txt", "keep me");
  auto r = run_program({"quorel-dbg", t / "important.txt"}, {}, 20);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(contains(r.err, "not a socket")) << r.err;
  EXPECT_EQ(t.read("important.txt"), "keep me");
}

}  // namespace
