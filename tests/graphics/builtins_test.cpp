// The page, image and drawing built-ins called from scripts run by the real
// program. Pixels are read back with grp_point_get and written to the debug
// log; the expected values are worked out here from the formulas.
#include <gtest/gtest.h>

#include "graphics/image_codec.h"
#include "tests/graphics/pixel_helpers.h"
#include "tests/support/script_game.h"

using testing_support::GameRun;
using testing_support::ScriptGame;

namespace {

// Script text: calls with arguments given first to last. An argument is a
// number ("5", "-1"), a real ("90.0"), a string ("\"name\""), a variable
// ("@p", "#keep") or an array ("ia @tab").
class Script {
 public:
  // Calls and keeps the result in @var.
  Script& set(const std::string& var, const std::string& name, std::vector<std::string> args) {
    call(name, args, "syscall");
    s_ += "    st_i_pop " + var + "\n";
    return *this;
  }
  // Calls and logs the result.
  Script& log(const std::string& name, std::vector<std::string> args) {
    call(name, args, "syscall");
    s_ += "    syscall_discard debugout, 1\n";
    return *this;
  }
  Script& run(const std::string& name, std::vector<std::string> args) {
    call(name, args, "syscall_discard");
    return *this;
  }
  // Logs grp_point_get(page, x, y).
  Script& pixel(const std::string& page, int x, int y) {
    return log("grp_point_get", {page, std::to_string(x), std::to_string(y)});
  }
  Script& raw(const std::string& text) {
    s_ += text;
    return *this;
  }
  std::string program(const std::string& init = "") const {
    return ".function $init@GLOBAL\n" + init + "    return\nmain:\n" + s_ + "    syscall_discard system_end, 0\n";
  }

