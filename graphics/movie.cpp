// [SECTION] Finding the file
// [SECTION] Playing, stepping, closing
// [SECTION] Built-ins
#include "graphics/movie.h"

#include <algorithm>
#include <cstdio>

#include "base/game_names.h"
#include "base/format.h"
#include "core/engine.h"
#include "graphics/state.h"
#include "platform/encoding.h"
#include "res/graphics.h"
#include "script/read_marks.h"
#include "script/script_error.h"
#include "script/script_machine.h"

namespace gfx {

namespace {

using rt::Call;
using rt::Progress;

constexpr const char* kGuardKey = "AbnormalMovieTerminateFlg";

MovieState& movie_of(rt::Engine& e) { return e.gfx->movie; }

// [SECTION] Finding the file --------------------------------------------------------------------

// Game data names files inside the game's folder: no absolute paths, no
// drive letters, no way up.
bool inside_game(std::string_view name) { return base::unsafe_name_reason(name) == nullptr; }

// The engine path of the movie: the name as given, then under "movie";
// empty when neither is a file.
std::string find_movie(rt::Engine& e, std::string_view name) {
  if (!inside_game(name)) return {};
  auto is_file = [&](std::string_view p) { return e.files.exists(p) && !e.files.is_directory(p); };
  if (is_file(name)) return std::string(name);
  std::string under = "movie\\" + std::string(name);
  if (is_file(under)) return under;
  return {};
}

// [SECTION] Playing, stepping, closing ----------------------------------------------------------

int64_t movie_clock(rt::Engine& e, MovieState& m) {
  const int32_t wall = static_cast<int32_t>(e.vm->script_clock - m.opened_at);
  if (!m.exact && m.sound_attached && !m.movie->sound_done()) return m.movie->sound_ms();
  return std::max(wall, 0);
}

void stop_sound(rt::Engine& e, MovieState& m) {
  if (m.sound_attached && e.vm->hooks.movie_sound_stop) e.vm->hooks.movie_sound_stop(e);
  m.sound_attached = false;
}

// The decoder is done with: its thread ends, the last picture stays.
void release_decoder(rt::Engine& e, MovieState& m) {
  stop_sound(e, m);
  if (m.movie) m.movie->stop();
  m.movie.reset();
}

// The file opened: the sound goes to the mixer and the clock starts.
void opened(rt::Engine& e, MovieState& m, int32_t volume) {
  m.opened = true;
  m.opened_at = e.vm->script_clock;
  rt::Hooks& hooks = e.vm->hooks;
  if (m.movie->has_sound() && hooks.movie_sound_start) {
    std::shared_ptr<plat::Movie> movie = m.movie;
    const bool exact = m.exact;
    m.sound_attached = hooks.movie_sound_start(
        e, [movie, exact](int16_t* out, size_t frames) { return movie->read_sound(out, frames, exact); }, volume);
  }
  if (!m.sound_attached) m.movie->drop_sound();
}

// A file FFmpeg could not open or decode: one line on stderr, the script
// error report, and the script goes on as after a finished movie.
void failed(rt::Engine& e, MovieState& m) {
  std::fprintf(stderr, "quorel: movie %s\n", m.movie->error().c_str());
  release_decoder(e, m);
  rt::script_error(e, base::format(msg::kMovieNotPlayable, m.name.c_str()));
}

// The movie's picture goes to the host as a layer over the game's picture.
void show_picture(rt::Engine& e, MovieState& m) {
  if (m.shown_serial == m.picture_serial) return;
  m.shown_serial = m.picture_serial;
  if (!m.has_picture || m.rect.w <= 0 || m.rect.h <= 0) {
    e.host->set_layer(plat::Layer::Movie, nullptr);
    return;
  }
  plat::LayerPicture layer;
  layer.pixels = m.picture.pixels.data();
  layer.width = m.picture.width;
  layer.height = m.picture.height;
  layer.stride = m.picture.width * 3;
  layer.to = {m.rect.x, m.rect.y, m.rect.w, m.rect.h};
  e.host->set_layer(plat::Layer::Movie, &layer);
}

}  // namespace

bool movie_playing(rt::Engine& e) { return movie_of(e).movie != nullptr; }

bool close_movie(rt::Engine& e) {
  MovieState& m = movie_of(e);
  const bool playing = m.movie != nullptr;
  release_decoder(e, m);
  const bool shown = m.has_picture;
  m.has_picture = false;
  m.picture = {};
  m.active = false;
  if (shown) {
    ++m.picture_serial;
    show_picture(e, m);
  }
  // The picture under the movie shows again, whole.
  e.gfx->display.present_all = true;
  return playing;
}

void step_movie(rt::Engine& e) {
  MovieState& m = movie_of(e);
  if (!m.movie) return;
  if (!m.opened) {
    switch (m.movie->state()) {
      case plat::Movie::State::Opening: return;
      case plat::Movie::State::Failed: failed(e, m); return;
      default: opened(e, m, m.volume_playing); break;
    }
  }
  const int64_t t = movie_clock(e, m);
  if (m.movie->picture_at(t, m.exact, m.picture)) {
    m.has_picture = true;
    ++m.picture_serial;
    show_picture(e, m);
  }
  // Once over, the last picture stays until the movie is stopped.
  if (m.movie->finished_at(t, m.exact)) release_decoder(e, m);
}


namespace {

// [SECTION] Built-ins ------------------------------------------------------------------------------

// The crash guard: "1" while a play call is in progress, written through.
void set_guard(rt::Engine& e, int value) {
  e.settings.set_int(kGuardKey, value);
  e.settings.save();
}

Progress movie_play(Call& c) {
  rt::Engine& e = c.engine;
  MovieState& m = movie_of(e);
  // A run that ended inside a play call leaves the guard set: no more movies.
  if (e.settings.get_int(kGuardKey).value_or(0) != 0) return done(c);
  set_guard(e, 1);

  const std::string name(c.str_arg(1));
  const bool stop_sound_first = c.int_arg(2, 1) != 0;
  const Rect rect{c.int_arg(3, 0), c.int_arg(4, 0), c.int_arg(5, e.client_width), c.int_arg(6, e.client_height)};
  std::string path;
  const bool skipped = rt::is_skipping(e) && c.frame().left_target != 0;
  if (!skipped) {
    path = find_movie(e, name);
    if (path.empty()) rt::script_error(e, base::format(msg::kMovieFileMissing, name.c_str()));
  }
  if (!path.empty()) {
    if (stop_sound_first && e.vm->hooks.sound_reset) e.vm->hooks.sound_reset(e);
    close_movie(e);
    m.active = true;
    m.name = name;
    m.rect = {rect.x, rect.y, std::max(rect.w, 0), std::max(rect.h, 0)};
    m.exact = e.clock.is_virtual();
    m.played_at = c.now();
    m.opened = false;
    m.volume_playing = m.volume;
    m.volume = 1000;
    m.movie = plat::Movie::open_file(e.files.native_path(path), plat::sjis_to_utf8(name), m.rect.w, m.rect.h);
    if (m.exact) {
      // A repeatable run: the file is open, and the first picture taken,
      // before the script goes on.
      m.movie->wait_opened();
      step_movie(e);
    }
  }
  set_guard(e, 0);
  return done(c);
}

Progress movie_stop(Call& c) {
  close_movie(c.engine);
  return done(c);
}

Progress movie_is_playing(Call& c) {
  step_movie(c.engine);
  return done(c, movie_playing(c.engine) ? 1 : 0);
}

// Takes every pending click and key press; true when there was one made
// since the movie started (a thread's click latch may be much older).
bool take_input(Call& c) {
  rt::Thread& t = c.thread;
  const uint32_t since = movie_of(c.engine).played_at;
  bool any = false;
  for (uint32_t* latch : {&t.latch_left, &t.latch_right, &t.latch_middle}) {
    if (*latch != 0 && static_cast<int32_t>(*latch - since) >= 0) any = true;
    *latch = 0;
  }
  if (auto take = c.engine.vm->hooks.take_click) {
    uint32_t time;
    for (int code : {130, 131, 136, 33, 34, 147})
      if (take(c.engine, code, &time)) any = true;
  }
  return any;
}

Progress movie_wait(Call& c) {
  const bool skippable = !c.has(1) || c.int_arg(1) != 0;
  step_movie(c.engine);
  rt::Frame& f = c.frame();
  if (movie_playing(c.engine) && (!skippable || !take_input(c))) {
    f.wait_deadline = c.now() + 1 == 0 ? 1 : c.now() + 1;
    return Progress::NotFinished;
  }
  take_input(c);
  f.wait_deadline = 0;
  return done(c);
}

Progress movie_volume(Call& c) {
  movie_of(c.engine).volume = c.int_arg(1);
  return done(c);
}

constexpr auto kMovieBuiltins = rt::handler_table<rt::Subsystem::graphics>({
    {"movie_play", movie_play},
    {"movie_stop", movie_stop},
    {"movie_is_playing", movie_is_playing},
    {"movie_wait", movie_wait},
    {"movie_volume", movie_volume},
});

void reset_movie(rt::Engine& e) { close_movie(e); }
// At exit the decoder and the sound stop; the player's view keeps the
// last picture (for --screenshot-presented).
void shut_down_movie(rt::Engine& e) { release_decoder(e, movie_of(e)); }

}  // namespace

std::span<const rt::BuiltinEntry> movie_builtins() { return kMovieBuiltins; }

void install_movie_hooks(rt::Engine& e) {
  rt::Hooks& hooks = e.vm->hooks;
  hooks.movie_playing = movie_playing;
  hooks.close_movie = close_movie;
  hooks.on_reset.push_back(reset_movie);
  hooks.on_shutdown.push_back(shut_down_movie);
}

}  // namespace gfx
