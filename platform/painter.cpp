#include "platform/painter.h"

#include <SDL.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

namespace plat {

namespace {

void copy_rows(const uint8_t* from, int from_stride, Bitmap& to, int width, int height) {
  to.width = width, to.height = height;
  const size_t row = static_cast<size_t>(width) * 3;
  to.pixels.resize(row * static_cast<size_t>(height));
  for (int y = 0; y < height; ++y)
    std::memcpy(to.pixels.data() + row * static_cast<size_t>(y),
                from + static_cast<ptrdiff_t>(from_stride) * y, row);
}

// A streaming texture of the given size, made again when the size changes.
SDL_Texture* fit_texture(SDL_Renderer* r, SDL_Texture*& texture, int& tw, int& th, int w, int h, bool linear) {
  if (texture && tw == w && th == h) return texture;
  if (texture) SDL_DestroyTexture(texture);
  texture = SDL_CreateTexture(r, SDL_PIXELFORMAT_BGR24, SDL_TEXTUREACCESS_STREAMING, w, h);
  tw = texture ? w : 0;
  th = texture ? h : 0;
  if (texture) SDL_SetTextureScaleMode(texture, linear ? SDL_ScaleModeLinear : SDL_ScaleModeNearest);
  return texture;
}

}  // namespace

void Scene::take_frame(const FrameView& view, int top, int bottom) {
  has_frame = view.pixels != nullptr;
  shift_x = view.shift_x;
  shift_y = view.shift_y;
  if (!has_frame || view.width <= 0 || view.height <= 0) return;
  const size_t row = static_cast<size_t>(view.width) * 3;
  if (view.width != frame.width || view.height != frame.height) {
    frame.width = view.width, frame.height = view.height;
    frame.pixels.assign(row * static_cast<size_t>(view.height), 0);
    top = 0, bottom = view.height;
    dirty_top = dirty_bottom = 0;
  }
  top = std::max(top, 0);
  bottom = std::min(bottom, view.height);
  if (top >= bottom) return;
  for (int y = top; y < bottom; ++y)
    std::memcpy(frame.pixels.data() + row * static_cast<size_t>(y),
                view.pixels + static_cast<ptrdiff_t>(view.stride) * y, row);
  if (dirty_top >= dirty_bottom) dirty_top = top, dirty_bottom = bottom;
  dirty_top = std::min(dirty_top, top);
  dirty_bottom = std::max(dirty_bottom, bottom);
}

void Scene::set_layer(Layer layer, const LayerPicture* picture) {
  LayerState& l = layers[static_cast<int>(layer)];
  l.changed = true;
  l.shown = picture && picture->pixels && picture->width > 0 && picture->height > 0;
  if (!l.shown) return;
  copy_rows(picture->pixels, picture->stride, l.picture, picture->width, picture->height);
  l.to = picture->to;
}

void Scene::set_ui(const UiDrawing* drawing) {
  ui_shown = drawing && !drawing->commands.empty();
  if (ui_shown) ui = *drawing;
}

void Scene::set_ui_texture(int texture, const UiImage& image) {
  if (texture < 0 || texture >= kUiTextureCount) return;
  UiImage& to = ui_textures[texture];
  const size_t size = static_cast<size_t>(std::max(image.width, 0)) * static_cast<size_t>(std::max(image.height, 0)) * 4;
  if (image.width > 0 && image.height > 0 && image.rgba.size() >= size) {
    to.width = image.width, to.height = image.height;
    to.rgba.assign(image.rgba.begin(), image.rgba.begin() + static_cast<ptrdiff_t>(size));
  } else {
    to = UiImage();
  }
  ++ui_texture_versions[texture];
}

Painter::~Painter() {
  for (SDL_Texture* t : ui_textures_)
    if (t) SDL_DestroyTexture(t);
  if (frame_) SDL_DestroyTexture(frame_);
  for (SDL_Texture* t : layers_)
    if (t) SDL_DestroyTexture(t);
}

SDL_Texture* Painter::frame_texture(Scene& scene) {
  const Bitmap& f = scene.frame;
  bool fresh = !frame_ || frame_width_ != f.width || frame_height_ != f.height;
  if (!fit_texture(renderer_, frame_, frame_width_, frame_height_, f.width, f.height, linear_)) return nullptr;
  int top = fresh ? 0 : scene.dirty_top, bottom = fresh ? f.height : scene.dirty_bottom;
  if (top < bottom) {
    SDL_Rect band{0, top, f.width, bottom - top};
    SDL_UpdateTexture(frame_, &band, f.pixels.data() + static_cast<size_t>(f.stride()) * top, f.stride());
  }
  scene.dirty_top = scene.dirty_bottom = 0;
  return frame_;
}

void Painter::paint(Scene& scene) {
  SDL_Rect game{0, scene.band, scene.game_width, scene.game_height};
  SDL_Texture* frame = scene.has_frame && scene.frame.width > 0 ? frame_texture(scene) : nullptr;
  if (!frame) {
    SDL_SetRenderDrawColor(renderer_, 255, 255, 255, 255);
    SDL_RenderFillRect(renderer_, &game);
  } else {
    SDL_RenderSetClipRect(renderer_, &game);
    SDL_Rect to{-scene.shift_x, scene.band - scene.shift_y, scene.frame.width, scene.frame.height};
    SDL_RenderCopy(renderer_, frame, nullptr, &to);
    SDL_RenderSetClipRect(renderer_, nullptr);
  }
  for (int i = 0; i < kLayerCount; ++i) {
    Scene::LayerState& l = scene.layers[i];
    if (!l.shown) continue;
    SDL_Texture* t = fit_texture(renderer_, layers_[i], layer_width_[i], layer_height_[i], l.picture.width,
                                 l.picture.height, true);
    if (!t) continue;
    if (l.changed) SDL_UpdateTexture(t, nullptr, l.picture.pixels.data(), l.picture.stride());
    l.changed = false;
    SDL_RenderSetClipRect(renderer_, &game);
    SDL_Rect to{l.to.x, l.to.y + scene.band, l.to.w, l.to.h};
    SDL_RenderCopy(renderer_, t, nullptr, &to);
    SDL_RenderSetClipRect(renderer_, nullptr);
  }
  if (scene.band > 0) {
    // Under the menu bar until it is drawn.
    SDL_Rect strip{0, 0, scene.game_width, scene.band};
    SDL_SetRenderDrawColor(renderer_, 240, 240, 240, 255);
    SDL_RenderFillRect(renderer_, &strip);
  }
  paint_ui(scene);
}

// The texture of one id as the scene has it now; nullptr when it has none.
SDL_Texture* Painter::ui_texture(const Scene& scene, int id) {
  if (id < 0 || id >= kUiTextureCount) return nullptr;
  SDL_Texture*& t = ui_textures_[id];
  const UiImage& image = scene.ui_textures[id];
  if (t && ui_versions_[id] == scene.ui_texture_versions[id]) return t;
  if (t) SDL_DestroyTexture(t);
  t = nullptr;
  ui_versions_[id] = scene.ui_texture_versions[id];
  if (image.width <= 0 || image.height <= 0) return nullptr;
  t = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGBA32, SDL_TEXTUREACCESS_STATIC, image.width, image.height);
  if (!t) return nullptr;
  SDL_UpdateTexture(t, nullptr, image.rgba.data(), image.width * 4);
  SDL_SetTextureBlendMode(t, SDL_BLENDMODE_BLEND);
  // Pictures (not the atlas) may be drawn at another size than their own.
  if (id != 0) SDL_SetTextureScaleMode(t, SDL_ScaleModeLinear);
  return t;
}

