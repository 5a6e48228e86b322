// The graphics subsystem's share of the engine: live pages, the image layer's
// memories and cache, sprites, the display targets and the window's mode.
#pragma once

#include "graphics/display.h"
#include "graphics/images.h"
#include "graphics/movie.h"
#include "graphics/page.h"
#include "graphics/sprite.h"
#include "graphics/window_mode.h"

namespace gfx {

struct State {
  PageList pages;
  ImageState images;
  SpriteList sprites;
  Display display;
  WindowMode window;
  MovieState movie;
};

}  // namespace gfx
