#include "core/game_folders.h"

#include "core/engine.h"

namespace rt {

bool is_release_mode(const Engine& e) { return e.mode == Mode::Release; }

void set_development_mode(Engine& e) { e.mode = Mode::Development; }

std::string savedata_path(const Engine& e, std::string_view relative) {
  const std::string& dir = e.savedata_dir;
  if (dir.empty()) return std::string(relative);
  std::string out = dir;
  if (out.back() != '\\' && out.back() != '/') out += '\\';
  return out + std::string(relative);
}

std::string savedata_native_path(const Engine& e, std::string_view relative) {
  return e.files.native_path(savedata_path(e, relative));
}

}  // namespace rt
