// The story text as the player receives it, told to outside listeners
// (the text hook's reader, the self-voicing output) as whole units:
//
// - a line: everything the console draws from the start of a page or the
//   last pause up to the next pause (`p`), wipe (`w`, console_cls) or full
//   box, which is where the reader is asked to click. Lines broken by width
//   are joined as they stand; an explicit newline (`n`) becomes "\n". A
//   speaker name split off before a quotation goes with the line it starts.
// - choices: the strings drawn with fontout since the last line, told when
//   a script that has added at least two click regions first asks for their
//   events. Choices shown as pictures without text are not seen.
//
// Replays of the backlog are not told again. Nothing is collected while no
// listener is attached.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace rt { struct Engine; }

namespace txt {

struct Announcement {
  enum class Kind { Line, Choices } kind = Kind::Line;
  std::string speaker;             // Shift-JIS; empty when none
  std::string text;                // Shift-JIS
  std::vector<std::string> items;  // Shift-JIS; choices
};

class Listener {
 public:
  virtual ~Listener() = default;
  virtual void announce(const Announcement& a) = 0;
};

struct Announcer {
  std::vector<std::unique_ptr<Listener>> listeners;
  Listener* voice = nullptr;       // the self-voicing listener among them, once made
  bool speaking = false;           // self-voicing on
  std::string speaker;
  std::string text;
  std::vector<std::string> drawn;  // fontout strings since the last line
  bool regions_added = false;
};

// One JSON object on one line, in UTF-8:
// {"type":"line","speaker":"...","text":"..."} or {"type":"choices","items":[...]}.
std::string announcement_json(const Announcement& a);

// A listener that writes announcement_json lines to a file or socket
// (platform/line_sink.h). `spec` is "unix:PATH" or a path; false with the
// reason in `error` when it cannot be used.
bool attach_text_hook(rt::Engine& e, std::string_view spec, bool from_settings, std::string* error);

// Self-voicing: on or off (Alt+S, --speak, the settings value Speak). The
// speech output is opened when first turned on; false when there is none
// (said on stderr once).
bool set_self_voicing(rt::Engine& e, bool on);
bool self_voicing(rt::Engine& e);

// --- Reports from the console, fontout and the click regions -----------------------
void announce_drawn(rt::Engine& e, std::string_view line);  // a console line was drawn
void announce_newline(rt::Engine& e);
void announce_speaker(rt::Engine& e, std::string_view name);
void announce_page_end(rt::Engine& e);                      // pause, wipe, full box
void announce_fontout(rt::Engine& e, std::string_view text);
void announce_region_added(rt::Engine& e);
void announce_region_events(rt::Engine& e, size_t region_count);

}  // namespace txt
