// Pages: the only pixel surface. A page is 24-bit blue-green-red or 8-bit
// palette indices, rows top-down, each row padded to a multiple of 4 bytes.
// An 8-bit page of the same size may be linked as the page's alpha page; it
// holds transparency (0 opaque, 255 invisible).
//
// Scripts hold pages by handle: a non-zero 32-bit integer that names one
// live page until it is released. Handles come from one counter shared with
// sprites (`new_handle`), so a page handle is never also a sprite handle.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <unordered_map>

namespace rt { struct Engine; }

namespace gfx {

// A palette entry as the bitmap header keeps it.
struct Rgbquad {
  uint8_t b = 0, g = 0, r = 0, reserved = 0;
};
using Palette = std::array<Rgbquad, 256>;

// Colours exchanged with scripts: 0x00BBGGRR.
constexpr uint32_t colour_of(uint8_t b, uint8_t g, uint8_t r) {
  return static_cast<uint32_t>(r) | (static_cast<uint32_t>(g) << 8) | (static_cast<uint32_t>(b) << 16);
}
constexpr uint8_t red_of(uint32_t c) { return static_cast<uint8_t>(c); }
constexpr uint8_t green_of(uint32_t c) { return static_cast<uint8_t>(c >> 8); }
constexpr uint8_t blue_of(uint32_t c) { return static_cast<uint8_t>(c >> 16); }

struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
  bool empty() const { return w <= 0 || h <= 0; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct FreeDeleter {
  void operator()(uint8_t* p) const { std::free(p); }
};

struct Page {
  int32_t handle = 0;
  int width = 0;
  int height = 0;
  int stride = 0;            // bytes per row, a multiple of 4
  bool permanent = false;    // ordinary releases are ignored
  bool is8bit = false;
  bool owns_alpha = false;   // the alpha page is released with this page
  Page* alpha = nullptr;     // 8-bit, same size; cleared when it is released
  Palette palette{};         // 8-bit pages only
  std::unique_ptr<uint8_t, FreeDeleter> memory;

  uint8_t* pixels() { return memory.get(); }
  const uint8_t* pixels() const { return memory.get(); }
  uint8_t* row(int y) { return memory.get() + static_cast<size_t>(y) * stride; }
  const uint8_t* row(int y) const { return memory.get() + static_cast<size_t>(y) * stride; }
  int bytes_per_pixel() const { return is8bit ? 1 : 3; }
  Rect bounds() const { return {0, 0, width, height}; }
};

// Row length in bytes for a width, rounded up to 4; -1 when it cannot be
// represented.
int64_t page_stride(int64_t width, bool is8bit);

// The live pages and the hooks through which sprites and the composer learn
// about them. Owned by the graphics state.
struct PageList {
  std::unordered_map<int32_t, std::unique_ptr<Page>> live;
  int32_t next_handle = 0x100;

  // Filled by the composer: records that a rectangle of a page changed.
  std::function<void(Page&, const Rect&)> on_changed;
  // Filled by sprites: true while a sprite shows the page (its release is
  // then refused).
  std::function<bool(const Page&)> shown_by_sprite;
  // Filled by sprites and the composer: drop every reference to a page
  // that is being released.
  std::function<void(Page&)> on_release;
  // Filled by sprites: the image page of a live sprite handle, else nullptr
  // (built-ins that take "a page or a sprite").
  std::function<Page*(int32_t)> sprite_page;
};

// A fresh handle for a page or a sprite: never 0, never one in use by a
// live page (`taken` tells about the caller's own objects).
int32_t new_handle(PageList& list, const std::function<bool(int32_t)>& taken = {});

// --- Constructors -----------------------------------------------------------
// Sizes must be > 0 (callers clamp script values); a page too large for
// memory shows the allocation-failure box and ends the program. Pixels start
// at 0 in every variant. 8-bit pages get the grey-ramp palette, except the
// raw form, which leaves the palette zero.
Page& create_page(rt::Engine& e, int width, int height, bool is8bit, bool permanent);
Page& create_page_24(rt::Engine& e, int width, int height, bool permanent);
Page& create_page_8(rt::Engine& e, int width, int height, bool permanent);
// Allocation that may fail without ending the program (decoders: the size
// comes from a file). nullptr when memory is refused.
Page* try_create_page(rt::Engine& e, int width, int height, bool is8bit, bool permanent);

void set_grey_ramp(Page& page);
// A new page of the same size and format with the same pixels and palette
// (no alpha page).
Page& copy_page(rt::Engine& e, const Page& source, bool permanent);

// --- Lifetime -----------------------------------------------------------------

// Releases a page: refused (returns true) for a permanent page unless
// forced. Links from other pages' alpha and every hook's references are
// dropped. nullptr is ignored.
bool release_page(rt::Engine& e, Page* page, bool force);
// The live page of a handle, or nullptr.
Page* find_page(rt::Engine& e, int32_t handle);
bool is_page_valid(rt::Engine& e, int32_t handle);
// Releases every page that is not permanent (the reset to the title).
void release_all_pages(rt::Engine& e);
// Marks every live page permanent (after the initialisation script).
void make_all_pages_permanent(rt::Engine& e);
// Releases everything, permanent or not (shutdown).
void release_every_page(rt::Engine& e);

// A page's alpha page when it is usable: live, 8-bit and of the same size.
Page* alpha_of(const Page& page);

// Reports a changed rectangle of a page to the composer (no-op until one is
// attached).
void mark_changed(rt::Engine& e, Page& page, const Rect& rect);
inline void mark_changed(rt::Engine& e, Page& page) { mark_changed(e, page, page.bounds()); }

}  // namespace gfx
