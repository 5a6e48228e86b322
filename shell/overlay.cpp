// [SECTION] State, font and input
// [SECTION] Frames and the host
// [SECTION] Menu bar
// [SECTION] Dialogs
// [SECTION] File chooser and message boxes
// [SECTION] Start and stop
#include "shell/overlay.h"

#include <imgui.h>
#include <imgui_internal.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <functional>
#include <set>

#include "base/format.h"
#include "core/engine.h"
#include "core/env_file.h"
#include "core/game_folders.h"
#include "graphics/capture.h"
#include "graphics/state.h"
#include "graphics/window_mode.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "platform/font_rasterizer.h"
#include "platform/system.h"
#include "res/runtime.h"
#include "res/screen.h"
#include "res/shell.h"
#include "res/text.h"
#include "script/scheduler.h"
#include "shell/input.h"
#include "shell/settings.h"
#include "shell/shell.h"
#include "sound/audio_slots.h"
#include "sound/slots.h"
#include "sound/sound_engine.h"
#include "sound/sound_state.h"
#include "text/text_builtins.h"
#include "text/text_state.h"

namespace shell {

// [SECTION] State, font and input -----------------------------------------------------

namespace {

constexpr float kFontSize = 14.0f;
constexpr uint32_t kFrameMs = 16;
constexpr int kRevealRows = 4;        // full screen: the bar shows when the mouse comes this near the top
constexpr int kBarRows = static_cast<int>(kFontSize) + 6;  // the bar's height
constexpr int kVkF10 = 0x79, kVkAlt = 0x12, kVkShift = 0x10, kVkControl = 0x11, kVkEscape = 0x1B,
              kVkReturn = 0x0D;

// The textures the drawing names, by the host's ids; ImGui's own ids are
// those plus one (it takes 0 for none).
constexpr int kAtlasTexture = 0;
constexpr int kThumbnailTexture = 1;
ImTextureID texture_ref(int id) { return reinterpret_cast<ImTextureID>(static_cast<intptr_t>(id) + 1); }
int texture_id(ImTextureID ref) { return static_cast<int>(reinterpret_cast<intptr_t>(ref) - 1); }

}  // namespace

struct Overlay {
  ImGuiContext* context = nullptr;
  std::string font_path;
  bool font_found = false;        // font_path was looked for
  std::set<ImWchar> glyphs;       // what the atlas holds
  bool glyphs_missing = true;     // a string used a character the atlas lacks
  std::vector<ImWchar> ranges;    // kept while the atlas is built
  std::deque<plat::Event> queue;  // events not yet given to ImGui
  int band = 0;                   // rows of the menu band (windowed)
  bool f10_reveal = false;        // full screen: the bar shown by F10
  bool mouse_reveal = false;      // full screen: the bar shown by the mouse at the top
  int alt_tap = 0;                // frames left of a synthetic Alt press and release (F10)
  int pending_command = 0;        // a menu item chosen during the frame
  bool quit_after = false;        // the window was closed while a dialog was up
  bool frozen = false;            // the run ended inside a dialog: keep what is shown
  bool in_frame = false;
  bool framed = false;            // a frame was made
  uint32_t last_frame = 0;        // its clock time
  uint64_t last_hash = 0;         // of the drawing last handed over; 0 after a texture changed
  plat::UiDrawing drawing;
  std::function<bool()> modal;  // draws the open dialog; false once it closed
};

Shell::Shell() = default;
Shell::~Shell() = default;

namespace {

Overlay* overlay_of(rt::Engine& e) { return e.shell ? e.shell->overlay.get() : nullptr; }

// Every string shown goes through here, so that the atlas gets its glyphs.
const char* need(Overlay& o, const std::string& utf8) {
  const char* p = utf8.c_str();
  const char* end = p + utf8.size();
  while (p < end) {
    unsigned int c = 0;
    const int n = ImTextCharFromUtf8(&c, p, end);
    if (n <= 0) break;
    p += n;
    if (c >= 0x20 && c <= 0xFFFF && !o.glyphs.count(static_cast<ImWchar>(c))) {
      o.glyphs.insert(static_cast<ImWchar>(c));
      o.glyphs_missing = true;
    }
  }
  return utf8.c_str();
}

std::string utf8(std::string_view sjis) { return plat::sjis_to_utf8(sjis); }

// The game's own Gothic face: the default face of the text subsystem.
void find_font(rt::Engine& e, Overlay& o) {
  if (o.font_found) return;
  o.font_found = true;
  plat::FontRasterizer& fonts = txt::font_library(e);
  for (const char* family : {"IPAGothic", "IPAPGothic", "IPAexGothic"})
    if (auto f = fonts.find_family(family)) {
      o.font_path = f->path;
      return;
    }
}

void build_atlas(rt::Engine& e, Overlay& o) {
  find_font(e, o);
  ImGuiIO& io = ImGui::GetIO();
  io.Fonts->Clear();
  for (ImWchar c = 0x20; c < 0x7F; ++c) o.glyphs.insert(c);
  o.ranges.clear();
  for (ImWchar c : o.glyphs) {
    o.ranges.push_back(c);
    o.ranges.push_back(c);
  }
  o.ranges.push_back(0);
  ImFontConfig config;
  config.OversampleH = 1;
  config.PixelSnapH = true;
  ImFont* font = nullptr;
  if (!o.font_path.empty())
    font = io.Fonts->AddFontFromFileTTF(o.font_path.c_str(), kFontSize, &config, o.ranges.data());
  if (!font) io.Fonts->AddFontDefault();
  unsigned char* pixels = nullptr;
  int w = 0, h = 0;
  io.Fonts->GetTexDataAsRGBA32(&pixels, &w, &h);
  plat::UiImage image;
  image.width = w;
  image.height = h;
  image.rgba.assign(pixels, pixels + static_cast<size_t>(w) * h * 4);
  e.host->set_ui_texture(kAtlasTexture, image);
  io.Fonts->SetTexID(texture_ref(kAtlasTexture));
  io.Fonts->ClearTexData();
  // The font file (megabytes of it) is read again when the atlas needs new
  // characters; kept, it would sit in memory for nothing.
  io.Fonts->ClearInputData();
  o.glyphs_missing = false;
}

bool is_mouse(const plat::Event& ev) {
  using T = plat::Event::Type;
  return ev.type == T::MouseMove || ev.type == T::MouseDown || ev.type == T::MouseUp || ev.type == T::MouseWheel;
}

// Gives ImGui the queued events, stopping before a button or key that
// already changed in this frame (a click within one frame would be lost).
void apply_events(Overlay& o) {
  ImGuiIO& io = ImGui::GetIO();
  bool mouse_changed[5] = {}, keys_changed = false;
  while (!o.queue.empty()) {
    const plat::Event& ev = o.queue.front();
    using T = plat::Event::Type;
    if (ev.type == T::MouseDown || ev.type == T::MouseUp) {
      const int b = std::clamp(ev.button, 0, 2);
      if (mouse_changed[b]) break;
      mouse_changed[b] = true;
      io.MouseDown[b] = ev.type == T::MouseDown;
    } else if (ev.type == T::KeyDown || ev.type == T::KeyUp) {
      if (keys_changed) break;
      keys_changed = true;
      const bool down = ev.type == T::KeyDown;
      if (ev.vk >= 0 && ev.vk < 512) io.KeysDown[ev.vk] = down;
      if (ev.vk == kVkShift) io.KeyShift = down;
      if (ev.vk == kVkControl) io.KeyCtrl = down;
      if (ev.vk == kVkAlt) io.KeyAlt = down;
    } else if (ev.type == T::MouseWheel) {
      io.MouseWheel += ev.delta > 0 ? 1.0f : -1.0f;
    } else if (ev.type == T::TextInput) {
      io.AddInputCharactersUTF8(ev.text.c_str());
    } else if (ev.type == T::FocusLost) {
      for (bool& k : io.KeysDown) k = false;
      for (bool& m : io.MouseDown) m = false;
      io.KeyShift = io.KeyCtrl = io.KeyAlt = false;
    }
    if (is_mouse(ev) && ev.type != T::MouseWheel) io.MousePos = ImVec2(static_cast<float>(ev.x), static_cast<float>(ev.y + o.band));
    o.queue.pop_front();
  }
}

// [SECTION] Frames and the host ---------------------------------------------------------

uint64_t hash_drawing(const plat::UiDrawing& d) {
  uint64_t h = 1469598103934665603ull;
  auto mix = [&](const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    for (size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
  };
  mix(d.vertices.data(), d.vertices.size() * sizeof(plat::UiVertex));
  mix(d.indices.data(), d.indices.size() * sizeof(uint32_t));
  mix(d.commands.data(), d.commands.size() * sizeof(plat::UiCommand));
  return h;
}

void hand_to_host(rt::Engine& e, Overlay& o) {
  ImDrawData* data = ImGui::GetDrawData();
  plat::UiDrawing& d = o.drawing;
  d.vertices.clear();
  d.indices.clear();
  d.commands.clear();
  if (data) {
    for (int l = 0; l < data->CmdListsCount; ++l) {
      const ImDrawList* list = data->CmdLists[l];
      const auto base = static_cast<uint32_t>(d.vertices.size());
      for (const ImDrawVert& v : list->VtxBuffer) d.vertices.push_back({v.pos.x, v.pos.y, v.uv.x, v.uv.y, v.col});
      const auto first = static_cast<uint32_t>(d.indices.size());
      for (ImDrawIdx i : list->IdxBuffer) d.indices.push_back(base + i);
      for (const ImDrawCmd& c : list->CmdBuffer) {
        if (c.UserCallback || c.ElemCount == 0) continue;
        plat::UiCommand cmd;
        cmd.clip_x0 = c.ClipRect.x;
        cmd.clip_y0 = c.ClipRect.y;
        cmd.clip_x1 = c.ClipRect.z;
        cmd.clip_y1 = c.ClipRect.w;
        cmd.first_index = first + c.IdxOffset;
        cmd.index_count = c.ElemCount;
        cmd.texture = texture_id(c.TextureId);
        d.commands.push_back(cmd);
      }
    }
  }
  const uint64_t h = hash_drawing(d);
  if (h == o.last_hash) return;
  o.last_hash = h;
  e.host->set_ui(d.commands.empty() ? nullptr : &d);
}

void draw_menu_bar(rt::Engine& e, Overlay& o, bool enabled);

// Full screen: the mouse at the top edge reveals the bar, which then stays
// while the mouse is over it, so that its menus can be reached.
bool full_screen_bar_wanted(Overlay& o) {
  ImGuiIO& io = ImGui::GetIO();
  const float y = io.MousePos.y;
  if (y >= 0 && y < kRevealRows) o.mouse_reveal = true;
  else if (!(y >= 0 && y < kBarRows)) o.mouse_reveal = false;
  return o.f10_reveal || o.mouse_reveal || ImGui::IsPopupOpen("", ImGuiPopupFlags_AnyPopupId);
}

// One ImGui frame: the menu bar, and the open dialog when there is one.
// False when the dialog closed during it.
bool frame(rt::Engine& e, Overlay& o) {
  ImGuiIO& io = ImGui::GetIO();
  bool dialog_open = true;
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (o.glyphs_missing) build_atlas(e, o);
    const bool full = e.host->fullscreen();
    o.band = full ? 0 : kBarRows;
    e.host->set_menu_band(o.band);
    io.DisplaySize = ImVec2(static_cast<float>(e.client_width), static_cast<float>(e.client_height + o.band));
    io.DeltaTime = 1.0f / 60.0f;
    if (attempt == 0) apply_events(o);
    // Down for a frame, up for the next; the menu layer takes the keyboard
    // in the frame after that.
    if (o.alt_tap > 0) io.KeyAlt = --o.alt_tap > 1;
    o.in_frame = true;
    ImGui::NewFrame();
    if (!full || full_screen_bar_wanted(o)) draw_menu_bar(e, o, !o.modal);
    if (o.modal) dialog_open = o.modal();
    ImGui::Render();
    o.in_frame = false;
    // A string with characters the atlas lacked: build it and draw again.
    if (!o.glyphs_missing) break;
  }
  // F10's bar stays until the keyboard leaves it; not before its Alt tap
  // has given the keyboard to it.
  if (o.alt_tap == 0 && !ImGui::IsPopupOpen("", ImGuiPopupFlags_AnyPopupId) && !ImGui::GetIO().NavVisible)
    o.f10_reveal = false;
  hand_to_host(e, o);
  return dialog_open;
}

void run_pending_command(rt::Engine& e, Overlay& o) {
  const int id = o.pending_command;
  o.pending_command = 0;
  if (id) run_command(e, id);
}

// A modal loop over a paused game: the window's events go to the dialog,
// the clock runs on (input files are timed by it), and a run that must end
// (--max-frames) ends with the dialog still shown.
void modal_loop(rt::Engine& e, Overlay& o, std::function<bool()> body) {
  rt::ScriptMachine& vm = *e.vm;
  auto outer = std::move(o.modal);
  o.modal = std::move(body);
  for (;;) {
    std::vector<plat::Event> events;
    take_events(e, events);
    using T = plat::Event::Type;
    for (plat::Event& ev : events) {
      // The keys belong to the dialog; what happens to the window itself
      // (focus lost in full screen, minimised, a display changed) still
      // changes its mode, as it does while the game runs.
      if (ev.type == T::FocusLost || ev.type == T::Minimized || ev.type == T::DisplayChanged)
        gfx::window_mode_event(e, ev);
      if (ev.type == T::Quit) o.quit_after = true;
      else o.queue.push_back(std::move(ev));
    }
    if (o.quit_after) break;
    if (!frame(e, o)) break;
    if (vm.hooks.pump_sound) vm.hooks.pump_sound(e, e.clock.now());
    e.clock.sleep(e.clock.is_virtual() ? 0 : 15);
    e.clock.end_pass();
    ++vm.passes;
    if (vm.hooks.pass_done) vm.hooks.pass_done(e);
    if (e.options.max_frames && vm.passes >= *e.options.max_frames) {
      vm.quit_requested = true;
      o.frozen = true;
      break;
    }
  }
  o.modal = std::move(outer);
  clear_input(e);
  if (!o.frozen && !o.modal) frame(e, o);  // the dialog goes away at once
}

// [SECTION] Menu bar ---------------------------------------------------------------------

void draw_items(Overlay& o, const Menu& m) {
  for (const MenuItem& i : m.items) {
    if (i.id == 0) {
      ImGui::Separator();
      continue;
    }
    if (ImGui::MenuItem(need(o, i.label), i.key.empty() ? nullptr : need(o, i.key), i.checked, !i.greyed))
      o.pending_command = i.id;
  }
  for (const Menu& sub : m.submenus)
    if (ImGui::BeginMenu(need(o, sub.title))) {
      draw_items(o, sub);
      ImGui::EndMenu();
    }
}

void draw_menu_bar(rt::Engine& e, Overlay& o, bool enabled) {
  if (!ImGui::BeginMainMenuBar()) return;
  for (const Menu& m : menu_bar(e)) {
    std::string title = m.title;
    title.erase(std::remove(title.begin(), title.end(), '&'), title.end());
    if (ImGui::BeginMenu(need(o, title), enabled)) {
      draw_items(o, m);
      ImGui::EndMenu();
    }
  }
  ImGui::EndMainMenuBar();
}

}  // namespace

bool overlay_event(rt::Engine& e, const plat::Event& ev) {
  Overlay* o = overlay_of(e);
  if (!o || o->frozen) return false;
  using T = plat::Event::Type;
  ImGuiIO& io = ImGui::GetIO();
  if (ev.type == T::KeyDown && ev.vk == kVkF10) {
    if (!ev.repeat) {
      // As on the desktop: F10 gives the keyboard to the menu bar.
      o->f10_reveal = !o->f10_reveal;
      o->alt_tap = 3;
    }
    return true;
  }
  if (ev.type == T::KeyUp && ev.vk == kVkF10) return true;
  o->queue.push_back(ev);
  if (is_mouse(ev)) {
    const bool in_band = ev.y < 0 && ev.y >= -o->band;
    return in_band || io.WantCaptureMouse;
  }
  if (ev.type == T::KeyDown || ev.type == T::KeyUp) return io.NavVisible && io.NavActive;
  return false;
}

void overlay_frame(rt::Engine& e) {
  Overlay* o = overlay_of(e);
  if (!o || o->frozen || o->in_frame) return;
  // The bar's first frame (the font file read, the atlas struck) waits for
  // the game's first picture; what happened meanwhile stays queued for it.
  if (!o->framed && e.gfx->display.presented == 0) return;
  // The scheduler passes every few milliseconds; the menus need a frame
  // when something happened, and a few a second for hovering.
  const uint32_t now = e.clock.now();
  if (o->queue.empty() && o->alt_tap == 0 && now - o->last_frame < kFrameMs && o->framed) return;
  o->last_frame = now;
  o->framed = true;
  frame(e, *o);
  run_pending_command(e, *o);
}

// [SECTION] Dialogs ----------------------------------------------------------------------

namespace {

void centre_next(ImVec2 size = ImVec2(0, 0)) {
  const ImGuiIO& io = ImGui::GetIO();
  ImGui::SetNextWindowPos(ImVec2(io.DisplaySize.x * 0.5f, io.DisplaySize.y * 0.5f), ImGuiCond_Always,
                          ImVec2(0.5f, 0.5f));
  if (size.x > 0) ImGui::SetNextWindowSize(size, ImGuiCond_Always);
}

constexpr ImGuiWindowFlags kDialogFlags =
    ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoSavedSettings;

// Opens the modal popup on its first frame; false when it is not shown.
bool begin_dialog(Overlay& o, const char* sjis_title, float width) {
  const std::string title = utf8(sjis_title);
  if (!ImGui::IsPopupOpen(need(o, title))) ImGui::OpenPopup(title.c_str());
  centre_next(ImVec2(width, 0));
  ImGui::SetNextWindowSizeConstraints(ImVec2(width, 0), ImVec2(width, 10000));
  return ImGui::BeginPopupModal(title.c_str(), nullptr, kDialogFlags | ImGuiWindowFlags_AlwaysAutoResize);
}

bool escape_pressed() { return ImGui::IsKeyPressed(kVkEscape, false); }
bool return_pressed() { return ImGui::IsKeyPressed(kVkReturn, false) && !ImGui::GetIO().WantTextInput; }

enum class Close { None, Ok, Cancel };

// OK and Cancel at the bottom right, with the reset button on the left when asked.
Close buttons(Overlay& o, bool* defaults) {
  ImGui::Separator();
  if (defaults && ImGui::Button(need(o, utf8(msg::kDefaults)))) *defaults = true;
  const float w = 80.0f;
  ImGui::SameLine(ImGui::GetWindowContentRegionMax().x - 2 * w - ImGui::GetStyle().ItemSpacing.x);
  if (ImGui::Button(need(o, utf8(msg::kOk)), ImVec2(w, 0)) || return_pressed()) return Close::Ok;
  ImGui::SameLine();
  if (ImGui::Button(need(o, utf8(msg::kCancel)), ImVec2(w, 0)) || escape_pressed()) return Close::Cancel;
  return Close::None;
}

bool slider(Overlay& o, const char* sjis_label, int* value, int highest) {
  ImGui::TextUnformatted(need(o, utf8(sjis_label)));
  ImGui::SetNextItemWidth(-1);
  std::string id = std::string("##") + sjis_label;
  return ImGui::SliderInt(id.c_str(), value, 0, highest);
}

bool check(Overlay& o, const char* sjis_label, bool* value) { return ImGui::Checkbox(need(o, utf8(sjis_label)), value); }

void speed_dialog(rt::Engine& e, Overlay& o) {
  struct Values {
    int effect, text, autoplay;
    bool read_only;
  };
  const bool ctrl_box = rt::env_int(e, "CTRLKEYDEF", 0) == 1;
  Values v{get(e, setting::kEffectSpeed), get(e, setting::kMojiSpeed), get(e, setting::kAutoSpeed),
           get(e, setting::kFastModeReadOnly) != 0};
  modal_loop(e, o, [&]() {
    if (!begin_dialog(o, msg::kSpeedTitle, 320)) return false;
    slider(o, msg::kSpeedEffect, &v.effect, 5000);
    slider(o, msg::kSpeedText, &v.text, 5000);
    slider(o, msg::kSpeedAuto, &v.autoplay, 5000);
    if (ctrl_box) check(o, msg::kSpeedCtrlReadOnly, &v.read_only);
    bool reset = false;
    const Close c = buttons(o, &reset);
    if (reset)
      v = {default_of(e, setting::kEffectSpeed), default_of(e, setting::kMojiSpeed),
           default_of(e, setting::kAutoSpeed), rt::env_int(e, "CTRLKEYDEF", 0) != 0};
    if (c == Close::Ok) {
      put(e, setting::kFastModeReadOnly, v.read_only ? 1 : 0);
      put(e, setting::kEffectSpeed, v.effect);
      put(e, setting::kMojiSpeed, v.text);
      put(e, setting::kAutoSpeed, v.autoplay);
    }
    if (c != Close::None) ImGui::CloseCurrentPopup();
    ImGui::EndPopup();
    return c == Close::None;
  });
}

void sound_dialog(rt::Engine& e, Overlay& o) {
  struct Values {
    int music, voice, effects;
    bool male_off, female_off, music_off, effects_off;
  };
  const bool gender_free = rt::env_int(e, "GENDERFREE", 0) == 1;
  auto stored = [&]() {
    return Values{get(e, setting::kMusicVolume), get(e, setting::kVoiceVolume), get(e, setting::kSoundVolume),
                  get(e, setting::kTalkMale) == 0,      get(e, setting::kTalkFemale) == 0,
                  get(e, setting::kPlayMusic) == 0,     get(e, setting::kPlaySound) == 0};
  };
  Values v = stored();
  const int music_before = v.music;
  modal_loop(e, o, [&]() {
    if (!begin_dialog(o, msg::kSoundTitle, 320)) return false;
    // The music follows its slider at once.
    if (slider(o, msg::kSoundMusic, &v.music, 1000)) snd::master_volume_changed(e, snd::Master::music, v.music);
    slider(o, msg::kSoundVoice, &v.voice, 1000);
    slider(o, msg::kSoundEffects, &v.effects, 1000);
    if (!gender_free) check(o, msg::kSoundMaleOff, &v.male_off);
    check(o, gender_free ? msg::kSoundVoiceOff : msg::kSoundFemaleOff, &v.female_off);
    check(o, msg::kSoundMusicOff, &v.music_off);
    check(o, msg::kSoundEffectsOff, &v.effects_off);
    bool reset = false;
    const Close c = buttons(o, &reset);
    if (reset) {
      v = {default_of(e, setting::kMusicVolume), default_of(e, setting::kVoiceVolume),
           default_of(e, setting::kSoundVolume),  default_of(e, setting::kTalkMale) == 0,
           default_of(e, setting::kTalkFemale) == 0, default_of(e, setting::kPlayMusic) == 0,
           default_of(e, setting::kPlaySound) == 0};
      snd::master_volume_changed(e, snd::Master::music, v.music);
    }
    if (c == Close::Ok) {
      put(e, setting::kMusicVolume, v.music);
      put(e, setting::kVoiceVolume, v.voice);
      put(e, setting::kSoundVolume, v.effects);
      put(e, setting::kTalkMale, v.male_off ? 0 : 1);
      put(e, setting::kTalkFemale, v.female_off ? 0 : 1);
      put(e, setting::kPlayMusic, v.music_off ? 0 : 1);
      put(e, setting::kPlaySound, v.effects_off ? 0 : 1);
      snd::master_volume_changed(e, snd::Master::voice, v.voice);
      snd::master_volume_changed(e, snd::Master::sound, v.effects);
      snd::Slots& s = e.sound->slots;
      if (snd::music_may_start(e)) {
        if (snd::SndStatus(e, s.music_id) == 0 && !s.music_name.empty()) {
          const std::string name = s.music_name, loop_name = s.music_loop_name;
          snd::play_music(e, name, loop_name, s.music_loop != 0);
        }
      } else if (s.music_id) {
        // Kept by name, so that switching music on again plays it.
        snd::SndStop(e, s.music_id);
        s.music_id = 0;
      }
      if (!snd::sounds_may_start(e))
        for (snd::SoundSlot& slot : s.sounds) {
          snd::SndStop(e, slot.id);
          slot.id = 0;
        }
    } else if (c == Close::Cancel) {
      snd::master_volume_changed(e, snd::Master::music, music_before);
    }
    if (c != Close::None) ImGui::CloseCurrentPopup();
    ImGui::EndPopup();
    return c == Close::None;
  });
}

// Full-screen modes as the display lists them: the game's size in 16, 24
// or 32 bits, after the standard entry (no preference).
std::vector<plat::DisplayMode> full_screen_modes(rt::Engine& e) {
  std::vector<plat::DisplayMode> modes = {{}};
  for (const plat::DisplayMode& m : e.host->display_modes()) {
    if (m.width != e.client_width || m.height != e.client_height) continue;
    if (m.bits != 16 && m.bits != 24 && m.bits != 32) continue;
    if (std::find(modes.begin(), modes.end(), m) == modes.end()) modes.push_back(m);
  }
  return modes;
}

// Window scales that fit the screen (at least 1), and the current one.
int largest_scale(rt::Engine& e, int current) {
  const plat::ScreenRect screen = e.host->primary_screen();
  int n = 1;
  while (n < ViewSettings::kMaxScale && e.client_width * (n + 1) <= screen.w && e.client_height * (n + 1) <= screen.h)
    ++n;
  return std::max(n, current);
}

bool combo(Overlay& o, const char* id, const std::vector<std::string>& labels, int* chosen) {
  bool changed = false;
  ImGui::SetNextItemWidth(-1);
  if (ImGui::BeginCombo(id, need(o, labels[static_cast<size_t>(*chosen)]))) {
    for (size_t i = 0; i < labels.size(); ++i)
      if (ImGui::Selectable(need(o, labels[i]), static_cast<int>(i) == *chosen)) {
        changed = *chosen != static_cast<int>(i);
        *chosen = static_cast<int>(i);
      }
    ImGui::EndCombo();
  }
  return changed;
}

void screen_dialog(rt::Engine& e, Overlay& o) {
  gfx::WindowMode& m = e.gfx->window;
  Shell& s = shell_of(e);
  bool topmost = s.topmost;
  const std::vector<plat::DisplayMode> modes = full_screen_modes(e);
  std::vector<std::string> mode_labels;
  int mode = 0;
  for (size_t i = 0; i < modes.size(); ++i) {
    const plat::DisplayMode& md = modes[i];
    if (i == 0) mode_labels.push_back(utf8(msg::kScreenModeStandard));
    else if (md.refresh == 0) mode_labels.push_back(utf8(base::format(msg::kScreenModeNoFreq, md.bits, md.width, md.height)));
    else mode_labels.push_back(utf8(base::format(msg::kScreenModeFreq, md.refresh, md.bits, md.width, md.height)));
    if (md.refresh == m.full_screen_frequency && md.bits == m.full_screen_bits) mode = static_cast<int>(i);
  }
  ViewSettings view = s.view;
  std::vector<std::string> scale_labels;
  for (int n = 1; n <= largest_scale(e, view.scale); ++n) scale_labels.push_back(utf8(base::format(msg::kScreenScaleItem, n)));
  int scale = view.scale - 1;
  const std::vector<std::string> renderer_labels = {
      utf8(msg::kScreenRendererAuto), utf8(msg::kScreenRendererGpu), utf8(msg::kScreenRendererSoftware)};
  const plat::Renderer renderers[] = {plat::Renderer::Auto, plat::Renderer::Gpu, plat::Renderer::Software};
  int renderer = static_cast<int>(std::find(std::begin(renderers), std::end(renderers), view.renderer) - renderers);
  modal_loop(e, o, [&]() {
    if (!begin_dialog(o, msg::kScreenTitle, 320)) return false;
    check(o, msg::kScreenTopmost, &topmost);
    combo(o, "##modes", mode_labels, &mode);
    ImGui::Separator();
    ImGui::TextUnformatted(need(o, utf8(msg::kScreenScale)));
    combo(o, "##scale", scale_labels, &scale);
    check(o, msg::kScreenFilter, &view.linear_filter);
    ImGui::TextUnformatted(need(o, utf8(msg::kScreenRenderer)));
    combo(o, "##renderer", renderer_labels, &renderer);
    const Close c = buttons(o, nullptr);
    if (c == Close::Ok) {
      s.topmost = topmost;
      e.host->set_topmost(topmost);
      put(e, setting::kTopmost, topmost ? 1 : 0);
      const plat::DisplayMode& md = modes[static_cast<size_t>(mode)];
      if (md.refresh != m.full_screen_frequency || md.bits != m.full_screen_bits) {
        m.full_screen_frequency = md.refresh;
        m.full_screen_bits = md.bits;
        e.settings.set_int("FullScFreq", md.refresh);
        e.settings.set_int("FullScBits", md.bits);
        e.settings.save();
        // Full screen is entered again in the chosen mode.
        if (gfx::is_full_screen(e)) {
          gfx::set_full_screen(e, false);
          gfx::set_full_screen(e, true);
        }
      }
      view.scale = scale + 1;
      view.renderer = renderers[renderer];
      // Kept only when the player changed them here: a choice of the
      // command line holds for its run alone.
      if (view != s.view) {
        if (view.scale != s.view.scale || view.linear_filter != s.view.linear_filter)
          e.host->set_view(view.scale, view.linear_filter);
        s.view = view;
        save_view(e, view);
      }
    }
    if (c != Close::None) ImGui::CloseCurrentPopup();
    ImGui::EndPopup();
    return c == Close::None;
  });
}

void about_dialog(rt::Engine& e, Overlay& o) {
  const bool development = !rt::is_release_mode(e);
  const std::string text =
      utf8(base::format(msg::kAboutText, rt::env_string(e, "APPNAME", 128, msg::kDefaultTitle).c_str(),
                        rt::env_string(e, "VERSION", 128, msg::kDefaultVersion).c_str(),
                        rt::env_string(e, "COPYRIGHT", 128, msg::kAboutRights).c_str()));
  const std::string url = utf8(rt::env_string(e, "URL", 512, ""));
  bool no_voice = get(e, setting::kReportNoVoice) != 0, no_pic = get(e, setting::kReportNoPic) != 0,
       open_line = get(e, setting::kAutoOpenErrorLine) != 0;
  std::string src = utf8(e.settings.get_string("SrcFolder").value_or("scenario\\snr"));
  std::string editor = utf8(e.settings.get_string("Editor").value_or("none"));
  char src_buf[260] = {}, editor_buf[260] = {};
  src.copy(src_buf, sizeof src_buf - 1);
  editor.copy(editor_buf, sizeof editor_buf - 1);
  modal_loop(e, o, [&]() {
    if (!begin_dialog(o, msg::kAboutTitle, 340)) return false;
    const float width = ImGui::GetWindowContentRegionMax().x;
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(start, end - start);
      const float w = ImGui::CalcTextSize(need(o, line)).x;
      ImGui::SetCursorPosX(std::max(ImGui::GetStyle().WindowPadding.x, (width - w) * 0.5f));
      ImGui::TextUnformatted(line.empty() ? " " : line.c_str());
      start = end + 1;
    }
    if (!url.empty()) {
      const ImVec2 size = ImGui::CalcTextSize(need(o, url));
      ImGui::SetCursorPosX((width - size.x) * 0.5f);
      ImGui::TextColored(ImVec4(0.3f, 0.5f, 1.0f, 1.0f), "%s", url.c_str());
      const ImVec2 min = ImGui::GetItemRectMin(), max = ImGui::GetItemRectMax();
      ImGui::GetWindowDrawList()->AddLine(ImVec2(min.x, max.y), max, IM_COL32(80, 128, 255, 255));
      if (ImGui::IsItemClicked() && !e.host->headless()) plat::spawn_detached({"xdg-open", url});
    }
    if (development) {
      ImGui::Separator();
      check(o, msg::kAboutReportNoVoice, &no_voice);
      check(o, msg::kAboutReportNoPic, &no_pic);
      check(o, msg::kAboutOpenErrorLine, &open_line);
      ImGui::TextUnformatted(need(o, utf8(msg::kAboutSrcFolder)));
      ImGui::SetNextItemWidth(-1);
      ImGui::InputText("##src", src_buf, sizeof src_buf);
      ImGui::TextUnformatted(need(o, utf8(msg::kAboutEditor)));
      ImGui::SetNextItemWidth(-1);
      ImGui::InputText("##editor", editor_buf, sizeof editor_buf);
      need(o, src_buf);
      need(o, editor_buf);
    }
    Close c = Close::None;
    if (development) {
      c = buttons(o, nullptr);
    } else {
      ImGui::Separator();
      ImGui::SetCursorPosX((width - 80.0f) * 0.5f);
      if (ImGui::Button(need(o, utf8(msg::kOk)), ImVec2(80, 0)) || return_pressed() || escape_pressed()) c = Close::Ok;
    }
    if (c == Close::Ok && development) {
      put(e, setting::kReportNoVoice, no_voice ? 1 : 0);
      put(e, setting::kReportNoPic, no_pic ? 1 : 0);
      put(e, setting::kAutoOpenErrorLine, open_line ? 1 : 0);
      e.settings.set_string("SrcFolder", plat::utf8_to_sjis(src_buf).value_or(src_buf));
      e.settings.set_string("Editor", plat::utf8_to_sjis(editor_buf).value_or(editor_buf));
      e.settings.save();
    }
    if (c != Close::None) ImGui::CloseCurrentPopup();
    ImGui::EndPopup();
    return c == Close::None;
  });
}

std::optional<std::string> font_dialog(rt::Engine& e, const std::vector<std::string>& faces, size_t selected,
                                       bool proportional) {
  Overlay* o = overlay_of(e);
  if (!o || o->in_frame) return std::nullopt;
  (void)proportional;
  std::vector<std::string> names;
  for (const std::string& f : faces) names.push_back(utf8(f));
  int chosen = static_cast<int>(std::min(selected, faces.size() - 1));
  std::optional<std::string> result;
  const std::string sample = utf8(msg::kFontSample);
  modal_loop(e, *o, [&]() {
    if (!begin_dialog(*o, msg::kFontTitle, 340)) return false;
    ImGui::SetNextItemWidth(-1);
    if (ImGui::BeginCombo("##faces", need(*o, names[static_cast<size_t>(chosen)]))) {
      for (size_t i = 0; i < names.size(); ++i)
        if (ImGui::Selectable(need(*o, names[i]), static_cast<int>(i) == chosen)) chosen = static_cast<int>(i);
      ImGui::EndCombo();
    }
    ImGui::TextUnformatted(names[static_cast<size_t>(chosen)].c_str());
    ImGui::TextUnformatted(need(*o, sample));
    const Close c = buttons(*o, nullptr);
    if (c == Close::Ok) result = faces[static_cast<size_t>(chosen)];
    if (c != Close::None) ImGui::CloseCurrentPopup();
    ImGui::EndPopup();
    return c == Close::None;
  });
  return result;
}

}  // namespace