 private:
  void call(const std::string& name, std::vector<std::string>& args, const char* op) {
    for (auto it = args.rbegin(); it != args.rend(); ++it) {
      const std::string& a = *it;
      if (a[0] == '@' || a[0] == '#') s_ += "    load i " + a + "\n";
      else if (a.rfind("ia ", 0) == 0) s_ += "    load " + a + "\n";
      else if (a[0] == '"') s_ += "    push_s " + a + "\n";
      else if (a.find('.') != std::string::npos) s_ += "    push_f " + a + "\n";
      else s_ += "    push_i " + a + "\n";
    }
    s_ += std::string("    ") + op + " " + name + ", " + std::to_string(args.size()) + "\n";
  }
  std::string s_;
};

// Expected log: a value line ("42 "), or, with a leading "!", text that an
// error report line must contain.
void expect_log(const GameRun& r, const std::vector<std::string>& want) {
  ASSERT_EQ(r.log.size(), want.size()) << [&] {
    std::string all;
    for (auto& l : r.log) all += l + "\n";
    return all;
  }();
  for (size_t i = 0; i < want.size(); ++i) {
    if (want[i][0] == '!')
      EXPECT_NE(r.log[i].find(want[i].substr(1)), std::string::npos) << "line " << i << ": " << r.log[i];
    else
      EXPECT_EQ(r.log[i], want[i]) << "line " << i;
  }
}

std::string v(int64_t n) { return std::to_string(static_cast<int32_t>(n)) + " "; }
int64_t bgr(int b, int g, int r) { return (b << 16) | (g << 8) | r; }

TEST(GraphicsBuiltins, PagesFromScripts) {
  ScriptGame game;
  Script s;
  s.set("@z", "page_create", {"0", "5"})
      .log("page_len_x", {"@z"})
      .log("page_len_y", {"@z"})
      .set("@g", "page_create", {"10", "10", "0"})
      .run("grp_point_set", {"@g", "1", "1", "200"})
      .pixel("@g", 1, 1)  // grey ramp: index 200 shows (200, 200, 200)
      .log("rgb", {"255", "0", "0"})
      .log("rgb", {"511", "2", "259"})
      .set("@w", "page_create_withalfa", {"3", "2"})
      .set("@wa", "get_alfapage", {"@w"})
      .log("page_is_exist", {"@wa"})
      .log("page_len_x", {"@wa"})
      .log("get_alfapage", {"@z"})  // none: 0, no report
      .run("page_release", {"@w"})
      .log("page_is_exist", {"@w"})
      .log("page_is_exist", {"@wa"})  // released with the page that made it
      .run("page_release", {"@w"})   // twice: reported
      .log("get_alfapage", {"@w"})
      .set("@a8", "page_create", {"10", "10", "0"})
      .set("@c", "page_create", {"10", "10"})
      .set("@small", "page_create", {"9", "10", "0"})
      .run("page_set_antidata", {"@c", "@c"})
      .run("page_set_antidata", {"@c", "@small"})
      .run("page_set_antidata", {"@c", "0"})
      .run("page_set_antidata", {"@c", "@a8"})
      .log("get_alfapage", {"@c"})
      .run("page_release", {"@c"})
      .log("page_is_exist", {"@a8"})  // linked, not owned: kept
      .set("@m1", "page_create_file", {"\"nothing_\""})
      .run("grp_point_set", {"@m1", "0", "0", "5"})
      .pixel("@m1", 0, 0)  // an 8-bit stand-in
      .set("@m2", "page_create_file", {"\"nothing\""})
      .log("page_len_x", {"@m2"})
      .run("page_release", {"#keep"})
      .log("page_is_exist", {"#keep"})  // made during initialisation: permanent
      .log("page_len_x", {"12345"});
  game.script("start", s.program("    push_i 7\n    push_i 7\n    syscall page_create, 2\n    st_i_pop #keep\n"));
  GameRun r = game.run({"--answer=retry"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  expect_log(r, {"!page_create : 大きさが０以下のページは作成できません", v(1), v(5), v(bgr(200, 200, 200)),
                 v(255), v(bgr(3, 2, 255)), v(1), v(3), v(0), v(0), v(0),
                 "!page_release : ページが存在しません", "!get_alfapage : 指定ページが存在しません", v(0),
                 "!page_set_antidata : αデータのページは８ビットで無いといけません",
                 "!page_set_antidata : ページの大きさをそろえる必要が有ります。",
                 "!set_antidata : αページが存在しません", "!", v(1),
                 "!page_create_file : ファイル[nothing_]が存在しません", v(bgr(5, 5, 5)),
                 "!page_create_file : ファイル[nothing]が存在しません", v(1), v(1),
                 "!page_len_x : ページが存在しません", v(0)});
}

std::string coded_rct(int w, int h, uint8_t seed) {
  std::vector<uint8_t> px;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) px.insert(px.end(), {uint8_t(x * 10), uint8_t(y * 10), seed});
  auto f = gfx::encode_rct(px.data(), w, h, static_cast<size_t>(w) * 3);
  return std::string(f.begin(), f.end());
}

std::string grey_rc8(int w, int h, uint8_t value) {
  gfx::Palette pal{};
  for (int i = 0; i < 256; ++i) pal[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
  std::vector<uint8_t> px(static_cast<size_t>(w) * h, value);
  auto f = gfx::encode_rc8(px.data(), w, h, static_cast<size_t>(w), pal);
  return std::string(f.begin(), f.end());
}

TEST(GraphicsBuiltins, ImagesFromScripts) {
  ScriptGame game;
  game.file("fastdata/pic.rct", coded_rct(6, 4, 77));
  game.file("fastdata/pic_.rc8", grey_rc8(6, 4, 100));
  game.file("fastdata/solo.rct", coded_rct(2, 2, 5));
  pixel_helpers::PngSpec png;
  png.width = 2;
  png.colour_type = PNG_COLOR_TYPE_RGB_ALPHA;
  png.rows = {{10, 20, 30, 255, 40, 50, 60, 55}};
  auto pf = pixel_helpers::write_png(png);
  game.file("fastdata/icon.png", std::string(pf.begin(), pf.end()));
  Script s;
  s.log("pic_len_x", {"\"pic\""})
      .log("pic_len_y", {"\"data\\\\PIC.bmp\""})
      .log("pic_is_exist", {"\"pic_\""})
      .log("pic_is_exist", {"\"solo_\""})
      .log("pic_is_exist", {"\"icon_\""})
      .set("@p", "page_create_file_withalfa", {"\"pic\""})
      .pixel("@p", 5, 3)
      .set("@pa", "get_alfapage", {"@p"})
      .pixel("@pa", 5, 3)
      .set("@i", "page_create_file", {"\"icon\""})
      .pixel("@i", 1, 0)
      .set("@ia", "page_create_file", {"\"icon_\""})
      .pixel("@ia", 1, 0)  // transparency 255 - 55 as grey
      // pic_unpack with the alpha image: transparency 100 over a white page
      // with an alpha page of its own.
      .set("@dst", "page_create_withalfa", {"8", "8"})
      .run("grp_boxfill", {"@dst", "0", "0", "8", "8", "16777215"})
      .set("@da", "get_alfapage", {"@dst"})
      .run("grp_boxfill", {"@da", "0", "0", "8", "8", "200"})
      .run("pic_unpack", {"@dst", "\"pic\"", "3", "5"})
      .pixel("@dst", 4, 6)  // image pixel (1, 1)
      .pixel("@da", 4, 6)
      .pixel("@dst", 2, 6)  // left of the image
      .run("pic_unpack", {"@dst", "\"solo\"", "-1", "0"})  // no alpha image: plain copy, clipped
      .pixel("@dst", 0, 1)
      .set("@eight", "page_create", {"4", "4", "0"})
      .run("pic_unpack", {"@eight", "\"solo\""})
      .run("pic_unpack", {"@eight", "\"missing\""});
  game.script("start", s.program());
  GameRun r = game.run({"--answer=retry"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  auto blend = [](int src, int dst, int a) { return (src * (256 - a) + dst * (a + 1)) >> 8; };
  int tr = 100;
  int merged = (200 * (tr + 1)) >> 8;  // the page's own transparency, merged
  expect_log(r, {v(6), v(4), v(1), v(0), v(1), v(bgr(50, 30, 77)), v(bgr(100, 100, 100)), v(bgr(60, 50, 40)),
                 v(bgr(200, 200, 200)),
                 v(bgr(blend(10, 255, tr), blend(10, 255, tr), blend(77, 255, tr))), v(bgr(merged, merged, merged)),
                 v(bgr(255, 255, 255)), v(bgr(10, 10, 5)),
                 "!pic_unpack : ファイル[solo]を8bitページに転送しています",
                 "!pic_unpack : ファイル[missing]が存在しません"});
}

TEST(GraphicsBuiltins, PicLenOfAMissingImageAsksUntilCancelled) {
  ScriptGame game;
  Script s;
  s.log("pic_len_x", {"\"ghost\""});
  game.script("start", s.program());
  GameRun r = game.run({"--answer=cancel"});
  EXPECT_EQ(r.exit_code, 255);
  ASSERT_FALSE(r.boxes.empty());
  EXPECT_NE(r.boxes[0].find("pic_len_x : ファイル[ghost]が存在しません"), std::string::npos) << r.boxes[0];
}

TEST(GraphicsBuiltins, DrawingFromScripts) {
  ScriptGame game;
  Script s;
  const int C[3] = {0x10, 0x20, 0x30};  // blue, green, red of 0x00102030
  s.set("@p", "page_create", {"4", "4"})
      .run("grp_boxfill", {"@p", "0", "0", "4", "4", std::to_string(0x102030)})
      .run("grp_extboxfill", {"@p", "0", "0", "2", "2", std::to_string(0xFFFFFF), "128"})
      .run("grp_mulboxfill", {"@p", "2", "0", "2", "2", std::to_string(0x804020)})
      .run("grp_reverse", {"@p", "0", "2", "2", "2"})
      .run("grp_sepia", {"@p", "2", "2", "2", "2", "0", std::to_string(0xFFFFFF)})
      .pixel("@p", 0, 0)
      .pixel("@p", 3, 0)
      .pixel("@p", 0, 3)
      .pixel("@p", 3, 3)
      .set("@q", "page_create", {"4", "4"})
      .run("grp_copy", {"@p", "0", "0", "2", "2", "@q", "2", "2"})
      .pixel("@q", 3, 3)
      .run("grp_swap", {"@p", "2", "2", "1", "1", "@q", "0", "0"})
      .pixel("@p", 2, 2)
      .pixel("@q", 0, 0)
      .run("grp_extcopy", {"@p", "0", "0", "1", "1", "@q", "1", "1", "100"})
      .pixel("@q", 1, 1)
      // Per-pixel transparency: 128 shows half, 255 nothing.
      .set("@a", "page_create_withalfa", {"2", "1"})
      .run("grp_boxfill", {"@a", "0", "0", "2", "1", std::to_string(0xFFFFFF)})
      .set("@aa", "get_alfapage", {"@a"})
      .run("grp_point_set", {"@aa", "0", "0", "128"})
      .run("grp_point_set", {"@aa", "1", "0", "255"})
      .run("grp_extcopy", {"@a", "0", "0", "2", "1", "@q", "0", "3"})
      .pixel("@q", 0, 3)
      .pixel("@q", 1, 3)
      // A transparency table over a base page: base 0 -> 255 (hidden),
      // base 1 -> 0 (shown).
      .set("@b", "page_create", {"2", "1", "0"})
      .run("grp_point_set", {"@b", "1", "0", "1"})
      .raw("    push_i 256\n    syscall int_array, 1\n    st_ref_ia_pop @tab\n"
           "    push_i 255\n    push_i 0\n    ast_i_pop @tab[1]\n")
      .run("grp_alfa_tabled_copy", {"@p", "0", "0", "2", "1", "@q", "0", "0", "@b", "ia @tab"})
      .pixel("@q", 0, 0)
      .pixel("@q", 1, 0)
      .run("make_alfa_table", {"@b", "@aa", "ia @tab"})
      .pixel("@aa", 0, 0)
      .pixel("@aa", 1, 0)
      // Rotation, scaling, mosaic on a 3 x 3 page whose pixel (x, y) is
      // colour 10 * (3y + x) + 1.
      .set("@r", "page_create", {"3", "3"});
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x)
      s.run("grp_point_set", {"@r", std::to_string(x), std::to_string(y), std::to_string(10 * (3 * y + x) + 1)});
  s.set("@t", "page_create", {"3", "3"})
      .run("grp_modify_copy", {"@r", "0", "0", "3", "3", "@t", "0", "0", "3", "3", "90.0", "1.0", "1.0"})
      .pixel("@t", 0, 0)
      .pixel("@t", 2, 1)
      .set("@u", "page_create", {"2", "2"})
      .run("grp_modcopy", {"@r", "1", "1", "1", "1", "@u", "0", "0", "2", "2"})
      .pixel("@u", 1, 1)
      .set("@m", "page_create", {"3", "3"})
      .run("make_mosaic", {"@r", "0", "0", "3", "3", "@m", "0", "0", "1"})
      .pixel("@m", 2, 2)
      .pixel("@m", 3, 0)
      // Refusals.
      .set("@e8", "page_create", {"2", "2", "0"})
      .run("grp_copy", {"@p", "0", "0", "1", "1", "@e8", "0", "0"})
      .run("grp_swap", {"@e8", "0", "0", "1", "1", "@p", "0", "0"})
      .run("grp_mulboxfill", {"@e8", "0", "0", "1", "1", "0"})
      .run("grp_reverse", {"@e8", "0", "0", "1", "1"})
      .run("grp_extcopy", {"@p", "0", "0", "1", "1", "@e8", "0", "0"})
      .run("make_mosaic", {"@p", "0", "0", "1", "1", "@e8", "0", "0", "2"})
      .run("make_alfa_table", {"@p", "@e8", "ia @tab"})
      .run("grp_alfa_tabled_copy", {"@p", "0", "0", "1", "1", "@q", "0", "0", "@p", "ia @tab"})
      .raw("    push_i 10\n    syscall int_array, 1\n    st_ref_ia_pop @short\n")
      .run("grp_alfa_tabled_copy", {"@p", "0", "0", "1", "1", "@q", "0", "0", "@b", "ia @short"})
      // Sizes -1 x -1 x 300 make an array of no elements, not of 300.
      .raw("    push_i 300\n    push_i -1\n    push_i -1\n    syscall int_array, 3\n    st_ref_ia_pop @none\n")
      .run("grp_alfa_tabled_copy", {"@p", "0", "0", "1", "1", "@q", "0", "0", "@b", "ia @none"})
      .run("grp_boxfill", {"0", "0", "0", "1", "1", "0"})
      .run("grp_copy", {"999", "0", "0", "1", "1", "@q", "0", "0"})
      .run("grp_copy", {"@p", "0", "0", "1", "1", "999", "0", "0"})
      .log("grp_point_get", {"999", "0", "0"});
  game.script("start", s.program());
  GameRun r = game.run({"--answer=retry"});
  EXPECT_EQ(r.exit_code, 0) << r.err;

  // The page after the fills, channel by channel (blue, green, red).
  auto ext = [&](int k) { return (255 * 128 + 129 * k) >> 8; };
  int p00[3] = {ext(C[0]), ext(C[1]), ext(C[2])};
  const int mul[3] = {0x80, 0x40, 0x20};
  int p30[3] = {((mul[0] + 1) * C[0]) >> 8, ((mul[1] + 1) * C[1]) >> 8, ((mul[2] + 1) * C[2]) >> 8};
  int p03[3] = {255 - C[0], 255 - C[1], 255 - C[2]};
  int w = C[0] + 4 * C[1] + 2 * C[2] + 1;
  int sep = (w * 255) >> 11;
  auto col = [](const int* c) { return bgr(c[0], c[1], c[2]); };
  int q11[3];
  for (int k = 0; k < 3; ++k) q11[k] = (101 * 0 + 156 * p00[k]) >> 8;
  int half = (255 * 128 + 0 * 129) >> 8;
  auto rc = [](int x, int y) { return int64_t{10 * (3 * y + x) + 1}; };
  expect_log(r, {v(col(p00)), v(col(p30)), v(col(p03)), v(bgr(sep, sep, sep)),
                 v(col(p00)),                          // q(3,3) = p(1,1)
                 v(0), v(bgr(sep, sep, sep)),          // swapped
                 v(col(q11)),
                 v(bgr(half, half, half)), v(0),
                 v(bgr(sep, sep, sep)), v(col(p00)),   // hidden by the table, shown by it
                 v(bgr(255, 255, 255)), v(0),          // the table applied to the alpha page
                 v(rc(0, 2)), v(rc(1, 0)),             // turned 90 degrees: t(i, j) = r(j, 2 - i)
                 v(rc(1, 1)),                          // enlarged
                 v(rc(2, 2)), v(-1),                   // block size 1 copies; outside: -1
                 "!grp_copy : 24Bit->8Bitのコピーです", "!grp_swap : 8Bit->24Bitのコピーです",
                 "!grp_mulboxfill : 256色には対応していません。", "!grp_reverse : 256色には対応していません。",
                 "!grp_extcopy : 転送先に8ビットは指定できません", "!make_mosaic : 8Bitには対応していません",
                 "!make_alfa_table : 転送元αのページが８ビットでは有りません",
                 "!grp_alfa_tabled_copy : αのページが８ビットでは有りません",
                 "!grp_alfa_tabled_copy : 配列の要素が不足しています。", "!配列数は1以上を指定してください。",
                 "!grp_alfa_tabled_copy : 配列の要素が不足しています。",
                 "!grp_boxfill : ページが存在しません", "!grp_copy : 転送元ページが存在しません",
                 "!grp_copy : 転送先ページが存在しません", "!grp_point_get : ページが存在しません", v(0)});
}

}  // namespace
