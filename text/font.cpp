#include "text/font.h"

#include "base/sjis.h"
#include "core/engine.h"
#include "res/text.h"
#include "text/render.h"

namespace txt {

FontRecord default_font_record() {
  FontRecord f;
  f.face = msg::kDefaultFace;
  f.size = 20;
  f.width = 10;
  f.pitch = 25;
  f.color = 0xFFFFFF;
  f.edge = 0xFFFFFFFF;
  f.speed = -1;
  f.box_width = 640;
  f.box_height = 480;
  return f;
}

std::string clip_face(std::string_view face) {
  return std::string(base::sjis_clip(face.substr(0, face.find('\0')), kFaceBytes - 1));
}

bool is_heavy_face(std::string_view face) {
  const std::string_view mincho = msg::kMincho;
  for (size_t i = 0; i + mincho.size() <= face.size(); i += base::sjis_char_size(face, i))
    if (face.substr(i, mincho.size()) == mincho) return true;
  return false;
}

void set_font(rt::Engine& e, FontRecord& font, std::string_view face, int32_t size, int32_t width, int32_t pitch,
              int32_t justify) {
  if (!face.empty()) {
    font.face = clip_face(face);
    font.heavy = is_heavy_face(font.face) ? 1 : 0;
  }
  font.size = size;
  font.width = width == -1 ? size / 2 : width;
  font.pitch = pitch == -1 ? static_cast<int32_t>(static_cast<int64_t>(size) * 5 / 4) : pitch;
  font.justify = justify == -1 ? 0 : justify;
  font.cache_ok = cache_matches(e, font) ? 1 : 0;
}

namespace {

FontStack& stack_of(rt::Thread& t) {
  auto* s = static_cast<FontStack*>(t.extension(rt::ThreadSlot::fonts));
  if (!s) {
    t.set_extension(rt::ThreadSlot::fonts, std::make_unique<FontStack>());
    s = static_cast<FontStack*>(t.extension(rt::ThreadSlot::fonts));
  }
  return *s;
}

}  // namespace

void push_font(rt::Engine& e, rt::Thread& t) {
  FontRecord f = default_font_record();
  f.page = drawing_page(e);
  stack_of(t).records.push_back(std::move(f));
}

void pop_font(rt::Thread& t) {
  auto* s = static_cast<FontStack*>(t.extension(rt::ThreadSlot::fonts));
  if (s && !s->records.empty()) s->records.pop_back();
}

FontRecord& top_font(rt::Engine& e, rt::Thread& t) {
  FontStack& s = stack_of(t);
  if (s.records.empty()) push_font(e, t);
  return s.records.back();
}

}  // namespace txt