void run_dialog(rt::Engine& e, Dialog d) {
  Overlay* o = overlay_of(e);
  if (!o || o->in_frame || o->frozen) return;
  switch (d) {
    case Dialog::Speed: speed_dialog(e, *o); break;
    case Dialog::Sound: sound_dialog(e, *o); break;
    case Dialog::Screen: screen_dialog(e, *o); break;
    case Dialog::About: about_dialog(e, *o); break;
    case Dialog::Font: txt::run_font_dialog(e); break;
    case Dialog::None: break;
  }
  if (o->quit_after) {
    o->quit_after = false;
    quit_with_confirmation(e);
  }
}

void open_dialog(rt::Engine& e, Dialog d) { run_dialog(e, d); }

// [SECTION] File chooser and message boxes --------------------------------------------

namespace {

struct Chooser {
  std::string folder;  // native
  std::string filter;  // ".sav" or empty
  std::vector<plat::DirEntry> entries;
  char name[260] = {};
  int selected = -1;
  // What is shown beside the list, of the file the name field names: asked
  // for once when the name changes, not at every frame.
  std::string described;
  std::optional<FileSummary> summary;
  int picture_width = 0, picture_height = 0;  // the thumbnail's texture; 0: none

  void list() {
    entries.clear();
    for (plat::DirEntry& d : plat::list_directory(folder)) {
      if (d.native_name.empty() || d.native_name[0] == '.') continue;
      if (!d.is_directory && !filter.empty()) {
        const std::string& n = d.native_name;
        if (n.size() < filter.size()) continue;
        std::string tail = n.substr(n.size() - filter.size());
        for (char& ch : tail) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        if (tail != filter) continue;
      }
      entries.push_back(std::move(d));
    }
    std::sort(entries.begin(), entries.end(), [](const plat::DirEntry& a, const plat::DirEntry& b) {
      if (a.is_directory != b.is_directory) return a.is_directory;
      return a.native_name < b.native_name;
    });
    selected = -1;
  }
};

// The largest side of a thumbnail's texture: a save may hold a thumbnail
// of any size, the chooser shows a small one.
constexpr int kMaxPicture = 256;

// A thumbnail (blue-green-red rows) as the host's picture, opaque red,
// green, blue and alpha, thinned to at most kMaxPicture a side. Empty when
// the pixels do not fill the stated size.
plat::UiImage thumbnail_picture(const FileSummary& f) {
  plat::UiImage out;
  const int w = f.thumb_width, h = f.thumb_height;
  if (w <= 0 || h <= 0 || f.thumbnail.size() / 3 / static_cast<size_t>(w) < static_cast<size_t>(h)) return out;
  const int step = (std::max(w, h) + kMaxPicture - 1) / kMaxPicture;
  out.width = (w + step - 1) / step;
  out.height = (h + step - 1) / step;
  out.rgba.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height) * 4);
  uint8_t* to = out.rgba.data();
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x, to += 4) {
      const uint8_t* from = f.thumbnail.data() + (static_cast<size_t>(y) * step * w + static_cast<size_t>(x) * step) * 3;
      to[0] = from[2], to[1] = from[1], to[2] = from[0], to[3] = 255;
    }
  return out;
}

