// The host without a display: frames are kept only for the screenshot of
// what the player would see, message boxes are printed on stderr and
// answered as the command line says, and the window is a rectangle on a
// 1920 x 1080 screen, so that placement is repeatable.
#include <cstdio>

#include "platform/encoding.h"
#include "platform/host.h"
#include "platform/painter.h"

namespace plat {
namespace {

class HeadlessHost final : public Host {
 public:
  explicit HeadlessHost(std::optional<Answer> answer) : answer_(answer) {}

  bool headless() const override { return true; }
  bool open_window(const WindowConfig& config) override {
    fullscreen_ = config.fullscreen;
    scene_.game_width = config.client_width;
    scene_.game_height = config.client_height;
    int scale = config.scale < 1 ? 1 : config.scale;
    window_.w = config.client_width * scale;
    window_.h = config.client_height * scale;
    window_.x = config.x.value_or((kScreen.w - window_.w) / 2);
    window_.y = config.y.value_or((kScreen.h - window_.h) / 2);
    placed_ = config.x.has_value();
    open_ = true;
    return true;
  }
  void close_window() override { open_ = false; }
  void set_title(std::string_view) override {}

  Answer message_box(std::string_view caption, std::string_view text, Buttons buttons, Icon) override {
    Answer a = choose_answer(buttons, answer_);
    write_box_line(caption, text, buttons, a);
    return a;
  }

  void set_clipboard(std::string_view) override {}

  // Frames are kept for --screenshot-presented only.
  void present(const FrameView& frame, int top, int bottom) override { scene_.take_frame(frame, top, bottom); }
  void set_layer(Layer layer, const LayerPicture* picture) override { scene_.set_layer(layer, picture); }
  bool presented(Bitmap& out) override { return open_ && paint_to_bitmap(scene_, out); }
  // The menus are drawn only into what --screenshot-presented shows.
  void set_menu_band(int rows) override { scene_.band = rows < 0 ? 0 : rows; }
  void set_ui_texture(int texture, const UiImage& image) override { scene_.set_ui_texture(texture, image); }
  void set_ui(const UiDrawing* drawing) override { scene_.set_ui(drawing); }

  void poll_events(std::vector<Event>&) override {}
  bool set_fullscreen(bool on) override {
    fullscreen_ = on;
    return true;
  }
  bool fullscreen() const override { return fullscreen_; }
  std::optional<ScreenRect> window_rect() const override {
    // A window the system would have placed has no place of its own here:
    // none is written back, so a headless run does not move the player's
    // next real window to the middle of an imagined screen.
    if (!open_ || !placed_) return std::nullopt;
    return window_;
  }
  ScreenRect virtual_screen() const override { return kScreen; }
  ScreenRect primary_screen() const override { return kScreen; }
  // Nothing to type with: the window never holds the keyboard focus.
  bool has_focus() const override { return false; }
  void inhibit_screen_saver() override {}

  // A common monitor's list, largest first as displays give it.
  std::vector<DisplayMode> display_modes() const override {
    return {{1920, 1080, 32, 60}, {1280, 1024, 32, 75}, {1280, 1024, 32, 60}, {1024, 768, 32, 75},
            {1024, 768, 32, 60},  {1024, 768, 16, 60},  {800, 600, 32, 75},   {800, 600, 32, 60},
            {800, 600, 16, 60},   {640, 480, 32, 75},   {640, 480, 32, 60},   {640, 480, 16, 60}};
  }

  void resize_window(int w, int h) override {
    if (fullscreen_) return;
    window_.w = w;
    window_.h = h;
  }

  void set_view(int scale, bool) override {
    if (fullscreen_ || scale < 1) return;
    window_.w = scene_.game_width * scale;
    window_.h = scene_.game_height * scale;
  }

 private:
  static constexpr ScreenRect kScreen{0, 0, 1920, 1080};
  std::optional<Answer> answer_;
  bool fullscreen_ = false;
  bool open_ = false;
  ScreenRect window_;
  bool placed_ = false;  // at a saved place, not the system's
  Scene scene_;
};

}  // namespace

std::unique_ptr<Host> make_headless_host(std::optional<Answer> answer) {
  return std::make_unique<HeadlessHost>(answer);
}

}  // namespace plat
