// quorel-img: converts images between PNG and the engine's own formats, so
// that modders can replace a game's art.
//
// [SECTION] Command line
// [SECTION] Files and names
// [SECTION] Reading images
// [SECTION] decode: own format to PNG
// [SECTION] encode: PNG to own format
// [SECTION] info
// [SECTION] Folders
// [SECTION] Entry
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/game_names.h"
#include "graphics/image_codec.h"
#include "graphics/png_codec.h"
#include "platform/files.h"
#include "platform/system.h"

namespace fs = std::filesystem;

namespace {

// [SECTION] Command line ------------------------------------------------------------

constexpr const char* kUsage =
    "usage: quorel-img COMMAND [OPTIONS] ARGS\n"
    "\n"
    "Converts images between PNG and the engine's own formats: .rct (24-bit colour,\n"
    "plain or a difference against a base image) and .rc8 (8-bit palette, mostly\n"
    "alpha masks). The transparency of an image NAME lies in a separate 8-bit\n"
    "image NAME_ (0 opaque, 255 invisible); PNG keeps it as its alpha channel.\n"
    "\n"
    "commands:\n"
    "  decode IN.rct|IN.rc8 [OUT.png]   engine image to PNG. An alpha image IN_.rc8\n"
    "                                   beside the input becomes the PNG's alpha.\n"
    "  encode IN.png [OUT.rct|OUT.rc8]  PNG to engine image. A PNG with transparency\n"
    "                                   also gives OUT_.rc8, its alpha image.\n"
    "  info FILE...                     print the header of .rct, .rc8 or .png files\n"
    "  decode-dir IN_DIR OUT_DIR        decode every .rct/.rc8 below IN_DIR\n"
    "  encode-dir IN_DIR OUT_DIR        encode every .png below IN_DIR\n"
    "\n"
    "options:\n"
    "  --format=rct|rc8   encode: the output format (default: from OUT's extension;\n"
    "                     else .rc8 for palette and grey PNGs, .rct for the rest)\n"
    "  --no-alpha         decode: leave the alpha image out; encode: write none\n"
    "  --base=FILE        encode: write a difference image against FILE (PNG or\n"
    "                     engine image); pixels equal to the base are stored as\n"
    "                     pure red and show the base when the game loads them\n"
    "  --base-dir=DIR     decode: where difference bases are looked for (default:\n"
    "                     the input's folder)\n"
    "  --raw              decode: keep a difference image as stored (pure red)\n"
    "  -q, --quiet        no progress lines\n"
    "  --help, --version\n"
    "\n"
    "16-bit PNG samples are scaled to 8 bits. Exit status: 0 done, 1 a file could\n"
    "not be converted, 2 bad command line.\n";

struct Options {
  std::string command;
  std::vector<std::string> args;
  std::string format;  // "", "rct", "rc8"
  bool no_alpha = false;
  std::string base;
  std::string base_dir;
  bool raw = false;
  bool quiet = false;
};

// A failure with a message for the user.
struct Failure {
  std::string message;
};

[[noreturn]] void fail(std::string message) { throw Failure{std::move(message)}; }

// [SECTION] Files and names -----------------------------------------------------------

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string extension(const fs::path& p) { return lower(p.extension().string()); }

std::vector<uint8_t> read_file(const fs::path& p) {
  auto data = plat::read_whole_file(p.string());
  if (!data) fail("cannot read " + p.string() + ": " + std::strerror(errno));
  return std::move(*data);
}

void write_file(const fs::path& p, const std::vector<uint8_t>& data) {
  if (data.empty()) fail("could not encode " + p.string());
  if (p.has_parent_path()) {
    std::error_code ec;
    fs::create_directories(p.parent_path(), ec);
  }
  if (!plat::write_file_atomic(p.string(), std::span<const uint8_t>(data)))
    fail("cannot write " + p.string() + ": " + std::strerror(errno));
}

// Every input a conversion reads, so that no output lands on one of them.
void refuse_to_overwrite(const fs::path& out, const std::vector<fs::path>& inputs) {
  for (const fs::path& in : inputs)
    if (plat::same_file(out.string(), in.string()))
      fail(out.string() + " is also an input (" + in.string() + "); refusing to write over it");
}

// The most the engine keeps of decoded images at once (its image cache's
// largest budget): a bigger picture cannot be shown, and converting it
// would take many times its size in memory.
constexpr uint64_t kMaxImageBytes = 256ull << 20;

void refuse_oversized(const fs::path& p, int width, int height) {
  if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 3 <= kMaxImageBytes) return;
  fail(p.string() + ": " + std::to_string(width) + " x " + std::to_string(height) +
       " is too large: the engine holds at most 256 MiB of decoded image (" +
       std::to_string(kMaxImageBytes / 3) + " pixels); split the picture");
}

