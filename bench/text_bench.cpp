// Story text beside its peer, on the same 400 characters of Japanese:
//   - the console laying out and drawing a page of them (20-pixel IPA
//     Gothic, 30 characters to a line, with an outline), with a cold glyph
//     cache (every glyph struck at four times the size and filtered) and
//     with a warm one (glyphs copied from the cache);
//   - FreeType rendering the same characters bare, at the size shown and at
//     the four-times size the cold path strikes them at.
// Ends with one "RATIO <name> <peer time / Quorel time>" line per pair.
#include <benchmark/benchmark.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "core/engine.h"
#include "graphics/page.h"
#include "platform/encoding.h"
#include "platform/font_rasterizer.h"
#include "platform/host.h"
#include "script/script_machine.h"
#include "script/threads.h"
#include "text/console.h"
#include "text/glyph_cache.h"
#include "text/render.h"
#include "text/text_state.h"

namespace {

const char kParagraph[] =
    "吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。何でも薄暗いじめじめした所で"
    "ニャーニャー泣いていた事だけは記憶している。吾輩はここで始めて人間というものを見た。しかもあとで"
    "聞くとそれは書生という人間中で一番獰悪な種族であったそうだ。この書生というのは時々我々を捕えて煮て"
    "食うという話である。しかしその当時は何という考もなかったから別段恐しいとも思わなかった。";

// 400 characters of Shift-JIS text.
std::string page_text() {
  const std::string para = *plat::utf8_to_sjis(kParagraph);
  std::string out;
  size_t chars = 0;
  for (size_t i = 0; chars < 400; ++chars) {
    if (i >= para.size()) i = 0;
    const size_t n = txt::char_at(para, i).size;
    out.append(para, i, n);
    i += n;
  }
  return out;
}

struct Stage {
  Stage() {
    dir = std::filesystem::temp_directory_path() / ("quorel-text-bench-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(dir);
    rt::Options o;
    o.game_dir = dir.string();
    o.headless = true;
    e = std::make_unique<rt::Engine>(o, plat::make_headless_host(std::nullopt));
    e->env.parse("LOADSAVEDISABLE 1\n");
    rt::make_current(*e, rt::create_thread(*e, 0));
    page = &gfx::create_page_24(*e, 640, 480, false);
    txt::Console& c = e->text->console;
    c.rec.page = page->handle;
    c.rec.left = c.rec.x = 20;
    c.rec.top = c.rec.y = 20;
    c.rec.box_width = 600;
    c.rec.box_height = 440;
    c.shown = true;
    face = *plat::utf8_to_sjis("ＭＳ ゴシック");
    txt::open_glyph_cache(*e, face, 20, 10);
    txt::execute(*e, txt::font_record(20, 10, 25, 0, face), true);
    txt::execute(*e, txt::colour_record(0xFFFFFF, 0x01000000), true);
  }
  ~Stage() {
    e.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  // Shows the whole text from the top of the box.
  void show_page() {
    txt::Console& c = e->text->console;
    c.rec.x = c.rec.left;
    c.rec.y = c.rec.top;
    txt::append_text(*e, text);
    while (txt::line_step(*e, *e->vm->current, 100)) c.calls.clear();
    c.backlog.clear();
  }

  std::filesystem::path dir;
  std::unique_ptr<rt::Engine> e;
  gfx::Page* page = nullptr;
  std::string face;
  std::string text = page_text();
};

Stage& stage() {
  static Stage s;
  return s;
}

void BM_quorel_page_cold(benchmark::State& state) {
  Stage& s = stage();
  for (auto _ : state) {
    s.e->text->cache.reset(s.face, 40, 80);  // an empty cache for the font
    s.show_page();
  }
}

void BM_quorel_page_warm(benchmark::State& state) {
  Stage& s = stage();
  s.e->text->cache.reset(s.face, 40, 80);
  s.show_page();
  for (auto _ : state) s.show_page();
}

// FreeType alone: load and render each character's glyph.
void freetype_bare(benchmark::State& state, int pixels) {
  Stage& s = stage();
  plat::FontRasterizer fonts;
  auto file = fonts.find_family("IPAGothic");
  if (!file) {
    state.SkipWithError("IPA Gothic is not installed");
    return;
  }
  FT_Library lib;
  FT_Init_FreeType(&lib);
  FT_Face face;
  FT_New_Face(lib, file->path.c_str(), file->index, &face);
  FT_Set_Pixel_Sizes(face, static_cast<FT_UInt>(pixels), static_cast<FT_UInt>(pixels));
  std::vector<FT_ULong> codes;
  for (size_t i = 0; i < s.text.size();) {
    txt::Char c = txt::char_at(s.text, i);
    codes.push_back(fonts.code_point(c.code));
    i += c.size;
  }
  for (auto _ : state) {
    for (FT_ULong cp : codes) {
      FT_Load_Char(face, cp, FT_LOAD_RENDER | FT_LOAD_NO_HINTING);
      benchmark::DoNotOptimize(face->glyph->bitmap.buffer);
    }
  }
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
}

void BM_freetype_bare(benchmark::State& state) { freetype_bare(state, 20); }
void BM_freetype_bare_4x(benchmark::State& state) { freetype_bare(state, 80); }

BENCHMARK(BM_quorel_page_cold)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_quorel_page_warm)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_freetype_bare)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_freetype_bare_4x)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return bench_support::run_and_compare(argc, argv, {
      {"text_page_cold_cache", "BM_quorel_page_cold", "BM_freetype_bare_4x"},
      {"text_page_warm_cache", "BM_quorel_page_warm", "BM_freetype_bare"},
      {"text_page_warm_vs_cold", "BM_quorel_page_warm", "BM_quorel_page_cold"}});
}
