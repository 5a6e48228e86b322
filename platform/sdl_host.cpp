// The host with a real window: SDL2 window and renderer. The front buffer
// is uploaded to a streaming texture (only the rows that changed) and drawn,
// with the layers over it, scaled to the window, letterboxed to keep the game's proportions; the
// window can be resized freely and put in desktop full screen. Mouse
// positions are mapped back through the same letterbox; game controllers
// are opened as they are plugged in and their buttons become keys.
#include <SDL.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/encoding.h"
#include "platform/host.h"
#include "platform/keymap.h"
#include "platform/painter.h"

namespace plat {
namespace {

// OpenGL pays for its memory and start-up only with a GPU behind it: a
// render node of the kernel's DRM. Without one (a virtual X server, a
// container, a remote session) it would rasterise on the CPU, slower than
// SDL's software path.
bool gpu_available() {
  for (int i = 128; i < 192; ++i)
    if (access(("/dev/dri/renderD" + std::to_string(i)).c_str(), R_OK | W_OK) == 0) return true;
  return false;
}

class SdlHost final : public Host {
 public:
  explicit SdlHost(std::optional<Answer> answer) : answer_(answer) {}

  ~SdlHost() override {
    close_window();
    for (SDL_GameController* pad : pads_) SDL_GameControllerClose(pad);
    if (pads_started_) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
    if (screen_saver_inhibited_) SDL_EnableScreenSaver();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }

  bool start() {
    // The engine handles SIGINT and SIGTERM itself (a clean quit).
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    return SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
  }

  bool headless() const override { return false; }

