// Self-voicing: each line and set of choices the text hook would write is
// spoken instead through the system's speech output, a new one cutting off
// the one before. The language is guessed from the text: plain ASCII is a
// translated game ("en"), anything else Japanese ("ja").
#include <cstdio>

#include "core/engine.h"
#include "platform/encoding.h"
#include "platform/speech.h"
#include "text/announce.h"
#include "text/text_state.h"

namespace txt {
namespace {

bool is_ascii(std::string_view s) {
  for (unsigned char ch : s)
    if (ch >= 0x80) return false;
  return true;
}

class Voice final : public Listener {
 public:
  Voice(std::unique_ptr<plat::Speech> speech, const bool* on) : speech_(std::move(speech)), on_(on) {}

  void announce(const Announcement& a) override {
    std::string said;  // Shift-JIS
    if (a.kind == Announcement::Kind::Choices) {
      for (const std::string& item : a.items) {
        if (!said.empty()) said += is_ascii(item) ? ". " : "\x81\x41";  // "、"
        said += item;
      }
    } else {
      said = a.speaker.empty() ? a.text : a.speaker + (is_ascii(a.speaker) ? ": " : "\x81\x41") + a.text;
    }
    last_ = said;
    if (*on_) say(said);
  }

  // A line break is a pause in the text, not a new message.
  void say(const std::string& sjis) {
    if (sjis.empty()) return;
    std::string utf8 = plat::sjis_to_utf8(sjis);
    for (char& ch : utf8)
      if (ch == '\n') ch = ' ';
    speech_->say(utf8, is_ascii(sjis) ? "en" : "ja");
  }
  void stop() { speech_->stop(); }
  const std::string& last() const { return last_; }

 private:
  std::unique_ptr<plat::Speech> speech_;
  const bool* on_;
  std::string last_;  // what was last told, said again when speech is turned on
};

}  // namespace

bool set_self_voicing(rt::Engine& e, bool on) {
  if (!e.text) return false;
  Announcer& a = e.text->announcer;
  if (on && !a.voice) {
    std::string why;
    std::unique_ptr<plat::Speech> speech =
        e.options.headless ? plat::Speech::open_recorder() : plat::Speech::open_system(&why);
    if (!speech) {
      if (e.reported_once.insert("self-voicing").second)
        std::fprintf(stderr, "quorel: self-voicing is not available: %s\n", why.c_str());
      return false;
    }
    auto voice = std::make_unique<Voice>(std::move(speech), &a.speaking);
    a.voice = voice.get();
    a.listeners.push_back(std::move(voice));
  }
  if (!a.voice || on == a.speaking) return true;
  a.speaking = on;
  Voice& voice = static_cast<Voice&>(*a.voice);
  if (on) voice.say(voice.last());
  else voice.stop();
  return true;
}

bool self_voicing(rt::Engine& e) { return e.text && e.text->announcer.speaking; }

}  // namespace txt