// The triangles of the menus and dialogs, each command clipped to its rectangle.
void Painter::paint_ui(Scene& scene) {
  if (!scene.ui_shown) return;
  SDL_Texture* atlas = ui_texture(scene, 0);
  if (!atlas) return;
  const UiDrawing& d = scene.ui;
  const int vertices = static_cast<int>(d.vertices.size());
  if (vertices == 0) return;
  const auto* base = reinterpret_cast<const uint8_t*>(d.vertices.data());
  const int stride = static_cast<int>(sizeof(UiVertex));
  const float* xy = reinterpret_cast<const float*>(base + offsetof(UiVertex, x));
  const float* uv = reinterpret_cast<const float*>(base + offsetof(UiVertex, u));
  const auto* colour = reinterpret_cast<const SDL_Color*>(base + offsetof(UiVertex, colour));
  // Triangles that sample one texel (the atlas's white one: every filled
  // shape) are drawn untextured: SDL's software renderer skips textured
  // triangles whose texture area is empty.
  std::vector<uint32_t> flat, textured;
  // Also what SDL draws a quad of one colour with.
  SDL_SetRenderDrawBlendMode(renderer_, SDL_BLENDMODE_BLEND);
  for (const UiCommand& c : d.commands) {
    if (c.first_index + static_cast<size_t>(c.index_count) > d.indices.size()) continue;
    SDL_Rect clip{static_cast<int>(c.clip_x0), static_cast<int>(c.clip_y0),
                  static_cast<int>(c.clip_x1 - c.clip_x0), static_cast<int>(c.clip_y1 - c.clip_y0)};
    if (clip.w <= 0 || clip.h <= 0) continue;
    flat.clear();
    textured.clear();
    for (uint32_t i = 0; i + 2 < c.index_count; i += 3) {
      const uint32_t* t = d.indices.data() + c.first_index + i;
      if (t[0] >= d.vertices.size() || t[1] >= d.vertices.size() || t[2] >= d.vertices.size()) continue;
      const UiVertex &a = d.vertices[t[0]], &b = d.vertices[t[1]], &e = d.vertices[t[2]];
      const bool one_texel = a.u == b.u && a.u == e.u && a.v == b.v && a.v == e.v;
      auto& into = one_texel ? flat : textured;
      into.insert(into.end(), t, t + 3);
    }
    SDL_RenderSetClipRect(renderer_, &clip);
    if (!flat.empty())
      SDL_RenderGeometryRaw(renderer_, nullptr, xy, stride, colour, stride, nullptr, 0, vertices, flat.data(),
                            static_cast<int>(flat.size()), 4);
    // A picture that is missing is left out rather than drawn as a flat shape.
    SDL_Texture* texture = c.texture == 0 ? atlas : ui_texture(scene, c.texture);
    if (!textured.empty() && texture)
      SDL_RenderGeometryRaw(renderer_, texture, xy, stride, colour, stride, uv, stride, vertices, textured.data(),
                            static_cast<int>(textured.size()), 4);
  }
  SDL_RenderSetClipRect(renderer_, nullptr);
  SDL_SetRenderDrawBlendMode(renderer_, SDL_BLENDMODE_NONE);
}

