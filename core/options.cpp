#include "core/options.h"

#include "core/trace.h"

#include <charconv>
#include <cstring>
#include <string_view>

namespace rt {
namespace {

template <typename T>
bool parse_number(std::string_view text, T* out) {
  if (text.empty()) return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
  return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::string usage_text() {
  return R"(usage: quorel [OPTIONS] [GAME_DIR]

Runs the game in GAME_DIR (default: the current directory), which becomes the
engine's current directory.

  --headless            no window and no audio device; message boxes go to
                        stderr and are answered by --answer
  --answer=WORD         ok|yes|no|retry|cancel: the button pressed on every
                        message box (the matching button, else the box's
                        first); headless the default is cancel/no; in a
                        window the boxes are then not shown
  --virtual-clock=MS    deterministic clock: +MS per scheduler pass, no sleeping
  --max-frames=N        normal shutdown after N scheduler passes
  --seed=N              fixed random seed
  --screenshot=FILE     at exit, write the front buffer as BMP (24-bit,
                        bottom-up, as the screen capture writes it) or PNG,
                        chosen by the extension
  --screenshot-presented=FILE
                        at exit, write what the player sees of the game area
                        (the picture with a movie, menus and dialogs over it)
                        as BMP or PNG
  --screenshot-at=N:FILE
                        once N scheduler passes are done, write what the player
                        sees, as --screenshot-presented does; may be repeated
  --audio-out=FILE.wav  headless: write the mixed sound output
  --input=FILE          timed key, mouse and gamepad events played as if by a
                        player (with --virtual-clock the run repeats exactly),
                        one per line: TIME EVENT, where TIME is ms since the
                        start or +MS after the previous line, and EVENT is
                          key down|up|press KEY   (return, space, escape, a,
                                                  f1, num4, ... or a number)
                          mouse move X Y          (game pixels)
                          mouse down|up|click|double left|right|middle X Y
                          wheel STEPS             (positive: away from you)
                          pad down|up|press BUTTON (a, b, up, down, left,
                                                  right, lb, rb, start)
                          focus on|off
                          quit
                        '#' starts a comment line
  --settings=FILE       settings store in place of the default per-user file
                        ($XDG_CONFIG_HOME/quorel/<REG_GLOBAL>/<REG_LOCAL>.ini)
  --fullscreen          start in full screen
  --window              start in a window (overrides the saved setting)
  --scale=N             initial window size: N times the game's size (1-8)
  --filter=nearest|linear
                        scaling filter of the window picture
  --renderer=auto|gpu|software
                        draw the window with the GPU or with SDL's software
                        path; auto (the default) takes the software path
                        where there is no GPU render device
                        (these three override, for this run, the choice
                        saved from the screen options dialog)
  --debug=PATH          debugger link over the Unix-domain socket PATH
  --text-hook=PATH      write every line of story text and every set of
                        choices as a JSON object per line, in UTF-8, to the
                        file PATH (appended), or to the Unix-domain socket
                        PATH (an existing socket, or unix:PATH) as a client
  --speak               self-voicing: speak each line and set of choices
                        through speech-dispatcher (Alt+S turns it on and off)
  --trace=LIST          comma-separated debug channels written to stderr
                        (script, resources, graphics, text, sound, input,
                        all); tracing script runs every instruction in the
                        general loop, so every built-in call shows
  --no-fast-loop        run every instruction in the interpreter's general
                        loop, to tell a fault of its fast loop from one of
                        the script
  --lang=ja|en          language of the engine's own messages (error boxes,
                        the debug log): ja as designed, or en
  --version             print the version and exit
  --help                print this text and exit
)";
}

std::string version_text() { return std::string("quorel ") + QUOREL_VERSION + "\n"; }

ParseResult parse_command_line(int argc, const char* const* argv) {
  ParseResult r;
  Options& o = r.options;
  auto fail = [&](std::string message) {
    r.action = ParseResult::Action::Error;
    r.error = std::move(message);
    return r;
  };
  bool positional_done = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg.size() < 2 || arg.substr(0, 2) != "--") {
      if (positional_done) return fail("unexpected argument '" + std::string(arg) + "'");
      o.game_dir = std::string(arg);
      positional_done = true;
      continue;
    }
    std::string_view name = arg.substr(2), value;
    bool has_value = false;
    if (size_t eq = name.find('='); eq != std::string_view::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      has_value = true;
    }
    auto need_value = [&]() { return has_value && !value.empty(); };
    auto bad_value = [&]() {
      return fail("bad value for --" + std::string(name) + ": '" + std::string(value) + "'");
    };
    auto no_value = [&](bool flag) { return !has_value && flag; };

