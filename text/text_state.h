// The text subsystem's share of the engine: the glyph cache, the drawing
// context, loaded font files, the font dialog's settings and the message
// console.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "graphics/page.h"
#include "platform/font_rasterizer.h"
#include "text/announce.h"
#include "text/console.h"
#include "text/glyph_cache.h"
#include "text/glyph_source.h"

namespace txt {

// What the characters are currently measured and struck with.
struct DrawingContext {
  std::string face;
  int height = 0;        // lfHeight: size × scale
  int width = 0;         // lfWidth
  bool antialias = false;
  bool valid = false;
  int generation = 0;    // of the loaded font files
};

// Voice commands go to the sound subsystem's voice slot: name, loop, and
// the three inputs the voice slot takes (force, suppress, male). Set by the
// sound subsystem; without it voice commands play nothing.
using VoicePlayer = void (*)(rt::Engine& e, std::string_view name, bool loop, bool force, bool suppress, bool male);
// The font-selection dialog: families to list (Shift-JIS), the entry to
// select first; returns the chosen face or nullopt (cancelled). Set by the
// shell; without it the dialog answers as if cancelled.
using FontDialog = std::optional<std::string> (*)(rt::Engine& e, const std::vector<std::string>& faces,
                                                  size_t selected, bool proportional);

struct State {
  State();
  ~State();

  int antialias = 1;                         // 0 scale 1; 1 scale 4; 2 scale 4 unless skipping
  GlyphCache cache;
  std::unique_ptr<GlyphSource> glyphs;       // made on first use
  std::unique_ptr<plat::FontRasterizer> fonts;  // made on first use
  DrawingContext context;
  std::vector<uint8_t> strike_buffer;        // the four-times character cell
  std::unique_ptr<gfx::Page> work_page;      // 8-bit, client width × font size
  std::vector<int> advances;                 // of the string being drawn
  int explicit_advance = -1;                 // set by justified layout for the next draw

  std::vector<std::string> loaded_font_files;  // native paths, load_font
  int font_generation = 0;                     // counts load_font, so that faces are looked up again
  std::set<std::string> noted_faces;           // faces the debug log has reported

  // Font dialog (select_font, set_font_name, the menu's font command).
  std::string dialog_face;
  bool dialog_proportional = false;
  std::string dialog_current;
  std::string dialog_extra;

  Console console;
  Announcer announcer;  // the text hook and self-voicing

  VoicePlayer voice_player = nullptr;
  FontDialog font_dialog = nullptr;
};

// The font library, made on first use.
plat::FontRasterizer& font_library(rt::Engine& e);
GlyphSource& glyph_source(rt::Engine& e);

}  // namespace txt
