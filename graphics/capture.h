// Screen capture: the front buffer as an uncompressed 24-bit BMP file, the
// capture command with its proposed name and remembered folder, and the
// screenshot written at exit (--screenshot, BMP or PNG).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "graphics/page.h"

namespace rt { struct Engine; }

namespace gfx {

// The file: "BM", size stride × height + 56, pixels at 54, the page's
// header with a positive height, the rows bottom-up at full stride, then
// two zero bytes. The page must be 24-bit.
std::vector<uint8_t> bmp_file(const Page& page);

// Writes the front buffer (atomically). 0 on success; 1 when there is no
// front buffer, it is 8-bit, or the file cannot be written.
int write_front_buffer_bmp(rt::Engine& e, const std::string& native_path);

// The save dialog the capture shows (the shell draws it).
struct SaveDialogRequest {
  std::string title;       // Shift-JIS
  std::string filter;      // Shift-JIS: "BMP Files (*.BMP)"
  std::string pattern;     // "*.bmp"
  std::string folder;      // native path of the initial folder
  std::string file_name;   // Shift-JIS: the proposed name
  std::string extension;   // "bmp", added when the player gives none
};
struct SaveDialogAnswer {
  enum class Result { Chosen, Cancelled, Failed } result = Result::Cancelled;
  std::string path;        // native path, for Chosen
};
using SaveDialog = std::function<SaveDialogAnswer(const SaveDialogRequest&)>;

// The proposed file name (Shift-JIS) for a base name at a local time:
// "<base>(YY年MM月DD日 hh時mm分ss秒).bmp".
struct CaptureTime {
  int year, month, day, hour, minute, second;
};
std::string capture_file_name(std::string_view base, const CaptureTime& time);

// The capture command: 0 when a file was written, -1 otherwise. The folder
// of the written file is remembered in the settings ("CapFolder").
int capture_screen(rt::Engine& e, const SaveDialog& dialog);

// --screenshot: the front buffer (or the last one, after shutdown) as BMP,
// or as PNG when the name ends in ".png". False when nothing was written.
bool write_screenshot(rt::Engine& e, const std::string& native_path);
// --screenshot-presented: what the player sees of the game area (the
// picture with the host's layers over it), in the same formats.
bool write_presented_screenshot(rt::Engine& e, const std::string& native_path);

}  // namespace gfx
