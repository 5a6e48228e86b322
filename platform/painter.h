// The game area as the player sees it: the game's picture at its shift,
// with the layers over it (a movie frame, later the menus and dialogs).
//
// Both hosts keep a `Scene`; the window host paints it with its renderer at
// every paint, and either host paints it with SDL's software renderer into
// memory when the player's view is asked for (--screenshot-presented), so a
// headless run shows the same pixels a window would, at the game's size.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/host.h"

struct SDL_Renderer;
struct SDL_Texture;

namespace plat {

struct Scene {
  int game_width = 0, game_height = 0;
  bool has_frame = false;  // before the first frame the game area is white
  Bitmap frame;
  int shift_x = 0, shift_y = 0;
  // Rows of `frame` changed since the window's texture last took them.
  int dirty_top = 0, dirty_bottom = 0;

  struct LayerState {
    bool shown = false;
    Bitmap picture;
    ScreenRect to;
    bool changed = true;
  };
  LayerState layers[kLayerCount];

  // The menus and dialogs over everything, in view pixels: the menu band
  // (`band` rows, while windowed) and the game area below it.
  int band = 0;
  bool ui_shown = false;
  UiDrawing ui;
  // The drawing's textures by id; a painter uploads one again when its
  // version moved on.
  UiImage ui_textures[kUiTextureCount];
  uint64_t ui_texture_versions[kUiTextureCount] = {};

  int view_height() const { return game_height + band; }

  // Takes a presented frame's changed rows.
  void take_frame(const FrameView& view, int top, int bottom);
  void set_layer(Layer layer, const LayerPicture* picture);
  void set_ui(const UiDrawing* drawing);
  void set_ui_texture(int texture, const UiImage& image);
};

// Draws a scene with one renderer, keeping the textures it needs.
class Painter {
 public:
  explicit Painter(SDL_Renderer* renderer, bool linear_filter = false)
      : renderer_(renderer), linear_(linear_filter) {}
  ~Painter();
  Painter(const Painter&) = delete;
  Painter& operator=(const Painter&) = delete;

  // Paints in view pixels: the caller has set the viewport and scale.
  void paint(Scene& scene);

 private:
  SDL_Texture* frame_texture(Scene& scene);
  SDL_Texture* ui_texture(const Scene& scene, int id);
  void paint_ui(Scene& scene);

  SDL_Renderer* renderer_;
  bool linear_;
  SDL_Texture* frame_ = nullptr;
  int frame_width_ = 0, frame_height_ = 0;
  SDL_Texture* layers_[kLayerCount] = {};
  int layer_width_[kLayerCount] = {}, layer_height_[kLayerCount] = {};
  SDL_Texture* ui_textures_[kUiTextureCount] = {};
  uint64_t ui_versions_[kUiTextureCount] = {};
};

// The scene painted into memory at the view's size (the game's, plus the
// menu band).
bool paint_to_bitmap(Scene& scene, Bitmap& out);

}  // namespace plat
