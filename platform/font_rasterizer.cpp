#include "platform/font_rasterizer.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include <iconv.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <thread>
#include <unordered_map>

namespace plat {

namespace {

const iconv_t kNoIconv = reinterpret_cast<iconv_t>(-1);

// Shift-JIS character codes (lead + 256 × trail, or the byte) to Unicode.
std::vector<char32_t> build_code_table() {
  std::vector<char32_t> table(65536, 0);
  for (uint32_t b = 0x20; b < 0x7F; ++b) table[b] = b;
  for (uint32_t b = 0xA1; b <= 0xDF; ++b) table[b] = 0xFF61 + (b - 0xA1);  // half-width katakana
  iconv_t cd = iconv_open("UTF-32LE", "CP932");
  if (cd == kNoIconv) return table;
  auto lead = [](uint32_t c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); };
  for (uint32_t l = 0x81; l <= 0xFC; ++l) {
    if (!lead(l)) continue;
    for (uint32_t t = 0x40; t <= 0xFC; ++t) {
      if (t == 0x7F) continue;
      char in[2] = {static_cast<char>(l), static_cast<char>(t)};
      unsigned char out[8] = {};
      char* src = in;
      char* dst = reinterpret_cast<char*>(out);
      size_t left = 2, room = sizeof out;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      if (iconv(cd, &src, &left, &dst, &room) == static_cast<size_t>(-1) || room != sizeof out - 4) continue;
      table[l + 256 * t] = out[0] | (out[1] << 8) | (out[2] << 16) | (static_cast<char32_t>(out[3]) << 24);
    }
  }
  iconv_close(cd);
  return table;
}

std::string pattern_string(FcPattern* p, const char* object, int n) {
  FcChar8* s = nullptr;
  return FcPatternGetString(p, object, n, &s) == FcResultMatch && s ? reinterpret_cast<const char*>(s) : "";
}

int pattern_int(FcPattern* p, const char* object, int fallback) {
  int v = 0;
  return FcPatternGetInteger(p, object, 0, &v) == FcResultMatch ? v : fallback;
}

}  // namespace

struct FontRasterizer::Impl {
  FT_Library library = nullptr;
  FcConfig* config = nullptr;
  std::map<std::pair<std::string, int>, FT_Face> faces;
  std::vector<char32_t> codes;

  // The selected font.
  FT_Face face = nullptr;
  FontFile file;
  int height = 0, width = 0;
  bool antialias = true;
  int ascent = 0;
  FT_Int32 load_flags = 0;
  std::unordered_map<uint32_t, int> advances;

  std::thread preparing;  // loads `config` until joined

  ~Impl() {
    if (preparing.joinable()) preparing.join();
    for (auto& [key, f] : faces) FT_Done_Face(f);
    if (library) FT_Done_FreeType(library);
    if (config) FcConfigDestroy(config);
  }

  FcConfig* fc() {
    if (preparing.joinable()) preparing.join();
    if (!config) config = FcInitLoadConfigAndFonts();
    return config;
  }

  FT_Face open(const FontFile& f) {
    auto key = std::make_pair(f.path, f.index);
    if (auto it = faces.find(key); it != faces.end()) return it->second;
    if (!library && FT_Init_FreeType(&library) != 0) {
      library = nullptr;
      return nullptr;
    }
    FT_Face face_ = nullptr;
    if (FT_New_Face(library, f.path.c_str(), f.index, &face_) != 0) return nullptr;
    if (!(face_->face_flags & FT_FACE_FLAG_SCALABLE)) {
      FT_Done_Face(face_);
      return nullptr;
    }
    if (FT_Select_Charmap(face_, FT_ENCODING_UNICODE) != 0) {
      FT_Done_Face(face_);
      return nullptr;
    }
    faces[key] = face_;
    return face_;
  }

  FT_UInt glyph_index(uint32_t code) {
    if (codes.empty()) codes = build_code_table();
    char32_t cp = code < codes.size() ? codes[code] : 0;
    if (cp == 0) return UINT32_MAX;  // no character: no room, no ink
    return FT_Get_Char_Index(face, cp);
  }
};

