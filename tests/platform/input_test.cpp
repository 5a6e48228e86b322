// Input at the platform seam: SDL keys to virtual keys, the letterbox
// between window and game pixels, the SDL host's mouse and gamepad events
// (SDL's dummy video driver and a virtual joystick), and input scripts.
#include <gtest/gtest.h>

#include <SDL.h>

#include "platform/host.h"
#include "platform/input_script.h"
#include "platform/keymap.h"

namespace {

TEST(KeyMap, LettersFollowTheLayoutOtherKeysThePosition) {
  EXPECT_EQ(plat::virtual_key_from_sdl(SDLK_a, SDL_SCANCODE_A), 'A');
  // AZERTY: the key in the Q position gives 'a', and is A.
  EXPECT_EQ(plat::virtual_key_from_sdl(SDLK_a, SDL_SCANCODE_Q), 'A');
  // A layout without Latin letters: by position.
  EXPECT_EQ(plat::virtual_key_from_sdl(0x444, SDL_SCANCODE_Z), 'Z');
  // The digit row is digits whatever it prints (AZERTY's '&' is 1).
  EXPECT_EQ(plat::virtual_key_from_sdl('&', SDL_SCANCODE_1), '1');
  EXPECT_EQ(plat::virtual_key_from_sdl(SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER), 0x0D);
  EXPECT_EQ(plat::virtual_key_from_sdl(SDLK_KP_4, SDL_SCANCODE_KP_4), 0x64);
  EXPECT_EQ(plat::virtual_key_from_sdl(SDLK_F10, SDL_SCANCODE_F10), 0x79);
  EXPECT_EQ(plat::virtual_key_from_sdl(SDLK_RCTRL, SDL_SCANCODE_RCTRL), 0x11);
  EXPECT_EQ(plat::virtual_key_from_sdl(SDLK_UNKNOWN, SDL_SCANCODE_UNKNOWN), 0);
}

TEST(Letterbox, WindowPixelsToGamePixelsAtSeveralScales) {
  int x, y;
  // The game's own size, and twice it.
  ASSERT_TRUE(plat::window_to_game(639, 479, 640, 480, 640, 480, &x, &y));
  EXPECT_EQ(x, 639); EXPECT_EQ(y, 479);
  ASSERT_TRUE(plat::window_to_game(3, 5, 1280, 960, 640, 480, &x, &y));
  EXPECT_EQ(x, 1); EXPECT_EQ(y, 2);
  // Wider than the game: bars left and right of a 1280 x 960 picture.
  EXPECT_EQ(plat::fit_game(1920, 960, 640, 480).x, 320);
  EXPECT_FALSE(plat::window_to_game(319, 500, 1920, 960, 640, 480, &x, &y)) << "the left bar";
  EXPECT_EQ(x, -1);
  ASSERT_TRUE(plat::window_to_game(320, 0, 1920, 960, 640, 480, &x, &y));
  EXPECT_EQ(x, 0);
  EXPECT_FALSE(plat::window_to_game(1600, 10, 1920, 960, 640, 480, &x, &y)) << "the right bar";
  // Taller, and not a whole multiple: 1.5 times, bars above and below.
  plat::Viewport v = plat::fit_game(960, 1000, 640, 480);
  EXPECT_EQ(v.w, 960); EXPECT_EQ(v.h, 720); EXPECT_EQ(v.y, 140);
  EXPECT_FALSE(plat::window_to_game(500, 139, 960, 1000, 640, 480, &x, &y));
  ASSERT_TRUE(plat::window_to_game(959, 859, 960, 1000, 640, 480, &x, &y));
  EXPECT_EQ(x, 639); EXPECT_EQ(y, 479);
  EXPECT_FALSE(plat::window_to_game(500, 860, 960, 1000, 640, 480, &x, &y));
  // Smaller than the game.
  ASSERT_TRUE(plat::window_to_game(160, 120, 320, 240, 640, 480, &x, &y));
  EXPECT_EQ(x, 320); EXPECT_EQ(y, 240);
  // Back again: the centre of a game pixel maps to that pixel at every scale.
  for (auto [w, h] : {std::pair{640, 480}, {1280, 960}, {1920, 960}, {960, 1000}, {333, 250}})
    for (int gx : {0, 1, 317, 639}) {
      int wx, wy;
      plat::game_to_window(gx, 479, w, h, 640, 480, &wx, &wy);
      ASSERT_TRUE(plat::window_to_game(wx, wy, w, h, 640, 480, &x, &y)) << w << "x" << h;
      if (w >= 640) {
        EXPECT_EQ(x, gx) << w << "x" << h;
      }
    }
  // Nothing to map onto.
  EXPECT_FALSE(plat::window_to_game(0, 0, 0, 0, 640, 480, &x, &y));
}

class SdlHost : public ::testing::Test {
 protected:
  void SetUp() override {
    // The dummy driver's window never has the focus, and SDL holds back
    // gamepad events from a program in the background.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    host = plat::make_sdl_host(plat::Answer::Ok);
    if (!host) GTEST_SKIP() << "no SDL video driver";
    plat::WindowConfig config;
    config.title = "quorel input test";
    config.client_width = 64;
    config.client_height = 48;
    config.scale = 2;
    ASSERT_TRUE(host->open_window(config));
    window = SDL_GetWindowFromID(1);
    for (Uint32 id = 1; id < 100 && !window; ++id) window = SDL_GetWindowFromID(id);
    ASSERT_NE(window, nullptr);
  }

