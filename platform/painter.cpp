#include "platform/painter.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>

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

Painter::~Painter() {
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
  SDL_Rect game{0, 0, scene.game_width, scene.game_height};
  SDL_Texture* frame = scene.has_frame && scene.frame.width > 0 ? frame_texture(scene) : nullptr;
  if (!frame) {
    SDL_SetRenderDrawColor(renderer_, 255, 255, 255, 255);
    SDL_RenderFillRect(renderer_, &game);
  } else {
    SDL_RenderSetClipRect(renderer_, &game);
    SDL_Rect to{-scene.shift_x, -scene.shift_y, scene.frame.width, scene.frame.height};
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
    SDL_Rect to{l.to.x, l.to.y, l.to.w, l.to.h};
    SDL_RenderCopy(renderer_, t, nullptr, &to);
    SDL_RenderSetClipRect(renderer_, nullptr);
  }
}

bool paint_to_bitmap(Scene& scene, Bitmap& out) {
  if (scene.game_width <= 0 || scene.game_height <= 0) return false;
  SDL_Surface* surface =
      SDL_CreateRGBSurfaceWithFormat(0, scene.game_width, scene.game_height, 24, SDL_PIXELFORMAT_BGR24);
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
    copy_rows(static_cast<const uint8_t*>(surface->pixels), surface->pitch, out, surface->w, surface->h);
    ok = true;
  }
  SDL_FreeSurface(surface);
  return ok;
}

}  // namespace plat
