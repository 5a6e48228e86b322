#include "platform/input_script.h"

#include <SDL.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <charconv>
#include <fstream>
#include <sstream>

#include "platform/files.h"
#include "platform/keymap.h"

namespace plat {
namespace {

struct NamedKey {
  const char* name;
  int vk;
};

constexpr NamedKey kKeys[] = {
    {"backspace", 0x08}, {"tab", 0x09},      {"return", 0x0D},   {"enter", 0x0D},  {"shift", 0x10},
    {"ctrl", 0x11},      {"control", 0x11},  {"alt", 0x12},      {"pause", 0x13},  {"capslock", 0x14},
    {"escape", 0x1B},    {"esc", 0x1B},      {"space", 0x20},    {"pageup", 0x21}, {"pagedown", 0x22},
    {"end", 0x23},       {"home", 0x24},     {"left", 0x25},     {"up", 0x26},     {"right", 0x27},
    {"down", 0x28},      {"insert", 0x2D},   {"delete", 0x2E},
};

struct NamedButton {
  const char* name;
  int button;
};

constexpr NamedButton kPadButtons[] = {
    {"a", SDL_CONTROLLER_BUTTON_A},
    {"b", SDL_CONTROLLER_BUTTON_B},
    {"up", SDL_CONTROLLER_BUTTON_DPAD_UP},
    {"down", SDL_CONTROLLER_BUTTON_DPAD_DOWN},
    {"left", SDL_CONTROLLER_BUTTON_DPAD_LEFT},
    {"right", SDL_CONTROLLER_BUTTON_DPAD_RIGHT},
    {"lb", SDL_CONTROLLER_BUTTON_LEFTSHOULDER},
    {"rb", SDL_CONTROLLER_BUTTON_RIGHTSHOULDER},
    {"start", SDL_CONTROLLER_BUTTON_START},
};

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

template <typename T>
bool number(std::string_view text, T* out) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  if (text.empty()) return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out, base);
  return ec == std::errc() && end == text.data() + text.size();
}

std::vector<std::string_view> words(std::string_view line) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

// One line's events; an error text when it is malformed.
class LineParser {
 public:
  LineParser(std::vector<std::string_view> w, uint32_t at, std::vector<TimedEvent>& out)
      : w_(std::move(w)), at_(at), out_(out) {}

  std::string parse() {
    std::string kind = lower(w_[1]);
    if (kind == "key") return key();
    if (kind == "mouse") return mouse();
    if (kind == "wheel") return wheel();
    if (kind == "pad") return pad();
    if (kind == "focus") return focus();
    if (kind == "quit") return count(2) ? add(0, Event::Type::Quit), "" : "quit takes nothing more";
    if (kind == "window") return window();
    return "unknown event '" + std::string(w_[1]) + "' (expected key, mouse, wheel, pad, focus, quit or window)";
  }

 private:
  bool count(size_t n) const { return w_.size() == n; }

  Event& add(uint32_t later, Event::Type type) {
    TimedEvent t;
    t.at = at_ + later;
    t.event.type = type;
    t.event.time = t.at;
    out_.push_back(t);
    return out_.back().event;
  }

  // down, up or press: the key events for a virtual key.
  std::string key_events(std::string_view action, int vk) {
    std::string a = lower(action);
    if (a == "down" || a == "press") add(0, Event::Type::KeyDown).vk = vk;
    if (a == "up") add(0, Event::Type::KeyUp).vk = vk;
    if (a == "press") add(kScriptPressMs, Event::Type::KeyUp).vk = vk;
    if (a == "repeat") {
      Event& ev = add(0, Event::Type::KeyDown);
      ev.vk = vk;
      ev.repeat = true;
    }
    if (a != "down" && a != "up" && a != "press" && a != "repeat")
      return "unknown action '" + std::string(action) + "' (expected down, up, press or repeat)";
    return "";
  }

  std::string window() {
    int w = 0, h = 0;
    if (!count(4) || !number(w_[2], &w) || !number(w_[3], &h) || w < 1 || h < 1 || w > 16384 || h > 16384)
      return "expected: TIME window WIDTH HEIGHT (1-16384)";
    add(0, Event::Type::Exposed);
    out_.back().window_w = w;
    out_.back().window_h = h;
    return "";
  }

  std::string key() {
    if (!count(4)) return "expected: TIME key down|up|press|repeat KEY";
    int vk = virtual_key_from_name(w_[3]);
    if (vk < 0) return "unknown key '" + std::string(w_[3]) + "'";
    return key_events(w_[2], vk);
  }

  std::string pad() {
    if (!count(4)) return "expected: TIME pad down|up|press BUTTON";
    std::string name = lower(w_[3]);
    for (const NamedButton& b : kPadButtons)
      if (name == b.name) return key_events(w_[2], virtual_key_from_pad(b.button));
    return "unknown gamepad button '" + std::string(w_[3]) + "' (a, b, up, down, left, right, lb, rb, start)";
  }

  std::string point(size_t at, int* x, int* y) {
    if (!number(w_[at], x) || !number(w_[at + 1], y))
      return "bad position '" + std::string(w_[at]) + " " + std::string(w_[at + 1]) + "'";
    return "";
  }