  std::vector<plat::Event> events() {
    std::vector<plat::Event> out, all;
    host->poll_events(all);
    for (const plat::Event& e : all)
      if (e.type != plat::Event::Type::Exposed && e.type != plat::Event::Type::FocusGained &&
          e.type != plat::Event::Type::FocusLost)
        out.push_back(e);
    return out;
  }

  std::unique_ptr<plat::Host> host;
  SDL_Window* window = nullptr;
};

TEST_F(SdlHost, MousePositionsInGamePixels) {
  int w = 0, h = 0;
  SDL_GetWindowSize(window, &w, &h);
  ASSERT_EQ(w, 128);
  SDL_Event ev{};
  ev.type = SDL_MOUSEBUTTONDOWN;
  ev.button.windowID = SDL_GetWindowID(window);
  ev.button.button = SDL_BUTTON_RIGHT;
  ev.button.clicks = 2;
  ev.button.x = 21, ev.button.y = 95;
  SDL_PushEvent(&ev);
  ev.type = SDL_MOUSEMOTION;
  ev.motion.windowID = SDL_GetWindowID(window);
  ev.motion.x = -1, ev.motion.y = 4;
  SDL_PushEvent(&ev);
  auto got = events();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].type, plat::Event::Type::MouseDown);
  EXPECT_EQ(got[0].button, 1);
  EXPECT_EQ(got[0].clicks, 2);
  EXPECT_EQ(got[0].x, 10); EXPECT_EQ(got[0].y, 47);
  EXPECT_EQ(got[1].type, plat::Event::Type::MouseMove);
  EXPECT_EQ(got[1].x, -1) << "outside the window is outside the game";
}

TEST_F(SdlHost, GamepadButtonsArriveAsKeys) {
  // Controllers are started once the first picture is shown.
  std::vector<uint8_t> black(64 * 48 * 3);
  host->present({black.data(), 64, 48, 64 * 3}, 0, 48);
  SDL_VirtualJoystickDesc desc{};
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
  desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
  desc.button_mask = (1u << SDL_CONTROLLER_BUTTON_MAX) - 1;
  desc.name = "quorel test pad";
  int device = SDL_JoystickAttachVirtualEx(&desc);
  ASSERT_GE(device, 0) << SDL_GetError();
  ASSERT_TRUE(SDL_IsGameController(device));
  SDL_Joystick* stick = SDL_JoystickOpen(device);
  ASSERT_NE(stick, nullptr);
  events();  // the host opens the controller as it is announced

  const std::pair<int, int> mapping[] = {
      {SDL_CONTROLLER_BUTTON_A, 0x0D},           {SDL_CONTROLLER_BUTTON_B, 0x1B},
      {SDL_CONTROLLER_BUTTON_DPAD_UP, 0x26},     {SDL_CONTROLLER_BUTTON_DPAD_DOWN, 0x28},
      {SDL_CONTROLLER_BUTTON_DPAD_LEFT, 0x25},   {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, 0x27},
      {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, 0x21}, {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, 0x22},
      {SDL_CONTROLLER_BUTTON_START, 0x79},
  };
  for (auto [button, vk] : mapping) {
    SDL_JoystickSetVirtualButton(stick, button, SDL_PRESSED);
    SDL_JoystickUpdate();
    auto down = events();
    SDL_JoystickSetVirtualButton(stick, button, SDL_RELEASED);
    SDL_JoystickUpdate();
    auto up = events();
    ASSERT_EQ(down.size(), 1u) << "button " << button;
    EXPECT_EQ(down[0].type, plat::Event::Type::KeyDown);
    EXPECT_EQ(down[0].vk, vk) << "button " << button;
    ASSERT_EQ(up.size(), 1u);
    EXPECT_EQ(up[0].type, plat::Event::Type::KeyUp);
  }
  // Buttons without a key say nothing.
  SDL_JoystickSetVirtualButton(stick, SDL_CONTROLLER_BUTTON_X, SDL_PRESSED);
  SDL_JoystickUpdate();
  EXPECT_TRUE(events().empty());
  SDL_JoystickClose(stick);
  SDL_JoystickDetachVirtual(device);
  events();
}

