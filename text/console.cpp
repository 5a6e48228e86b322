// [SECTION] Environment keys and small helpers
// [SECTION] Script hooks
// [SECTION] Command records
// [SECTION] Pending text and line steps
// [SECTION] Services for other subsystems
#include "text/console.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "base/sjis.h"
#include "base/wrapping.h"
#include "core/engine.h"
#include "core/env_file.h"
#include "core/error_report.h"
#include "graphics/page.h"
#include "res/text.h"
#include "resources/resources.h"
#include "script/script_file.h"
#include "script/script_hooks.h"
#include "script/script_machine.h"
#include "text/announce.h"
#include "text/line_layout.h"
#include "text/render.h"
#include "text/text_state.h"

namespace txt {

// [SECTION] Environment keys and small helpers --------------------------------------------

namespace {

Console& console_of(rt::Engine& e) { return e.text->console; }

const std::string& no_start_set(rt::Engine& e) {
  Console& c = console_of(e);
  if (!c.line_start_set) c.line_start_set = rt::env_string(e, "GYOUTOUKINSOKU", 256, msg::kLineStartKinsoku);
  return *c.line_start_set;
}

const std::string& no_end_set(rt::Engine& e) {
  Console& c = console_of(e);
  if (!c.line_end_set) c.line_end_set = rt::env_string(e, "GYOUMATUKINSOKU", 256, msg::kLineEndKinsoku);
  return *c.line_end_set;
}

bool voice_skip_default(rt::Engine& e) { return rt::env_int(e, "VOICESKIPDEF", 0) != 0; }

// Byte offset of `part` in `text`, at a character boundary; npos if none.
size_t find_chars(std::string_view text, std::string_view part) {
  for (size_t i = 0; i + part.size() <= text.size(); i += base::sjis_char_size(text, i))
    if (text.substr(i, part.size()) == part) return i;
  return std::string_view::npos;
}

bool contains_chars(std::string_view text, std::string_view part) {
  return find_chars(text, part) != std::string_view::npos;
}

// Replaces every occurrence of `from` (at character boundaries) by `to`;
// true when one was found.
bool replace_chars(std::string& text, std::string_view from, std::string_view to) {
  bool any = false;
  for (size_t i = 0; i + from.size() <= text.size();) {
    if (std::string_view(text).substr(i, from.size()) == from) {
      text.replace(i, from.size(), to);
      i += to.size();
      any = true;
    } else {
      i += base::sjis_char_size(text, i);
    }
  }
  return any;
}


// Field k (1-based) of a command record: "0x" and eight hex digits.
int32_t field(std::string_view record, int k) {
  const size_t at = 1 + 10 * static_cast<size_t>(k - 1);
  if (record.size() < at + 10 || record[at] != '0' || (record[at + 1] != 'x' && record[at + 1] != 'X')) return 0;
  uint32_t v = 0;
  for (size_t i = at + 2; i < at + 10; ++i) {
    const char ch = record[i];
    int d = ch >= '0' && ch <= '9' ? ch - '0' : ch >= 'a' && ch <= 'f' ? ch - 'a' + 10 : ch >= 'A' && ch <= 'F' ? ch - 'A' + 10 : -1;
    if (d < 0) return 0;
    v = v * 16 + static_cast<uint32_t>(d);
  }
  return static_cast<int32_t>(v);
}

std::string hex_fields(char letter, std::initializer_list<int32_t> values) {
  std::string out(1, letter);
  char buffer[16];
  for (int32_t v : values) {
    std::snprintf(buffer, sizeof buffer, "0x%08x", static_cast<uint32_t>(v));
    out += buffer;
  }
  return out;
}

}  // namespace

std::string colour_record(uint32_t colour, uint32_t edge) {
  return hex_fields('c', {static_cast<int32_t>(colour), static_cast<int32_t>(edge)});
}

std::string font_record(int32_t size, int32_t width, int32_t pitch, int32_t justify, std::string_view face) {
  return hex_fields('f', {size, width, pitch, justify}) + std::string(face.substr(0, face.find('\0')));
}

std::string locate_record(int32_t x, int32_t y) { return hex_fields('l', {x, y}); }

// [SECTION] Script hooks -----------------------------------------------------------------

namespace {

void queue_hook(Console& c, uint32_t key, std::initializer_list<int32_t> numbers = {}) {
  HookCall call{key, {}};
  for (int32_t n : numbers) call.args.push_back({n, std::nullopt});
  c.calls.push_back(std::move(call));
}

}  // namespace

void run_hook_calls(rt::Engine& e, rt::Thread& t) {
  Console& c = console_of(e);
  std::vector<HookCall> calls = std::move(c.calls);
  c.calls.clear();
  // The last frame opened runs first.
  for (size_t k = calls.size(); k-- > 0;) {
    std::vector<rt::Value> args;
    for (const HookArg& a : calls[k].args)
      args.push_back(a.text ? rt::string_value(rt::new_string(*a.text)) : rt::int_value(a.number));
    rt::call_script_hook(e, t, calls[k].key, args);
    for (rt::Value& v : args) rt::release(v);
  }
}

void show_source_position(rt::Engine& e) {
  rt::Thread* t = e.vm->current;
  if (!t) return;
  const rt::Frame& f = t->frame();
  rt::LoadedScript* s = rt::script_of(e, f.pc);
  Console& c = console_of(e);
  c.noted_script = s ? s->name : std::string();
  c.noted_line = f.line;
  if (rt::is_release_mode(e) || !s) return;
  std::string name(base::strip_extension(base::file_name_part(s->name)));
  e.host->set_title(base::format(msg::kSourcePosition, name.c_str(), f.line));
}

// [SECTION] Command records --------------------------------------------------------------

namespace {

void wipe(rt::Engine& e) {
  Console& c = console_of(e);
  FontRecord& r = c.rec;
  c.voices.fill(VoiceSlot{});
  c.voice_count = 0;
  r.instant = 0;
  r.speed = -1;
  r.indent = 0;
  r.x = r.left;
  r.y = r.top;
  queue_hook(c, kHookWipe);
  c.first_line_text.clear();
  c.first_line = true;
}

void play_voice(rt::Engine& e, std::string_view record, bool from_script) {
  Console& c = console_of(e);
  const bool loop = record.size() > 1 && record[1] == '1';
  std::string_view name = record.size() > 2 ? record.substr(2) : std::string_view();
  const bool suppress = c.voice_skip.value_or(voice_skip_default(e));
  if (e.text->voice_player) e.text->voice_player(e, name, loop, from_script, suppress, c.voice_male);
  c.voice_male = false;
  c.voice_skip.reset();
}

}  // namespace

void execute(rt::Engine& e, std::string_view record, bool from_script) {
  Console& c = console_of(e);
  FontRecord& r = c.rec;
  record = record.substr(0, record.find('\0'));
  if (record.empty()) return;
  if (c.replay_mode != 0 && from_script) return;  // the replay owns the console
  const bool skip_newline = c.skip_newline;
  c.skip_newline = false;
  const char letter = record[0];
  if (letter == 'n' && skip_newline && r.x == r.left && r.y == r.top) return;
  if (c.replay_mode == 0 && c.suspend <= 0) c.backlog.record_command(record);

  switch (letter) {
    case 'n':
    case 'N':
      r.x = base::wrap_add(r.left, r.indent);
      r.y = base::wrap_add(r.y, r.pitch);
      c.first_line = false;
      if (c.replay_mode == 0) announce_newline(e);
      queue_hook(c, kHookNewline);
      break;
    case 'c':
      r.color = static_cast<uint32_t>(field(record, 1));
      r.edge = static_cast<uint32_t>(field(record, 2));
      break;
    case 'f':
      set_font(e, r, record.size() > 41 ? record.substr(41) : std::string_view(), field(record, 1), field(record, 2),
               field(record, 3), field(record, 4));
      break;
    case 'g': {
      HookCall call{kHookGraphic, {}};
      for (int k = 1; k <= 6; ++k)
        if (int32_t v = field(record, k); v != -99) call.args.push_back({v, std::nullopt});
      c.calls.push_back(std::move(call));
      break;
    }
    case 'l':
      r.x = field(record, 1);
      r.y = field(record, 2);
      break;
    case 'o':
      c.saved_x = r.x;
      c.saved_y = r.y;
      r.x = base::wrap_add(r.x, field(record, 1));
      r.y = base::wrap_add(r.y, field(record, 2));
      break;
    case 'r':
      r.x = c.saved_x;
      r.y = c.saved_y;
      break;
    case 'p':
      r.instant = 0;
      r.speed = -1;
      show_source_position(e);
      if (c.replay_mode == 0) announce_page_end(e);
      queue_hook(c, kHookPause);
      break;
    case 's':
      r.speed = field(record, 1);
      break;
    case 't':
      if (!r.instant && e.vm->current)
        e.vm->current->frame().wait_deadline = e.vm->script_clock + static_cast<uint32_t>(field(record, 1));
      break;
    case 'v':
      play_voice(e, record, from_script);
      break;
    case 'w':
      if (c.replay_mode == 0) announce_page_end(e);
      wipe(e);
      break;
    case 'z':
      r.instant = 1;
      break;
    default:
      break;
  }
}

namespace {

// Takes the top value off the thread's stack (an int 0 when there is none).
rt::Value take_value(rt::Thread& t) {
  rt::Frame& f = t.frame();
  if (f.stack_top <= 1 || f.stack_top > static_cast<int32_t>(t.stack.size())) return rt::int_value(0);
  rt::Value v = t.stack[--f.stack_top];
  t.stack[f.stack_top] = rt::Value{};
  return v;
}

int32_t take_int(rt::Thread& t) {
  rt::Value v = take_value(t);
  int32_t n = rt::as_int(v);
  rt::release(v);
  return n;
}

}  // namespace

void control(rt::Engine& e, rt::Thread& t, std::string_view code) {
  Console& c = console_of(e);
  if (code.empty()) return;
  std::string record;
  switch (code[0]) {
    case 'c':
    case 'l':
    case 'o': {
      int32_t second = take_int(t), first = take_int(t);
      record = hex_fields(code[0], {first, second});
      break;
    }
    case 's':
    case 't':
      record = hex_fields(code[0], {take_int(t)});
      break;
    case 'g': {
      int32_t v[6];
      for (int k = 5; k >= 0; --k) v[k] = take_int(t);
      record = hex_fields('g', {v[0], v[1], v[2], v[3], v[4], v[5]});
      break;
    }
    case 'f': {
      // Pushed in the order size, width, pitch, face, justify.
      int32_t justify = take_int(t);
      rt::Value face = take_value(t);
      int32_t pitch = take_int(t), width = take_int(t), size = take_int(t);
      record = font_record(size, width, pitch, justify, rt::string_of(face));
      rt::release(face);
      break;
    }
    case 'd': {
      rt::Value v = take_value(t);
      if (v.kind == rt::kInt) append_text(e, base::format("%d", v.i));
      else if (v.kind == rt::kFloat) append_text(e, base::format("%f", static_cast<double>(v.f)));
      else append_text(e, rt::string_of(v));
      rt::release(v);
      return;
    }
    case 'n':
      record = c.quote ? "N" : "n";
      break;
    default:
      record = std::string(code);
      break;
  }
  execute(e, record, true);
}

// [SECTION] Pending text and line steps ----------------------------------------------------

void append_text(rt::Engine& e, std::string_view bytes) {
  Console& c = console_of(e);
  bytes = bytes.substr(0, bytes.find('\0'));
  if (!c.pending) {
    c.pending.emplace();
    c.pending_flags = 0;
  }
  if (c.pending->size() >= kPendingLimit) return;
  c.pending->append(base::sjis_clip(bytes, kPendingLimit - c.pending->size()));
}

namespace {

// Replaces the single-byte "|" (never the trail byte of a character) by a blank.
void bars_to_blanks(std::string& text) {
  for (size_t i = 0; i < text.size(); i += base::sjis_char_size(text, i))
    if (text[i] == '|') text[i] = ' ';
}

// The bracket marks of a quotation, turned into flags.
int normalise_brackets(std::string& text, bool replay_from_position) {
  const std::string open = msg::kOpenQuote, close = msg::kCloseQuote;
  const std::string paren_open = msg::kOpenParen, paren_close = msg::kCloseParen;
  const std::string double_open = msg::kOpenDoubleQuote, double_close = msg::kCloseDoubleQuote;
  int flags = 0;
  if (replace_chars(text, open + paren_open, paren_open)) flags |= kQuoteOpened | kParenIndents;
  if (replace_chars(text, open + double_open, double_open)) flags |= kQuoteOpened | kParenIndents;
  if (replace_chars(text, paren_close + close, paren_close)) flags |= kQuoteClosed | kParenIndents;
  if (replace_chars(text, double_close + close, double_close)) flags |= kQuoteClosed | kParenIndents;
  if (replace_chars(text, open + open, replay_from_position ? std::string(msg::kQuoteDash) : std::string()))
    flags |= kQuoteOpened;
  if (replace_chars(text, close + close, "")) flags |= kQuoteClosed;
  return flags;
}

bool box_full(const FontRecord& r) {
  // A box too low for even one line still shows its first line.
  return static_cast<int64_t>(r.top) + r.box_height - r.size < r.y && r.y != r.top;
}

}  // namespace

bool line_step(rt::Engine& e, rt::Thread& t, uint32_t code_position) {
  State& s = *e.text;
  Console& c = s.console;
  FontRecord& r = c.rec;
  // 1. Nothing (more) to show.
  if (!c.pending || c.pending->empty()) {
    c.pending.reset();
    c.pending_flags = 0;
    return false;
  }
  std::string& text = *c.pending;
  // 2. Into the backlog once, however often the opcode runs for it.
  if (!c.recorded_position || *c.recorded_position != code_position) {
    if (c.replay_mode == 0 && c.suspend <= 0) c.backlog.record_text(text);
    c.recorded_position = code_position;
  }
  // 3. The console shows itself first.
  if (!c.shown && c.replay_mode == 0) {
    queue_hook(c, kHookShow, {0, 0});
    c.shown = true;
    return true;
  }
  // 4. Blanks and the quotation state.
  bars_to_blanks(text);
  if (contains_chars(text, msg::kOpenQuote)) c.quote = true;
  if (contains_chars(text, msg::kCloseQuote)) c.quote = false;
  // 5. A speaker's name before the quotation goes to its own hook.
  if (rt::env_int(e, "NAMEPOPUP", 1) == 1) {
    const size_t at = find_chars(text, msg::kOpenQuote);
    if (at != std::string::npos && at > 0) {
      if (c.replay_mode == 0) announce_speaker(e, std::string_view(text).substr(0, at));
      HookCall call{kHookSpeaker, {{0, text.substr(0, at)}}};
      c.calls.push_back(std::move(call));
      text.erase(0, at);
      return true;
    }
    c.pending_flags |= normalise_brackets(text, c.replay_mode == 1);
  }
  const int flags = c.pending_flags;
  // 6. A full box starts a new page.
  if (box_full(r)) {
    r.y = r.top;
    r.indent = 0;
    r.x = r.left;
    show_source_position(e);
    if (c.replay_mode == 0) announce_page_end(e);
    queue_hook(c, kHookWipe);
    return true;
  }
  // 7. One line.
  const bool space_indent = rt::env_int(e, "SPACEINDENT", 1) == 1;
  if (space_indent && r.indent != 0 && r.x == base::wrap_add(r.left, r.indent)) {
    const std::string_view blank = msg::kFullWidthSpace;
    size_t n = 0;
    while (std::string_view(text).substr(n, blank.size()) == blank) n += blank.size();
    text.erase(0, n);
    if (text.empty()) {
      c.pending.reset();
      c.pending_flags = 0;
      c.recorded_position.reset();
      return false;
    }
  }
  const int available = static_cast<int>(std::clamp<int64_t>(static_cast<int64_t>(r.left) + r.box_width - r.x,
                                                              INT32_MIN, INT32_MAX));
  const KinsokuRules rules{rt::env_int(e, "KINSOKU_TYPE", 0), no_start_set(e), no_end_set(e)};
  const bool fresh_line = r.x == base::wrap_add(r.left, r.indent);
  LineBreak lb = break_line(text, available, r.width, fresh_line, rules,
                            [&](uint32_t code) { return layout_advance(e, r, code); });
  if (lb.bytes == 0) {
    r.x = base::wrap_add(r.left, r.indent);
    r.y = base::wrap_add(r.y, r.pitch);
    c.first_line = false;
    return true;
  }
  std::string line = text.substr(0, lb.bytes);
  std::string rest = text.substr(lb.bytes);
  const IndentRules indents{space_indent,        rt::env_int(e, "INDENTOFFSET", 1), (flags & kParenIndents) != 0,
                            msg::kOpenQuote,     msg::kCloseQuote,                  msg::kOpenParen,
                            msg::kCloseParen};
  r.indent = indent_after(line, lb.advances, r.indent, indents);
  bool justified = false;
  if (!rest.empty() && r.justify && justify_line(lb.advances, available, lb.sum)) {
    s.explicit_advance = available;
    justified = true;
  }
  // 8. The first line of a page is kept for the scripts.
  if (c.first_line) {
    c.first_line_text.append(line);
    c.first_line_text = std::string(base::sjis_clip(c.first_line_text, kFirstLineBytes - 1));
  }
  // 9. A voiced quotation starts on this line.
  if ((contains_chars(line, msg::kOpenQuote) || (flags & kQuoteOpened)) && c.voice_count < kVoiceSlots &&
      !c.voices[c.voice_count].name.empty()) {
    c.voices[c.voice_count].top = r.y;
    ++c.voice_count;
  }
  // 10. Draw.
  gfx::Rect box{r.x, r.y, 0, 0};
  int advance;
  if (gfx::Page* page = gfx::find_page(e, r.page)) {
    advance = draw(e, r, *page, line, &box, justified ? std::span<const int>(lb.advances) : std::span<const int>());
  } else {
    advance = s.explicit_advance >= 0 ? s.explicit_advance + 1 : measure(e, r, line);
    s.explicit_advance = -1;
  }
  if (c.replay_mode == 0) announce_drawn(e, line);
  // 11. A voiced quotation ends on this line.
  if (contains_chars(line, msg::kCloseQuote) || ((flags & kQuoteClosed) && rest.empty())) {
    if (c.voice_count > 0 && c.voices[c.voice_count - 1].height == 0)
      c.voices[c.voice_count - 1].height = base::wrap_sub(base::wrap_add(r.y, r.pitch), r.top);
  }
  // 12. The pen moves on.
  if (!rest.empty()) {
    r.x = base::wrap_add(r.left, r.indent);
    r.y = base::wrap_add(r.y, r.pitch);
    c.first_line = false;
    text = std::move(rest);
  } else {
    c.pending.reset();
    c.pending_flags = 0;
    r.x = base::wrap_add(r.x, advance);
    c.recorded_position.reset();
  }
  // 13. The game paces the line.
  queue_hook(c, kHookLineDrawn, {r.page, box.x, box.y, box.w, box.h, r.instant});
  return true;
}

// [SECTION] Services for other subsystems --------------------------------------------------

void reset_console(rt::Engine& e) {
  Console& c = console_of(e);
  c.pending.reset();
  c.pending_flags = 0;
  c.recorded_position.reset();
  c.shown = false;
  c.suspend = 0;
  c.skip_newline = false;
  c.voice_skip.reset();
  c.replay_mode = 0;  // a replay cut short must not keep the scripts' commands out
  c.calls.clear();
}

void trim_backlog_to_last_pause(rt::Engine& e) { console_of(e).backlog.trim_to_last_pause(); }
int32_t console_speed(rt::Engine& e) { return console_of(e).rec.speed; }
bool console_shown(rt::Engine& e) { return console_of(e).shown; }
Backlog& console_backlog(rt::Engine& e) { return console_of(e).backlog; }

}  // namespace txt