  std::string mouse() {
    if (w_.size() < 3) return "expected: TIME mouse move X Y, or TIME mouse ACTION BUTTON X Y";
    std::string action = lower(w_[2]);
    int x = 0, y = 0;
    if (action == "move") {
      if (!count(5)) return "expected: TIME mouse move X Y";
      if (std::string e = point(3, &x, &y); !e.empty()) return e;
      Event& m = add(0, Event::Type::MouseMove);
      m.x = x, m.y = y;
      return "";
    }
    if (action != "down" && action != "up" && action != "click" && action != "double")
      return "unknown mouse action '" + std::string(w_[2]) + "' (move, down, up, click or double)";
    if (!count(6)) return "expected: TIME mouse " + action + " left|right|middle X Y";
    std::string name = lower(w_[3]);
    int button = name == "left" ? 0 : name == "right" ? 1 : name == "middle" ? 2 : -1;
    if (button < 0) return "unknown mouse button '" + std::string(w_[3]) + "' (left, right or middle)";
    if (std::string e = point(4, &x, &y); !e.empty()) return e;
    auto one = [&](uint32_t later, Event::Type type, int clicks) {
      Event& m = add(later, type);
      m.button = button, m.x = x, m.y = y, m.clicks = clicks;
    };
    if (action == "down") one(0, Event::Type::MouseDown, 1);
    else if (action == "up") one(0, Event::Type::MouseUp, 1);
    else if (action == "click") one(0, Event::Type::MouseDown, 1), one(kScriptPressMs, Event::Type::MouseUp, 1);
    else {
      one(0, Event::Type::MouseDown, 1);
      one(kScriptPressMs, Event::Type::MouseUp, 1);
      one(2 * kScriptPressMs, Event::Type::MouseDown, 2);
      one(3 * kScriptPressMs, Event::Type::MouseUp, 1);
    }
    return "";
  }

  std::string wheel() {
    int steps = 0;
    if (!count(3) || !number(w_[2], &steps)) return "expected: TIME wheel STEPS (a whole number)";
    add(0, Event::Type::MouseWheel).delta = steps;
    return "";
  }

  std::string focus() {
    std::string s = count(3) ? lower(w_[2]) : "";
    if (s == "on") add(0, Event::Type::FocusGained);
    else if (s == "off") add(0, Event::Type::FocusLost);
    else return "expected: TIME focus on|off";
    return "";
  }

  std::vector<std::string_view> w_;
  uint32_t at_;
  std::vector<TimedEvent>& out_;
};

}  // namespace

int virtual_key_from_name(std::string_view name) {
  std::string n = lower(name);
  if (n.size() == 1 && n[0] >= 'a' && n[0] <= 'z') return 'A' + (n[0] - 'a');
  if (n.size() == 1 && n[0] >= '0' && n[0] <= '9') return n[0];
  for (const NamedKey& k : kKeys)
    if (n == k.name) return k.vk;
  int f = 0;
  if (n.size() >= 2 && n[0] == 'f' && number(std::string_view(n).substr(1), &f) && f >= 1 && f <= 24)
    return 0x6F + f;
  if (n.size() == 4 && n.compare(0, 3, "num") == 0 && n[3] >= '0' && n[3] <= '9') return 0x60 + (n[3] - '0');
  int vk = 0;
  if (number(name, &vk) && vk >= 0 && vk <= 255) return vk;
  return -1;
}

bool parse_input_script(std::string_view text, std::vector<TimedEvent>* events, std::string* error) {
  std::vector<TimedEvent> out;
  uint32_t previous = 0;
  int line_number = 0;
  while (!text.empty()) {
    ++line_number;
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    std::vector<std::string_view> w = words(line);
    if (w.empty() || w[0][0] == '#') continue;
    auto fail = [&](const std::string& why) {
      *error = "line " + std::to_string(line_number) + ": " + why;
      return false;
    };
    std::string_view time = w[0];
    bool relative = time[0] == '+';
    if (relative) time.remove_prefix(1);
    uint32_t at = 0;
    if (!number(time, &at)) return fail("bad time '" + std::string(w[0]) + "' (milliseconds, or +N after the previous line)");
    if (relative) {
      if (at > UINT32_MAX - previous) return fail("time '" + std::string(w[0]) + "' is too large");
      at += previous;
    }
    if (w.size() < 2) return fail("an event must follow the time");
    if (std::string why = LineParser(std::move(w), at, out).parse(); !why.empty()) return fail(why);
    previous = at;
  }
  std::stable_sort(out.begin(), out.end(), [](const TimedEvent& a, const TimedEvent& b) { return a.at < b.at; });
  // Keys pressed while an Alt key is held are Alt combinations, as the
  // window reports them.
  constexpr int kVkAlt = 0x12;
  bool alt = false;
  for (TimedEvent& t : out) {
    Event& ev = t.event;
    if (ev.type != Event::Type::KeyDown && ev.type != Event::Type::KeyUp) continue;
    if (ev.vk == kVkAlt) alt = ev.type == Event::Type::KeyDown;
    ev.alt = alt;
  }
  *events = std::move(out);
  return true;
}

bool load_input_script(const std::string& path, std::vector<TimedEvent>* events, std::string* error) {
  if (native_is_directory(path)) {
    *error = path + ": is a folder, not an input script";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = path + ": cannot read the input script: " + std::strerror(errno);
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (parse_input_script(text.str(), events, error)) return true;
  *error = path + ", " + *error;
  return false;
}

}  // namespace plat