bool paint_to_bitmap(Scene& scene, Bitmap& out) {
  if (scene.game_width <= 0 || scene.game_height <= 0) return false;
  // 32 bits a pixel: SDL's software renderer fills the quads of the menus
  // wrongly on 24-bit surfaces.
  SDL_Surface* surface =
      SDL_CreateRGBSurfaceWithFormat(0, scene.game_width, scene.view_height(), 32, SDL_PIXELFORMAT_XRGB8888);
  if (!surface) return false;
  bool ok = false;
  if (SDL_Renderer* r = SDL_CreateSoftwareRenderer(surface)) {
    // A painter of its own: the scene's textures belong to the window's.
    Scene copy = scene;
    copy.dirty_top = 0, copy.dirty_bottom = copy.frame.height;
    for (Scene::LayerState& l : copy.layers) l.changed = true;
    {
      Painter painter(r);
      SDL_SetRenderDrawColor(r, 0, 0, 0, 255);
      SDL_RenderClear(r);
      painter.paint(copy);
      SDL_RenderPresent(r);
    }
    SDL_DestroyRenderer(r);
    out.width = surface->w, out.height = surface->h;
    out.pixels.resize(static_cast<size_t>(out.stride()) * static_cast<size_t>(out.height));
    for (int y = 0; y < out.height; ++y) {
      const auto* from = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(surface->pixels) +
                                                           static_cast<ptrdiff_t>(surface->pitch) * y);
      uint8_t* to = out.pixels.data() + static_cast<size_t>(out.stride()) * static_cast<size_t>(y);
      for (int x = 0; x < out.width; ++x) {
        const uint32_t p = from[x];
        to[3 * x] = static_cast<uint8_t>(p), to[3 * x + 1] = static_cast<uint8_t>(p >> 8);
        to[3 * x + 2] = static_cast<uint8_t>(p >> 16);
      }
    }
    ok = true;
  }
  SDL_FreeSurface(surface);
  return ok;
}

}  // namespace plat