TEST(InputScriptFile, EventsInTimeOrder) {
  std::vector<plat::TimedEvent> ev;
  std::string error;
  ASSERT_TRUE(plat::parse_input_script("# a comment\n\n"
                                       "500 key press Return\n"
                                       "+10 pad press a\r\n"
                                       "100 mouse double right 3 4\n"
                                       "  200\twheel -2  \n"
                                       "300 key down 0x14\n"
                                       "310 key up f10\n"
                                       "320 focus off\n"
                                       "330 quit\n",
                                       &ev, &error))
      << error;
  using T = plat::Event::Type;
  std::vector<std::pair<uint32_t, T>> order;
  for (const auto& t : ev) order.push_back({t.at, t.event.type});
  EXPECT_EQ(order, (std::vector<std::pair<uint32_t, T>>{
                       {100, T::MouseDown}, {120, T::MouseUp}, {140, T::MouseDown}, {160, T::MouseUp},
                       {200, T::MouseWheel}, {300, T::KeyDown}, {310, T::KeyUp}, {320, T::FocusLost},
                       {330, T::Quit}, {500, T::KeyDown}, {510, T::KeyDown}, {520, T::KeyUp}, {530, T::KeyUp}}));
  EXPECT_EQ(ev[2].event.clicks, 2);
  EXPECT_EQ(ev[2].event.button, 1);
  EXPECT_EQ(ev[2].event.x, 3);
  EXPECT_EQ(ev[4].event.delta, -2);
  EXPECT_EQ(ev[5].event.vk, 0x14);
  EXPECT_EQ(ev[6].event.vk, 0x79);
  EXPECT_EQ(ev[9].event.vk, 0x0D);
  EXPECT_EQ(ev[10].event.vk, 0x0D) << "pad a is Return";

  // A held key's repeats; the window sized by the player is not an event of its own.
  ASSERT_TRUE(plat::parse_input_script("10 key repeat f10\n20 window 800 600\n", &ev, &error)) << error;
  ASSERT_EQ(ev.size(), 2u);
  EXPECT_TRUE(ev[0].event.repeat);
  EXPECT_EQ(ev[0].event.type, T::KeyDown);
  EXPECT_EQ(ev[1].window_w, 800);
  EXPECT_EQ(ev[1].window_h, 600);
  EXPECT_FALSE(plat::parse_input_script("20 window 800 0\n", &ev, &error));

  EXPECT_FALSE(plat::parse_input_script("10 key press a\n+4294967295 key press a\n", &ev, &error));
  EXPECT_EQ(error, "line 2: time '+4294967295' is too large");
  EXPECT_FALSE(plat::parse_input_script("10 key press 256\n", &ev, &error));
  EXPECT_EQ(error, "line 1: unknown key '256'");
  EXPECT_FALSE(plat::parse_input_script("10\n", &ev, &error));
  EXPECT_EQ(error, "line 1: an event must follow the time");
  EXPECT_FALSE(plat::load_input_script("/nonexistent/input.txt", &ev, &error));
  EXPECT_EQ(error, "/nonexistent/input.txt: cannot read the input script: No such file or directory");
}

// Key names as a player reads them off the keyboard, given as Windows
// virtual-key codes: letters and digits by their character, the number pad
// apart from the digits above the letters, function keys 1 to 24.
TEST(InputScriptFile, KeysByTheirNames) {
  const std::pair<const char*, int> keys[] = {
      {"a", 0x41},      {"Z", 0x5A},    {"0", 0x30},     {"9", 0x39},     {"num0", 0x60}, {"num4", 0x64},
      {"num9", 0x69},   {"f1", 0x70},   {"F12", 0x7B},   {"f24", 0x87},   {"return", 0x0D}, {"Escape", 0x1B},
      {"space", 0x20},  {"left", 0x25}, {"delete", 0x2E}, {"255", 0xFF},  {"0x41", 0x41}};
  for (auto [name, vk] : keys) {
    SCOPED_TRACE(name);
    std::vector<plat::TimedEvent> ev;
    std::string error;
    ASSERT_TRUE(plat::parse_input_script(std::string("0 key down ") + name + "\n", &ev, &error)) << error;
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(ev[0].event.vk, vk);
  }
  for (const char* unknown : {"f0", "f25", "num", "num10", "numa", "-1", "keypad"}) {
    std::vector<plat::TimedEvent> ev;
    std::string error;
    EXPECT_FALSE(plat::parse_input_script(std::string("0 key down ") + unknown + "\n", &ev, &error)) << unknown;
  }
}

}  // namespace