  bool open_window(const WindowConfig& config) override {
    width_ = config.client_width;
    height_ = config.client_height;
    scene_.game_width = width_;
    scene_.game_height = height_;
    linear_ = config.linear_filter;
    int scale = config.scale < 1 ? 1 : config.scale;
    scale_ = scale;
    // Focus loss is the engine's business (it leaves full screen itself).
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    software_ = config.renderer == Renderer::Software || (config.renderer == Renderer::Auto && !gpu_available());
    Uint32 flags = SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
    // Made for OpenGL from the start, so that the renderer does not replace
    // the window with another one.
    if (!software_) flags |= SDL_WINDOW_OPENGL;
    if (config.fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    int x = config.x ? *config.x : static_cast<int>(SDL_WINDOWPOS_CENTERED);
    int y = config.y ? *config.y : static_cast<int>(SDL_WINDOWPOS_CENTERED);
    window_ = SDL_CreateWindow(sjis_to_utf8(config.title).c_str(), x, y, width_ * scale, height_ * scale, flags);
    if (!window_ && !software_) {
      // No OpenGL on this display: the software path it is.
      software_ = true;
      flags &= ~static_cast<Uint32>(SDL_WINDOW_OPENGL);
      window_ = SDL_CreateWindow(sjis_to_utf8(config.title).c_str(), x, y, width_ * scale, height_ * scale, flags);
    }
    if (!window_) return false;
    // The saved position is the frame's corner; SDL places the client area.
    if (config.x && config.y && !config.fullscreen) {
      int top = 0, left = 0;
      if (SDL_GetWindowBordersSize(window_, &top, &left, nullptr, nullptr) == 0 && (top || left))
        SDL_SetWindowPosition(window_, *config.x + left, *config.y + top);
    }
    if (!make_renderer()) return false;
    // Scaling and letterbox are done here (render, game_point) rather than
    // by SDL's logical size, whose mouse mapping rounds the left and top
    // border into the picture.
    fullscreen_ = config.fullscreen;
    windowed_ = {static_cast<int>(SDL_WINDOWPOS_CENTERED), static_cast<int>(SDL_WINDOWPOS_CENTERED), width_ * scale,
                 height_ * scale};
    if (fullscreen_) cover_display();
    render();
    return true;
  }

  void close_window() override {
    painter_.reset();
    if (renderer_) SDL_DestroyRenderer(renderer_);
    if (window_) SDL_DestroyWindow(window_);
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
    std::optional<Answer> answer;
    // A fixed --answer answers every box unseen: a scripted run in a window
    // has nobody to press a button and must not wait for one.
    if (!answer_ && SDL_ShowMessageBox(&box, &pressed) == 0 && pressed >= 0) answer = static_cast<Answer>(pressed);
    // Where the desktop cannot show a box (no helper program, a bare X
    // server), it is shown over the game instead of being answered unseen.
    if (!answer && !answer_ && box_fallback_) answer = box_fallback_(caption, text, buttons, icon);
    const Answer a = answer.value_or(choose_answer(buttons, answer_));
    write_box_line(caption, text, buttons, a);
    return a;
  }

  void set_box_fallback(BoxFallback fallback) override { box_fallback_ = std::move(fallback); }

  void set_topmost(bool on) override {
    if (window_) SDL_SetWindowAlwaysOnTop(window_, on ? SDL_TRUE : SDL_FALSE);
  }

  std::vector<DisplayMode> display_modes() const override {
    std::vector<DisplayMode> modes;
    const int display = window_ ? std::max(0, SDL_GetWindowDisplayIndex(window_)) : 0;
    const int n = SDL_GetNumDisplayModes(display);
    for (int i = 0; i < n; ++i) {
      SDL_DisplayMode m;
      if (SDL_GetDisplayMode(display, i, &m) != 0) continue;
      DisplayMode d{m.w, m.h, static_cast<int>(SDL_BITSPERPIXEL(m.format)), m.refresh_rate};
      // The same size, depth and rate in another pixel layout is one mode to the player.
      if (std::find(modes.begin(), modes.end(), d) == modes.end()) modes.push_back(d);
    }
    return modes;
  }

  void set_view(int scale, bool linear_filter) override {
    if (scale < 1) scale = 1;
    if (linear_filter != linear_) {
      linear_ = linear_filter;
      // The textures take the filter when they are made: a new painter makes them again.
      if (painter_) painter_ = std::make_unique<Painter>(renderer_, linear_);
    }
    scale_ = scale;
    if (fullscreen_) {
      windowed_.w = width_ * scale;
      windowed_.h = (height_ + scene_.band) * scale;
    } else if (window_) {
      SDL_SetWindowSize(window_, width_ * scale, (height_ + scene_.band) * scale);
    }
    whole_ = true;
    render();
  }

  void resize_window(int w, int h) override {
    if (window_ && !fullscreen_) SDL_SetWindowSize(window_, w, h);
  }

  void set_menu_band(int rows) override {
    if (rows < 0) rows = 0;
    if (rows == scene_.band) return;
    // Windowed, the window grows by the band so that the picture keeps its
    // size; in full screen the size to go back to does, so that the band
    // is not added twice on the way back.
    if (window_ && !fullscreen_) {
      int w = 0, h = 0;
      SDL_GetWindowSize(window_, &w, &h);
      SDL_SetWindowSize(window_, w, h + (rows - scene_.band) * scale_);
    } else if (fullscreen_) {
      windowed_.h = std::max(1, windowed_.h + (rows - scene_.band) * scale_);
    }
    scene_.band = rows;
    render();
  }

  void set_ui_texture(int texture, const UiImage& image) override { scene_.set_ui_texture(texture, image); }

  void set_ui(const UiDrawing* drawing) override {
    scene_.set_ui(drawing);
    render();
  }

  void set_clipboard(std::string_view sjis_text) override { SDL_SetClipboardText(sjis_to_utf8(sjis_text).c_str()); }

  void present(const FrameView& frame, int dirty_top, int dirty_bottom) override {
    scene_.take_frame(frame, dirty_top, dirty_bottom);
    render();
    // Controllers after the first picture: the scan of the input devices
    // and SDL's table of controller mappings need not delay it. Those
    // already plugged in arrive as device-added events, as later ones do.
    if (!pads_tried_) {
      pads_tried_ = true;
      // Without controller support the game is still played with keys.
      pads_started_ = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
    }
  }

  void set_layer(Layer layer, const LayerPicture* picture) override {
    scene_.set_layer(layer, picture);
    render();
  }

  bool presented(Bitmap& out) override { return window_ && paint_to_bitmap(scene_, out); }

  const char* renderer_name() const override {
    if (!renderer_) return "none";
    return software_ ? "software" : "gpu";
  }

  void poll_events(std::vector<Event>& out) override {
    SDL_Event ev;
    while (SDL_PollEvent(&ev)) translate(ev, out);
  }

  // The event stays queued for poll_events.
  void wait_event(uint32_t ms) override {
    SDL_WaitEventTimeout(nullptr, static_cast<int>(std::min<uint32_t>(ms, 0x7FFFFFFF)));
  }

  bool set_fullscreen(bool on) override {
    if (!window_) return false;
    if (on && !fullscreen_) {
      SDL_GetWindowPosition(window_, &windowed_.x, &windowed_.y);
      SDL_GetWindowSize(window_, &windowed_.w, &windowed_.h);
      cover_display();
    }
    if (SDL_SetWindowFullscreen(window_, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0) return false;
    if (!on && fullscreen_) {
      SDL_SetWindowSize(window_, windowed_.w, windowed_.h);
      SDL_SetWindowPosition(window_, windowed_.x, windowed_.y);
    }
    fullscreen_ = on;
    whole_ = true;
    render();
    return true;
  }
  bool fullscreen() const override { return fullscreen_; }

  std::optional<ScreenRect> window_rect() const override {
    if (!window_) return std::nullopt;
    ScreenRect r;
    SDL_GetWindowPosition(window_, &r.x, &r.y);
    SDL_GetWindowSize(window_, &r.w, &r.h);
    int top = 0, left = 0, bottom = 0, right = 0;
    if (SDL_GetWindowBordersSize(window_, &top, &left, &bottom, &right) == 0) {
      r.x -= left, r.y -= top;
      r.w += left + right, r.h += top + bottom;
    }
    return r;
  }

  ScreenRect virtual_screen() const override {
    int n = SDL_GetNumVideoDisplays();
    SDL_Rect all{0, 0, 0, 0};
    for (int i = 0; i < n; ++i) {
      SDL_Rect d;
      if (SDL_GetDisplayBounds(i, &d) != 0) continue;
      if (all.w == 0) all = d;
      else SDL_UnionRect(&all, &d, &all);
    }
    return {all.x, all.y, all.w, all.h};
  }

  ScreenRect primary_screen() const override {
    SDL_Rect d{0, 0, 0, 0};
    SDL_GetDisplayBounds(0, &d);
    return {d.x, d.y, d.w, d.h};
  }

  bool has_focus() const override {
    return window_ && (SDL_GetWindowFlags(window_) & SDL_WINDOW_INPUT_FOCUS) != 0;
  }

  void inhibit_screen_saver() override {
    if (SDL_IsScreenSaverEnabled()) {
      SDL_DisableScreenSaver();
      screen_saver_inhibited_ = true;
    }
  }

 private:
  // No vertical sync: the engine paces its own frames. The software path
  // draws into the window's own surface (no OpenGL behind it either) and
  // sends the X server only the rows that changed.
  bool make_renderer() {
    if (software_) {
      SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
      renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
      if (!renderer_) software_ = false;
    }
    if (!renderer_) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_ACCELERATED);
    if (!renderer_) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
    if (!renderer_) return false;
    // Without OpenGL, SDL falls back on its software renderer, which also
    // draws into the window surface.
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(renderer_, &info) == 0) software_ = (info.flags & SDL_RENDERER_SOFTWARE) != 0;
    painter_ = std::make_unique<Painter>(renderer_, linear_);
    whole_ = true;
    return true;
  }

