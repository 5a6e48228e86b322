// Message boxes and the debug log, as scripts use them.
#include "core/engine.h"
#include "core/error_report.h"
#include "resources/resources.h"
#include "script/builtins/tables.h"
#include "script/script_machine.h"

namespace rt {
namespace {

// The arguments from the first to the last, each followed by a blank.
std::string formatted_arguments(const Call& c) {
  std::string text;
  for (int n = 1; n <= c.argc; ++n) {
    const Value& v = *c.arg(n);
    switch (v.kind) {
      case kInt: text += base::format("%d ", v.i); break;
      case kFloat: text += base::format("%f ", static_cast<double>(v.f)); break;
      case kString: text += std::string(string_of(v)) + " "; break;
      case kIntArray: text += "[INT_ARRAY] "; break;
      case kFloatArray: text += "[FIXED_ARRAY] "; break;
      default: text += "[STRING_ARRAY] "; break;
    }
  }
  return text;
}

// Before a box shows, the current frame is put on the screen.
plat::Answer show(Call& c, plat::Buttons buttons, plat::Icon icon) {
  Engine& e = c.engine;
  if (e.vm->hooks.compose_frame) e.vm->hooks.compose_frame(e);
  return message_box(e, formatted_arguments(c), buttons, icon);
}

Progress debugout(Call& c) {
  debug_log(c.engine, formatted_arguments(c));
  c.ret_int(0);
  return Progress::Done;
}

template <plat::Buttons B, plat::Icon I, plat::Answer Yes>
Progress box(Call& c) {
  plat::Answer a = show(c, B, I);
  c.ret_int(B == plat::Buttons::Ok ? 0 : (a == Yes ? 1 : 0));
  return Progress::Done;
}

// Error boxes are for developers: in release mode they answer at once.
template <plat::Buttons B, plat::Answer Yes>
Progress error_box_builtin(Call& c) {
  if (rt::is_release_mode(c.engine)) {
    c.ret_int(B == plat::Buttons::Ok ? 0 : 1);
    return Progress::Done;
  }
  debug_log(c.engine, formatted_arguments(c));
  plat::Answer a = show(c, B, plat::Icon::Error);
  c.ret_int(B == plat::Buttons::Ok ? 0 : (a == Yes ? 1 : 0));
  return Progress::Done;
}

Progress is_debug(Call& c) {
  c.ret_int(rt::is_release_mode(c.engine) ? 0 : 1);
  return Progress::Done;
}

using plat::Answer;
using plat::Buttons;
using plat::Icon;

constexpr auto kTable = handler_table<Subsystem::script>({
    {"debugout", debugout},
    {"msgbox", box<Buttons::Ok, Icon::None, Answer::Ok>},
    {"msgbox_okcancel", box<Buttons::OkCancel, Icon::None, Answer::Ok>},
    {"msgbox_yesno", box<Buttons::YesNo, Icon::None, Answer::Yes>},
    {"msgbox_retrycancel", box<Buttons::RetryCancel, Icon::None, Answer::Retry>},
    {"msgbox_warning", box<Buttons::Ok, Icon::Warning, Answer::Ok>},
    {"msgbox_warning_okcancel", box<Buttons::OkCancel, Icon::Warning, Answer::Ok>},
    {"msgbox_warning_yesno", box<Buttons::YesNo, Icon::Warning, Answer::Yes>},
    {"msgbox_warning_retrycancel", box<Buttons::RetryCancel, Icon::Warning, Answer::Retry>},
    {"msgbox_error", error_box_builtin<Buttons::Ok, Answer::Ok>},
    {"msgbox_error_okcancel", error_box_builtin<Buttons::OkCancel, Answer::Ok>},
    {"msgbox_error_yesno", error_box_builtin<Buttons::YesNo, Answer::Yes>},
    {"msgbox_error_retrycancel", error_box_builtin<Buttons::RetryCancel, Answer::Retry>},
    {"is_debug", is_debug},
});

}  // namespace

std::span<const BuiltinEntry> message_builtins() { return kTable; }

}  // namespace rt
