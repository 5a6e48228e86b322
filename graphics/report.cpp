#include "graphics/report.h"

#include <string>

#include "resources/resources.h"
#include "runtime/engine.h"
#include "runtime/error_report.h"

namespace gfx {

void report(rt::Engine& e, std::string_view text) {
  if (res::is_release_mode(e)) return;
  rt::debug_log(e, text);
  rt::error_box_retry(e, text);
}

void report(rt::Engine& e, std::string_view name, std::string_view text) {
  std::string line(name);
  line += " : ";
  line += text;
  report(e, line);
}

}  // namespace gfx
