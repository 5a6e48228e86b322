// The messages of the debugger link, shared by the engine and quorel-dbg.
//
// Every message is 12 bytes, three little-endian 32-bit words:
//   {message, wparam, lparam}
// A data record follows a kCopyData message: {kind, size, size bytes}.
// The engine answers every message the debugger sends with
//   {kReply, the message, the result}.
#pragma once

#include <cstdint>

namespace rt {

namespace debug_msg {
constexpr uint32_t kReply = 1;
constexpr uint32_t kCopyData = 0x004A;
constexpr uint32_t kHello = 40960;           // engine -> debugger: lparam = process id
constexpr uint32_t kGoodbye = 40961;         // engine -> debugger: the engine ends
constexpr uint32_t kRequestAck = 40962;      // engine -> debugger: answer with kAck
constexpr uint32_t kAck = 40963;             // debugger -> engine
constexpr uint32_t kAddBreakpoint = 40964;   // wparam script key, lparam line
constexpr uint32_t kClearBreakpoints = 40965;
constexpr uint32_t kStepAny = 40967;         // while stopped: stop at the next line
constexpr uint32_t kStepInto = 40968;        // ... at the next line of a deeper call
constexpr uint32_t kStepOver = 40969;        // ... at the next line not deeper
constexpr uint32_t kContinue = 40970;
constexpr uint32_t kRemoveBreakpoint = 40972;
constexpr uint32_t kStopAtNextLine = 40973;
constexpr uint32_t kSendVariable = 40974;    // wparam key: a kind-1 record
constexpr uint32_t kSendString = 40975;      // wparam string id: a kind-2 record
constexpr uint32_t kSendLocal = 40977;       // wparam slot: a kind-1 record
constexpr uint32_t kLocalPayload = 40978;    // wparam slot: the reply is the payload
constexpr uint32_t kVariablePayload = 40979; // wparam key: the reply is the payload
}  // namespace debug_msg

}  // namespace rt
