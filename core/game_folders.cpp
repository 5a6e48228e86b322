#include "core/game_folders.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/game_names.h"
#include "core/engine.h"
#include "platform/encoding.h"
#include "platform/files.h"

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
  if (base::unsafe_name_reason(relative)) return {};
  std::string path = e.files.native_path(savedata_path(e, relative));
  // Reads are held to the same folder as writes: a "savedata" link that a
  // game brings along must not show it someone else's files.
  if (!plat::native_path_within(path, savedata_root(e))) return {};
  return path;
}

void report_once(Engine& e, const std::string& text) {
  if (e.reported_once.insert(text).second) std::fprintf(stderr, "quorel: %s\n", text.c_str());
}

bool check_write_path(Engine& e, const std::string& native_path, const std::string& root) {
  size_t slash = native_path.find_last_of('/');
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : native_path.substr(0, slash);
  if (plat::make_directories_within(folder, root)) return true;
  int err = errno;
  if (err == EXDEV)
    report_once(e, "refused to write " + native_path + ": a folder on the way is a link that leads out of " + root);
  else
    report_once(e, "cannot create the folder " + folder + ": " + std::strerror(err));
  return false;
}

std::string savedata_root(const Engine& e) {
  return e.savedata_dir.empty() ? e.files.current_directory() : e.files.native_path(e.savedata_dir);
}

std::optional<std::string> savedata_write_path(Engine& e, std::string_view relative) {
  if (const char* why = base::unsafe_name_reason(relative)) {
    report_once(e, "refused to write \"" + plat::sjis_to_utf8(relative) + "\": " + why);
    return std::nullopt;
  }
  std::string root = savedata_root(e);
  std::string path = e.files.native_path(savedata_path(e, relative));
  if (!check_write_path(e, path, root)) return std::nullopt;
  return path;
}

}  // namespace rt
