// The host without a display: frames are kept in memory, message boxes are
// printed on stderr and answered as the command line says.
#include <cstdio>
#include <cstring>

#include "platform/encoding.h"
#include "platform/host.h"

namespace plat {
namespace {

const char* buttons_name(Buttons b) {
  switch (b) {
    case Buttons::Ok: return "ok";
    case Buttons::OkCancel: return "ok/cancel";
    case Buttons::YesNo: return "yes/no";
    case Buttons::RetryCancel: return "retry/cancel";
  }
  return "ok";
}

// One line: line breaks are written as the two characters "\n".
std::string one_line(std::string_view sjis) {
  std::string utf8 = sjis_to_utf8(sjis);
  std::string out;
  for (char c : utf8) {
    if (c == '\n') out += "\\n";
    else if (c != '\r') out += c;
  }
  return out;
}

class HeadlessHost final : public Host {
 public:
  explicit HeadlessHost(std::optional<Answer> answer) : answer_(answer) {}

  bool headless() const override { return true; }
  bool open_window(const WindowConfig& config) override {
    fullscreen_ = config.fullscreen;
    return true;
  }
  void close_window() override {}
  void set_title(std::string_view) override {}

  Answer message_box(std::string_view caption, std::string_view text, Buttons buttons, Icon) override {
    Answer a = choose_answer(buttons, answer_);
    std::string line = "message box: " + one_line(caption) + " | " + one_line(text) + " | " +
                       buttons_name(buttons) + " -> " + answer_name(a) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    return a;
  }

  void set_clipboard(std::string_view) override {}

  void present(const FrameView& frame, int, int) override {
    width_ = frame.width;
    height_ = frame.height;
    size_t row = static_cast<size_t>(frame.width) * 3;
    frame_.resize(row * static_cast<size_t>(frame.height));
    for (int y = 0; y < frame.height; ++y)
      std::memcpy(&frame_[row * y], frame.pixels + static_cast<ptrdiff_t>(frame.stride) * y, row);
  }

  const std::vector<uint8_t>& last_frame(int* width, int* height) const override {
    *width = width_;
    *height = height_;
    return frame_;
  }

  void poll_events(std::vector<Event>&) override {}
  void set_fullscreen(bool on) override { fullscreen_ = on; }
  bool fullscreen() const override { return fullscreen_; }
  void inhibit_screen_saver() override {}

 private:
  std::optional<Answer> answer_;
  std::vector<uint8_t> frame_;
  int width_ = 0, height_ = 0;
  bool fullscreen_ = false;
};

}  // namespace

std::unique_ptr<Host> make_headless_host(std::optional<Answer> answer) {
  return std::make_unique<HeadlessHost>(answer);
}

}  // namespace plat
