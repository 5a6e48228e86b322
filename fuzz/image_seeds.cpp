// Writes starting corpora for the image fuzz targets: small valid files of
// each kind, in the form each target takes (without the signature it adds).
//   fuzz_image_seeds DIR   ->  DIR/rct, DIR/rc8, DIR/png
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "graphics/image_codec.h"
#include "graphics/png_codec.h"
#include "platform/files.h"

namespace fs = std::filesystem;

namespace {

void put(const fs::path& dir, const std::string& name, const std::vector<uint8_t>& bytes, size_t skip,
         int flag = -1) {
  std::vector<uint8_t> out;
  if (flag >= 0) out.push_back(static_cast<uint8_t>(flag));
  out.insert(out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(skip), bytes.end());
  fs::create_directories(dir);
  plat::write_file_atomic((dir / name).string(), std::span<const uint8_t>(out));
}

std::vector<uint8_t> pattern(int w, int h, int bpp, int kind) {
  std::vector<uint8_t> px(static_cast<size_t>(w) * h * bpp);
  for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<uint8_t>(kind == 0 ? i * 7 : (i / bpp / 3) % 5 * 40);
  return px;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_image_seeds DIR\n");
    return 2;
  }
  fs::path root(argv[1]);
  gfx::Palette pal{};
  for (int i = 0; i < 256; ++i) pal[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
  int n = 0;
  for (auto [w, h] : {std::pair{1, 1}, {3, 2}, {7, 5}, {16, 9}})
    for (int kind = 0; kind < 2; ++kind) {
      std::string name = std::to_string(n++);
      std::vector<uint8_t> c = pattern(w, h, 3, kind), g = pattern(w, h, 1, kind);
      put(root / "rct", name, gfx::encode_rct(c.data(), w, h, static_cast<size_t>(w) * 3), 8, 0);
      put(root / "rct", name + "d", gfx::encode_rct(c.data(), w, h, static_cast<size_t>(w) * 3, "base"), 8, 1);
      put(root / "rc8", name, gfx::encode_rc8(g.data(), w, h, static_cast<size_t>(w), pal), 8);
      put(root / "png", name + "rgb", gfx::encode_png_bgr(c.data(), w, h, static_cast<size_t>(w) * 3), 8);
      put(root / "png", name + "rgba",
          gfx::encode_png_bgr(c.data(), w, h, static_cast<size_t>(w) * 3, g.data(), static_cast<size_t>(w)), 8);
      put(root / "png", name + "grey", gfx::encode_png_grey(g.data(), w, h, static_cast<size_t>(w)), 8);
      put(root / "png", name + "pal", gfx::encode_png_indexed(g.data(), w, h, static_cast<size_t>(w), pal), 8);
    }
  return 0;
}
