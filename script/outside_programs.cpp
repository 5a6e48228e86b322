#include "script/outside_programs.h"

#include <string>
#include <vector>

#include "core/engine.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "platform/system.h"
#include "resources/resources.h"

namespace rt {

void open_editor_at(Engine& e, std::string_view script_name, int line) {
  // Only where a person sits at the screen.
  if (rt::is_release_mode(e) || e.host->headless()) return;
  std::string command = e.settings.get_string("Editor").value_or("none");
  if (command.empty()) return;
  if (command == "none") {
    auto editor = plat::environment_variable("VISUAL");
    if (!editor) editor = plat::environment_variable("EDITOR");
    if (!editor) return;
    command = *editor + " +%line% %fn%";
  }
  // The source lies one folder above the compiled file, as .txt or .mjs.
  std::string source;
  if (auto compiled = res::FfFilePath(e, script_name)) {
    std::string dir = compiled->substr(0, compiled->find_last_of('/'));
    dir = dir.substr(0, dir.find_last_of('/'));
    // Names differ in case on disk: resolve them as every game file is.
    std::string stem(script_name.substr(0, script_name.size() - 4));
    source = e.files.native_path(dir + "/" + stem + ".txt");
    if (!plat::native_exists(source)) source = e.files.native_path(dir + "/" + stem + ".mjs");
  }
  std::vector<std::string> argv;
  for (std::string word : plat::split_command_line(plat::sjis_to_utf8(command))) {
    if (size_t at = word.find("%fn%"); at != std::string::npos) word.replace(at, 4, source);
    if (size_t at = word.find("%line%"); at != std::string::npos) word.replace(at, 6, std::to_string(line));
    argv.push_back(std::move(word));
  }
  plat::spawn_detached(argv);  // an editor that cannot start is ignored
}

void start_outside_compiler(Engine& e, std::string_view dropped_path) {
  std::string path = e.files.native_path(dropped_path);
  std::string dir = path.substr(0, path.find_last_of('/'));
  plat::spawn_detached({dir + "/QuorelCompile.exe", "/f", "/t", "/d", "/txt", "/s" + path}, dir);
}

}  // namespace rt
