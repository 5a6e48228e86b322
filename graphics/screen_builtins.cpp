// The front buffer, invalidation and screen-mode built-ins, and the hooks
// that connect the screen to the script machine and the page list.
#include "graphics/screen_builtins.h"

#include <string>

#include "core/engine.h"
#include "graphics/builtins.h"
#include "graphics/capture.h"
#include "graphics/display.h"
#include "graphics/sprite.h"
#include "graphics/state.h"
#include "graphics/window_mode.h"
#include "res/screen.h"
#include "script/script_error.h"
#include "script/script_machine.h"

namespace gfx {

namespace {

using rt::Call;
using rt::Progress;


int32_t handle_of(const Page* p) { return p ? p->handle : 0; }

Progress set_frontbuffer(Call& c) {
  Display& d = c.engine.gfx->display;
  Page* page = page_arg(c, 1);
  if (!page) return done(c, handle_of(d.front));
  return done(c, handle_of(set_front_buffer(c.engine, *page)));
}

Progress get_frontbuffer(Call& c) { return done(c, handle_of(c.engine.gfx->display.front)); }

Progress client_width(Call& c) {
  c.ret_int(c.engine.client_width);
  return Progress::Done;
}

Progress client_height(Call& c) {
  c.ret_int(c.engine.client_height);
  return Progress::Done;
}


Progress invalidate_rect(Call& c) {
  Page* page = page_arg(c, 1);
  if (!page) return done(c);
  Rect r = page->bounds();
  if (c.argc >= 5) r = {c.int_arg(2), c.int_arg(3), c.int_arg(4), c.int_arg(5)};
  page_changed(c.engine, *page, r);
  return done(c);
}

Progress invalidate_disable(Call& c) {
  ++c.engine.gfx->display.invalidate_lock;
  return done(c);
}

Progress invalidate_enable(Call& c) {
  // An unmatched enable must not lock the screen for good.
  int& lock = c.engine.gfx->display.invalidate_lock;
  if (lock > 0) --lock;
  return done(c);
}

Progress set_screen_offset_builtin(Call& c) {
  set_screen_offset(c.engine, c.int_arg(1), c.int_arg(2));
  return done(c);
}

Progress screen_mode(Call& c) {
  if (c.argc >= 1) set_full_screen(c.engine, c.int_arg(1) != 0);
  return done(c, is_full_screen(c.engine) ? 1 : 0);
}

constexpr auto kScreenBuiltins = rt::handler_table<rt::Subsystem::graphics>({
    {"client_width", client_width},
    {"client_height", client_height},
    {"set_frontbuffer", set_frontbuffer},
    {"get_frontbuffer", get_frontbuffer},
    {"invalidate_rect", invalidate_rect},
    {"invalidate_disable", invalidate_disable},
    {"invalidate_enable", invalidate_enable},
    {"set_screen_offset", set_screen_offset_builtin},
    {"screen_mode", screen_mode},
});

}  // namespace

std::span<const rt::BuiltinEntry> screen_builtins() { return kScreenBuiltins; }

void install_screen_hooks(rt::Engine& e) {
  PageList& pages = e.gfx->pages;
  pages.on_changed = [&e](Page& page, const Rect& r) { page_changed(e, page, r); };
  pages.shown_by_sprite = [&e](const Page& page) { return page_shown_by_sprite(e, page); };
  pages.sprite_page = [&e](int32_t handle) {
    Sprite* s = find_sprite(e, handle);
    return s ? s->page : nullptr;
  };
  pages.on_release = [&e](Page& page) {
    forget_page(e, page);
    forget_display_page(e, page);
  };

  rt::Hooks& hooks = e.vm->hooks;
  hooks.compose_frame = compose_frame;
  hooks.drawing_suspended = [](rt::Engine& en) { return en.gfx->display.invalidate_lock != 0; };
  hooks.frame_due = frame_due;
  hooks.wake_hooks.push_back(next_frame_wake);
  hooks.next_frame_in = next_frame_in;
  hooks.restore_front_buffer = restore_front_buffer;
  hooks.on_reset.push_back(reset_screen);
  hooks.on_init_done.push_back(make_screen_permanent);
  hooks.on_shutdown.push_back(shut_down_screen);
  hooks.window_hooks.push_back(window_mode_event);
}

}  // namespace gfx