// A file in `dir` whose name equals `name` without regard to case (game
// data comes from a case-insensitive file system).
std::optional<fs::path> find_in(const fs::path& dir, const std::string& name) {
  fs::path exact = dir / name;
  std::error_code ec;
  if (fs::is_regular_file(exact, ec)) return exact;
  std::string want = lower(name);
  for (const auto& entry : fs::directory_iterator(dir.empty() ? fs::path(".") : dir, ec))
    if (entry.is_regular_file(ec) && lower(entry.path().filename().string()) == want) return entry.path();
  return std::nullopt;
}

// [SECTION] Reading images -------------------------------------------------------------

// An image in memory: colour rows (3 bytes a pixel) or indexes with a
// palette, and optional transparency (0 opaque, 255 invisible).
struct Image {
  int width = 0, height = 0;
  bool indexed = false;
  std::vector<uint8_t> pixels;        // packed rows
  gfx::Palette palette{};
  std::vector<uint8_t> transparency;  // width × height, or empty
  bool grey = false;                  // a grey PNG (encodes as indexes of a grey ramp)
};

bool is_grey_ramp(const gfx::Palette& p) {
  for (int i = 0; i < 256; ++i)
    if (p[i].b != i || p[i].g != i || p[i].r != i) return false;
  return true;
}

