#include "text/text_state.h"

#include "core/engine.h"

namespace txt {

// The console starts empty, with no speed of the script's own: until an `s`
// command the player's text speed applies.
State::State() {
  console.rec = FontRecord{};
  console.rec.speed = -1;
}
State::~State() = default;

plat::FontRasterizer& font_library(rt::Engine& e) {
  State& s = *e.text;
  if (!s.fonts) s.fonts = std::make_unique<plat::FontRasterizer>();
  return *s.fonts;
}

GlyphSource& glyph_source(rt::Engine& e) {
  State& s = *e.text;
  if (!s.glyphs) s.glyphs = make_font_glyphs(e);
  return *s.glyphs;
}

}  // namespace txt
