// [SECTION] Image cache
// [SECTION] Name resolution
// [SECTION] PNG decode (remembered for the last name)
// [SECTION] Own formats and the difference step
// [SECTION] Loading and size queries
#include "graphics/images.h"

#include <cstring>

#include "base/sjis.h"
#include "core/engine.h"
#include "core/error_report.h"
#include "core/trace.h"
#include "platform/encoding.h"
#include "graphics/image_codec.h"
#include "graphics/png_codec.h"
#include "graphics/state.h"
#include "res/graphics.h"
#include "resources/resources.h"
#include "script/script_error.h"

namespace gfx {

// [SECTION] Image cache ---------------------------------------------------------

uint64_t ImageCache::cost_of(const Page& page) {
  // Pixels plus the record, the bitmap header (with 256 palette entries for
  // 8-bit pages) and the entry itself.
  return static_cast<uint64_t>(page.stride) * page.height + (page.is8bit ? 1392 : 368);
}

std::optional<ImageCache::Entry> ImageCache::take(std::string_view base) {
  for (auto it = entries_.begin(); it != entries_.end(); ++it)
    if (base::sjis_equal_nocase(it->base, base)) {
      Entry e = std::move(*it);
      total_ -= e.cost;
      entries_.erase(it);
      return e;
    }
  return std::nullopt;
}

const ImageCache::Entry* ImageCache::find(std::string_view base) const {
  for (const Entry& e : entries_)
    if (base::sjis_equal_nocase(e.base, base)) return &e;
  return nullptr;
}

void ImageCache::insert(rt::Engine& e, Entry entry, uint64_t budget) {
  total_ += entry.cost;
  entries_.push_front(std::move(entry));
  while (total_ > budget && entries_.size() > 1) {
    Entry victim = std::move(entries_.back());
    entries_.pop_back();
    total_ -= victim.cost;
    release_page(e, victim.page, true);
  }
}

void ImageCache::forget(const Page* page) {
  for (auto it = entries_.begin(); it != entries_.end(); ++it)
    if (it->page == page) {
      total_ -= it->cost;
      entries_.erase(it);
      return;
    }
}

void ImageCache::clear(rt::Engine& e) {
  while (!entries_.empty()) {
    Page* p = entries_.front().page;
    total_ -= entries_.front().cost;
    entries_.pop_front();
    release_page(e, p, true);
  }
}

void ImageState::forget(const Page* page) {
  cache.forget(page);
  if (page == png_colour || page == png_alpha) {
    if (page == png_colour) png_colour = nullptr;
    if (page == png_alpha) png_alpha = nullptr;
    png_tried = false;  // decode again next time
  }
}

void ImageState::clear(rt::Engine& e) {
  cache.clear(e);
  Page* colour = png_colour;
  Page* alpha = png_alpha;
  png_colour = png_alpha = nullptr;
  png_tried = false;
  png_name.clear();
  release_page(e, colour, true);
  release_page(e, alpha, true);
  resolved_base.clear();
  resolved_file.clear();
  header_name.clear();
}

// [SECTION] Name resolution -------------------------------------------------------

std::string image_base_name(std::string_view name) {
  return std::string(base::strip_extension(base::file_name_part(name)));
}

namespace {

bool decode_png_remembered(rt::Engine& e, const std::string& png_file);

bool png_alpha_exists(rt::Engine& e, std::string_view base) {
  std::string png = std::string(base.substr(0, base.size() - 1)) + ".png";
  return res::FfExists(e, png) && decode_png_remembered(e, png) && e.gfx->images.png_alpha;
}

}  // namespace

std::optional<std::string> resolve_image_name(rt::Engine& e, std::string_view name, std::string* base_out) {
  std::string base = image_base_name(name);
  if (base_out) *base_out = base;
  ImageState& s = e.gfx->images;
  if (!s.resolved_base.empty() && base::sjis_equal_nocase(base, s.resolved_base)) return s.resolved_file;
  std::optional<std::string> found;
  if (!base.empty()) {
    std::string png = base + ".png";
    if (is_alpha_name(base) ? png_alpha_exists(e, base) : res::FfExists(e, png)) {
      found = png;
    } else {
      for (const char* ext : {".rct", ".rc8"})
        if (res::FfExists(e, base + ext)) {
          found = base + ext;
          break;
        }
    }
  }
  if (found) {
    s.resolved_base = base;
    s.resolved_file = *found;
  } else {
    s.resolved_base.clear();
    s.resolved_file.clear();
  }
  return found;
}

// [SECTION] PNG decode (remembered for the last name) ------------------------------

namespace {

void png_error_box(rt::Engine& e, std::string_view file, const std::string& reason) {
  rt::debug_log(e, std::string(msg::kPngError) + " : " + std::string(file) + " : " + reason);
  e.host->message_box(msg::kPngError, msg::kPngError, plat::Buttons::Ok, plat::Icon::Error);
}

void copy_plane(Page& page, const uint8_t* packed, size_t row_bytes) {
  for (int y = 0; y < page.height; ++y) std::memcpy(page.row(y), packed + y * row_bytes, row_bytes);
}

bool decode_png_remembered(rt::Engine& e, const std::string& png_file) {
  ImageState& s = e.gfx->images;
  std::string upper = base::sjis_upper(png_file);
  if (s.png_tried && upper == s.png_name) return s.png_colour != nullptr;
  s.png_name = upper;
  s.png_tried = true;
  Page* old_colour = s.png_colour;
  Page* old_alpha = s.png_alpha;
  s.png_colour = s.png_alpha = nullptr;
  release_page(e, old_colour, true);
  release_page(e, old_alpha, true);
  s.png_tried = true;  // the releases above reset it

  auto data = res::read_resource(e, png_file);
  if (!data) {
    png_error_box(e, png_file, "cannot open the file");
    return false;
  }
  PngImage image;
  std::string reason;
  if (decode_png(*data, image, &reason) != PngResult::Ok) {
    png_error_box(e, png_file, reason);
    return false;
  }
  Page* colour = try_create_page(e, image.width, image.height, false, true);
  Page* alpha = image.transparency.empty() ? nullptr : try_create_page(e, image.width, image.height, true, true);
  if (!colour || (!image.transparency.empty() && !alpha)) {
    release_page(e, colour, true);
    release_page(e, alpha, true);
    png_error_box(e, png_file, "out of memory");
    return false;
  }
  copy_plane(*colour, image.bgr.data(), static_cast<size_t>(image.width) * 3);
  if (alpha) copy_plane(*alpha, image.transparency.data(), static_cast<size_t>(image.width));
  s.png_colour = colour;
  s.png_alpha = alpha;
  s.png_tried = true;
  return true;
}

// The PNG's colour, or for an alpha name its transparency, as a new page.
Page* load_png(rt::Engine& e, std::string_view file, const std::string& base) {
  bool alpha = is_alpha_name(base);
  std::string png = (alpha ? base.substr(0, base.size() - 1) : base) + ".png";
  if (!decode_png_remembered(e, png)) return nullptr;
  ImageState& s = e.gfx->images;
  Page* from = alpha ? s.png_alpha : s.png_colour;
  return from ? &copy_page(e, *from, false) : nullptr;
}

// [SECTION] Own formats and the difference step -------------------------------------

constexpr int kDifferenceDepthLimit = 8;

void apply_difference(rt::Engine& e, Page& page, const std::string& base_name, std::string_view caller) {
  ImageState& s = e.gfx->images;
  // A base that is itself a difference image of this one would never end.
  std::optional<std::string> file;
  if (s.difference_depth < kDifferenceDepthLimit) file = resolve_image_name(e, base_name);
  if (!file) {
    rt::error_box_retry(e, base::format(msg::kDifferenceBaseMissing, base_name.c_str()));
    return;
  }
  ++s.difference_depth;
  Page* base = load_image_page(e, *file, LoadMode::Shared, caller);
  --s.difference_depth;
  if (!base) return;
  if (!base->is8bit) {
    if (base->width != page.width || base->height != page.height) {
      rt::error_box_retry(e, base::format(msg::kDifferenceBaseSize, base_name.c_str()));
    } else {
      for (int y = 0; y < page.height; ++y) {
        uint8_t* d = page.row(y);
        const uint8_t* b = base->row(y);
        for (int x = 0; x < 3 * page.width; x += 3)
          if (d[x] == 0x00 && d[x + 1] == 0x00 && d[x + 2] == 0xFF) d[x] = b[x], d[x + 1] = b[x + 1], d[x + 2] = b[x + 2];
      }
    }
  }
  release_page(e, base, false);
}

Page* load_own_format(rt::Engine& e, std::string_view file, bool full_colour, std::string_view caller) {
  ImageState& s = e.gfx->images;
  auto data = res::read_resource(e, file);
  std::string base = image_base_name(file);
  auto broken = [&] {
    rt::builtin_error(e, caller, base::format(msg::kImageBroken, base.c_str()));
    return nullptr;
  };
  if (!data) return broken();
  ImageHeader header;
  std::string reason;
  bool ok = parse_image_header(*data, header, &reason);
  if (ok && header.is8bit() == full_colour) ok = false;  // the decoder of the extension wants its own signature
  s.difference_base = ok ? header.base_name : std::string();
  if (!ok) return broken();
  Page* page = try_create_page(e, header.width, header.height, header.is8bit(), false);
  if (!page) return broken();
  if (header.is8bit()) page->palette = header.palette;
  size_t capacity = static_cast<size_t>(page->stride) * page->height;
  if (!decode_image_data(*data, header, page->pixels(), page->stride, capacity, &reason)) {
    release_page(e, page, true);
    return broken();
  }
  if (full_colour && !header.base_name.empty()) apply_difference(e, *page, header.base_name, caller);
  return page;
}

std::string lower_extension(std::string_view file) { return base::sjis_lower(base::extension_of(base::file_name_part(file))); }

}  // namespace

// [SECTION] Loading and size queries ----------------------------------------------------

Page* load_image_page(rt::Engine& e, std::string_view file, LoadMode mode, std::string_view caller) {
  ImageState& s = e.gfx->images;
  std::string base = image_base_name(file);
  uint64_t budget = e.image_cache_budget;
  ++s.cache.lookups;
  if (auto entry = s.cache.take(base)) {
    ++s.cache.hits;
    QUOREL_TRACE(e, graphics, "image %s: from the cache", plat::sjis_to_utf8(file).c_str());
    Page* result = mode == LoadMode::Shared ? entry->page : &copy_page(e, *entry->page, false);
    s.cache.insert(e, std::move(*entry), budget);
    return result;
  }
  std::string ext = lower_extension(file);
  Page* page = ext == ".png" ? load_png(e, file, base) : load_own_format(e, file, ext == ".rct", caller);
  if (page)
    QUOREL_TRACE(e, graphics, "image %s: %dx%d, %d bits%s", plat::sjis_to_utf8(file).c_str(), page->width,
                 page->height, page->is8bit ? 8 : 24, page->alpha ? ", with transparency" : "");
  else
    QUOREL_TRACE(e, graphics, "image %s: not loaded", plat::sjis_to_utf8(file).c_str());
  // A nested load of the same name (a difference image based on itself)
  // may have cached it already.
  if (page && budget != 0 && ImageCache::cost_of(*page) <= budget && !s.cache.find(base))
    s.cache.insert(e, {base, ImageCache::cost_of(*page), &copy_page(e, *page, true)}, budget);
  return page;
}

std::optional<std::pair<int, int>> image_size(rt::Engine& e, std::string_view file) {
  ImageState& s = e.gfx->images;
  std::string base = image_base_name(file);
  if (const ImageCache::Entry* entry = s.cache.find(base)) return std::pair{entry->page->width, entry->page->height};
  if (lower_extension(file) == ".png") {
    std::string png = (is_alpha_name(base) ? base.substr(0, base.size() - 1) : base) + ".png";
    if (!decode_png_remembered(e, png)) return std::nullopt;
    return std::pair{s.png_colour->width, s.png_colour->height};
  }
  if (!s.header_name.empty() && base::sjis_equal_nocase(s.header_name, file))
    return std::pair{s.header_width, s.header_height};
  auto opened = res::open_resource(e, file);
  if (!opened) return std::nullopt;
  uint8_t head[16];
  int w = 0, h = 0;
  if (opened->size < sizeof head || !opened->file.read_exact(head, sizeof head) || !read_image_size(head, &w, &h))
    return std::nullopt;
  s.header_name = std::string(file);
  s.header_width = w;
  s.header_height = h;
  return std::pair{w, h};
}

const std::string& difference_base_name(rt::Engine& e) { return e.gfx->images.difference_base; }

}  // namespace gfx