// Describes the file the name field names when that changed, and hands
// its thumbnail to the host.
void describe_named(rt::Engine& e, Overlay& o, Chooser& c) {
  const std::string path = c.name[0] ? plat::join_path(c.folder, c.name) : std::string();
  if (path == c.described) return;
  c.described = path;
  c.summary.reset();
  c.picture_width = c.picture_height = 0;
  Shell& s = shell_of(e);
  if (path.empty() || !s.describe_file) return;
  c.summary = s.describe_file(e, path);
  if (!c.summary) return;
  plat::UiImage picture = thumbnail_picture(*c.summary);
  if (picture.width == 0) return;
  c.picture_width = picture.width;
  c.picture_height = picture.height;
  e.host->set_ui_texture(kThumbnailTexture, picture);
  o.last_hash = 0;  // the drawing may be the same, its picture is not
}

std::string parent_folder(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return path.substr(0, slash);
}

// Runs the chooser; the chosen native path, or nullopt.
std::optional<std::string> run_chooser(rt::Engine& e, Overlay& o, const std::string& sjis_title,
                                       const std::string& native_folder, const std::string& sjis_name,
                                       const std::string& filter, bool saving) {
  Chooser c;
  c.folder = native_folder.empty() ? e.files.native_path(".") : native_folder;
  if (!plat::native_is_directory(c.folder)) c.folder = e.files.native_path(".");
  c.filter = filter;
  utf8(sjis_name).copy(c.name, sizeof c.name - 1);
  c.list();
  const std::string title = utf8(sjis_title);
  std::optional<std::string> result;
  bool confirm_overwrite = false;
  Shell& s = shell_of(e);
  modal_loop(e, o, [&]() {
    const ImGuiIO& io = ImGui::GetIO();
    const float width = std::min(io.DisplaySize.x - 20, 480.0f);
    if (!ImGui::IsPopupOpen(need(o, title))) ImGui::OpenPopup(title.c_str());
    centre_next(ImVec2(width, std::min(io.DisplaySize.y - 20, 360.0f)));
    if (!ImGui::BeginPopupModal(title.c_str(), nullptr, kDialogFlags)) return false;
    if (ImGui::Button(need(o, utf8(msg::kChooserUp)))) {
      c.folder = parent_folder(c.folder);
      c.list();
    }
    ImGui::SameLine();
    ImGui::TextUnformatted(need(o, c.folder));
    const float list_height = ImGui::GetContentRegionAvail().y - 3 * ImGui::GetFrameHeightWithSpacing();
    const bool describe = s.describe_file != nullptr;
    ImGui::BeginChild("##files", ImVec2(describe ? width * 0.6f : 0, list_height), true);
    std::string open_folder;
    for (size_t i = 0; i < c.entries.size(); ++i) {
      const plat::DirEntry& d = c.entries[i];
      std::string label = d.is_directory ? "[" + d.native_name + "]" : d.native_name;
      if (ImGui::Selectable(need(o, label), c.selected == static_cast<int>(i),
                            ImGuiSelectableFlags_AllowDoubleClick)) {
        c.selected = static_cast<int>(i);
        if (d.is_directory) {
          if (ImGui::IsMouseDoubleClicked(0)) open_folder = plat::join_path(c.folder, d.native_name);
        } else {
          std::fill(std::begin(c.name), std::end(c.name), 0);
          d.native_name.copy(c.name, sizeof c.name - 1);
        }
      }
    }
    ImGui::EndChild();
    if (!open_folder.empty()) {
      c.folder = open_folder;
      c.list();
    }
    if (describe) {
      describe_named(e, o, c);
      ImGui::SameLine();
      ImGui::BeginChild("##about", ImVec2(0, list_height), true);
      if (c.summary) {
        if (c.picture_width > 0) {
          // As large as the pane's width allows, keeping its shape, in at most half its height.
          const float pw = static_cast<float>(c.picture_width), ph = static_cast<float>(c.picture_height);
          const float scale = std::min(ImGui::GetContentRegionAvail().x / pw, list_height * 0.5f / ph);
          ImGui::Image(texture_ref(kThumbnailTexture), ImVec2(std::floor(pw * scale), std::floor(ph * scale)));
        }
        ImGui::TextWrapped("%s", need(o, c.summary->title));
        ImGui::TextUnformatted(need(o, c.summary->date));
      }
      ImGui::EndChild();
    }
    ImGui::TextUnformatted(need(o, utf8(msg::kChooserName)));
    ImGui::SameLine();
    ImGui::SetNextItemWidth(-1);
    ImGui::InputText("##name", c.name, sizeof c.name);
    need(o, c.name);
    Close close = buttons(o, nullptr);
    if (close == Close::Ok && c.name[0]) {
      std::string path = plat::join_path(c.folder, c.name);
      if (plat::native_is_directory(path)) {
        c.folder = path;
        c.list();
        std::fill(std::begin(c.name), std::end(c.name), 0);
        close = Close::None;
      } else if (saving && plat::native_exists(path) && !confirm_overwrite) {
        confirm_overwrite = true;
        close = Close::None;
      } else {
        result = path;
      }
    } else if (close == Close::Ok) {
      close = Close::None;
    }
    if (confirm_overwrite) {
      const std::string q = utf8(base::format(msg::kChooserOverwrite, plat::utf8_to_sjis(c.name).value_or("").c_str()));
      ImGui::TextColored(ImVec4(1, 0.8f, 0.3f, 1), "%s", need(o, q));
    }
    if (close != Close::None) ImGui::CloseCurrentPopup();
    ImGui::EndPopup();
    return close == Close::None;
  });
  return result;
}

}  // namespace

