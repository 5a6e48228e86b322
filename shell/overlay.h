// The menus and dialogs, drawn with Dear ImGui over what the player sees:
// the menu bar in a band above the game area while windowed (the window
// grows by its height) or over the top edge in full screen when the mouse
// is there or after F10; the settings dialogs, the file chooser and the
// message boxes the desktop cannot show, modal over a paused game.
//
// The drawing goes to the host as triangles (platform draws them with its
// renderer, headless with SDL's software one), never into the front
// buffer: captures, thumbnails and scripts' reads see only the game.
#pragma once

#include <optional>
#include <string>

#include "platform/host.h"
#include "script/script_machine.h"

namespace rt { struct Engine; }

namespace shell {

enum class Dialog;

// Makes the ImGui context and font and puts the menu bar up.
void start_overlay(rt::Engine& e);
void stop_overlay(rt::Engine& e);

// A window event for the menus; true when they take it (the game never
// sees a click on the menu bar or an open menu).
bool overlay_event(rt::Engine& e, const plat::Event& ev);
// Once per scheduler pass: the menu bar's frame to the host.
void overlay_frame(rt::Engine& e);

// Modal: runs until the dialog is closed (or the run must end).
void run_dialog(rt::Engine& e, Dialog d);

// The file chooser behind rt::Hooks::choose_file.
std::optional<std::string> choose_file(rt::Engine& e, const rt::FileChoice& choice);
// The capture command with the chooser as its save dialog.
void capture_to_file(rt::Engine& e);
// A message box as an ImGui modal (when the desktop cannot show one).
std::optional<plat::Answer> modal_box(rt::Engine& e, std::string_view sjis_caption, std::string_view sjis_text,
                                      plat::Buttons buttons);

}  // namespace shell
