// The host with a real window: SDL2 window and renderer. The front buffer
// is uploaded to a streaming texture (only the rows that changed) and drawn
// scaled to the window, letterboxed to keep the game's proportions.
#include <SDL.h>

#include <cstring>

#include "platform/encoding.h"
#include "platform/host.h"
#include "platform/keymap.h"

namespace plat {
namespace {

class SdlHost final : public Host {
 public:
  explicit SdlHost(std::optional<Answer> answer) : answer_(answer) {}

  ~SdlHost() override {
    close_window();
    if (screen_saver_inhibited_) SDL_EnableScreenSaver();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }

  bool start() { return SDL_InitSubSystem(SDL_INIT_VIDEO) == 0; }

  bool headless() const override { return false; }

  bool open_window(const WindowConfig& config) override {
    width_ = config.client_width;
    height_ = config.client_height;
    int scale = config.scale < 1 ? 1 : config.scale;
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, config.linear_filter ? "linear" : "nearest");
    Uint32 flags = SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
    if (config.fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    window_ = SDL_CreateWindow(sjis_to_utf8(config.title).c_str(), SDL_WINDOWPOS_CENTERED,
                               SDL_WINDOWPOS_CENTERED, width_ * scale, height_ * scale, flags);
    if (!window_) return false;
    renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    if (!renderer_) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
    if (!renderer_) return false;
    SDL_RenderSetLogicalSize(renderer_, width_, height_);
    texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_BGR24, SDL_TEXTUREACCESS_STREAMING, width_, height_);
    if (!texture_) return false;
    fullscreen_ = config.fullscreen;
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    SDL_RenderPresent(renderer_);
    return true;
  }

  void close_window() override {
    if (texture_) SDL_DestroyTexture(texture_);
    if (renderer_) SDL_DestroyRenderer(renderer_);
    if (window_) SDL_DestroyWindow(window_);
    texture_ = nullptr;
    renderer_ = nullptr;
    window_ = nullptr;
  }

  void set_title(std::string_view sjis_title) override {
    if (window_) SDL_SetWindowTitle(window_, sjis_to_utf8(sjis_title).c_str());
  }

  Answer message_box(std::string_view caption, std::string_view text, Buttons buttons, Icon icon) override {
    std::string c = sjis_to_utf8(caption), t = sjis_to_utf8(text);
    SDL_MessageBoxButtonData data[2];
    int count = 0;
    auto add = [&](Answer a, const char* label, Uint32 flags) {
      data[count].flags = flags;
      data[count].buttonid = static_cast<int>(a);
      data[count].text = label;
      ++count;
    };
    const Uint32 kReturn = SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
    const Uint32 kEscape = SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
    switch (buttons) {
      case Buttons::Ok: add(Answer::Ok, "OK", kReturn | kEscape); break;
      case Buttons::OkCancel: add(Answer::Ok, "OK", kReturn), add(Answer::Cancel, "Cancel", kEscape); break;
      case Buttons::YesNo: add(Answer::Yes, "Yes", kReturn), add(Answer::No, "No", kEscape); break;
      case Buttons::RetryCancel: add(Answer::Retry, "Retry", kReturn), add(Answer::Cancel, "Cancel", kEscape); break;
    }
    Uint32 flags = icon == Icon::Error     ? SDL_MESSAGEBOX_ERROR
                   : icon == Icon::Warning ? SDL_MESSAGEBOX_WARNING
                                           : SDL_MESSAGEBOX_INFORMATION;
    SDL_MessageBoxData box{flags, window_, c.c_str(), t.c_str(), count, data, nullptr};
    int pressed = -1;
    if (SDL_ShowMessageBox(&box, &pressed) != 0 || pressed < 0) return choose_answer(buttons, answer_);
    return static_cast<Answer>(pressed);
  }

  void set_clipboard(std::string_view sjis_text) override { SDL_SetClipboardText(sjis_to_utf8(sjis_text).c_str()); }

  void present(const FrameView& frame, int dirty_top, int dirty_bottom) override {
    keep_frame(frame);
    if (!texture_ || frame.width != width_ || frame.height != height_) return;
    if (dirty_top < 0) dirty_top = 0;
    if (dirty_bottom > frame.height) dirty_bottom = frame.height;
    if (dirty_top < dirty_bottom) {
      SDL_Rect band{0, dirty_top, frame.width, dirty_bottom - dirty_top};
      SDL_UpdateTexture(texture_, &band, frame.pixels + static_cast<ptrdiff_t>(frame.stride) * dirty_top,
                        frame.stride);
    }
    SDL_RenderClear(renderer_);
    SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
    SDL_RenderPresent(renderer_);
  }

