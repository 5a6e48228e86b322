#include "runtime/script_error.h"

#include "platform/encoding.h"
#include "platform/system.h"
#include "resources/resources.h"
#include "runtime/engine.h"
#include "runtime/error_report.h"
#include "runtime/script_machine.h"

namespace rt {
namespace {

struct Position {
  std::string name;
  int line;
};

Position position_of(Engine& e, const Frame& f) {
  LoadedScript* s = script_of(e, f.pc);
  return {s ? s->name : std::string(), f.line};
}

}  // namespace

std::string script_position_prefix(Engine& e) {
  ScriptMachine& vm = *e.vm;
  Thread* t = vm.current;
  if (!t || !script_of(e, t->frame().pc)) return {};
  const int d = t->depth;
  auto p = [&](int depth) { return position_of(e, t->frames[depth]); };
  Position cur = p(d);
  if (d == 0) return format("%s(%d) : ", cur.name.c_str(), cur.line);
  if (d == 1) {
    Position f0 = p(0);
    return format("%s(%d).%s(%d) : ", f0.name.c_str(), f0.line, cur.name.c_str(), cur.line);
  }
  if (d == 2) {
    Position f0 = p(0), f1 = p(1);
    return format("%s(%d).%s(%d).%s(%d) : ", f0.name.c_str(), f0.line, f1.name.c_str(), f1.line, cur.name.c_str(),
                  cur.line);
  }
  Position a = p(d - 3), b = p(d - 2), c = p(d - 1);
  return format("%s(%d).%s(%d).%s(%d).%s(%d) : \n", a.name.c_str(), a.line, b.name.c_str(), b.line, c.name.c_str(),
                c.line, cur.name.c_str(), cur.line);
}

void script_error(Engine& e, std::string_view text) {
  if (res::is_release_mode(e)) return;
  ScriptMachine& vm = *e.vm;
  std::string message = script_position_prefix(e);
  if (!message.empty() && e.settings.get_int("AutoOpenErrorLine").value_or(1) != 0) {
    // The nearest frame whose script has read marks names the source line.
    Thread* t = vm.current;
    for (int d = t->depth; d >= 0; --d) {
      LoadedScript* s = script_of(e, t->frames[d].pc);
      if (s && s->line_count > 0) {
        open_editor_at(e, s->name, t->frames[d].line);
        break;
      }
    }
  }
  message += text;
  debug_log(e, message);
  error_box_retry(e, message);
}

void open_editor_at(Engine& e, std::string_view script_name, int line) {
  // Only where a person sits at the screen.
  if (res::is_release_mode(e) || e.host->headless()) return;
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
    std::string stem(script_name.substr(0, script_name.size() - 4));
    source = dir + "/" + plat::sjis_to_utf8(stem) + ".txt";
    if (!plat::native_exists(source)) source = dir + "/" + plat::sjis_to_utf8(stem) + ".mjs";
  }
  std::vector<std::string> argv;
  for (std::string word : plat::split_command_line(plat::sjis_to_utf8(command))) {
    if (size_t at = word.find("%fn%"); at != std::string::npos) word.replace(at, 4, source);
    if (size_t at = word.find("%line%"); at != std::string::npos) word.replace(at, 6, std::to_string(line));
    argv.push_back(std::move(word));
  }
  plat::spawn_detached(argv);  // an editor that cannot start is ignored
}

}  // namespace rt