std::optional<std::string> choose_file(rt::Engine& e, const rt::FileChoice& choice) {
  Overlay* o = overlay_of(e);
  if (!o || o->in_frame || o->frozen) return std::nullopt;
  const std::string folder = choice.folder.empty() ? std::string() : e.files.native_path(choice.folder);
  const char* title = choice.purpose == rt::FileChoice::Purpose::SaveAs       ? msg::kChooserSaveTitle
                      : choice.purpose == rt::FileChoice::Purpose::LoadByName ? msg::kChooserLoadTitle
                                                                              : msg::kCaptureTitle;
  auto path = run_chooser(e, *o, title, folder, choice.suggestion, choice.filter,
                          choice.purpose != rt::FileChoice::Purpose::LoadByName);
  if (!path) return std::nullopt;
  // The engine's paths are Shift-JIS; a name it cannot spell is refused.
  return plat::utf8_to_sjis(*path);
}

void capture_to_file(rt::Engine& e) {
  Overlay* o = overlay_of(e);
  gfx::capture_screen(e, [&](const gfx::SaveDialogRequest& r) {
    gfx::SaveDialogAnswer a;
    if (!o || o->in_frame || o->frozen) return a;
    auto path = run_chooser(e, *o, r.title, r.folder, r.file_name, ".bmp", true);
    if (!path) return a;
    a.result = gfx::SaveDialogAnswer::Result::Chosen;
    a.path = *path;
    if (a.path.find('.', a.path.find_last_of('/') + 1) == std::string::npos) a.path += "." + r.extension;
    return a;
  });
  clear_input(e);
}

