// What the player sees of the game area: the last frame at its shift, black
// where it does not reach, white before any frame, the layers over it, and
// the pictures the dialogs show.
#include "platform/painter.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <array>

namespace {

using Colour = std::array<uint8_t, 3>;  // blue, green, red

constexpr Colour kBlack{0, 0, 0}, kWhite{255, 255, 255};
constexpr Colour kRed{0, 0, 255}, kBlue{255, 0, 0};

plat::Bitmap solid(int w, int h, Colour c) {
  plat::Bitmap b;
  b.width = w, b.height = h;
  for (int i = 0; i < w * h; ++i) b.pixels.insert(b.pixels.end(), c.begin(), c.end());
  return b;
}

Colour at(const plat::Bitmap& b, int x, int y) {
  const uint8_t* p = &b.pixels[(static_cast<size_t>(y) * b.width + x) * 3];
  return {p[0], p[1], p[2]};
}

plat::FrameView view_of(const plat::Bitmap& b) {
  plat::FrameView v;
  v.pixels = b.pixels.data();
  v.width = b.width, v.height = b.height, v.stride = b.stride();
  return v;
}

plat::Bitmap seen(plat::Scene& scene) {
  plat::Bitmap out;
  EXPECT_TRUE(plat::paint_to_bitmap(scene, out));
  return out;
}

plat::Scene game_area(int w, int h) {
  plat::Scene s;
  s.game_width = w, s.game_height = h;
  return s;
}

TEST(PresentedPicture, FrameShiftAndTheWhiteBeforeTheFirstFrame) {
  plat::Scene scene = game_area(16, 8);
  plat::Bitmap before = seen(scene);
  ASSERT_EQ(before.width, 16);
  ASSERT_EQ(before.height, 8);
  EXPECT_EQ(at(before, 0, 0), kWhite);
  EXPECT_EQ(at(before, 15, 7), kWhite);

  plat::Bitmap red = solid(16, 8, kRed);
  scene.take_frame(view_of(red), 0, 8);
  EXPECT_EQ(at(seen(scene), 15, 7), kRed);

  // Shifted by (4, 2): the picture moves up and left, black is left behind.
  plat::FrameView shifted = view_of(red);
  shifted.shift_x = 4, shifted.shift_y = 2;
  scene.take_frame(shifted, 0, 0);
  plat::Bitmap moved = seen(scene);
  EXPECT_EQ(at(moved, 11, 5), kRed);
  EXPECT_EQ(at(moved, 12, 5), kBlack);
  EXPECT_EQ(at(moved, 11, 6), kBlack);
}

TEST(PresentedPicture, OnlyTheChangedRowsAreTaken) {
  plat::Scene scene = game_area(4, 4);
  plat::Bitmap red = solid(4, 4, kRed);
  scene.take_frame(view_of(red), 0, 4);
  // The producer's buffer changes everywhere, but only row 1 is reported.
  plat::Bitmap blue = solid(4, 4, kBlue);
  scene.take_frame(view_of(blue), 1, 2);
  plat::Bitmap out = seen(scene);
  EXPECT_EQ(at(out, 0, 0), kRed);
  EXPECT_EQ(at(out, 3, 1), kBlue);
  EXPECT_EQ(at(out, 0, 2), kRed);
  // Rows outside the frame are ignored rather than read past its end.
  scene.take_frame(view_of(blue), -5, 99);
  EXPECT_EQ(at(seen(scene), 0, 3), kBlue);
}

TEST(PresentedPicture, ALayerIsScaledIntoItsRectangleAndClippedToTheGameArea) {
  plat::Scene scene = game_area(16, 8);
  plat::Bitmap red = solid(16, 8, kRed);
  scene.take_frame(view_of(red), 0, 8);

  plat::Bitmap blue = solid(2, 2, kBlue);
  plat::LayerPicture movie{blue.pixels.data(), 2, 2, blue.stride(), {12, 4, 8, 8}};
  scene.set_layer(plat::Layer::Movie, &movie);
  plat::Bitmap out = seen(scene);
  EXPECT_EQ(at(out, 11, 4), kRed);
  EXPECT_EQ(at(out, 12, 4), kBlue);
  EXPECT_EQ(at(out, 15, 7), kBlue);
  EXPECT_EQ(at(out, 12, 3), kRed);
  // The layer's pixels were copied: the caller's buffer may go away.
  blue.pixels.assign(blue.pixels.size(), 0);
  EXPECT_EQ(at(seen(scene), 13, 5), kBlue);

  scene.set_layer(plat::Layer::Movie, nullptr);
  EXPECT_EQ(at(seen(scene), 13, 5), kRed);
  // An empty picture hides the layer rather than drawing garbage.
  plat::LayerPicture empty{nullptr, 0, 0, 0, {0, 0, 16, 8}};
  scene.set_layer(plat::Layer::Movie, &empty);
  EXPECT_EQ(at(seen(scene), 0, 0), kRed);
}

plat::UiImage ui_image(int w, int h, Colour c) {
  plat::UiImage image;
  image.width = w, image.height = h;
  for (int i = 0; i < w * h; ++i) image.rgba.insert(image.rgba.end(), {c[2], c[1], c[0], 255});
  return image;
}

// A quad from (x0, y0) to (x1, y1) showing the whole of texture `id`.
plat::UiDrawing picture_quad(float x0, float y0, float x1, float y1, int id) {
  plat::UiDrawing d;
  d.vertices = {{x0, y0, 0, 0, 0xFFFFFFFF}, {x1, y0, 1, 0, 0xFFFFFFFF}, {x1, y1, 1, 1, 0xFFFFFFFF},
                {x0, y1, 0, 1, 0xFFFFFFFF}};
  d.indices = {0, 1, 2, 0, 2, 3};
  plat::UiCommand c;
  c.clip_x1 = 1000, c.clip_y1 = 1000;
  c.index_count = 6;
  c.texture = id;
  d.commands = {c};
  return d;
}

TEST(PresentedPicture, DialogPicturesByIdReplacedAndRemoved) {
  plat::Scene scene = game_area(16, 8);
  plat::Bitmap red = solid(16, 8, kRed);
  scene.take_frame(view_of(red), 0, 8);
  scene.set_ui_texture(0, ui_image(1, 1, kWhite));
  scene.set_ui_texture(1, ui_image(2, 2, kBlue));
  plat::UiDrawing quad = picture_quad(4, 2, 12, 6, 1);
  scene.set_ui(&quad);
  plat::Bitmap out = seen(scene);
  EXPECT_EQ(at(out, 8, 4), kBlue);
  EXPECT_EQ(at(out, 2, 4), kRed);

  // The window keeps one painter for its whole life: a picture replaced by
  // another of the same size must be taken again, not drawn from the old texture.
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, 16, 8, 32, SDL_PIXELFORMAT_XRGB8888);
  ASSERT_NE(surface, nullptr);
  SDL_Renderer* renderer = SDL_CreateSoftwareRenderer(surface);
  ASSERT_NE(renderer, nullptr);
  auto window_pixel = [&](int x, int y) {
    const uint32_t p = static_cast<const uint32_t*>(surface->pixels)[y * surface->pitch / 4 + x];
    return Colour{static_cast<uint8_t>(p), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p >> 16)};
  };
  {
    plat::Painter painter(renderer);
    painter.paint(scene);
    EXPECT_EQ(window_pixel(8, 4), kBlue);
    scene.set_ui_texture(1, ui_image(2, 2, kWhite));
    painter.paint(scene);
    EXPECT_EQ(window_pixel(8, 4), kWhite);
    // Removed, or given fewer pixels than its size: the quad is left out.
    plat::UiImage short_image = ui_image(2, 2, kBlue);
    short_image.rgba.resize(8);
    scene.set_ui_texture(1, short_image);
    painter.paint(scene);
    EXPECT_EQ(window_pixel(8, 4), kRed);
  }
  SDL_DestroyRenderer(renderer);
  SDL_FreeSurface(surface);

  // Ids the host does not have are ignored.
  scene.set_ui_texture(-1, ui_image(2, 2, kBlue));
  scene.set_ui_texture(plat::kUiTextureCount, ui_image(2, 2, kBlue));
  quad.commands[0].texture = plat::kUiTextureCount;
  scene.set_ui(&quad);
  EXPECT_EQ(at(seen(scene), 8, 4), kRed);
}

TEST(PresentedPicture, NothingWithoutAGameArea) {
  plat::Scene scene;
  plat::Bitmap out;
  EXPECT_FALSE(plat::paint_to_bitmap(scene, out));
}

}  // namespace
