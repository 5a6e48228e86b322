// Input scripts (--input=FILE): timed key, mouse and gamepad events that
// stand in for a player, so that a run can be repeated exactly.
//
// One event per line; blank lines and lines starting with '#' are skipped:
//
//   TIME key down|up|press|repeat KEY  KEY: a name (return, space, escape, tab,
//                                    shift, ctrl, capslock, up, down, left,
//                                    right, pageup, pagedown, home, end, insert,
//                                    delete, backspace, f1-f24, a-z, 0-9,
//                                    num0-num9) or a virtual-key number
//   TIME mouse move X Y              X, Y in game pixels
//   TIME mouse down|up|click|double left|right|middle X Y
//   TIME wheel STEPS                 positive: away from the player
//   TIME pad down|up|press BUTTON    a, b, up, down, left, right, lb, rb, start
//   TIME focus on|off
//   TIME quit                        closes the window
//   TIME window W H                  the player sizes the window to W x H
//
// TIME is milliseconds since the run started, or +N: N after the previous
// line. "repeat" is what a held key sends after its first press. "press" and "click" release 20 ms after the press; "double" is a
// click and a second press 40 ms later that the window reports as a double
// click.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/host.h"

namespace plat {

struct TimedEvent {
  uint32_t at = 0;  // ms since the run started
  Event event;
  // Not an event but the window sized by the player, in window units
  // (0: none); the window's own events follow.
  int window_w = 0, window_h = 0;
};

inline constexpr uint32_t kScriptPressMs = 20;

// The events in time order. On a malformed line: false, and `error` says
// which line and why ("line 3: ...").
bool parse_input_script(std::string_view text, std::vector<TimedEvent>* events, std::string* error);
// The same from a file; errors begin with the path ("path, line 3: ...").
bool load_input_script(const std::string& path, std::vector<TimedEvent>* events, std::string* error);

// The virtual-key number of a key name of the input script; -1 when unknown.
int virtual_key_from_name(std::string_view name);

}  // namespace plat