  // The paint: the picture at its shift in the game area, black where it
  // does not reach and around the letterbox; white before any picture.
  void render() {
    if (!renderer_) return;
    // What changed, in game rows; the whole window after anything else.
    int top = scene_.dirty_top, bottom = scene_.dirty_bottom;
    // Menus and dialogs change without telling which rows: while one shows
    // (and once after), the whole window.
    bool whole = whole_ || !scene_.has_frame || scene_.shift_x != painted_shift_x_ ||
                 scene_.shift_y != painted_shift_y_ || scene_.band != painted_band_ || scene_.ui_shown ||
                 painted_ui_;
    for (const Scene::LayerState& l : scene_.layers) whole |= l.changed;
    whole_ = false;
    painted_shift_x_ = scene_.shift_x, painted_shift_y_ = scene_.shift_y;
    painted_band_ = scene_.band;
    painted_ui_ = scene_.ui_shown;
    SDL_RenderSetViewport(renderer_, nullptr);
    SDL_RenderSetScale(renderer_, 1.0f, 1.0f);
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    // From here on, coordinates are game pixels inside the letterbox.
    int out_w = 0, out_h = 0;
    SDL_GetRendererOutputSize(renderer_, &out_w, &out_h);
    Viewport v = fit_game(out_w, out_h, width_, view_height());
    SDL_Rect box{v.x, v.y, v.w, v.h};
    SDL_RenderSetViewport(renderer_, &box);
    // A hundredth of a pixel over: the software renderer truncates the
    // scaled rectangles, and 1.4 in a float is a hair under 1.4, which
    // would leave the last rows of the window black.
    SDL_RenderSetScale(renderer_, static_cast<float>((v.w + 0.01) / width_),
                       static_cast<float>((v.h + 0.01) / view_height()));
    painter_->paint(scene_);
    if (!software_) {
      SDL_RenderPresent(renderer_);
      return;
    }
    SDL_RenderFlush(renderer_);
    if (whole) {
      SDL_UpdateWindowSurface(window_);
      return;
    }
    if (top >= bottom) return;
    // The band in window pixels, a row wider each way for a smoothing filter.
    const int64_t rows = view_height();
    top += scene_.band, bottom += scene_.band;
    int y0 = v.y + static_cast<int>(top * v.h / rows) - 1;
    int y1 = v.y + static_cast<int>((bottom * v.h + rows - 1) / rows) + 1;
    y0 = std::max(y0, 0);
    y1 = std::min(y1, out_h);
    if (y0 >= y1) return;
    SDL_Rect band{v.x, y0, v.w, y1 - y0};
    SDL_UpdateWindowSurfaceRects(window_, &band, 1);
  }

