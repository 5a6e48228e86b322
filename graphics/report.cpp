#include "graphics/report.h"

#include <string>

#include "script/script_error.h"

namespace gfx {

void report(rt::Engine& e, std::string_view text) { rt::script_error(e, text); }

void report(rt::Engine& e, std::string_view name, std::string_view text) {
  std::string line(name);
  line += " : ";
  line += text;
  rt::script_error(e, line);
}

}  // namespace gfx
