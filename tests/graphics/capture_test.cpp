// Screen capture: the BMP file byte for byte, the capture command's
// proposed name, remembered folder and refusals, and files that cannot be
// written.
#include <gtest/gtest.h>

#include "base/bytes.h"
#include "core/engine.h"
#include "graphics/capture.h"
#include "graphics/display.h"
#include "graphics/state.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_engine.h"

using testing_support::TempDir;

namespace {

struct Screen {
  TempDir dir;
  std::unique_ptr<rt::Engine> engine = testing_support::make_engine(dir.path());
  rt::Engine& e = *engine;

  Screen(int w, int h) {
    e.client_width = w, e.client_height = h;
    e.settings = plat::SettingsStore(dir / "settings.ini");
    gfx::create_screen_page(e);
  }
  gfx::Page& front() { return *e.gfx->display.front; }
};

TEST(CaptureFile, LayoutByteForByte) {
  Screen s(3, 2);
  gfx::Page& p = s.front();
  ASSERT_EQ(p.stride, 12);
  for (int y = 0; y < 2; ++y)
    for (int i = 0; i < 12; ++i) p.row(y)[i] = static_cast<uint8_t>(16 * y + i);
  std::vector<uint8_t> f = gfx::bmp_file(p);
  ASSERT_EQ(f.size(), 12u * 2 + 56);
  EXPECT_EQ(f[0], 'B');
  EXPECT_EQ(f[1], 'M');
  EXPECT_EQ(base::load_u32(&f[2]), 12u * 2 + 56);
  EXPECT_EQ(base::load_u32(&f[6]), 0u);
  EXPECT_EQ(base::load_u32(&f[10]), 54u);
  EXPECT_EQ(base::load_u32(&f[14]), 40u);
  EXPECT_EQ(base::load_i32(&f[18]), 3);
  EXPECT_EQ(base::load_i32(&f[22]), 2) << "positive: bottom-up";
  EXPECT_EQ(base::load_u16(&f[26]), 1);
  EXPECT_EQ(base::load_u16(&f[28]), 24);
  for (size_t i = 30; i < 54; ++i) EXPECT_EQ(f[i], 0) << i;
  // The bottom row first, each at full stride (padding included).
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(f[54 + i], 16 + i);
    EXPECT_EQ(f[66 + i], i);
  }
  EXPECT_EQ(f[78], 0);
  EXPECT_EQ(f[79], 0);

  Screen big(640, 480);
  EXPECT_EQ(gfx::bmp_file(big.front()).size(), 921656u);
}

TEST(CaptureFile, FailedWritesLeaveNothingBehind) {
  Screen s(4, 4);
  EXPECT_EQ(gfx::write_front_buffer_bmp(s.e, s.dir / "missing/folder/a.bmp"), 1);
  // A folder that cannot hold files, even for the superuser: a file in its place.
  s.dir.write("blocked", "x");
  EXPECT_EQ(gfx::write_front_buffer_bmp(s.e, s.dir / "blocked/a.bmp"), 1);
  plat::make_directories(s.dir / "shots");
  EXPECT_EQ(gfx::write_front_buffer_bmp(s.e, s.dir / "shots"), 1) << "a folder of that name";
  EXPECT_TRUE(plat::list_directory(s.dir / "shots").empty()) << "no temporary file is left";
  EXPECT_EQ(gfx::write_front_buffer_bmp(s.e, s.dir / "ok.bmp"), 0);
  EXPECT_EQ(plat::native_file_size(s.dir / "ok.bmp"), 4 * 12 + 56);

  // An 8-bit front buffer, or none, is refused.
  gfx::show_page(s.e, &gfx::create_page_8(s.e, 4, 4, false));
  EXPECT_EQ(gfx::write_front_buffer_bmp(s.e, s.dir / "eight.bmp"), 1);
  gfx::show_page(s.e, nullptr);
  EXPECT_EQ(gfx::write_front_buffer_bmp(s.e, s.dir / "none.bmp"), 1);
  EXPECT_FALSE(plat::native_exists(s.dir / "eight.bmp"));
}

TEST(CaptureCommand, ProposesANameAndRemembersTheFolder) {
  Screen s(4, 4);
  s.e.window_title = "Game";
  EXPECT_EQ(gfx::capture_file_name("Capture_", {2024, 3, 7, 9, 5, 1}),
            plat::utf8_to_sjis("Capture_(24年03月07日 09時05分01秒).bmp").value());

  std::vector<gfx::SaveDialogRequest> asked;
  gfx::SaveDialogAnswer answer{gfx::SaveDialogAnswer::Result::Chosen, s.dir / "shots/a.bmp"};
  auto dialog = [&](const gfx::SaveDialogRequest& r) {
    asked.push_back(r);
    return answer;
  };
  plat::make_directories(s.dir / "shots");
  EXPECT_EQ(gfx::capture_screen(s.e, dialog), 0);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].folder, plat::join_path(s.dir.path(), "savedata"));
  EXPECT_EQ(asked[0].file_name.substr(0, 5), "Game(") << "development mode: the window's title";
  EXPECT_EQ(asked[0].extension, "bmp");
  EXPECT_EQ(plat::native_file_size(s.dir / "shots/a.bmp"), 4 * 12 + 56);
  EXPECT_EQ(s.e.settings.get_string("CapFolder"), s.dir / "shots");

  // The next capture opens there; a cancel writes nothing.
  answer.result = gfx::SaveDialogAnswer::Result::Cancelled;
  EXPECT_EQ(gfx::capture_screen(s.e, dialog), -1);
  EXPECT_EQ(asked[1].folder, s.dir / "shots");

  // Names of 192 bytes and more are refused.
  answer = {gfx::SaveDialogAnswer::Result::Chosen, s.dir / std::string(200, 'x')};
  EXPECT_EQ(gfx::capture_screen(s.e, dialog), -1);
  answer.result = gfx::SaveDialogAnswer::Result::Failed;
  EXPECT_EQ(gfx::capture_screen(s.e, dialog), -1);

  // No 24-bit front buffer: no dialog at all.
  gfx::show_page(s.e, &gfx::create_page_8(s.e, 4, 4, false));
  EXPECT_EQ(gfx::capture_screen(s.e, dialog), -1);
  EXPECT_EQ(asked.size(), 4u);
}

}  // namespace
