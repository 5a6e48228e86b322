#include "app/save_preview.h"

#include <utility>

#include "core/engine.h"
#include "core/game_folders.h"
#include "persistence/saves.h"
#include "platform/encoding.h"
#include "platform/files.h"

namespace rt {

std::optional<std::string> save_folder_path(const Engine& e, const std::string& native_path) {
  const std::string root = e.files.native_path(savedata_path(e, "savedata"));
  if (root.empty() || native_path.size() <= root.size() + 1 || native_path.compare(0, root.size(), root) != 0 ||
      native_path[root.size()] != '/')
    return std::nullopt;
  // Each name below the folder in the engine's spelling: UTF-8 names as
  // Shift-JIS, names stored in Shift-JIS as they are.
  std::string engine_path = "savedata";
  size_t at = root.size() + 1;
  while (at <= native_path.size()) {
    size_t end = native_path.find('/', at);
    if (end == std::string::npos) end = native_path.size();
    const std::string part = native_path.substr(at, end - at);
    // A backslash would be a separator to the engine.
    if (part.empty() || part == "." || part == ".." || part.find('\\') != std::string::npos) return std::nullopt;
    engine_path += '\\';
    engine_path += plat::utf8_to_sjis(part).value_or(part);
    at = end + 1;
  }
  // The engine resolves names without regard to letter case: it must come
  // back to this very file, not to a neighbour that differs in case.
  if (savedata_native_path(e, engine_path) != native_path) return std::nullopt;
  // Nor may a link in the folder lead out of it.
  if (!plat::native_path_within(native_path, root)) return std::nullopt;
  return engine_path;
}

std::optional<shell::FileSummary> describe_save_file(Engine& e, const std::string& native_path) {
  auto engine_path = save_folder_path(e, native_path);
  if (!engine_path || plat::native_is_directory(native_path)) return std::nullopt;
  auto save = persist::summarize_save(e, *engine_path);
  if (!save) return std::nullopt;
  shell::FileSummary out;
  out.title = plat::sjis_to_utf8(save->title);
  out.date = save->time;
  out.thumb_width = save->thumb_width;
  out.thumb_height = save->thumb_height;
  out.thumbnail = std::move(save->thumbnail);
  return out;
}

}  // namespace rt
