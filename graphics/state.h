// The graphics subsystem's share of the engine: live pages, the image layer's
// memories and cache. Sprites and the composer keep their records here too.
#pragma once

#include "graphics/images.h"
#include "graphics/page.h"

namespace gfx {

struct State {
  PageList pages;
  ImageState images;
};

}  // namespace gfx
