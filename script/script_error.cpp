#include "script/script_error.h"

#include "core/engine.h"
#include "core/error_report.h"
#include "resources/resources.h"
#include "script/outside_programs.h"
#include "script/script_machine.h"

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
  if (d == 0) return base::format("%s(%d) : ", cur.name.c_str(), cur.line);
  if (d == 1) {
    Position f0 = p(0);
    return base::format("%s(%d).%s(%d) : ", f0.name.c_str(), f0.line, cur.name.c_str(), cur.line);
  }
  if (d == 2) {
    Position f0 = p(0), f1 = p(1);
    return base::format("%s(%d).%s(%d).%s(%d) : ", f0.name.c_str(), f0.line, f1.name.c_str(), f1.line, cur.name.c_str(),
                  cur.line);
  }
  Position a = p(d - 3), b = p(d - 2), c = p(d - 1);
  return base::format("%s(%d).%s(%d).%s(%d).%s(%d) : \n", a.name.c_str(), a.line, b.name.c_str(), b.line, c.name.c_str(),
                c.line, cur.name.c_str(), cur.line);
}

void builtin_error(Engine& e, std::string_view name, std::string_view text) {
  if (is_release_mode(e)) return;
  std::string line(name);
  line += " : ";
  line += text;
  script_error(e, line);
}

void script_error(Engine& e, std::string_view text) {
  if (rt::is_release_mode(e)) return;
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

}  // namespace rt