gfx::Palette grey_ramp() {
  gfx::Palette p{};
  for (int i = 0; i < 256; ++i) p[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
  return p;
}

// The colour of every pixel (indexes looked up).
std::vector<uint8_t> colours_of(const Image& img) {
  if (!img.indexed) return img.pixels;
  std::vector<uint8_t> out(img.pixels.size() * 3);
  for (size_t i = 0; i < img.pixels.size(); ++i) {
    const gfx::Rgbquad& q = img.palette[img.pixels[i]];
    out[3 * i] = q.b, out[3 * i + 1] = q.g, out[3 * i + 2] = q.r;
  }
  return out;
}

Image read_own(const fs::path& p, gfx::ImageHeader* header_out = nullptr) {
  std::vector<uint8_t> file = read_file(p);
  gfx::ImageHeader h;
  std::string error;
  if (!gfx::parse_image_header(file, h, &error)) fail(p.string() + ": " + error);
  refuse_oversized(p, h.width, h.height);
  Image img;
  img.width = h.width;
  img.height = h.height;
  img.indexed = h.is8bit();
  img.palette = h.palette;
  size_t row = static_cast<size_t>(h.width) * h.bytes_per_pixel();
  img.pixels.resize(row * h.height);
  if (!gfx::decode_image_data(file, h, img.pixels.data(), row, img.pixels.size(), &error))
    fail(p.string() + ": " + error);
  if (header_out) *header_out = h;
  return img;
}

Image read_png(const fs::path& p) {
  std::vector<uint8_t> file = read_file(p);
  gfx::PngImage png;
  std::string error;
  int width = 0, height = 0;
  if (gfx::read_png_header(file, &width, &height, &error)) refuse_oversized(p, width, height);
  if (gfx::decode_png(file, png, &error) != gfx::PngResult::Ok) fail(p.string() + ": " + error);
  Image img;
  img.width = png.width;
  img.height = png.height;
  img.transparency = std::move(png.transparency);
  if (png.has_palette) {
    img.indexed = true;
    img.pixels = std::move(png.indexes);
    img.palette = png.palette;
  } else if (png.colour_type == 0 || png.colour_type == 4) {
    img.indexed = true;
    img.grey = true;
    img.palette = grey_ramp();
    img.pixels.resize(static_cast<size_t>(png.width) * png.height);
    for (size_t i = 0; i < img.pixels.size(); ++i) img.pixels[i] = png.bgr[3 * i];
  } else {
    img.pixels = std::move(png.bgr);
  }
  return img;
}

Image read_any(const fs::path& p) {
  std::string ext = extension(p);
  if (ext == ".png") return read_png(p);
  return read_own(p);
}

// [SECTION] decode: own format to PNG ----------------------------------------------------

struct Counters {
  int converted = 0;
  int failed = 0;
};

// Reads an own-format image; a difference image gets its base's pixels
// where it is pure red (bases may be difference images themselves).
Image read_resolved(const fs::path& input, const Options& o, int depth = 0,
                    std::vector<fs::path>* inputs = nullptr) {
  gfx::ImageHeader h;
  Image img = read_own(input, &h);
  if (inputs) inputs->push_back(input);
  if (h.base_name.empty() || o.raw) return img;
  // The name comes from the file: a path in it would read pictures from
  // anywhere (the engine, too, finds bases by file name only).
  if (const char* why = base::unsafe_file_name_reason(h.base_name))
    fail(input.string() + ": the difference base \"" + h.base_name + "\" is not a file name (" + why + ")");
  fs::path dir = o.base_dir.empty() ? input.parent_path() : fs::path(o.base_dir);
  std::optional<fs::path> found;
  for (const char* ext : {".png", ".rct", ".rc8"})
    if ((found = find_in(dir, h.base_name + ext))) break;
  if (!found)
    fail(input.string() + ": the difference base \"" + h.base_name + "\" is not in " +
         (dir.empty() ? std::string(".") : dir.string()) + " (use --base-dir, or --raw to keep it as stored)");
  if (depth >= 8) fail(input.string() + ": difference bases nested too deep (a loop?)");
  if (inputs && extension(*found) == ".png") inputs->push_back(*found);
  Image base = extension(*found) == ".png" ? read_png(*found) : read_resolved(*found, o, depth + 1, inputs);
  if (base.width != img.width || base.height != img.height)
    fail(input.string() + ": the difference base " + found->string() + " has another size");
  if (base.indexed) return img;  // the engine ignores an 8-bit base
  for (size_t i = 0; i < img.pixels.size(); i += 3)
    if (img.pixels[i] == 0 && img.pixels[i + 1] == 0 && img.pixels[i + 2] == 0xFF)
      std::memcpy(&img.pixels[i], &base.pixels[i], 3);
  return img;
}

// The alpha image beside an image: NAME_.rc8.
std::optional<fs::path> alpha_partner(const fs::path& p) {
  return find_in(p.parent_path(), p.stem().string() + "_.rc8");
}

std::vector<uint8_t> to_png(const Image& img, bool with_alpha) {
  if (with_alpha) {
    std::vector<uint8_t> colour = colours_of(img), opacity(img.transparency.size());
    for (size_t i = 0; i < opacity.size(); ++i) opacity[i] = static_cast<uint8_t>(255 - img.transparency[i]);
    return gfx::encode_png_bgr(colour.data(), img.width, img.height, static_cast<size_t>(img.width) * 3,
                               opacity.data(), static_cast<size_t>(img.width));
  }
  if (img.indexed && is_grey_ramp(img.palette))
    return gfx::encode_png_grey(img.pixels.data(), img.width, img.height, static_cast<size_t>(img.width));
  if (img.indexed)
    return gfx::encode_png_indexed(img.pixels.data(), img.width, img.height, static_cast<size_t>(img.width),
                                   img.palette);
  return gfx::encode_png_bgr(img.pixels.data(), img.width, img.height, static_cast<size_t>(img.width) * 3);
}

void decode_one(const fs::path& in, const fs::path& out, const Options& o) {
  std::string ext = extension(in);
  if (ext != ".rct" && ext != ".rc8") fail(in.string() + ": not an .rct or .rc8 file");
  std::vector<fs::path> inputs;
  Image img = read_resolved(in, o, 0, &inputs);
  bool with_alpha = false;
  if (!o.no_alpha)
    if (auto partner = alpha_partner(in)) {
      inputs.push_back(*partner);
      Image alpha = read_own(*partner);
      if (alpha.width != img.width || alpha.height != img.height)
        fail(partner->string() + ": the alpha image has another size than " + in.string());
      img.transparency = std::move(alpha.pixels);
      with_alpha = true;
    }
  refuse_to_overwrite(out, inputs);
  write_file(out, to_png(img, with_alpha));
}

// [SECTION] encode: PNG to own format ---------------------------------------------------------

// Indexes and palette for an image of at most 256 colours.
bool make_indexed(Image& img) {
  if (img.indexed) return true;
  std::unordered_map<uint32_t, uint8_t> index;
  std::vector<uint8_t> idx(img.pixels.size() / 3);
  gfx::Palette pal{};
  for (size_t i = 0; i < idx.size(); ++i) {
    const uint8_t* p = &img.pixels[3 * i];
    uint32_t key = p[0] | (p[1] << 8) | (p[2] << 16);
    auto it = index.find(key);
    if (it == index.end()) {
      if (index.size() == 256) return false;
      uint8_t n = static_cast<uint8_t>(index.size());
      pal[n] = {p[0], p[1], p[2], 0};
      it = index.emplace(key, n).first;
    }
    idx[i] = it->second;
  }
  img.pixels = std::move(idx);
  img.palette = pal;
  img.indexed = true;
  return true;
}

fs::path alpha_path_for(const fs::path& out) {
  return out.parent_path() / (out.stem().string() + "_.rc8");
}

void encode_one(const fs::path& in, fs::path out, const Options& o) {
  Image img = read_any(in);
  std::string format = o.format;
  if (format.empty()) {
    std::string oext = extension(out);
    if (oext == ".rct" || oext == ".rc8") format = oext.substr(1);
  }
  if (format.empty()) format = img.indexed && img.transparency.empty() ? "rc8" : "rct";
  if (extension(out) != "." + format) out.replace_extension("." + format);
  std::vector<fs::path> inputs{in};
  if (!o.base.empty()) inputs.push_back(o.base);
  refuse_to_overwrite(out, inputs);
  if (!img.transparency.empty() && !o.no_alpha) refuse_to_overwrite(alpha_path_for(out), inputs);

  std::vector<uint8_t> file;
  if (format == "rc8") {
    if (!o.base.empty()) fail("--base makes .rct difference images only");
    if (!make_indexed(img)) fail(in.string() + ": more than 256 colours; encode it as .rct");
    file = gfx::encode_rc8(img.pixels.data(), img.width, img.height, static_cast<size_t>(img.width), img.palette);
  } else {
    std::vector<uint8_t> colour = colours_of(img);
    std::string base_name;
    if (!o.base.empty()) {
      fs::path base_path(o.base);
      Image base = read_any(base_path);
      if (base.width != img.width || base.height != img.height)
        fail(in.string() + ": the base " + o.base + " has another size");
      std::vector<uint8_t> bc = colours_of(base);
      for (size_t i = 0; i < colour.size(); i += 3) {
        bool red = colour[i] == 0 && colour[i + 1] == 0 && colour[i + 2] == 0xFF;
        if (std::memcmp(&colour[i], &bc[i], 3) == 0) {
          colour[i] = 0, colour[i + 1] = 0, colour[i + 2] = 0xFF;
        } else if (red) {
          size_t px = i / 3;
          fail(in.string() + ": pure red at (" + std::to_string(px % img.width) + ", " +
               std::to_string(px / img.width) + ") would show the base; a difference image cannot hold it");
        }
      }
      base_name = base_path.stem().string();
    }
    file = gfx::encode_rct(colour.data(), img.width, img.height, static_cast<size_t>(img.width) * 3, base_name);
  }
  write_file(out, file);
  if (!img.transparency.empty() && !o.no_alpha)
    write_file(alpha_path_for(out), gfx::encode_rc8(img.transparency.data(), img.width, img.height,
                                                    static_cast<size_t>(img.width), grey_ramp()));
}

// [SECTION] info ------------------------------------------------------------------------------

void info_one(const fs::path& p) {
  std::vector<uint8_t> file = read_file(p);
  if (gfx::is_png(file)) {
    gfx::PngImage png;
    std::string error;
    if (gfx::decode_png(file, png, &error) != gfx::PngResult::Ok) fail(p.string() + ": " + error);
    static const std::map<int, const char*> kTypes = {
        {0, "grey"}, {2, "RGB"}, {3, "palette"}, {4, "grey + alpha"}, {6, "RGB + alpha"}};
    std::printf("%s: PNG %d x %d, %s, %d-bit%s%s\n", p.string().c_str(), png.width, png.height,
                kTypes.count(png.colour_type) ? kTypes.at(png.colour_type) : "?", png.bit_depth,
                png.interlaced ? ", interlaced" : "", png.transparency.empty() ? "" : ", with transparency");
    return;
  }
  gfx::ImageHeader h;
  std::string error;
  if (!gfx::parse_image_header(file, h, &error)) fail(p.string() + ": " + error);
  uint64_t raw = static_cast<uint64_t>(h.width) * h.height * h.bytes_per_pixel();
  const char* kind = h.format == gfx::ImageFormat::Rc8 ? ".rc8 8-bit palette"
                     : h.format == gfx::ImageFormat::Rct ? ".rct 24-bit"
                                                          : ".rct 24-bit difference";
  std::printf("%s: %s %d x %d, %u bytes compressed (%.1f%% of %llu)", p.string().c_str(), kind, h.width, h.height,
              h.data_size, raw ? 100.0 * h.data_size / static_cast<double>(raw) : 0.0,
              static_cast<unsigned long long>(raw));
  if (h.format == gfx::ImageFormat::RctDifference) std::printf(", base \"%s\"", h.base_name.c_str());
  if (h.format == gfx::ImageFormat::Rc8) std::printf(is_grey_ramp(h.palette) ? ", grey-ramp palette" : ", own palette");
  std::printf("\n");
  std::vector<uint8_t> scratch(static_cast<size_t>(raw));
  if (!gfx::decode_image_data(file, h, scratch.data(), static_cast<size_t>(h.width) * h.bytes_per_pixel(),
                              scratch.size(), &error))
    fail(p.string() + ": " + error);
}

// [SECTION] Folders ---------------------------------------------------------------------------

// Folders that cannot be read are reported into *unreadable: leaving their
// files out silently would give an incomplete result that looks complete.
void walk(const fs::path& dir, const std::vector<std::string>& exts, std::vector<fs::path>& out,
          std::vector<std::string>& unreadable) {
  std::error_code ec;
  fs::directory_iterator it(dir, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    std::error_code e2;
    if (it->is_symlink(e2) && it->is_directory(e2)) continue;  // links to folders are not followed
    if (it->is_directory(e2)) walk(it->path(), exts, out, unreadable);
    else if (it->is_regular_file(e2) && std::find(exts.begin(), exts.end(), extension(it->path())) != exts.end())
      out.push_back(it->path());
  }
  if (ec) unreadable.push_back(dir.string() + ": cannot read the folder: " + ec.message());
}

std::vector<fs::path> files_below(const fs::path& dir, const std::vector<std::string>& exts,
                                  std::vector<std::string>& unreadable) {
  std::vector<fs::path> out;
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) fail(dir.string() + ": not a folder");
  walk(dir, exts, out, unreadable);
  std::sort(out.begin(), out.end());
  return out;
}

