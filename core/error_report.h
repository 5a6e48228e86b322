// Error boxes and the debug log.
//
// Script errors are for the game's developers: in development mode they
// become a Retry/Cancel box (Cancel ends the process with -1), a line in
// "debugout.log" and a copy on the clipboard; in release mode they are
// dropped and the script goes on.
#pragma once

#include <string>
#include <string_view>

#include "base/format.h"
#include "platform/host.h"

namespace rt {

struct Engine;

// Ends the process with `code` (unwinds to the program's entry).
[[noreturn]] void end_process(Engine& e, int code);

// Shows `text` with Retry/Cancel and the error icon; copies it to the
// clipboard first. Retry returns; Cancel ends the process with -1. Shown in
// both modes: the loader and the resource open rely on it.
void error_box_retry(Engine& e, std::string_view text);
// The same with only an OK button.
void error_box(Engine& e, std::string_view text);
void warning_box(Engine& e, std::string_view text);
// A message box with the window title as caption.
plat::Answer message_box(Engine& e, std::string_view text, plat::Buttons buttons, plat::Icon icon);

// Appends a dated line to "debugout.log"; nothing in release mode.
void debug_log(Engine& e, std::string_view text);

// Error boxes show at most this many bytes of text.
constexpr size_t kErrorTextLimit = 512;
// Headless: how often the same Retry/Cancel box may come back in a row
// before the run gives up.
constexpr int kHeadlessRetryLimit = 20;

}  // namespace rt
