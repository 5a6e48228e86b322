#include "script/debugger.h"

#include <algorithm>
#include <cstring>

#include "platform/system.h"

#include "base/bytes.h"
#include "core/engine.h"
#include "core/error_report.h"
#include "res/runtime.h"
#include "script/script_machine.h"

namespace rt {
namespace {

void send(Debugger& d, uint32_t msg, uint32_t wparam, uint32_t lparam) {
  uint8_t frame[12];
  base::store_u32(frame, msg);
  base::store_u32(frame + 4, wparam);
  base::store_u32(frame + 8, lparam);
  d.socket.send_all(frame, sizeof frame);
}

void send_record(Debugger& d, uint32_t kind, const void* data, uint32_t size) {
  send(d, debug_msg::kCopyData, 0, 0);
  uint8_t head[8];
  base::store_u32(head, kind);
  base::store_u32(head + 4, size);
  d.socket.send_all(head, sizeof head);
  if (size) d.socket.send_all(data, size);
}

// A value as the 32-bit engine laid it out: key, kind, scope, payload. A
// string's payload is an id the debugger can ask the text for.
void send_value(Debugger& d, const Value& v) {
  uint32_t payload = static_cast<uint32_t>(v.i);
  if (v.kind == kString && v.s) {
    ++v.s->refs;
    d.shown_strings.push_back(v.s);
    payload = static_cast<uint32_t>(d.shown_strings.size());
  } else if (is_array_kind(v.kind)) {
    payload = 0;
  }
  uint8_t record[16];
  base::store_u32(record, v.key);
  base::store_u32(record + 4, v.kind);
  base::store_u32(record + 8, v.scope);
  base::store_u32(record + 12, payload);
  send_record(d, 1, record, sizeof record);
}

void forget_shown_strings(Debugger& d) {
  for (StringBlock* s : d.shown_strings) release_string(s);
  d.shown_strings.clear();
}

Value* local_of(Engine& e, uint32_t slot) {
  Thread* t = e.vm->current;
  if (!t) return nullptr;
  int64_t index = static_cast<int64_t>(t->frame().base) + static_cast<int32_t>(slot);
  if (index < 1 || index >= t->frame().stack_top) return nullptr;
  return &t->stack[index];
}

void remember_position(Engine& e) {
  Debugger& d = *e.debugger;
  Thread* t = e.vm->current;
  d.remembered_depth = t ? t->depth : -1;
  d.watched_thread = t ? t->id : -1;
}

// One message from the debugger; returns the reply.
int32_t handle(Engine& e, uint32_t msg, uint32_t wparam, uint32_t lparam) {
  Debugger& d = *e.debugger;
  using namespace debug_msg;
  switch (msg) {
    case kAck:
      d.acked = true;
      return 0;
    case kAddBreakpoint:
      for (const Breakpoint& b : d.breakpoints)
        if (b.script_key == wparam && b.line == lparam) return 1;
      if (d.breakpoints.size() >= kMaxBreakpoints) {
        error_box(e, msg::kTooManyBreakpoints);
        return 1;
      }
      d.breakpoints.push_back({wparam, lparam});
      return 0;
    case kClearBreakpoints:
      d.breakpoints.clear();
      return 0;
    case kRemoveBreakpoint:
      for (auto it = d.breakpoints.begin(); it != d.breakpoints.end(); ++it)
        if (it->script_key == wparam && it->line == lparam) {
          d.breakpoints.erase(it);
          return 0;
        }
      return 1;
    case kStopAtNextLine:
      d.deeper = true;
      d.watched_thread = -1;
      return 0;
    case kSendVariable:
      if (Value* v = find_variable_any(e, wparam)) {
        send_value(d, *v);
        return 0;
      }
      return -1;
    case kSendString: {
      if (wparam < 1 || wparam > d.shown_strings.size()) return -1;
      StringBlock* s = d.shown_strings[wparam - 1];
      send_record(d, 2, s->text(), static_cast<uint32_t>(s->size));
      return 0;
    }
    case kSendLocal:
      if (Value* v = local_of(e, wparam)) {
        send_value(d, *v);
        return 0;
      }
      return -1;
    case kLocalPayload: {
      Value* v = local_of(e, wparam);
      return v ? v->i : 0;
    }
    case kVariablePayload: {
      Value* v = find_variable_any(e, wparam);
      return v ? v->i : 0;
    }
    case kStepAny:
    case kStepInto:
    case kStepOver:
    case debug_msg::kContinue:
      if (!d.stopped) return 0;
      d.any_line = msg == kStepAny;
      d.deeper = msg == kStepInto;
      d.not_deeper = msg == kStepOver;
      if (msg != debug_msg::kContinue) remember_position(e);
      d.acked = true;
      return 0;
    default:
      return 0;
  }
}

}  // namespace

Debugger::~Debugger() { forget_shown_strings(*this); }

void debugger_pump(Engine& e, int wait_ms) {
  Debugger& d = *e.debugger;
  if (!d.active) return;
  uint8_t frame[12];
  while (d.socket.receive(frame, sizeof frame, wait_ms)) {
    wait_ms = 0;
    uint32_t msg = base::load_u32(frame);
    int32_t reply = handle(e, msg, base::load_u32(frame + 4), base::load_u32(frame + 8));
    send(d, debug_msg::kReply, msg, static_cast<uint32_t>(reply));
  }
  if (d.socket.closed()) d.active = false;  // a debugger that went away stops nothing more
}

void debugger_start(Engine& e, const std::string& path) {
  Debugger& d = *e.debugger;
  d.socket = plat::UnixSocket::connect(path);
  d.active = true;
  e.vm->debugger_active = true;
  send(d, debug_msg::kHello, 0, plat::process_id());
  handle(e, debug_msg::kClearBreakpoints, 0, 0);
  for (;;) {
    d.acked = false;
    send(d, debug_msg::kRequestAck, 0, 0);
    // Up to 10,000 rounds of one millisecond.
    for (int round = 0; round < 10000 && !d.acked && d.socket.valid() && !d.socket.closed(); ++round)
      debugger_pump(e, 1);
    if (d.acked) break;
    if (message_box(e, msg::kDebuggerNotAnswering, plat::Buttons::YesNo, plat::Icon::Error) != plat::Answer::Yes)
      end_process(e, 1);
    if (!d.socket.valid() || d.socket.closed()) d.socket = plat::UnixSocket::connect(path), d.active = true;
  }
  handle(e, debug_msg::kStopAtNextLine, 0, 0);
}

void debugger_stop(Engine& e) {
  Debugger& d = *e.debugger;
  if (!d.active) return;
  send(d, debug_msg::kGoodbye, 0, 0);
  d.socket.close();
  d.active = false;
  e.vm->debugger_active = false;
}

void debugger_line(Engine& e) {
  Debugger& d = *e.debugger;
  if (!d.active) return;
  debugger_pump(e, 0);
  Thread* t = e.vm->current;
  if (!t) return;
  const int32_t depth = t->depth;
  const uint32_t line = static_cast<uint32_t>(t->frame().line);
  LoadedScript* script = script_of(e, t->frame().pc);
  bool watched = d.watched_thread == -1 || d.watched_thread == t->id;
  bool stop = watched && (d.any_line || (d.not_deeper && depth <= d.remembered_depth) ||
                          (d.deeper && depth > d.remembered_depth));
  if (!stop && script)
    for (const Breakpoint& b : d.breakpoints)
      if (b.script_key == script->name_key && b.line == line) stop = true;
  if (!stop) return;
  // Tell the debugger where, then wait until it lets the script go on.
  uint8_t record[72] = {};
  if (script) std::memcpy(record, script->name.data(), std::min<size_t>(script->name.size(), 63));
  base::store_u32(record + 64, line);
  base::store_u32(record + 68, static_cast<uint32_t>(t->id));
  send_record(d, 0, record, sizeof record);
  d.any_line = d.deeper = d.not_deeper = false;
  d.acked = false;
  d.stopped = true;
  while (!d.acked && d.active) debugger_pump(e, 1);
  d.stopped = false;
  forget_shown_strings(d);
}

}  // namespace rt