std::optional<plat::Answer> modal_box(rt::Engine& e, std::string_view caption, std::string_view text,
                                      plat::Buttons kind) {
  Overlay* o = overlay_of(e);
  if (!o || o->in_frame || o->frozen) return std::nullopt;
  const std::string title = utf8(caption) + "##box";
  const std::string body = utf8(text);
  std::vector<std::pair<plat::Answer, const char*>> choices;
  switch (kind) {
    case plat::Buttons::Ok: choices = {{plat::Answer::Ok, "OK"}}; break;
    case plat::Buttons::OkCancel: choices = {{plat::Answer::Ok, "OK"}, {plat::Answer::Cancel, "Cancel"}}; break;
    case plat::Buttons::YesNo: choices = {{plat::Answer::Yes, "Yes"}, {plat::Answer::No, "No"}}; break;
    case plat::Buttons::RetryCancel: choices = {{plat::Answer::Retry, "Retry"}, {plat::Answer::Cancel, "Cancel"}}; break;
  }
  std::optional<plat::Answer> answer;
  modal_loop(e, *o, [&]() {
    if (!ImGui::IsPopupOpen(need(*o, title))) ImGui::OpenPopup(title.c_str());
    centre_next();
    if (!ImGui::BeginPopupModal(title.c_str(), nullptr, kDialogFlags | ImGuiWindowFlags_AlwaysAutoResize))
      return false;
    ImGui::PushTextWrapPos(ImGui::GetIO().DisplaySize.x * 0.8f);
    ImGui::TextUnformatted(need(*o, body));
    ImGui::PopTextWrapPos();
    ImGui::Separator();
    for (size_t i = 0; i < choices.size(); ++i) {
      if (i) ImGui::SameLine();
      if (ImGui::Button(choices[i].second, ImVec2(80, 0))) answer = choices[i].first;
    }
    if (!answer && return_pressed()) answer = choices.front().first;
    if (!answer && escape_pressed()) answer = choices.back().first;
    if (answer) ImGui::CloseCurrentPopup();
    ImGui::EndPopup();
    return !answer;
  });
  if (o->quit_after) o->quit_after = false;  // closing the window answers the box with its last button
  return answer ? answer : std::optional<plat::Answer>(choices.back().first);
}

