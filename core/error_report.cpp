#include "core/error_report.h"

#include <cerrno>
#include <cstdio>

#include "core/engine.h"
#include "core/messages.h"
#include "platform/encoding.h"

namespace rt {

void end_process(Engine&, int code) { throw ProcessExit{code}; }

plat::Answer message_box(Engine& e, std::string_view text, plat::Buttons buttons, plat::Icon icon) {
  const std::string shown = localise(e, text);
  text = shown;
  return e.host->message_box(e.window_title, text.substr(0, std::min(text.size(), kErrorTextLimit)), buttons,
                             icon);
}

void error_box_retry(Engine& e, std::string_view original) {
  const std::string shown = localise(e, original);
  std::string_view text = shown;
  text = text.substr(0, std::min(text.size(), kErrorTextLimit));
  // Unattended runs: the same box answered Retry again and again with no
  // scheduler pass in between can never succeed; give up as Cancel would.
  if (e.host->headless()) {
    if (text == e.last_retry_text) {
      if (++e.retry_repeats >= kHeadlessRetryLimit) {
        std::fprintf(stderr, "quorel: the same error box came back %d times; giving up\n", kHeadlessRetryLimit);
        end_process(e, -1);
      }
    } else {
      e.last_retry_text = std::string(text);
      e.retry_repeats = 0;
    }
  }
  e.host->set_clipboard(text);
  if (message_box(e, text, plat::Buttons::RetryCancel, plat::Icon::Error) != plat::Answer::Retry)
    end_process(e, -1);
}

void error_box(Engine& e, std::string_view text) {
  e.host->set_clipboard(localise(e, text));
  message_box(e, text, plat::Buttons::Ok, plat::Icon::Error);
}

void warning_box(Engine& e, std::string_view text) { message_box(e, text, plat::Buttons::Ok, plat::Icon::Warning); }

void debug_log(Engine& e, std::string_view text) {
  if (rt::is_release_mode(e)) return;
  plat::LocalTime t = plat::local_time_now();
  std::string line = base::format("%02d%02d%02d_%02d%02d ", t.year % 100, t.month, t.day, t.hour, t.minute);
  line += plat::sjis_to_utf8(localise(e, text));
  line += '\n';
  // A log that cannot be written is skipped: error paths never fail.
  auto path = rt::savedata_write_path(e, "debugout.log");
  if (!path) return;
  plat::File f = plat::File::open(*path, "ab");
  if (!f && errno == ELOOP) rt::report_once(e, "refused to append to " + *path + ": it is a symbolic link");
  if (f) f.write(line.data(), line.size());
}

}  // namespace rt