  const std::vector<uint8_t>& last_frame(int* width, int* height) const override {
    *width = frame_width_;
    *height = frame_height_;
    return frame_;
  }

  void poll_events(std::vector<Event>& out) override {
    SDL_Event ev;
    while (SDL_PollEvent(&ev)) translate(ev, out);
  }

  void set_fullscreen(bool on) override {
    if (!window_) return;
    SDL_SetWindowFullscreen(window_, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    fullscreen_ = on;
  }
  bool fullscreen() const override { return fullscreen_; }

  void inhibit_screen_saver() override {
    if (SDL_IsScreenSaverEnabled()) {
      SDL_DisableScreenSaver();
      screen_saver_inhibited_ = true;
    }
  }

 private:
  void keep_frame(const FrameView& frame) {
    frame_width_ = frame.width;
    frame_height_ = frame.height;
    size_t row = static_cast<size_t>(frame.width) * 3;
    frame_.resize(row * static_cast<size_t>(frame.height));
    for (int y = 0; y < frame.height; ++y)
      std::memcpy(&frame_[row * y], frame.pixels + static_cast<ptrdiff_t>(frame.stride) * y, row);
  }

  // Window pixels to game pixels; SDL's logical size has already removed
  // the scale and the letterbox.
  void game_point(int wx, int wy, int* x, int* y) const {
    *x = wx;
    *y = wy;
    if (wx < 0 || wy < 0 || wx >= width_ || wy >= height_) *x = *y = -1;
  }

  void translate(const SDL_Event& ev, std::vector<Event>& out) {
    Event e;
    switch (ev.type) {
      case SDL_QUIT: e.type = Event::Type::Quit; break;
      case SDL_KEYDOWN:
      case SDL_KEYUP:
        e.type = ev.type == SDL_KEYDOWN ? Event::Type::KeyDown : Event::Type::KeyUp;
        e.vk = virtual_key_from_sdl(ev.key.keysym.sym, ev.key.keysym.scancode);
        e.repeat = ev.key.repeat != 0;
        if (e.vk == 0) return;
        break;
      case SDL_MOUSEMOTION:
        e.type = Event::Type::MouseMove;
        game_point(ev.motion.x, ev.motion.y, &e.x, &e.y);
        break;
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP:
        e.type = ev.type == SDL_MOUSEBUTTONDOWN ? Event::Type::MouseDown : Event::Type::MouseUp;
        e.button = ev.button.button == SDL_BUTTON_LEFT ? 0 : ev.button.button == SDL_BUTTON_RIGHT ? 1 : 2;
        game_point(ev.button.x, ev.button.y, &e.x, &e.y);
        break;
      case SDL_MOUSEWHEEL:
        e.type = Event::Type::MouseWheel;
        e.delta = ev.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -ev.wheel.y : ev.wheel.y;
        break;
      case SDL_DROPFILE:
        e.type = Event::Type::DropFile;
        e.text = utf8_to_sjis(ev.drop.file ? ev.drop.file : "").value_or("");
        SDL_free(ev.drop.file);
        break;
      case SDL_WINDOWEVENT:
        switch (ev.window.event) {
          case SDL_WINDOWEVENT_FOCUS_GAINED: e.type = Event::Type::FocusGained; break;
          case SDL_WINDOWEVENT_FOCUS_LOST: e.type = Event::Type::FocusLost; break;
          case SDL_WINDOWEVENT_EXPOSED:
          case SDL_WINDOWEVENT_SIZE_CHANGED: e.type = Event::Type::Exposed; break;
          default: return;
        }
        break;
      default: return;
    }
    out.push_back(std::move(e));
  }

  std::optional<Answer> answer_;
  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  int width_ = 0, height_ = 0;
  bool fullscreen_ = false;
  bool screen_saver_inhibited_ = false;
  std::vector<uint8_t> frame_;
  int frame_width_ = 0, frame_height_ = 0;
};

}  // namespace

std::unique_ptr<Host> make_sdl_host(std::optional<Answer> answer) {
  auto host = std::make_unique<SdlHost>(answer);
  if (!host->start()) return nullptr;
  return host;
}

}  // namespace plat