FontRasterizer::FontRasterizer() : impl_(std::make_unique<Impl>()) {}
FontRasterizer::~FontRasterizer() = default;

void FontRasterizer::prepare() {
  Impl& i = *impl_;
  if (i.config || i.preparing.joinable()) return;
  i.preparing = std::thread([&i] { i.config = FcInitLoadConfigAndFonts(); });
}

char32_t FontRasterizer::code_point(uint32_t code) {
  if (impl_->codes.empty()) impl_->codes = build_code_table();
  return code < impl_->codes.size() ? impl_->codes[code] : 0;
}

std::optional<FontFile> FontRasterizer::find_family(std::string_view family) {
  FcConfig* config = impl_->fc();
  if (!config || family.empty()) return std::nullopt;
  std::string name(family);
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
  FcObjectSet* objects = FcObjectSetBuild(FC_FILE, FC_INDEX, FC_FAMILY, FC_WEIGHT, FC_SLANT, nullptr);
  FcFontSet* set = FcFontList(config, pattern, objects);
  FcObjectSetDestroy(objects);
  FcPatternDestroy(pattern);
  if (!set) return std::nullopt;
  // Of several files, the upright regular one; then the first path, so that
  // the choice does not depend on the order of the listing.
  std::optional<FontFile> best;
  int best_score = 0;
  for (int i = 0; i < set->nfont; ++i) {
    FcPattern* p = set->fonts[i];
    FontFile f{pattern_string(p, FC_FILE, 0), pattern_int(p, FC_INDEX, 0), pattern_string(p, FC_FAMILY, 0)};
    if (f.path.empty()) continue;
    int score = std::abs(pattern_int(p, FC_WEIGHT, FC_WEIGHT_REGULAR) - FC_WEIGHT_REGULAR) +
                (pattern_int(p, FC_SLANT, FC_SLANT_ROMAN) != FC_SLANT_ROMAN ? 1000 : 0);
    if (!best || score < best_score || (score == best_score && f.path < best->path)) {
      best = f;
      best_score = score;
    }
  }
  FcFontSetDestroy(set);
  return best;
}

bool FontRasterizer::add_font_file(const std::string& native_path) {
  // FreeType must be able to read it before fontconfig is told about it.
  FT_Library lib = impl_->library;
  if (!lib && FT_Init_FreeType(&impl_->library) != 0) {
    impl_->library = nullptr;
    return false;
  }
  lib = impl_->library;
  FT_Face probe = nullptr;
  if (FT_New_Face(lib, native_path.c_str(), 0, &probe) != 0) return false;
  FT_Done_Face(probe);
  FcConfig* config = impl_->fc();
  return config && FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8*>(native_path.c_str()));
}

void FontRasterizer::remove_added_fonts() {
  if (impl_->preparing.joinable()) impl_->preparing.join();
  if (impl_->config) FcConfigAppFontClear(impl_->config);
}

std::vector<std::string> FontRasterizer::families(bool proportional) {
  std::set<std::string> names;
  FcConfig* config = impl_->fc();
  if (!config) return {};
  FcPattern* pattern = FcPatternCreate();
  FcLangSet* ja = FcLangSetCreate();
  FcLangSetAdd(ja, reinterpret_cast<const FcChar8*>("ja"));
  FcPatternAddLangSet(pattern, FC_LANG, ja);
  FcLangSetDestroy(ja);
  FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_FAMILYLANG, FC_SPACING, nullptr);
  FcFontSet* set = FcFontList(config, pattern, objects);
  FcObjectSetDestroy(objects);
  FcPatternDestroy(pattern);
  if (!set) return {};
  for (int i = 0; i < set->nfont; ++i) {
    FcPattern* p = set->fonts[i];
    int spacing = pattern_int(p, FC_SPACING, FC_PROPORTIONAL);
    bool fixed = spacing == FC_MONO || spacing == FC_DUAL || spacing == FC_CHARCELL;
    if (fixed == proportional) continue;
    std::string chosen = pattern_string(p, FC_FAMILY, 0);
    for (int n = 0;; ++n) {
      std::string lang = pattern_string(p, FC_FAMILYLANG, n);
      if (lang.empty()) break;
      if (lang == "ja") {
        chosen = pattern_string(p, FC_FAMILY, n);
        break;
      }
    }
    if (!chosen.empty() && chosen[0] != '@') names.insert(chosen);
  }
  FcFontSetDestroy(set);
  return {names.begin(), names.end()};
}

