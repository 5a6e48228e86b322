#include "text/glyph_source.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "base/sjis.h"
#include "core/engine.h"
#include "core/error_report.h"
#include "platform/encoding.h"
#include "res/text.h"
#include "text/text_state.h"

namespace txt {

namespace {

constexpr char kDefaultFamily[] = "IPAGothic";

bool contains_char_seq(std::string_view text, std::string_view part) {
  for (size_t i = 0; i + part.size() <= text.size(); i += base::sjis_char_size(text, i))
    if (text.substr(i, part.size()) == part) return true;
  return false;
}

bool contains_ascii_nocase(std::string_view text, std::string_view part) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower.find(part) != std::string::npos;
}

// The installed family that stands in for a Windows face a game names:
// the Gothic and Mincho faces, proportional ("Ｐ") or not.
std::string stand_in_family(std::string_view face) {
  const bool mincho = contains_char_seq(face, msg::kMincho) || contains_ascii_nocase(face, "mincho");
  const bool gothic = contains_char_seq(face, msg::kGothic) || contains_ascii_nocase(face, "gothic");
  if (!mincho && !gothic) return {};
  const bool proportional = contains_char_seq(face, msg::kFullWidthP) || contains_ascii_nocase(face, "pgothic") ||
                            contains_ascii_nocase(face, "pmincho");
  if (mincho) return proportional ? "IPAPMincho" : "IPAMincho";
  return proportional ? "IPAPGothic" : "IPAGothic";
}

class FontGlyphs : public GlyphSource {
 public:
  explicit FontGlyphs(rt::Engine& e) : e_(e) {}

  void select(std::string_view face, int height, int width, bool antialias) override {
    selected_ = false;
    if (generation_ != e_.text->font_generation) {
      resolved_.clear();  // a loaded font file may carry the face now
      generation_ = e_.text->font_generation;
    }
    if (height < 1 || width < 1) return;
    const std::optional<plat::FontFile>& file = resolve(face);
    if (file) selected_ = font_library(e_).select(*file, height, width, antialias);
  }

  int extent(uint32_t code) override { return selected_ ? font_library(e_).advance(code) : 0; }

  void strike(uint32_t code, int centre_x, int top, plat::InkBuffer target) override {
    if (selected_) font_library(e_).strike(code, centre_x, top, target);
  }

 private:
  const std::optional<plat::FontFile>& resolve(std::string_view face) {
    std::string key(face);
    if (auto it = resolved_.find(key); it != resolved_.end()) return it->second;
    plat::FontRasterizer& lib = font_library(e_);
    std::optional<plat::FontFile> file;
    if (!face.empty()) file = lib.find_family(plat::sjis_to_utf8(face));
    if (!file) {
      std::string stand_in = face.empty() ? kDefaultFamily : stand_in_family(face);
      if (!stand_in.empty()) file = lib.find_family(stand_in);
    }
    if (!file) {
      file = lib.find_family(kDefaultFamily);
      if (!file) {
        for (bool proportional : {false, true}) {
          for (const std::string& family : lib.families(proportional))
            if ((file = lib.find_family(family))) break;
          if (file) break;
        }
      }
      State& s = *e_.text;
      if (s.noted_faces.insert(key).second) {
        if (file) {
          std::string used = plat::utf8_to_sjis(file->family).value_or(file->family);
          rt::debug_log(e_, base::format(msg::kFaceNotInstalled, key.c_str(), used.c_str()));
        } else {
          rt::debug_log(e_, msg::kNoFontInstalled);
        }
      }
    }
    return resolved_[key] = std::move(file);
  }

  rt::Engine& e_;
  std::map<std::string, std::optional<plat::FontFile>> resolved_;
  bool selected_ = false;
  int generation_ = 0;
};

class FixedGlyphs : public GlyphSource {
 public:
  void select(std::string_view, int height, int width, bool) override {
    height_ = std::max(height, 0);
    width_ = height < 1 ? 0 : std::max(width, 0);
  }
  int extent(uint32_t code) override {
    if (code >= 256) return 2 * width_;
    const bool shown = (code >= 0x20 && code < 0x7F) || (code >= 0xA1 && code <= 0xDF);
    return shown ? width_ : 0;  // control bytes and lone lead bytes take no room
  }
  // The ink covers the advance box and a pixel around it, so that every
  // filtered pixel of the character is full ink.
  void strike(uint32_t code, int centre_x, int top, plat::InkBuffer t) override {
    const int adv = extent(code);
    if (adv == 0) return;
    const int x0 = centre_x - adv / 2 - 1;
    for (int y = std::max(top - 1, 0); y < std::min(top + height_ + 1, t.height); ++y)
      for (int x = std::max(x0, 0); x < std::min(x0 + adv + 2, t.width); ++x) t.pixels[y * t.stride + x] = 0;
  }

 private:
  int height_ = 0, width_ = 0;
};

}  // namespace

std::unique_ptr<GlyphSource> make_font_glyphs(rt::Engine& e) { return std::make_unique<FontGlyphs>(e); }
std::unique_ptr<GlyphSource> make_fixed_glyphs() { return std::make_unique<FixedGlyphs>(); }

}  // namespace txt
