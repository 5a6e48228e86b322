// Built-ins that create, release and query pages and image files, and the
// hooks that keep pages across the reset to the title.
//
// [SECTION] Helpers
// [SECTION] Creating pages
// [SECTION] Releasing and querying pages
// [SECTION] Image files
// [SECTION] Table and hooks
#include <algorithm>

#include "base/sjis.h"
#include "core/engine.h"
#include "core/error_report.h"
#include "graphics/builtins.h"
#include "graphics/draw.h"
#include "graphics/images.h"
#include "graphics/state.h"
#include "res/graphics.h"
#include "resources/resources.h"
#include "script/script_error.h"
#include "script/script_machine.h"

namespace gfx {

Page* page_arg(rt::Call& c, int n, const char* missing) {
  Page* p = find_page(c.engine, c.int_arg(n));
  if (!p) rt::builtin_error(c.engine, c.name(), missing);
  return p;
}

namespace {

using rt::Call;
using rt::Progress;

// [SECTION] Helpers ---------------------------------------------------------------

// The 1 x 1 page that stands in for an image that is not there: 8-bit for
// names of alpha images.
Page& placeholder(rt::Engine& e, std::string_view name) {
  bool alpha = name.find("_.") != std::string_view::npos || (!name.empty() && name.back() == '_');
  return alpha ? create_page_8(e, 1, 1, false) : create_page_24(e, 1, 1, false);
}

// Attaches the alpha image of `base` (base name + "_") to a freshly loaded
// page, which owns it. An alpha image that cannot serve (not 8-bit, another
// size) is reported and left out.
void attach_alpha_image(Call& c, Page& page, const std::string& base) {
  rt::Engine& e = c.engine;
  std::string alpha_base;
  auto file = resolve_image_name(e, base + "_", &alpha_base);
  if (!file) return;
  Page* alpha = load_image_page(e, *file, LoadMode::Copy, c.name());
  if (!alpha) return;
  if (!alpha->is8bit) {
    rt::builtin_error(e, c.name(), base::format(msg::kAlphaImageNot8bit, alpha_base.c_str()));
  } else if (alpha->width != page.width || alpha->height != page.height) {
    rt::builtin_error(e, c.name(), msg::kAlphaImageSize);
  } else {
    page.alpha = alpha;
    page.owns_alpha = true;
    return;
  }
  release_page(e, alpha, true);
}

// [SECTION] Creating pages ----------------------------------------------------------

Page& create_sized(Call& c) {
  int w = c.int_arg(1), h = c.int_arg(2);
  bool full_colour = !c.has(3) || c.int_arg(3) != 0;
  if (w <= 0 || h <= 0) {
    rt::builtin_error(c.engine, c.name(), msg::kPageSizeNotPositive);
    w = std::max(w, 1);
    h = std::max(h, 1);
  }
  return full_colour ? create_page_24(c.engine, w, h, false) : create_page_8(c.engine, w, h, false);
}

Progress page_create(Call& c) { return done(c, create_sized(c).handle); }

Progress page_create_withalfa(Call& c) {
  Page& p = create_sized(c);
  p.alpha = &create_page_8(c.engine, p.width, p.height, false);
  p.owns_alpha = true;
  return done(c, p.handle);
}

Page& create_from_file(Call& c, bool with_alpha) {
  rt::Engine& e = c.engine;
  std::string_view name = c.str_arg(1);
  std::string base;
  auto file = resolve_image_name(e, name, &base);
  if (!file) {
    // Both forms report under the plain name.
    rt::builtin_error(e, "page_create_file", base::format(msg::kImageFileMissing, base.c_str()));
    return placeholder(e, name);
  }
  Page* page = load_image_page(e, *file, LoadMode::Copy, c.name());
  if (!page) return placeholder(e, name);  // the loader has reported why
  if (with_alpha) attach_alpha_image(c, *page, base);
  return *page;
}

Progress page_create_file(Call& c) { return done(c, create_from_file(c, false).handle); }
Progress page_create_file_withalfa(Call& c) { return done(c, create_from_file(c, true).handle); }

// [SECTION] Releasing and querying pages -----------------------------------------------

Progress page_release(Call& c) {
  rt::Engine& e = c.engine;
  Page* p = page_arg(c, 1);
  if (!p) return done(c, 0);
  PageList& list = e.gfx->pages;
  if (list.shown_by_sprite && list.shown_by_sprite(*p)) {
    rt::builtin_error(e, c.name(), msg::kPageShownBySprite);
    return done(c, 0);
  }
  if (p->owns_alpha && p->alpha && find_page(e, p->alpha->handle) == p->alpha) release_page(e, p->alpha, false);
  release_page(e, p, false);
  return done(c, 0);
}

Progress page_len_x(Call& c) {
  Page* p = page_arg(c, 1);
  return done(c, p ? p->width : 0);
}

Progress page_len_y(Call& c) {
  Page* p = page_arg(c, 1);
  return done(c, p ? p->height : 0);
}

Progress page_is_exist(Call& c) { return done(c, is_page_valid(c.engine, c.int_arg(1)) ? 1 : 0); }

Progress get_alfapage(Call& c) {
  rt::Engine& e = c.engine;
  int32_t handle = c.int_arg(1);
  PageList& list = e.gfx->pages;
  Page* p = list.sprite_page ? list.sprite_page(handle) : nullptr;
  if (!p) p = find_page(e, handle);
  if (!p) {
    rt::builtin_error(e, c.name(), msg::kNamedPageMissing);
    return done(c, 0);
  }
  return done(c, p->alpha ? p->alpha->handle : 0);
}

Progress page_set_antidata(Call& c) {
  rt::Engine& e = c.engine;
  Page* parent = find_page(e, c.int_arg(1));
  if (!parent) {
    rt::script_error(e, msg::kAntidataNoParent);
    return done(c, 0);
  }
  Page* alpha = find_page(e, c.int_arg(2));
  if (!alpha) {
    rt::script_error(e, msg::kAntidataNoAlpha);
    return done(c, 0);
  }
  if (!alpha->is8bit) {
    rt::script_error(e, msg::kAntidataNot8bit);
    return done(c, 0);
  }
  if (alpha->width != parent->width || alpha->height != parent->height) {
    rt::script_error(e, msg::kAntidataSize);
    return done(c, 0);
  }
  // A page linked here was not made by the parent: releasing the parent
  // must not take it along.
  if (parent->alpha != alpha) parent->owns_alpha = false;
  parent->alpha = alpha;
  return done(c, 0);
}

Progress rgb(Call& c) {
  uint32_t r = c.int_arg(1) & 0xFF, g = c.int_arg(2) & 0xFF, b = c.int_arg(3) & 0xFF;
  return done(c, static_cast<int32_t>((b << 16) | (g << 8) | r));
}

// [SECTION] Image files --------------------------------------------------------------------

// pic_len_x and pic_len_y: in development mode a missing image is reported
// (with pic_len_x's text for both) until it appears or the player gives up.
Progress pic_size(Call& c, bool width) {
  rt::Engine& e = c.engine;
  std::string base;
  std::optional<std::string> file;
  while (!(file = resolve_image_name(e, c.str_arg(1), &base))) {
    if (rt::is_release_mode(e)) return done(c, 1);
    rt::builtin_error(e, "pic_len_x", base::format(msg::kImageFileMissing, base.c_str()));
  }
  auto size = image_size(e, *file);
  if (!size) {
    rt::builtin_error(e, c.name(), base::format(msg::kImageBroken, base.c_str()));
    return done(c, 0);
  }
  return done(c, width ? size->first : size->second);
}

Progress pic_len_x(Call& c) { return pic_size(c, true); }
Progress pic_len_y(Call& c) { return pic_size(c, false); }

Progress pic_is_exist(Call& c) { return done(c, resolve_image_name(c.engine, c.str_arg(1)) ? 1 : 0); }

Progress pic_unpack(Call& c) {
  rt::Engine& e = c.engine;
  Page* page = page_arg(c, 1);
  if (!page) return done(c, 0);
  std::string base;
  auto file = resolve_image_name(e, c.str_arg(2), &base);
  if (!file) {
    rt::builtin_error(e, c.name(), base::format(msg::kImageFileMissing, base.c_str()));
    return done(c, 0);
  }
  std::string ext = base::sjis_lower(base::extension_of(*file));
  bool full_colour = ext == ".rct" || (ext == ".png" && !is_alpha_name(base));
  if (full_colour && page->is8bit) {
    rt::builtin_error(e, c.name(), base::format(msg::kUnpackTo8bit, base.c_str()));
    return done(c, 0);
  }
  Page* image = load_image_page(e, *file, LoadMode::Shared, c.name());
  if (!image) return done(c, 0);
  Rect s = image->bounds();
  int dx = c.int_arg(3), dy = c.int_arg(4);
  if (!clip_two(*image, s, *page, dx, dy)) {
    release_page(e, image, false);
    return done(c, 0);
  }
  auto alpha_file = resolve_image_name(e, base + "_");
  Page* alpha = alpha_file ? load_image_page(e, *alpha_file, LoadMode::Shared, c.name()) : nullptr;
  bool drawn = true;
  if (!alpha) {
    plain_copy(*image, s, *page, dx, dy);
  } else if (page->is8bit) {
    // Transparency has no meaning on a palette page: nothing is drawn.
    drawn = false;
    release_page(e, alpha, false);
  } else {
    // The alpha image serves the (possibly cached) image for this one copy.
    Page* own = image->alpha;
    image->alpha = alpha;
    alpha_copy(*image, s, *page, dx, dy, 0);
    image->alpha = own;
    release_page(e, alpha, false);
  }
  release_page(e, image, false);
  if (drawn) mark_changed(e, *page, {dx, dy, s.w, s.h});
  return done(c, 0);
}

// [SECTION] Table and hooks ------------------------------------------------------------------

constexpr auto kTable = rt::handler_table<rt::Subsystem::graphics>({
    {"page_create", page_create},
    {"page_create_withalfa", page_create_withalfa},
    {"page_create_file", page_create_file},
    {"page_create_file_withalfa", page_create_file_withalfa},
    {"page_release", page_release},
    {"page_len_x", page_len_x},
    {"page_len_y", page_len_y},
    {"pic_len_x", pic_len_x},
    {"pic_len_y", pic_len_y},
    {"pic_is_exist", pic_is_exist},
    {"page_is_exist", page_is_exist},
    {"get_alfapage", get_alfapage},
    {"page_set_antidata", page_set_antidata},
    {"rgb", rgb},
    {"pic_unpack", pic_unpack},
});

}  // namespace

std::span<const rt::BuiltinEntry> page_builtins() { return kTable; }

void install_hooks(rt::Engine& e) {
  rt::Hooks& h = e.vm->hooks;
  h.on_reset.push_back([](rt::Engine& e) { release_all_pages(e); });
  h.on_init_done.push_back([](rt::Engine& e) { make_all_pages_permanent(e); });
  h.on_shutdown.push_back([](rt::Engine& e) { release_every_page(e); });
}

}  // namespace gfx