void progress(const Options& o, size_t k, size_t n, const fs::path& p) {
  if (!o.quiet) std::fprintf(stderr, "[%zu/%zu] %s\n", k, n, p.string().c_str());
}

int convert_folder(const Options& o, bool decoding) {
  fs::path in(o.args[0]), out(o.args[1]);
  std::vector<std::string> unreadable;
  std::vector<fs::path> files = files_below(in, decoding ? std::vector<std::string>{".rct", ".rc8"}
                                                           : std::vector<std::string>{".png"}, unreadable);
  for (const std::string& message : unreadable) std::fprintf(stderr, "quorel-img: %s\n", message.c_str());
  if (decoding) {
    // Alpha images go into their partner's PNG and are not written alone.
    std::vector<fs::path> kept;
    for (const fs::path& f : files) {
      std::string stem = f.stem().string();
      bool alpha_of_other = !o.no_alpha && extension(f) == ".rc8" && !stem.empty() && stem.back() == '_' &&
                            (find_in(f.parent_path(), stem.substr(0, stem.size() - 1) + ".rct") ||
                             find_in(f.parent_path(), stem.substr(0, stem.size() - 1) + ".rc8"));
      if (!alpha_of_other) kept.push_back(f);
    }
    files = std::move(kept);
  }
  Counters c;
  c.failed = static_cast<int>(unreadable.size());
  for (size_t k = 0; k < files.size(); ++k) {
    const fs::path& f = files[k];
    fs::path target = out / fs::relative(f, in);
    if (!decoding) target.replace_extension("");  // the encoder picks the format
    progress(o, k + 1, files.size(), f);
    try {
      if (decoding)
        decode_one(f, target.replace_extension(".png"), o);
      else
        encode_one(f, target, o);
      ++c.converted;
    } catch (const Failure& e) {
      std::fprintf(stderr, "quorel-img: %s\n", e.message.c_str());
      ++c.failed;
    }
  }
  if (!o.quiet)
    std::fprintf(stderr, "%d converted, %d failed\n", c.converted, c.failed);
  return c.failed ? 1 : 0;
}

