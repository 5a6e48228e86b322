// Glyphs and font lookup: FreeType draws the characters, fontconfig finds
// the font file behind a face name and lists the installed families.
//
// The engine measures and strikes one character at a time, the way it did
// with the Windows text renderer: a character's advance box is centred on
// a given x, its cell's top is at a given y, and ink darkens an 8-bit
// buffer in which 255 means no ink and 0 full ink. Characters are named by
// their Shift-JIS code: lead byte + 256 × trail byte, or the single byte.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plat {

// A font file as fontconfig found it.
struct FontFile {
  std::string path;    // native path
  int index = 0;       // face within a collection
  std::string family;  // UTF-8
  friend bool operator==(const FontFile&, const FontFile&) = default;
};

// An 8-bit buffer to strike into (255 = no ink).
struct InkBuffer {
  uint8_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
};

class FontRasterizer {
 public:
  FontRasterizer();
  ~FontRasterizer();
  FontRasterizer(const FontRasterizer&) = delete;
  FontRasterizer& operator=(const FontRasterizer&) = delete;

  // --- Lookup (fontconfig) ------------------------------------------------------
  // Starts reading fontconfig's configuration and font caches on a helper
  // thread, so that the first lookup finds them ready; a lookup before it
  // has finished waits for it.
  void prepare();
  // The font whose family is `family` (UTF-8, compared without regard to
  // case and blanks), installed or added by
  // add_font_file. nullopt when no font carries that name: fontconfig's own
  // nearest match is not taken for one.
  std::optional<FontFile> find_family(std::string_view family);
  // Makes the faces of a font file findable for the life of this object.
  // False when FreeType cannot read the file or fontconfig refuses it.
  bool add_font_file(const std::string& native_path);
  void remove_added_fonts();
  // Families that can show Japanese text, proportional or fixed pitch
  // (fixed includes the dual-width Japanese faces); names beginning with
  // "@" (vertical writing) are left out. Localised (Japanese) names are
  // preferred. UTF-8, sorted, without duplicates.
  std::vector<std::string> families(bool proportional);

  // --- Drawing (FreeType) -------------------------------------------------------
  // Selects the font for the calls below: an em `height` pixels high and
  // `2 × width` pixels wide (width is the half-width advance). False when
  // the file cannot be opened or the sizes are not positive.
  bool select(const FontFile& file, int height, int width, bool antialias);
  // The advance, in pixels, of a character of the selected font (0 without one).
  int advance(uint32_t code);
  // Strikes a character: its advance box centred on `centre_x`, the top of
  // the character cell at `top`. Ink only darkens (minimum).
  void strike(uint32_t code, int centre_x, int top, InkBuffer target);

  // The Unicode code point of a Shift-JIS character code; 0 when the code
  // page has none.
  char32_t code_point(uint32_t code);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace plat