// [SECTION] Start and stop -----------------------------------------------------------------

void start_overlay(rt::Engine& e) {
  Shell& s = shell_of(e);
  if (s.overlay) return;
  auto o = std::make_unique<Overlay>();
  IMGUI_CHECKVERSION();
  o->context = ImGui::CreateContext();
  ImGui::SetCurrentContext(o->context);
  ImGuiIO& io = ImGui::GetIO();
  io.IniFilename = nullptr;  // nothing written beside the game
  io.LogFilename = nullptr;
  io.ConfigFlags |= ImGuiConfigFlags_NavEnableKeyboard;
  io.MouseDrawCursor = false;
  const int keys[][2] = {{ImGuiKey_Tab, 0x09},       {ImGuiKey_LeftArrow, 0x25}, {ImGuiKey_RightArrow, 0x27},
                         {ImGuiKey_UpArrow, 0x26},   {ImGuiKey_DownArrow, 0x28}, {ImGuiKey_PageUp, 0x21},
                         {ImGuiKey_PageDown, 0x22},  {ImGuiKey_Home, 0x24},      {ImGuiKey_End, 0x23},
                         {ImGuiKey_Insert, 0x2D},    {ImGuiKey_Delete, 0x2E},    {ImGuiKey_Backspace, 0x08},
                         {ImGuiKey_Space, 0x20},     {ImGuiKey_Enter, 0x0D},     {ImGuiKey_Escape, 0x1B},
                         {ImGuiKey_KeyPadEnter, 0x0D}, {ImGuiKey_A, 0x41},       {ImGuiKey_C, 0x43},
                         {ImGuiKey_V, 0x56},         {ImGuiKey_X, 0x58},         {ImGuiKey_Y, 0x59},
                         {ImGuiKey_Z, 0x5A}};
  for (const auto& k : keys) io.KeyMap[k[0]] = k[1];
  io.MousePos = ImVec2(-1, -1);
  ImGui::StyleColorsLight();
  ImGuiStyle& style = ImGui::GetStyle();
  style.WindowRounding = 0;
  style.FramePadding = ImVec2(6, 3);
  // The band is there from the start, so that the window does not change
  // size when the bar is first drawn.
  o->band = e.host->fullscreen() ? 0 : kBarRows;
  e.host->set_menu_band(o->band);
  // The light style draws check boxes, fields and combo boxes white on a
  // white dialog: a border shows where they are.
  style.FrameBorderSize = 1.0f;
  s.overlay = std::move(o);
  e.text->font_dialog = font_dialog;
  e.vm->hooks.choose_file = choose_file;
  e.host->set_box_fallback([&e](std::string_view caption, std::string_view text, plat::Buttons b, plat::Icon) {
    return modal_box(e, caption, text, b);
  });
}

void stop_overlay(rt::Engine& e) {
  if (!e.shell || !e.shell->overlay) return;
  e.host->set_box_fallback(nullptr);
  Overlay& o = *e.shell->overlay;
  if (o.context) ImGui::DestroyContext(o.context);
  e.shell->overlay.reset();
}

}  // namespace shell
