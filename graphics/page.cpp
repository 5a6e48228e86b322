#include "graphics/page.h"

#include <cstring>
#include <vector>

#include "core/engine.h"
#include "core/error_report.h"
#include "graphics/state.h"
#include "res/runtime.h"

namespace gfx {

int64_t page_stride(int64_t width, bool is8bit) {
  if (width <= 0 || width > (INT32_MAX - 3) / 3) return -1;
  int64_t bytes = is8bit ? width : width * 3;
  return (bytes + 3) / 4 * 4;
}

int32_t new_handle(PageList& list, const std::function<bool(int32_t)>& taken) {
  for (;;) {
    int32_t h = list.next_handle;
    list.next_handle = h == INT32_MAX ? 1 : h + 1;
    if (h != 0 && !list.live.count(h) && !(taken && taken(h))) return h;
  }
}

namespace {

Page* allocate(rt::Engine& e, int width, int height, bool is8bit, bool permanent) {
  int64_t stride = page_stride(width, is8bit);
  if (stride < 0 || height <= 0) return nullptr;
  auto bytes = static_cast<uint64_t>(stride) * static_cast<uint64_t>(height);
  if (bytes > SIZE_MAX / 2) return nullptr;
  // Zeroed memory: a fresh page is black (the bitmap memory the design
  // used came zeroed as well), and nothing uninitialised reaches the screen.
  auto* memory = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(bytes), 1));
  if (!memory) return nullptr;
  auto page = std::make_unique<Page>();
  page->memory.reset(memory);
  page->width = width;
  page->height = height;
  page->stride = static_cast<int>(stride);
  page->is8bit = is8bit;
  page->permanent = permanent;
  PageList& list = e.gfx->pages;
  page->handle = new_handle(list);
  Page* raw = page.get();
  list.live.emplace(raw->handle, std::move(page));
  return raw;
}

[[noreturn]] void out_of_memory(rt::Engine& e) {
  e.host->message_box("malloc", msg::kOutOfMemory, plat::Buttons::Ok, plat::Icon::Error);
  rt::end_process(e, -1);
}

}  // namespace

void set_grey_ramp(Page& page) {
  for (int i = 0; i < 256; ++i) {
    auto v = static_cast<uint8_t>(i);
    page.palette[i] = {v, v, v, 0};
  }
}

Page* try_create_page(rt::Engine& e, int width, int height, bool is8bit, bool permanent) {
  Page* p = allocate(e, width, height < 0 ? -height : height, is8bit, permanent);
  if (p && is8bit) set_grey_ramp(*p);
  return p;
}

Page& create_page(rt::Engine& e, int width, int height, bool is8bit, bool permanent) {
  Page* p = allocate(e, width, height < 0 ? -height : height, is8bit, permanent);
  if (!p) out_of_memory(e);
  return *p;
}

Page& create_page_24(rt::Engine& e, int width, int height, bool permanent) {
  return create_page(e, width, height, false, permanent);
}

Page& create_page_8(rt::Engine& e, int width, int height, bool permanent) {
  Page& p = create_page(e, width, height, true, permanent);
  set_grey_ramp(p);
  return p;
}

Page& copy_page(rt::Engine& e, const Page& source, bool permanent) {
  Page& p = create_page(e, source.width, source.height, source.is8bit, permanent);
  p.palette = source.palette;
  std::memcpy(p.pixels(), source.pixels(), static_cast<size_t>(source.stride) * source.height);
  return p;
}

bool release_page(rt::Engine& e, Page* page, bool force) {
  if (!page) return false;
  if (page->permanent && !force) return true;
  PageList& list = e.gfx->pages;
  auto it = list.live.find(page->handle);
  if (it == list.live.end() || it->second.get() != page) return false;
  if (list.on_release) list.on_release(*page);
  // Other pages may still point at this one as their alpha page.
  for (auto& [handle, other] : list.live)
    if (other->alpha == page) {
      other->alpha = nullptr;
      other->owns_alpha = false;
    }
  e.gfx->images.forget(page);
  list.live.erase(it);
  return false;
}

Page* find_page(rt::Engine& e, int32_t handle) {
  if (handle == 0) return nullptr;
  auto& live = e.gfx->pages.live;
  auto it = live.find(handle);
  return it == live.end() ? nullptr : it->second.get();
}

bool is_page_valid(rt::Engine& e, int32_t handle) { return find_page(e, handle) != nullptr; }

namespace {

// Handles, not pointers: a release may take other pages with it.
std::vector<int32_t> live_handles(rt::Engine& e) {
  std::vector<int32_t> out;
  for (auto& [handle, page] : e.gfx->pages.live) out.push_back(handle);
  return out;
}

}  // namespace

void release_all_pages(rt::Engine& e) {
  for (int32_t h : live_handles(e))
    if (Page* p = find_page(e, h); p && !p->permanent) release_page(e, p, false);
}

void make_all_pages_permanent(rt::Engine& e) {
  for (auto& [handle, page] : e.gfx->pages.live) page->permanent = true;
}

void release_every_page(rt::Engine& e) {
  e.gfx->images.clear(e);
  for (int32_t h : live_handles(e)) release_page(e, find_page(e, h), true);
}

Page* alpha_of(const Page& page) {
  Page* a = page.alpha;
  if (!a || !a->is8bit || a->width != page.width || a->height != page.height) return nullptr;
  return a;
}

void mark_changed(rt::Engine& e, Page& page, const Rect& rect) {
  auto& hook = e.gfx->pages.on_changed;
  if (hook) hook(page, rect);
}

}  // namespace gfx
