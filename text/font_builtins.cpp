// Built-ins of fonts and text output: private font files, the glyph cache,
// antialiasing, the per-thread font stack, fontout and the font dialog.
#include "base/game_names.h"
#include "base/sjis.h"
#include "core/engine.h"
#include "core/trace.h"
#include "core/error_report.h"
#include "graphics/page.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "res/text.h"
#include "script/builtins.h"
#include "script/script_error.h"
#include "text/render.h"
#include "text/text_builtins.h"
#include "text/text_state.h"

namespace txt {

using rt::Call;
using rt::Progress;

namespace {

Progress result(Call& c, int32_t n) {
  c.ret_int(n);
  return Progress::Done;
}

// --- Font files and the cache ----------------------------------------------------------

Progress load_font(Call& c) {
  rt::Engine& e = c.engine;
  State& s = *e.text;
  const std::string name(c.str_arg(1));
  // The file system itself, not the game's resource folders.
  std::string path;
  for (const std::string& candidate : {name, "font\\" + name}) {
    if (base::unsafe_name_reason(candidate)) continue;  // never a file outside the game's folder
    if (candidate.empty() || !e.files.exists(candidate) || e.files.is_directory(candidate)) continue;
    path = e.files.native_path(candidate);
    break;
  }
  if (path.empty()) {
    rt::script_error(e, base::format(msg::kLoadFontMissing, name.c_str()));
    return result(c, 0);
  }
  if (!font_library(e).add_font_file(path)) {
    if (s.noted_faces.insert("\x01" + path).second) rt::debug_log(e, base::format(msg::kFontFileUnreadable, name.c_str()));
    return result(c, 0);
  }
  QUOREL_TRACE(e, text, "font file %s added", path.c_str());
  s.loaded_font_files.push_back(path);
  ++s.font_generation;
  return result(c, 0);
}

Progress set_font_cache(Call& c) {
  open_glyph_cache(c.engine, c.str_arg(1), c.int_arg(2), c.int_arg(3));
  return result(c, 0);
}

Progress font_antialias(Call& c) {
  c.engine.text->antialias = c.int_arg(1);
  return result(c, 0);
}

// --- The font stack --------------------------------------------------------------------

Progress fontout_push(Call& c) {
  push_font(c.engine, c.thread);
  return result(c, 0);
}

Progress fontout_pop(Call& c) {
  pop_font(c.thread);
  return result(c, 0);
}

Progress fontout_font(Call& c) {
  FontRecord& f = top_font(c.engine, c.thread);
  const int32_t size = c.int_arg(2, 20);
  const int32_t width = c.int_arg(3, size / 2);
  const int32_t pitch = c.int_arg(4, static_cast<int32_t>(static_cast<int64_t>(size) * 5 / 4));
  std::string face(c.str_arg(1));
  // An empty face names no font; it is kept as given.
  f.face = clip_face(face);
  f.heavy = is_heavy_face(f.face) ? 1 : 0;
  set_font(c.engine, f, {}, size, width, pitch, c.int_arg(5, 0));
  return result(c, 0);
}

Progress fontout_color(Call& c) {
  FontRecord& f = top_font(c.engine, c.thread);
  f.color = static_cast<uint32_t>(c.int_arg(1));
  f.edge = static_cast<uint32_t>(c.int_arg(2, -1));
  return result(c, 0);
}

Progress fontout_locate(Call& c) {
  FontRecord& f = top_font(c.engine, c.thread);
  int32_t page = c.int_arg(1);
  if (!gfx::is_page_valid(c.engine, page)) {
    rt::script_error(c.engine, msg::kFontoutLocateNoPage);
    page = drawing_page(c.engine);
  }
  f.page = page;
  f.x = c.int_arg(2);
  f.y = c.int_arg(3);
  return result(c, 0);
}

Progress fontout(Call& c) {
  rt::Engine& e = c.engine;
  FontRecord& f = top_font(e, c.thread);
  gfx::Page* page = gfx::find_page(e, f.page);
  if (!page) {
    rt::script_error(e, msg::kFontoutNoPage);
    return result(c, 0);
  }
  const std::string text(c.str_arg(1));
  announce_fontout(e, text);
  if (c.argc < 3) {
    f.x += draw(e, f, *page, text, nullptr);
    return result(c, 0);
  }
  const int w = measure(e, f, text);
  const int box_w = c.int_arg(2), box_h = c.int_arg(3);
  switch (c.int_arg(4, 0)) {
    case -2: f.x += box_w - w; break;
    case -1: break;
    default: f.x += (box_w - w) / 2; break;
  }
  const int32_t y = f.y;
  f.y += (box_h - f.size) / 2;
  f.x += draw(e, f, *page, text, nullptr);
  f.y = y;
  return result(c, 0);
}

// --- The font dialog -------------------------------------------------------------------

Progress select_font(Call& c) {
  c.ret_string(run_font_dialog(c.engine, c.str_arg(1), c.int_arg(2) != 0));
  return Progress::Done;
}

Progress set_font_name(Call& c) {
  State& s = *c.engine.text;
  s.dialog_face = std::string(c.str_arg(1));
  s.dialog_proportional = c.int_arg(2) != 0;
  s.dialog_current = s.dialog_face;
  return result(c, 0);
}

Progress select_font_current(Call& c) {
  c.ret_string(c.engine.text->dialog_current);
  return Progress::Done;
}

Progress select_font_extra(Call& c) {
  c.engine.text->dialog_extra = std::string(c.str_arg(1));
  return result(c, 0);
}

constexpr auto kTable = rt::handler_table<rt::Subsystem::text>({
    {"load_font", load_font},
    {"set_font_cache", set_font_cache},
    {"font_antialias", font_antialias},
    {"fontout_push", fontout_push},
    {"fontout_pop", fontout_pop},
    {"fontout_font", fontout_font},
    {"fontout_color", fontout_color},
    {"fontout_locate", fontout_locate},
    {"fontout", fontout},
    {"select_font", select_font},
    {"set_font_name", set_font_name},
    {"select_font_current", select_font_current},
    {"select_font_extra", select_font_extra},
});

}  // namespace

std::span<const rt::BuiltinEntry> font_builtins() { return kTable; }

std::string run_font_dialog(rt::Engine& e, std::string_view initial, bool proportional) {
  State& s = *e.text;
  s.dialog_current = std::string(initial);
  // The families of the asked pitch, and the extra face whatever its pitch.
  std::vector<std::string> faces;
  for (bool pitch : {proportional, !proportional}) {
    for (const std::string& family : font_library(e).families(pitch)) {
      std::optional<std::string> sjis = plat::utf8_to_sjis(family);
      if (!sjis || sjis->empty()) continue;
      if (pitch == proportional || (!s.dialog_extra.empty() && base::sjis_equal_nocase(*sjis, s.dialog_extra)))
        faces.push_back(clip_face(*sjis));
    }
  }
  size_t selected = 0;
  for (size_t i = 0; i < faces.size(); ++i)
    if (base::sjis_equal_nocase(faces[i], initial)) {
      selected = i;
      break;
    }
  if (!s.font_dialog || faces.empty()) return std::string(initial);
  std::optional<std::string> chosen = s.font_dialog(e, faces, selected, proportional);
  if (!chosen) return std::string(initial);
  s.dialog_current = *chosen;
  return *chosen;
}

std::string run_font_dialog(rt::Engine& e) {
  State& s = *e.text;
  return run_font_dialog(e, s.dialog_face, s.dialog_proportional);
}

}  // namespace txt
