// The host: everything the engine needs from a desktop session — a window
// that shows frames, message boxes, the clipboard, and input events.
//
// Two implementations: the SDL host (a real window) and the headless host,
// which has no window, prints message boxes on stderr and answers them as
// the command line says, and plays a window on a fixed 1920 x 1080 screen.
// The engine pushes frames and pulls events; it never asks the host which
// one it is, except where the behaviour must differ.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plat {

enum class Buttons { Ok, OkCancel, YesNo, RetryCancel };
enum class Icon { None, Error, Warning, Information, Question };
enum class Answer { Ok, Cancel, Yes, No, Retry };

const char* answer_name(Answer a);
std::optional<Answer> parse_answer(std::string_view word);

// A rectangle on the desktop, in screen coordinates.
struct ScreenRect {
  int x = 0, y = 0, w = 0, h = 0;
};

// How the window's picture is drawn: with the GPU (OpenGL), or by SDL's
// software path straight into the window's surface, which costs far less
// memory and start-up time where there is no GPU to use.
enum class Renderer { Auto, Gpu, Software };

struct WindowConfig {
  std::string title;  // Shift-JIS, as the game names it
  int client_width = 640;
  int client_height = 480;
  int scale = 1;            // initial window size = client size × scale
  bool linear_filter = false;
  Renderer renderer = Renderer::Auto;
  bool fullscreen = false;
  // Top-left corner of the window frame; none: the system's choice.
  std::optional<int> x, y;
};

// A frame to show: 24-bit blue-green-red pixels, rows top-down. No pixels:
// the window is filled white. The picture is drawn at (-shift_x, -shift_y)
// of the game area; what it leaves uncovered is black.
struct FrameView {
  const uint8_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;  // bytes per row
  int shift_x = 0, shift_y = 0;
};

// Packed 24-bit blue-green-red rows.
struct Bitmap {
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;
  int stride() const { return width * 3; }
};

// Layers over the game's picture, bottom to top. They belong to the host's
// view, never to the front buffer: captures, thumbnails and scripts see only
// the game's own pixels.
enum class Layer { Movie };
constexpr int kLayerCount = 1;

// A layer's picture: 24-bit blue-green-red rows, scaled into `to` (game
// pixels). The host copies it.
struct LayerPicture {
  const uint8_t* pixels = nullptr;
  int width = 0, height = 0;
  int stride = 0;
  ScreenRect to;
};

// The menus and dialogs: triangles over the view, which is the menu band
// (while windowed, `set_menu_band` rows above the game area) and the game
// area below it, in game pixels. Texture 0 is the UI's font atlas; the
// others (below kUiTextureCount) are pictures the dialogs show.
struct UiVertex {
  float x = 0, y = 0, u = 0, v = 0;
  uint32_t colour = 0;  // bytes red, green, blue, alpha
};
struct UiCommand {
  float clip_x0 = 0, clip_y0 = 0, clip_x1 = 0, clip_y1 = 0;
  uint32_t first_index = 0, index_count = 0;
  int texture = 0;
};
struct UiDrawing {
  std::vector<UiVertex> vertices;
  std::vector<uint32_t> indices;
  std::vector<UiCommand> commands;
};
// Rows top-down, 4 bytes a pixel: red, green, blue, alpha.
struct UiImage {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;
};
constexpr int kUiTextureCount = 4;

// A mode the display can be switched to. `bits` is the colour depth (0:
// unknown), `refresh` in hertz (0: unknown).
struct DisplayMode {
  int width = 0, height = 0, bits = 0, refresh = 0;
  bool operator==(const DisplayMode&) const = default;
};

// Input and window events, already in the engine's terms.
struct Event {
  enum class Type {
    Quit,          // the window was closed
    KeyDown,       // vk: Windows virtual-key number 0-255
    KeyUp,
    MouseMove,     // x, y in game pixels (outside the game area: negative or beyond its size;
                   // the menu band above it has y from -band to -1)
    MouseDown,     // button: 0 left, 1 right, 2 middle; x, y; clicks: 2 on a double click
    MouseUp,
    MouseWheel,    // delta: positive away from the user
    FocusGained,
    FocusLost,
    DropFile,      // text: the dropped path (Shift-JIS)
    Exposed,       // the window needs repainting
    Minimized,
    DisplayChanged,  // a display was added, removed or turned
    TextInput,     // text: typed characters (UTF-8), for the dialogs' fields
  };
  Type type = Type::Quit;
  int vk = 0;
  int button = 0;
  int x = 0, y = 0;
  int delta = 0;
  int clicks = 1;
  bool repeat = false;
  bool alt = false;   // KeyDown, KeyUp: an Alt key is held
  uint32_t time = 0;  // clock time when the event was taken
  std::string text;
};

