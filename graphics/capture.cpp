#include "graphics/capture.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/bytes.h"
#include "base/game_names.h"
#include "base/sjis.h"
#include "core/engine.h"
#include "core/env_file.h"
#include "core/error_report.h"
#include "graphics/display.h"
#include "graphics/draw.h"
#include "graphics/png_codec.h"
#include "graphics/state.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "res/screen.h"
#include "resources/resources.h"

namespace gfx {

namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr size_t kNameLimit = 192;

void put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

std::string two_digits(int v) { return base::format("%02d", ((v % 100) + 100) % 100); }

// The folder part of a path, without its last separator.
std::string folder_of(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

std::vector<uint8_t> bmp_file(const Page& page) {
  const uint32_t pixels = static_cast<uint32_t>(page.stride) * static_cast<uint32_t>(page.height);
  std::vector<uint8_t> out;
  out.reserve(pixels + kFileHeaderSize + kInfoHeaderSize + 2);
  put16(out, 0x4D42);  // "BM"
  put32(out, pixels + 56);
  put32(out, 0);
  put32(out, kFileHeaderSize + kInfoHeaderSize);
  put32(out, kInfoHeaderSize);
  put32(out, static_cast<uint32_t>(page.width));
  put32(out, static_cast<uint32_t>(page.height));  // positive: bottom-up
  put16(out, 1);
  put16(out, 24);
  for (int i = 0; i < 6; ++i) put32(out, 0);  // compression, image size, resolution, colours
  for (int y = page.height - 1; y >= 0; --y) out.insert(out.end(), page.row(y), page.row(y) + page.stride);
  out.push_back(0);
  out.push_back(0);
  return out;
}

int write_front_buffer_bmp(rt::Engine& e, const std::string& native_path) {
  Page* front = e.gfx->display.front;
  if (!front || front->is8bit) return 1;
  return plat::write_file_atomic(native_path, bmp_file(*front)) ? 0 : 1;
}

std::string capture_file_name(std::string_view base, const CaptureTime& t) {
  return base::format(msg::kCaptureFileName, std::string(base).c_str(), two_digits(t.year).c_str(),
                    two_digits(t.month).c_str(), two_digits(t.day).c_str(), two_digits(t.hour).c_str(),
                    two_digits(t.minute).c_str(), two_digits(t.second).c_str());
}

int capture_screen(rt::Engine& e, const SaveDialog& dialog) {
  Page* front = e.gfx->display.front;
  if (!front || front->is8bit || !dialog) return -1;
  SaveDialogRequest request;
  if (auto saved = e.settings.get_string("CapFolder"); saved && !saved->empty())
    request.folder = plat::sjis_to_utf8(*saved);
  else
    request.folder = plat::join_path(e.files.current_directory(), "savedata");
  std::string base = rt::is_release_mode(e) ? rt::env_string(e, "CAPTURE_NAME", 260, msg::kCaptureDefaultName)
                                             : e.window_title;
  // The suggested name comes from game data: a file name, never a path.
  if (const char* why = base::unsafe_file_name_reason(base)) {
    rt::report_once(e, "capture name \"" + plat::sjis_to_utf8(base) + "\" is refused: " + why);
    return -1;
  }
  plat::LocalTime now = plat::local_time_now();
  request.file_name = capture_file_name(base, {now.year, now.month, now.day, now.hour, now.minute, now.second});
  request.title = msg::kCaptureTitle;
  request.filter = msg::kCaptureFilter;
  request.pattern = "*.bmp";
  request.extension = "bmp";

  SaveDialogAnswer answer = dialog(request);
  if (answer.result == SaveDialogAnswer::Result::Failed) {
    rt::error_box(e, msg::kCaptureFailed);
    return -1;
  }
  if (answer.result != SaveDialogAnswer::Result::Chosen || answer.path.empty()) return -1;
  // The limit is on the name as the engine holds it (Shift-JIS).
  size_t length = plat::utf8_to_sjis(answer.path).value_or(answer.path).size();
  if (length >= kNameLimit) {
    rt::error_box(e, msg::kCaptureNameTooLong);
    return -1;
  }
  if (write_front_buffer_bmp(e, answer.path) != 0) return -1;
  std::string folder = folder_of(answer.path);
  e.settings.set_string("CapFolder", plat::utf8_to_sjis(folder).value_or(folder));
  e.settings.save();
  return 0;
}

// A 24-bit page as PNG when the name ends in ".png", else as BMP.
bool write_picture_file(const Page& picture, const std::string& native_path) {
  std::string ext = base::sjis_lower(base::extension_of(native_path));
  std::vector<uint8_t> bytes = ext == ".png" ? encode_png_bgr(picture.pixels(), picture.width, picture.height,
                                                              static_cast<size_t>(picture.stride))
                                             : bmp_file(picture);
  if (bytes.empty() || !plat::write_file_atomic(native_path, bytes)) {
    std::fprintf(stderr, "quorel: cannot write the screenshot %s: %s\n", native_path.c_str(),
                 bytes.empty() ? "the picture cannot be encoded" : std::strerror(errno));
    return false;
  }
  return true;
}

bool write_screenshot(rt::Engine& e, const std::string& native_path) {
  Display& d = e.gfx->display;
  // While the program runs: the front buffer, as it is shown; after the
  // shutdown: the picture it ended with.
  Page* picture = nullptr;
  if (Page* front = d.front) {
    picture = &create_page_24(e, front->width, front->height, false);
    plain_copy(*front, front->bounds(), *picture, 0, 0);
  } else if (!d.final_picture.empty()) {
    picture = &create_page_24(e, d.final_width, d.final_height, false);
    const size_t row = static_cast<size_t>(d.final_width) * 3;
    for (int y = 0; y < d.final_height; ++y) std::memcpy(picture->row(y), d.final_picture.data() + row * y, row);
  }
  if (!picture) {
    std::fprintf(stderr, "quorel: no picture to write to %s\n", native_path.c_str());
    return false;
  }
  bool written = write_picture_file(*picture, native_path);
  release_page(e, picture, true);
  return written;
}

bool write_presented_screenshot(rt::Engine& e, const std::string& native_path) {
  plat::Bitmap seen;
  if (!e.host || !e.host->presented(seen) || seen.width <= 0 || seen.height <= 0) {
    std::fprintf(stderr, "quorel: no picture to write to %s\n", native_path.c_str());
    return false;
  }
  Page& picture = create_page_24(e, seen.width, seen.height, false);
  const size_t row = static_cast<size_t>(seen.stride());
  for (int y = 0; y < seen.height; ++y) std::memcpy(picture.row(y), seen.pixels.data() + row * y, row);
  bool written = write_picture_file(picture, native_path);
  release_page(e, &picture, true);
  return written;
}

}  // namespace gfx