bool FontRasterizer::select(const FontFile& file, int height, int width, bool antialias) {
  Impl& m = *impl_;
  if (height <= 0 || width <= 0) {
    m.face = nullptr;
    return false;
  }
  if (m.face && m.file == file && m.height == height && m.width == width && m.antialias == antialias) return true;
  m.face = m.open(file);
  m.advances.clear();
  if (!m.face) return false;
  m.file = file;
  m.height = height;
  m.width = width;
  m.antialias = antialias;
  if (FT_Set_Pixel_Sizes(m.face, static_cast<FT_UInt>(2 * width), static_cast<FT_UInt>(height)) != 0) {
    m.face = nullptr;
    return false;
  }
  // The character cell is one em high; the baseline divides it as the
  // font's ascender and descender divide their sum.
  const double asc = m.face->ascender, desc = -static_cast<double>(m.face->descender);
  m.ascent = asc + desc > 0 ? static_cast<int>(std::lround(height * asc / (asc + desc))) : height;
  // Four-times sizes are drawn unhinted with grey levels; one-to-one sizes
  // hinted in black and white, as the system's plain text output was.
  m.load_flags = antialias ? FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP : FT_LOAD_TARGET_MONO | FT_LOAD_NO_BITMAP;
  return true;
}

int FontRasterizer::advance(uint32_t code) {
  Impl& m = *impl_;
  if (!m.face) return 0;
  if (auto it = m.advances.find(code); it != m.advances.end()) return it->second;
  FT_UInt gi = m.glyph_index(code);
  int px = 0;
  if (gi != UINT32_MAX) {
    FT_Fixed adv = 0;
    if (FT_Get_Advance(m.face, gi, m.load_flags, &adv) == 0) px = static_cast<int>((adv + 0x8000) >> 16);
  }
  m.advances[code] = std::max(px, 0);
  return m.advances[code];
}

void FontRasterizer::strike(uint32_t code, int centre_x, int top, InkBuffer target) {
  Impl& m = *impl_;
  if (!m.face || !target.pixels) return;
  FT_UInt gi = m.glyph_index(code);
  if (gi == UINT32_MAX) return;
  const int adv = advance(code);
  if (FT_Load_Glyph(m.face, gi, m.load_flags | FT_LOAD_RENDER |
                                    (m.antialias ? FT_LOAD_TARGET_NORMAL : FT_LOAD_TARGET_MONO)) != 0)
    return;
  const FT_GlyphSlot g = m.face->glyph;
  if (g->format != FT_GLYPH_FORMAT_BITMAP) return;
  const FT_Bitmap& bm = g->bitmap;
  const int x0 = centre_x - adv / 2 + g->bitmap_left;
  const int y0 = top + m.ascent - g->bitmap_top;
  const bool mono = bm.pixel_mode == FT_PIXEL_MODE_MONO;
  if (!mono && bm.pixel_mode != FT_PIXEL_MODE_GRAY) return;
  for (unsigned r = 0; r < bm.rows; ++r) {
    const int y = y0 + static_cast<int>(r);
    if (y < 0 || y >= target.height) continue;
    const unsigned char* src = bm.buffer + static_cast<ptrdiff_t>(r) * bm.pitch;
    uint8_t* dst = target.pixels + static_cast<size_t>(y) * target.stride;
    for (unsigned c = 0; c < bm.width; ++c) {
      const int x = x0 + static_cast<int>(c);
      if (x < 0 || x >= target.width) continue;
      int ink = mono ? ((src[c >> 3] >> (7 - (c & 7))) & 1) * 255 : src[c];
      if (!mono && bm.num_grays != 256 && bm.num_grays > 1) ink = ink * 255 / (bm.num_grays - 1);
      const uint8_t v = static_cast<uint8_t>(255 - ink);
      if (v < dst[x]) dst[x] = v;
    }
  }
}

}  // namespace plat
