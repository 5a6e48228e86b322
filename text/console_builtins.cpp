// Built-ins of the message console: its box, font, pen and flags, the voice
// slots, backlog navigation and replay.
#include "base/sjis.h"
#include "core/engine.h"
#include "core/error_report.h"
#include "graphics/page.h"
#include "res/text.h"
#include "script/builtins.h"
#include "script/script_error.h"
#include "script/script_machine.h"
#include "text/render.h"
#include "text/text_builtins.h"
#include "text/text_state.h"

namespace txt {

using rt::Call;
using rt::Progress;

namespace {

// A syscall instruction: opcode, key, argument count.
constexpr rt::CodeAddress kSyscallBytes = 8;

Console& con(Call& c) { return c.engine.text->console; }

Progress result(Call& c, int32_t n) {
  c.ret_int(n);
  return Progress::Done;
}

// Group-1 endings. `finish` leaves the result where the call was and then
// opens the frames of the hooks the console called; `again` leaves the
// arguments for the same call to run once more after the hooks.
Progress finish(Call& c, int32_t value) {
  rt::Thread& t = c.thread;
  rt::drop_to(t, t.frame().stack_top - c.argc);
  if (!c.discard) rt::push(c.engine, t, rt::int_value(value));
  run_hook_calls(c.engine, t);
  return Progress::Done;
}

Progress again(Call& c) {
  rt::Frame& f = c.frame();
  if (f.pc >= kSyscallBytes) f.set_pc(f.pc - kSyscallBytes);
  run_hook_calls(c.engine, c.thread);
  return Progress::Done;
}

// --- Box, font, pen ------------------------------------------------------------------

Progress console_set(Call& c) {
  FontRecord& r = con(c).rec;
  int32_t page = c.int_arg(1);
  if (!gfx::is_page_valid(c.engine, page)) {
    rt::script_error(c.engine, msg::kConsoleSetNoPage);
    page = drawing_page(c.engine);
  }
  r.page = page;
  r.left = c.int_arg(2);
  r.top = c.int_arg(3);
  r.box_width = c.int_arg(4);
  r.box_height = c.int_arg(5);
  r.x = r.left;
  r.y = r.top;
  return result(c, 0);
}

Progress console_color(Call& c) {
  execute(c.engine, colour_record(static_cast<uint32_t>(c.int_arg(1)), static_cast<uint32_t>(c.int_arg(2, -1))), true);
  return result(c, 0);
}

Progress console_font(Call& c) {
  const int32_t size = c.int_arg(2, 20);
  const int32_t width = c.int_arg(3, size / 2);
  const int32_t pitch = c.int_arg(4, static_cast<int32_t>(static_cast<int64_t>(size) * 5 / 4));
  execute(c.engine, font_record(size, width, pitch, c.int_arg(5, 0), c.str_arg(1)), true);
  return result(c, 0);
}

Progress console_locate(Call& c) {
  execute(c.engine, locate_record(c.int_arg(1), c.int_arg(2)), true);
  return result(c, 0);
}

Progress console_pen(Call& c) {
  FontRecord& r = con(c).rec;
  r.x = c.int_arg(1);
  r.y = c.int_arg(2);
  return result(c, 0);
}

Progress console_cls(Call& c) {
  execute(c.engine, "w", true);
  return finish(c, 0);
}

Progress console_on(Call& c) {
  Console& k = con(c);
  if (!k.shown && k.replay_mode == 0) k.calls.push_back({kHookShow, {{c.int_arg(1), {}}, {c.int_arg(2), {}}}});
  k.shown = true;
  return finish(c, 0);
}

Progress console_off(Call& c) {
  Console& k = con(c);
  if (k.shown && k.replay_mode == 0) k.calls.push_back({kHookHide, {{c.int_arg(1), {}}, {c.int_arg(2), {}}}});
  k.shown = false;
  return finish(c, 0);
}

Progress console_is_on(Call& c) { return result(c, con(c).shown ? 1 : 0); }
Progress console_get_x(Call& c) { return result(c, con(c).rec.x - con(c).rec.left); }
Progress console_get_y(Call& c) { return result(c, con(c).rec.y - con(c).rec.top); }
Progress console_pen_x(Call& c) { return result(c, con(c).rec.x); }
Progress console_pen_y(Call& c) { return result(c, con(c).rec.y); }
Progress console_font_size(Call& c) { return result(c, con(c).rec.size); }

Progress console_instant_on(Call& c) {
  con(c).rec.instant = 1;
  return result(c, 0);
}

Progress console_instant_off(Call& c) {
  con(c).rec.instant = 0;
  return result(c, 0);
}

Progress console_skip_newline(Call& c) {
  con(c).skip_newline = true;
  return result(c, 0);
}

Progress console_first_line(Call& c) {
  c.ret_string(con(c).first_line_text);
  return Progress::Done;
}

// --- Voices ----------------------------------------------------------------------------

Progress set_voice_male(Call& c) {
  con(c).voice_male = true;
  return result(c, 0);
}

Progress set_voice_skip(Call& c) {
  con(c).voice_skip = true;
  return result(c, 0);
}

const VoiceSlot* voice_slot(Call& c) {
  const int32_t i = c.int_arg(1);
  return i >= 0 && i < kVoiceSlots ? &con(c).voices[static_cast<size_t>(i)] : nullptr;
}

Progress console_voice_count(Call& c) { return result(c, con(c).voice_count); }

Progress console_voice_name(Call& c) {
  const VoiceSlot* v = voice_slot(c);
  c.ret_string(v ? v->name : std::string());
  return Progress::Done;
}

Progress console_voice_top(Call& c) {
  const VoiceSlot* v = voice_slot(c);
  return result(c, v ? v->top : 0);
}

Progress console_voice_height(Call& c) {
  const VoiceSlot* v = voice_slot(c);
  return result(c, v ? v->height : 0);
}

// --- Backlog -----------------------------------------------------------------------------

Progress console_record_off(Call& c) {
  ++con(c).suspend;
  return result(c, 0);
}

Progress console_record_on(Call& c) {
  --con(c).suspend;
  return result(c, 0);
}

Progress console_page_count(Call& c) { return result(c, con(c).backlog.count(false)); }
Progress console_step_count(Call& c) { return result(c, con(c).backlog.count(true)); }

Progress console_page_pos(Call& c) {
  Console& k = con(c);
  return result(c, k.backlog.position_back(c.int_arg(1), !k.page_steps));
}

// The walking built-ins choose the step mode a later replay ends its page by.
Progress step(Call& c, bool fine, bool back) {
  Console& k = con(c);
  k.page_steps = !fine;
  const int pos = c.int_arg(1, -1);
  return result(c, back ? k.backlog.previous(pos, fine) : k.backlog.next(pos, fine));
}

Progress console_prev(Call& c) { return step(c, true, true); }
Progress console_next(Call& c) { return step(c, true, false); }
Progress console_prev_wipe(Call& c) { return step(c, false, true); }
Progress console_next_wipe(Call& c) { return step(c, false, false); }

ReplayState& replay_state(rt::Thread& t) {
  auto* s = static_cast<ReplayState*>(t.extension(rt::ThreadSlot::console));
  if (!s) {
    t.set_extension(rt::ThreadSlot::console, std::make_unique<ReplayState>());
    s = static_cast<ReplayState*>(t.extension(rt::ThreadSlot::console));
  }
  return *s;
}

// One run of a replay: a line of the pending text, or one backlog entry;
// the call runs again until the page ends.
Progress replay(Call& c, bool instant) {
  rt::Engine& e = c.engine;
  Console& k = con(c);
  FontRecord& r = k.rec;
  ReplayState& st = replay_state(c.thread);
  if (instant) r.instant = 1;
  if (k.pending && !k.pending->empty() && line_step(e, c.thread, c.frame().pc)) return again(c);
  if (!st.active) {
    st = ReplayState{};
    st.active = true;
    const int pos = c.int_arg(1, -1);
    if (pos == -1) {
      k.replay_mode = -1;
      k.page_steps = true;
      st.position = k.backlog.previous(-1, false);
    } else {
      k.replay_mode = 1;
      st.position = pos;
    }
  }
  const bool fine = !k.page_steps;
  auto entry = k.backlog.entry_at(st.position);
  bool end = !entry;
  if (entry) {
    const bool first = st.first;
    st.first = false;
    const std::string_view rec = entry->record();
    if (!entry->command()) {
      k.pending = std::string(entry->bytes);
      k.pending_flags = 0;
      k.recorded_position.reset();
      if (first) execute(e, "w", false);
    } else if (first && fine && rec == "n") {
      execute(e, "w", false);
    } else if ((rec == "w" && !first) || (fine && rec == "n" && st.pause_seen)) {
      end = true;
    } else if (rec == "p") {
      st.pause_seen = true;
    } else if (entry->letter() == 'c') {
      // colours are not replayed
    } else if (entry->letter() == 'v') {
      if (k.voice_count < kVoiceSlots)
        k.voices[static_cast<size_t>(k.voice_count)].name =
            std::string(base::sjis_clip(rec.substr(2), kVoiceNameBytes - 1));
      if (!r.instant) execute(e, rec, false);
    } else {
      execute(e, rec, false);
      if (first && rec != "w") execute(e, "w", false);
    }
    if (!end) {
      st.position = entry->end;
      return again(c);
    }
  }
  // The page has ended.
  if (k.voice_count > 0 && k.voices[static_cast<size_t>(k.voice_count - 1)].height == 0)
    k.voices[static_cast<size_t>(k.voice_count - 1)].height = r.y + r.pitch - r.top;
  c.thread.set_extension(rt::ThreadSlot::console, nullptr);
  r.instant = 0;
  k.replay_mode = 0;
  return finish(c, 0);
}

Progress console_replay(Call& c) { return replay(c, false); }
Progress console_replay_instant(Call& c) { return replay(c, true); }

constexpr auto kTable = rt::handler_table<rt::Subsystem::text>({
    {"console_set", console_set},
    {"console_color", console_color},
    {"console_font", console_font},
    {"console_locate", console_locate},
    {"console_pen", console_pen},
    {"console_cls", console_cls},
    {"console_on", console_on},
    {"console_off", console_off},
    {"console_is_on", console_is_on},
    {"console_get_x", console_get_x},
    {"console_get_y", console_get_y},
    {"console_pen_x", console_pen_x},
    {"console_pen_y", console_pen_y},
    {"console_font_size", console_font_size},
    {"console_instant_on", console_instant_on},
    {"console_instant_off", console_instant_off},
    {"console_skip_newline", console_skip_newline},
    {"console_first_line", console_first_line},
    {"set_voice_male", set_voice_male},
    {"set_voice_skip", set_voice_skip},
    {"console_voice_count", console_voice_count},
    {"console_voice_name", console_voice_name},
    {"console_voice_top", console_voice_top},
    {"console_voice_height", console_voice_height},
    {"console_record_off", console_record_off},
    {"console_record_on", console_record_on},
    {"console_page_count", console_page_count},
    {"console_step_count", console_step_count},
    {"console_page_pos", console_page_pos},
    {"console_prev", console_prev},
    {"console_next", console_next},
    {"console_prev_wipe", console_prev_wipe},
    {"console_next_wipe", console_next_wipe},
    {"console_replay", console_replay},
    {"console_replay_instant", console_replay_instant},
});

}  // namespace

std::span<const rt::BuiltinEntry> console_builtins() { return kTable; }

}  // namespace txt