  int view_height() const { return height_ + scene_.band; }

  // Window pixels (SDL's window units) to game pixels: the menu band above
  // the game area has negative rows; the letterbox border lies outside.
  void game_point(int wx, int wy, int* x, int* y) const {
    int w = 0, h = 0;
    if (window_) SDL_GetWindowSize(window_, &w, &h);
    *x = *y = -1;
    if (!window_to_game(wx, wy, w, h, width_, view_height(), x, y)) {
      *y = -scene_.band - 1;
      return;
    }
    *y -= scene_.band;
  }

  void pad_added(int device) {
    if (!SDL_IsGameController(device)) return;
    if (SDL_GameController* pad = SDL_GameControllerOpen(device)) pads_.push_back(pad);
  }

  void pad_removed(SDL_JoystickID id) {
    for (size_t i = 0; i < pads_.size(); ++i)
      if (SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(pads_[i])) == id) {
        SDL_GameControllerClose(pads_[i]);
        pads_.erase(pads_.begin() + static_cast<ptrdiff_t>(i));
        return;
      }
  }

 public:
  void show_cursor(bool shown) override { SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE); }

  void move_cursor(int game_x, int game_y) override {
    if (!window_) return;
    int w = 0, h = 0, x = 0, y = 0;
    SDL_GetWindowSize(window_, &w, &h);
    game_to_window(game_x, game_y + scene_.band, w, h, width_, view_height(), &x, &y);
    SDL_WarpMouseInWindow(window_, x, y);
  }

  void confine_cursor(bool on) override {
    if (!window_) return;
    if (!on) {
      SDL_SetWindowMouseRect(window_, nullptr);
      return;
    }
    int w = 0, h = 0;
    SDL_GetWindowSize(window_, &w, &h);
    Viewport v = fit_game(w, h, width_, view_height());
    const int band = static_cast<int>(static_cast<long long>(scene_.band) * v.h / view_height());
    SDL_Rect r{v.x, v.y + band, v.w, v.h - band};
    SDL_SetWindowMouseRect(window_, &r);
  }

 private:

