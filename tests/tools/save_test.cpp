// quorel-save run as a program on saves the engine wrote: what info prints,
// the thumbnail's pixels, and check before and after the game's script
// changed, and values whose blocks the file cuts short.
#include <gtest/gtest.h>

#include "base/bytes.h"
#include "base/crc32.h"
#include "graphics/png_codec.h"
#include "persistence/save_file.h"
#include "platform/files.h"
#include "tests/support/process.h"
#include "tests/support/script_game.h"

using testing_support::run_program;
using testing_support::RunResult;
using testing_support::ScriptGame;

namespace {

std::string game_script(int point_line) {
  return R"(
.function $init@GLOBAL
    return
main:
    line 1
    syscall_discard save_enable, 0
    push_i 0x0000FF
    push_i 48
    push_i 64
    push_i 0
    push_i 0
    syscall get_frontbuffer, 0
    syscall_discard grp_boxfill, 6
    push_i 2
    push_i 4
    syscall_discard capture_thumbnail, 2
    push_s "名前"
    st_ref_s_pop @name
    push_i 5
    syscall int_array, 1
    st_ref_ia_pop @scores
    call_fn $scene@GLOBAL, 0
    syscall_discard system_end, 0
.function $scene@GLOBAL
    line )" + std::to_string(point_line) + R"(
    push_s "第二話"
    syscall_discard save_point, 1
    push_i 4
    syscall_discard save_write, 1
    return
)";
}

RunResult save_tool(std::vector<std::string> args) {
  args.insert(args.begin(), "quorel-save");
  return run_program(args);
}

TEST(SaveTool, ExplainsASaveAndChecksItAgainstTheScripts) {
  ScriptGame game("CLIENT_WIDTH 64\nCLIENT_HEIGHT 48\n");
  game.script("start", game_script(7));
  ASSERT_EQ(game.run().exit_code, 0);
  const std::string save = game.dir / "savedata/quorel_0004.sav";

  game.file("start.qasm", game_script(7));
  RunResult sym = run_program({"quorel-asm", game.dir / "start.qasm", "-o", game.dir / "x.mjo", "--symbols",
                               game.dir / "start.sym"});
  ASSERT_EQ(sym.exit_code, 0) << sym.err;
  RunResult info = save_tool({"info", save, "--names=" + (game.dir / "start.sym")});
  EXPECT_EQ(info.exit_code, 0) << info.err;
  for (const char* expected : {"title: \"第二話\"", "thumbnail: 4 x 2", "resume record: yes",
                               "START.MJO at 0x", ", source line 7", "@name@GLOBAL  string       \"名前\"",
                               "int array    1 x 1 x 5 [0, 0, 0, 0, 0]"})
    EXPECT_NE(info.out.find(expected), std::string::npos) << expected << "\n" << info.out;

  const std::string png = game.dir / "thumb.png";
  RunResult thumb = save_tool({"thumbnail", save, png});
  EXPECT_EQ(thumb.exit_code, 0) << thumb.err;
  auto bytes = plat::read_whole_file(png);
  ASSERT_TRUE(bytes);
  gfx::PngImage image;
  ASSERT_EQ(gfx::decode_png(*bytes, image, nullptr), gfx::PngResult::Ok);
  EXPECT_EQ(image.width, 4);
  EXPECT_EQ(image.height, 2);
  // The picture never replaces the save it comes from, however it is spelled.
  const std::string saved = game.dir.read("savedata/quorel_0004.sav");
  for (const std::string& over : {save, game.dir / "savedata/../savedata/quorel_0004.sav"}) {
    RunResult own = save_tool({"thumbnail", save, over});
    EXPECT_EQ(own.exit_code, 1) << over;
    EXPECT_NE(own.err.find("refusing to write over it"), std::string::npos) << own.err;
    EXPECT_EQ(game.dir.read("savedata/quorel_0004.sav"), saved);
  }

  RunResult ok = save_tool({"check", game.dir / "savedata", "--game=" + game.dir.path()});
  EXPECT_EQ(ok.exit_code, 0) << ok.out << ok.err;
  EXPECT_NE(ok.out.find("quorel_0004.sav: loads"), std::string::npos) << ok.out;

  game.script("start", game_script(9));
  game.file("savedata/broken.sav", "QuorelSavV1.102");
  RunResult changed = save_tool({"check", game.dir / "savedata", "--game=" + game.dir.path()});
  EXPECT_EQ(changed.exit_code, 1);
  EXPECT_NE(changed.out.find("quorel_0004.sav: would not load:"), std::string::npos) << changed.out;
  EXPECT_NE(changed.out.find("START.MJO"), std::string::npos) << changed.out;
  EXPECT_NE(changed.out.find("broken.sav: would not load:"), std::string::npos) << changed.out;
  EXPECT_NE(changed.out.find("2 saves checked, 2 would not load"), std::string::npos) << changed.out;
}

