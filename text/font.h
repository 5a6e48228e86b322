// Font records: what a piece of text is drawn with. Script threads keep a
// stack of them for the fontout built-ins; the message console has one of
// its own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "script/threads.h"

namespace rt { struct Engine; }

namespace txt {

// Face names hold at most this many bytes with their terminator.
inline constexpr size_t kFaceBytes = 32;

// Edge modes (bits 24-30 of the edge word).
enum EdgeMode : int { kShadow = 0, kOutline = 1, kOutlineShadow = 2 };

struct FontRecord {
  std::string face;          // Shift-JIS
  int32_t justify = 0;       // nonzero: broken console lines are justified
  int32_t heavy = 0;         // 1: a Mincho face, struck four times
  int32_t size = 0;          // cell height in pixels
  int32_t width = 0;         // half-width advance in pixels
  int32_t pitch = 0;         // line pitch in pixels
  uint32_t color = 0;        // 0x00BBGGRR
  uint32_t edge = 0;         // bits 0-23 colour, 24-30 mode
  int32_t instant = 0;
  int32_t speed = 0;
  int32_t page = 0;          // target page handle
  int32_t x = 0, y = 0;      // pen
  int32_t left = 0, top = 0, box_width = 0, box_height = 0, indent = 0;
  int32_t cache_ok = 0;      // the open glyph cache serves this font

  int edge_mode() const { return static_cast<int>((edge >> 24) & 0x7F); }
  uint32_t edge_colour() const { return edge & 0xFFFFFF; }
};

// The template of pushed records: "ＭＳ ゴシック" 20/10/25, white, no edge.
FontRecord default_font_record();

// The face cut to fit its field without splitting a double-byte character.
std::string clip_face(std::string_view face);
// Mincho faces are struck four times.
bool is_heavy_face(std::string_view face);

// Sets face, sizes, pitch and justification as `fontout_font` and the
// console's font command do (-1 for width, pitch, justify: the default),
// with heavy and cache_ok recomputed. An empty face keeps the old one.
void set_font(rt::Engine& e, FontRecord& font, std::string_view face, int32_t size, int32_t width, int32_t pitch,
              int32_t justify);

// A script thread's font stack (top = back).
struct FontStack : rt::ThreadExtension {
  std::vector<FontRecord> records;
};

// The thread's top record; an empty stack first gets the default record
// aimed at the current drawing page.
FontRecord& top_font(rt::Engine& e, rt::Thread& t);
void push_font(rt::Engine& e, rt::Thread& t);
void pop_font(rt::Thread& t);

}  // namespace txt