  void translate(const SDL_Event& ev, std::vector<Event>& out) {
    Event e;
    switch (ev.type) {
      case SDL_QUIT: e.type = Event::Type::Quit; break;
      case SDL_KEYDOWN:
      case SDL_KEYUP:
        e.type = ev.type == SDL_KEYDOWN ? Event::Type::KeyDown : Event::Type::KeyUp;
        e.vk = virtual_key_from_sdl(ev.key.keysym.sym, ev.key.keysym.scancode);
        e.repeat = ev.key.repeat != 0;
        e.alt = (ev.key.keysym.mod & KMOD_ALT) != 0;
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
        e.clicks = ev.button.clicks;
        break;
      case SDL_MOUSEWHEEL:
        e.type = Event::Type::MouseWheel;
        e.delta = ev.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -ev.wheel.y : ev.wheel.y;
        break;
      case SDL_CONTROLLERDEVICEADDED: pad_added(ev.cdevice.which); return;
      case SDL_CONTROLLERDEVICEREMOVED: pad_removed(ev.cdevice.which); return;
      case SDL_CONTROLLERBUTTONDOWN:
      case SDL_CONTROLLERBUTTONUP:
        e.type = ev.type == SDL_CONTROLLERBUTTONDOWN ? Event::Type::KeyDown : Event::Type::KeyUp;
        e.vk = virtual_key_from_pad(ev.cbutton.button);
        if (e.vk == 0) return;
        break;
      case SDL_DROPFILE:
        e.type = Event::Type::DropFile;
        e.text = utf8_to_sjis(ev.drop.file ? ev.drop.file : "").value_or("");
        SDL_free(ev.drop.file);
        break;
      case SDL_DISPLAYEVENT: e.type = Event::Type::DisplayChanged; break;
      case SDL_TEXTINPUT:
        e.type = Event::Type::TextInput;
        e.text = ev.text.text;
        break;
      case SDL_WINDOWEVENT:
        switch (ev.window.event) {
          case SDL_WINDOWEVENT_FOCUS_GAINED: e.type = Event::Type::FocusGained; break;
          case SDL_WINDOWEVENT_FOCUS_LOST: e.type = Event::Type::FocusLost; break;
          case SDL_WINDOWEVENT_EXPOSED:
          case SDL_WINDOWEVENT_SIZE_CHANGED:
            whole_ = true;
            render();
            e.type = Event::Type::Exposed;
            break;
          case SDL_WINDOWEVENT_MINIMIZED: e.type = Event::Type::Minimized; break;
          default: return;
        }
        break;
      default: return;
    }
    out.push_back(std::move(e));
  }

  std::optional<Answer> answer_;
  BoxFallback box_fallback_;
  int scale_ = 1;
  // The window is also moved over the whole display for full screen, so
  // that X servers without a window manager, which ignore the request, show
  // the picture whole; `windowed_` is where it goes back to.
  void cover_display() {
    SDL_Rect d;
    if (SDL_GetDisplayBounds(std::max(0, SDL_GetWindowDisplayIndex(window_)), &d) != 0) return;
    SDL_SetWindowPosition(window_, d.x, d.y);
    SDL_SetWindowSize(window_, d.w, d.h);
  }

  SDL_Rect windowed_{};
  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  std::unique_ptr<Painter> painter_;
  Scene scene_;
  bool software_ = false;  // drawing into the window surface, not with OpenGL
  bool whole_ = true;      // the next paint updates the whole window
  int painted_shift_x_ = 0, painted_shift_y_ = 0;
  int painted_band_ = 0;
  bool painted_ui_ = false;
  int width_ = 0, height_ = 0;  // the game's size
  bool linear_ = false;
  bool fullscreen_ = false;
  bool screen_saver_inhibited_ = false;
  bool pads_tried_ = false;
  bool pads_started_ = false;
  std::vector<SDL_GameController*> pads_;
};

}  // namespace

std::unique_ptr<Host> make_sdl_host(std::optional<Answer> answer) {
  auto host = std::make_unique<SdlHost>(answer);
  if (!host->start()) return nullptr;
  return host;
}

}  // namespace plat