// info shows a string value only when its whole block, the terminating byte
// included, lies within the saved blob; otherwise the value is marked, and
// the rest of the file is still explained.
TEST(SaveTool, StringsThatDoNotFitTheBlobAreMarked) {
  ScriptGame game("CLIENT_WIDTH 64\nCLIENT_HEIGHT 48\n");
  game.script("start", game_script(7));
  ASSERT_EQ(game.run().exit_code, 0);
  const std::string saved = game.dir.read("savedata/quorel_0004.sav");
  const std::vector<uint8_t> bytes(saved.begin(), saved.end());
  auto file = persist::parse_save(bytes);
  ASSERT_TRUE(file);
  const size_t blob_at = bytes.size() - file->tail.size() - file->blob.size();
  const size_t records_at =
      blob_at - persist::kValueRecordSize * (file->globals.size() + file->thread_vars.size() + file->locals.size());
  const uint32_t key = base::crc32("@name@GLOBAL");
  size_t index = 0;
  while (index < file->globals.size() && base::load_u32(file->globals[index].data()) != key) ++index;
  ASSERT_LT(index, file->globals.size());
  const size_t record_at = records_at + persist::kValueRecordSize * index;
  const uint32_t string_at = base::load_u32(file->globals[index].data() + 8);
  const size_t size_at = blob_at + string_at + 8;
  const int64_t fits = static_cast<int64_t>(file->blob.size()) - string_at - 12;  // the largest size that fits

  struct Case {
    const char* what;
    size_t at;
    int64_t value;
    const char* shown;
  };
  const Case cases[] = {
      {"the block ends with the blob", size_at, fits, "string       \"名前"},
      {"the terminating byte lies past the blob", size_at, fits + 1, "string       (damaged)"},
      {"a size of 0 has no room for the terminating byte", size_at, 0, "string       (damaged)"},
      {"the block starts past the blob", record_at + 8, static_cast<int64_t>(file->blob.size()) - 11,
       "string       (outside the blob)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string changed = saved;
    base::store_u32(reinterpret_cast<uint8_t*>(changed.data()) + c.at, static_cast<uint32_t>(c.value));
    game.file("changed.sav", changed);
    RunResult info = save_tool({"info", game.dir / "changed.sav"});
    EXPECT_EQ(info.exit_code, 0) << info.err;
    EXPECT_NE(info.out.find(c.shown), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("int array    1 x 1 x 5 [0, 0, 0, 0, 0]"), std::string::npos) << info.out;
  }
}

TEST(SaveTool, BadFilesAndCommandLinesHaveTheirStatus) {
  testing_support::TempDir dir;
  dir.write("not.sav", "hello");
  RunResult bad = save_tool({"info", dir / "not.sav"});
  EXPECT_EQ(bad.exit_code, 1);
  EXPECT_NE(bad.err.find("quorel-save: "), std::string::npos);
  EXPECT_EQ(save_tool({"info", dir / "missing.sav"}).exit_code, 1);
  EXPECT_EQ(save_tool({"thumbnail", dir / "not.sav"}).exit_code, 2);
  EXPECT_EQ(save_tool({"frobnicate"}).exit_code, 2);
  EXPECT_EQ(save_tool({"info", "x", "--colour"}).exit_code, 2);
}

}  // namespace
