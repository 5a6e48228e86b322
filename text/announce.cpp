#include "text/announce.h"

#include "base/json.h"
#include "base/sjis.h"
#include "core/engine.h"
#include "platform/encoding.h"
#include "platform/line_sink.h"
#include "text/text_state.h"

namespace txt {
namespace {

// Bounds against a script that draws without end and never pauses.
constexpr size_t kMaxText = 64 * 1024;
constexpr size_t kMaxDrawn = 64;

Announcer& announcer(rt::Engine& e) { return e.text->announcer; }
bool listening(rt::Engine& e) { return e.text && !announcer(e).listeners.empty(); }

void tell(rt::Engine& e, const Announcement& a) {
  for (auto& l : announcer(e).listeners) l->announce(a);
}

class TextHook final : public Listener {
 public:
  explicit TextHook(std::unique_ptr<plat::LineSink> sink) : sink_(std::move(sink)) {}
  void announce(const Announcement& a) override { sink_->write_line(announcement_json(a)); }

 private:
  std::unique_ptr<plat::LineSink> sink_;
};

}  // namespace

std::string announcement_json(const Announcement& a) {
  auto quoted = [](const std::string& sjis) { return base::json_quote(plat::sjis_to_utf8(sjis)); };
  if (a.kind == Announcement::Kind::Choices) {
    std::string out = "{\"type\":\"choices\",\"items\":[";
    for (size_t i = 0; i < a.items.size(); ++i) {
      if (i) out += ',';
      out += quoted(a.items[i]);
    }
    return out + "]}";
  }
  return "{\"type\":\"line\",\"speaker\":" + quoted(a.speaker) + ",\"text\":" + quoted(a.text) + "}";
}

bool attach_text_hook(rt::Engine& e, std::string_view spec, bool from_settings, std::string* error) {
  auto sink = plat::LineSink::open(
      spec, from_settings ? plat::LineSink::Origin::SettingsFile : plat::LineSink::Origin::CommandLine, error);
  if (!sink) return false;
  announcer(e).listeners.push_back(std::make_unique<TextHook>(std::move(sink)));
  return true;
}

void announce_drawn(rt::Engine& e, std::string_view line) {
  if (!listening(e)) return;
  Announcer& a = announcer(e);
  if (a.text.size() + line.size() <= kMaxText) a.text.append(line);
}

void announce_newline(rt::Engine& e) {
  if (!listening(e)) return;
  Announcer& a = announcer(e);
  if (!a.text.empty() && a.text.back() != '\n') a.text += '\n';
}

void announce_speaker(rt::Engine& e, std::string_view name) {
  if (!listening(e)) return;
  // A new speaker begins a new line even where the game did not pause.
  if (!announcer(e).text.empty()) announce_page_end(e);
  announcer(e).speaker = std::string(name);
}

void announce_page_end(rt::Engine& e) {
  if (!listening(e)) return;
  Announcer& a = announcer(e);
  while (!a.text.empty() && a.text.back() == '\n') a.text.pop_back();
  if (!a.text.empty()) {
    Announcement line;
    line.speaker = std::move(a.speaker);
    line.text = std::move(a.text);
    tell(e, line);
  }
  a.speaker.clear();
  a.text.clear();
  a.drawn.clear();
}

void announce_fontout(rt::Engine& e, std::string_view text) {
  if (!listening(e) || text.empty()) return;
  Announcer& a = announcer(e);
  if (a.drawn.size() < kMaxDrawn) a.drawn.emplace_back(base::sjis_clip(text, kMaxText));
}

void announce_region_added(rt::Engine& e) {
  if (listening(e)) announcer(e).regions_added = true;
}

void announce_region_events(rt::Engine& e, size_t region_count) {
  if (!listening(e)) return;
  Announcer& a = announcer(e);
  if (!a.regions_added || region_count < 2) return;
  a.regions_added = false;
  if (a.drawn.empty()) return;
  std::vector<std::string> items = std::move(a.drawn);
  announce_page_end(e);  // a line still open comes first
  Announcement choices;
  choices.kind = Announcement::Kind::Choices;
  choices.items = std::move(items);
  tell(e, choices);
}

}  // namespace txt