    if (name == "help" && no_value(true)) { r.action = ParseResult::Action::Help; return r; }
    if (name == "version" && no_value(true)) { r.action = ParseResult::Action::Version; return r; }
    if (name == "headless" && no_value(true)) { o.headless = true; continue; }
    if (name == "fullscreen" && no_value(true)) { o.fullscreen = true; continue; }
    if (name == "window" && no_value(true)) { o.fullscreen = false; continue; }
    if (name == "no-fast-loop" && no_value(true)) { o.fast_loop = false; continue; }
    if (name == "speak") {
      if (has_value) return fail("--speak takes no value");
      o.speak = true;
      continue;
    }
    if (name == "answer") {
      if (!need_value()) return bad_value();
      o.answer = plat::parse_answer(value);
      if (!o.answer) return bad_value();
      continue;
    }
    if (name == "virtual-clock") {
      uint32_t ms;
      if (!need_value() || !parse_number(value, &ms)) return bad_value();
      o.virtual_clock = ms;
      continue;
    }
    if (name == "max-frames") {
      uint64_t n;
      if (!need_value() || !parse_number(value, &n)) return bad_value();
      o.max_frames = n;
      continue;
    }
    if (name == "seed") {
      uint32_t n;
      if (!need_value() || !parse_number(value, &n)) return bad_value();
      o.seed = n;
      continue;
    }
    if (name == "scale") {
      int n;
      if (!need_value() || !parse_number(value, &n) || n < 1 || n > 8) return bad_value();
      o.scale = n;
      continue;
    }
    if (name == "renderer") {
      if (value == "auto") o.renderer = plat::Renderer::Auto;
      else if (value == "gpu") o.renderer = plat::Renderer::Gpu;
      else if (value == "software") o.renderer = plat::Renderer::Software;
      else return bad_value();
      continue;
    }
    if (name == "filter") {
      if (value == "nearest") o.filter = Filter::Nearest;
      else if (value == "linear") o.filter = Filter::Linear;
      else return bad_value();
      continue;
    }
    if (name == "screenshot-at") {
      const size_t colon = value.find(':');
      uint64_t n;
      if (!need_value() || colon == std::string_view::npos || colon + 1 == value.size() ||
          !parse_number(value.substr(0, colon), &n))
        return bad_value();
      o.screenshots_at.push_back({n, std::string(value.substr(colon + 1))});
      continue;
    }
    std::string* text = name == "screenshot"             ? &o.screenshot
                        : name == "screenshot-presented" ? &o.screenshot_presented
                        : name == "audio-out" ? &o.audio_out
                        : name == "input"     ? &o.input
                        : name == "settings"  ? &o.settings
                        : name == "debug"     ? &o.debug_socket
                        : name == "text-hook" ? &o.text_hook
                                              : nullptr;
    if (text) {
      if (!need_value()) return bad_value();
      *text = std::string(value);
      continue;
    }
    if (name == "lang") {
      if (!need_value() || (value != "ja" && value != "en")) return fail("--lang takes ja or en");
      o.lang = std::string(value);
      continue;
    }
    if (name == "trace") {
      if (!need_value()) return bad_value();
      size_t start = 0;
      while (start <= value.size()) {
        size_t comma = value.find(',', start);
        if (comma == std::string_view::npos) comma = value.size();
        if (comma > start) o.trace.emplace_back(value.substr(start, comma - start));
        start = comma + 1;
      }
      std::string bad;
      if (!trace_mask(o.trace, &bad)) return fail("unknown trace channel '" + bad + "'");
      continue;
    }
    return fail("unknown option '" + std::string(arg) + "'");
  }
  return r;
}

}  // namespace rt