// [SECTION] Entry -----------------------------------------------------------------------------

int run(const Options& o) {
  auto need = [&](size_t lo, size_t hi) {
    if (o.args.size() < lo || o.args.size() > hi) {
      std::fprintf(stderr, "quorel-img: wrong number of arguments for %s\n%s", o.command.c_str(), kUsage);
      throw 2;
    }
  };
  if (o.command == "decode") {
    need(1, 2);
    fs::path in(o.args[0]);
    decode_one(in, o.args.size() > 1 ? fs::path(o.args[1]) : fs::path(in).replace_extension(".png"), o);
    return 0;
  }
  if (o.command == "encode") {
    need(1, 2);
    fs::path in(o.args[0]);
    if (extension(in) != ".png") fail(in.string() + ": not a .png file");
    encode_one(in, o.args.size() > 1 ? fs::path(o.args[1]) : fs::path(in).replace_extension(""), o);
    return 0;
  }
  if (o.command == "info") {
    need(1, SIZE_MAX);
    int status = 0;
    for (const std::string& a : o.args) try {
        info_one(a);
      } catch (const Failure& e) {
        std::fprintf(stderr, "quorel-img: %s\n", e.message.c_str());
        status = 1;
      }
    return status;
  }
  if (o.command == "decode-dir" || o.command == "encode-dir") {
    need(2, 2);
    return convert_folder(o, o.command == "decode-dir");
  }
  std::fprintf(stderr, "quorel-img: unknown command \"%s\"\n%s", o.command.c_str(), kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](const char* name) -> std::optional<std::string> {
      size_t n = std::strlen(name);
      if (a.compare(0, n, name) == 0 && a.size() > n && a[n] == '=') return a.substr(n + 1);
      return std::nullopt;
    };
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--version") {
      std::printf("quorel-img %s\n", QUOREL_VERSION);
      return 0;
    } else if (a == "--no-alpha") {
      o.no_alpha = true;
    } else if (a == "--raw") {
      o.raw = true;
    } else if (a == "-q" || a == "--quiet") {
      o.quiet = true;
    } else if (auto v = value("--format")) {
      if (*v != "rct" && *v != "rc8") {
        std::fprintf(stderr, "quorel-img: --format must be rct or rc8\n");
        return 2;
      }
      o.format = *v;
    } else if (auto v = value("--base")) {
      o.base = *v;
    } else if (auto v = value("--base-dir")) {
      o.base_dir = *v;
    } else if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "quorel-img: unknown option %s\n%s", a.c_str(), kUsage);
      return 2;
    } else if (o.command.empty()) {
      o.command = a;
    } else {
      o.args.push_back(a);
    }
  }
  if (o.command.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  plat::remove_temporary_files_on_signal();
  try {
    return run(o);
  } catch (const Failure& e) {
    std::fprintf(stderr, "quorel-img: %s\n", e.message.c_str());
    return 1;
  } catch (int status) {
    return status;
  }
}