class Host {
 public:
  virtual ~Host() = default;

  virtual bool headless() const = 0;
  virtual bool open_window(const WindowConfig& config) = 0;
  virtual void close_window() = 0;
  virtual void set_title(std::string_view sjis_title) = 0;

  // Shows a modal box and returns the button pressed. Caption and text are
  // Shift-JIS.
  virtual Answer message_box(std::string_view sjis_caption, std::string_view sjis_text, Buttons buttons,
                             Icon icon) = 0;
  virtual void set_clipboard(std::string_view sjis_text) = 0;

  // Shows a frame. `dirty_top`/`dirty_bottom` bound the rows that changed
  // since the last call (bottom exclusive); the host may upload only those.
  // The host repaints from what it has on its own when the window is
  // exposed or resized.
  virtual void present(const FrameView& frame, int dirty_top, int dirty_bottom) = 0;

  // How the window is drawn: "gpu", "software", or "none" (headless).
  virtual const char* renderer_name() const { return "none"; }

  // Shows a layer over the picture (nullptr: hides it), repainting the window.
  virtual void set_layer(Layer layer, const LayerPicture* picture) = 0;
  // What the player sees of the game area, at the game's size: the last
  // frame with the layers over it. False before a window was opened.
  virtual bool presented(Bitmap& out) = 0;

  // Takes the events that arrived since the last call.
  virtual void poll_events(std::vector<Event>& out) = 0;
  // Sleeps until an event is waiting or `ms` have passed. Without events
  // (headless) it just sleeps.
  virtual void wait_event(uint32_t ms);

  // Desktop full screen: the picture scaled and letterboxed. False when the
  // switch failed (the window stays as it was).
  virtual bool set_fullscreen(bool on) = 0;
  virtual bool fullscreen() const = 0;
  // The window frame's rectangle while windowed; none without a window.
  virtual std::optional<ScreenRect> window_rect() const = 0;
  // The union of all displays, and the primary display.
  virtual ScreenRect virtual_screen() const = 0;
  virtual ScreenRect primary_screen() const = 0;
  // True while the window has the keyboard focus.
  virtual bool has_focus() const = 0;

  // Screen saver off while the game runs; restored when the host goes away.
  virtual void inhibit_screen_saver() = 0;

  // The mouse cursor over the window: shown or hidden, moved to a game
  // pixel, and held inside the game's picture (while a button is down).
  virtual void show_cursor(bool shown) {}
  virtual void move_cursor(int game_x, int game_y) {}
  virtual void confine_cursor(bool on) {}

  // Keeps the window above all others.
  virtual void set_topmost(bool on) {}

  // The modes of the display the window is on (headless: those of a
  // common monitor), in the order the display gives them.
  virtual std::vector<DisplayMode> display_modes() const = 0;
  // The window's size as a multiple of the game's (windowed; full screen
  // keeps filling the display) and the scaling filter, changed at once.
  virtual void set_view(int scale, bool linear_filter) {}
  // The window sized as the player would size it by its frame (windowed only).
  virtual void resize_window(int w, int h) {}

  // The menus and dialogs (shell/overlay.h). While windowed the window
  // grows by `rows` above the game area for the menu bar.
  virtual void set_menu_band(int rows) {}
  // Replaces a texture the drawing names (ids outside 0 .. kUiTextureCount-1
  // are ignored; an empty image removes it).
  virtual void set_ui_texture(int texture, const UiImage& image) {}
  // Draws these triangles over the view from now on (nullptr: none).
  virtual void set_ui(const UiDrawing* drawing) {}

  // Shows a box the desktop cannot show (nullopt: nobody could show it).
  using BoxFallback =
      std::function<std::optional<Answer>(std::string_view caption, std::string_view text, Buttons, Icon)>;
  virtual void set_box_fallback(BoxFallback fallback) {}
};

// Headless host: `answer` is the button pressed on every message box (the
// matching button, else the box's first); without it Cancel or No.
std::unique_ptr<Host> make_headless_host(std::optional<Answer> answer);

// SDL host; nullptr when SDL's video cannot start (no display).
std::unique_ptr<Host> make_sdl_host(std::optional<Answer> answer);

// Every box, whatever the display, as one line on stderr:
// "message box: <caption> | <text> | <buttons> -> <answer>" (UTF-8, line
// breaks written as "\n").
void write_box_line(std::string_view sjis_caption, std::string_view sjis_text, Buttons buttons, Answer answer);

// The button a box answers with when the user has fixed one.
Answer choose_answer(Buttons buttons, std::optional<Answer> wanted);

}  // namespace plat
