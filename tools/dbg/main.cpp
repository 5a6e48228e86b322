// quorel-dbg: a small command-line debugger for the engine's debugger link.
//
//   quorel-dbg /tmp/game.sock          (then: quorel --debug=/tmp/game.sock GAME)
//
// Commands (while the script is stopped):
//   b FILE LINE    add a breakpoint       d FILE LINE   remove it
//   c              continue               s             stop at the next line
//   i              step into calls        o             step over calls
//   p NAME         print a variable (@x, #x, %x)        q   quit
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "base/bytes.h"
#include "base/crc32.h"
#include "base/sjis.h"
#include "platform/encoding.h"
#include "platform/unix_socket.h"
#include "script/debugger_protocol.h"
#include "tools/asm/names.h"

namespace dm = rt::debug_msg;

namespace {

plat::UnixSocket link_socket;

void send(uint32_t msg, uint32_t wparam = 0, uint32_t lparam = 0) {
  uint8_t b[12];
  base::store_u32(b, msg);
  base::store_u32(b + 4, wparam);
  base::store_u32(b + 8, lparam);
  link_socket.send_all(b, 12);
}

const char* kKinds[] = {"int", "float", "string", "int array", "float array", "string array"};

// Reads and shows one message; returns false when the engine has gone.
bool receive(int wait_ms, uint32_t* reply_to = nullptr, int32_t* reply = nullptr) {
  uint8_t b[12];
  if (!link_socket.receive(b, 12, wait_ms)) return !link_socket.closed();
  uint32_t msg = base::load_u32(b), wparam = base::load_u32(b + 4), lparam = base::load_u32(b + 8);
  switch (msg) {
    case dm::kHello: std::printf("engine connected (process %u)\n", lparam); break;
    case dm::kRequestAck: send(dm::kAck); break;
    case dm::kGoodbye: std::printf("the engine ended\n"); return false;
    case dm::kReply:
      if (reply_to) *reply_to = wparam;
      if (reply) *reply = static_cast<int32_t>(lparam);
      break;
    case dm::kCopyData: {
      uint8_t head[8];
      if (!link_socket.receive(head, 8, -1)) return false;
      std::string data(base::load_u32(head + 4), '\0');
      if (!data.empty() && !link_socket.receive(data.data(), data.size(), -1)) return false;
      uint32_t kind = base::load_u32(head);
      auto* p = reinterpret_cast<const uint8_t*>(data.data());
      if (kind == 0 && data.size() >= 72) {
        std::printf("stopped at %s(%u) in thread %u\n> ", plat::sjis_to_utf8(data.c_str()).c_str(),
                    base::load_u32(p + 64), base::load_u32(p + 68));
      } else if (kind == 1 && data.size() >= 16) {
        uint32_t k = base::load_u32(p + 4);
        int32_t payload = static_cast<int32_t>(base::load_u32(p + 12));
        float f;
        std::memcpy(&f, p + 12, 4);
        std::printf("  %s = ", k < 6 ? kKinds[k] : "?");
        if (k == 0) std::printf("%d\n", payload);
        else if (k == 1) std::printf("%g\n", f);
        else if (k == 2) send(dm::kSendString, static_cast<uint32_t>(payload));
        else std::printf("(array)\n");
      } else if (kind == 2) {
        std::printf("\"%s\"\n", plat::sjis_to_utf8(data.c_str()).c_str());
      }
      std::fflush(stdout);
      break;
    }
    default: break;
  }
  return true;
}

uint32_t script_key(const std::string& file) {
  std::string name = plat::utf8_to_sjis(file).value_or(file);
  name = base::sjis_upper(std::string(base::strip_extension(base::file_name_part(name))) + ".mjo");
  return base::crc32(name);
}

void command(const std::string& line) {
  std::istringstream in(line);
  std::string cmd, a;
  uint32_t n = 0;
  in >> cmd;
  if (cmd == "b" || cmd == "d") {
    if (!(in >> a >> n)) return (void)std::printf("usage: %s FILE LINE\n", cmd.c_str());
    send(cmd == "b" ? dm::kAddBreakpoint : dm::kRemoveBreakpoint, script_key(a), n);
  } else if (cmd == "c") {
    send(dm::kContinue);
  } else if (cmd == "s") {
    send(dm::kStepAny);
  } else if (cmd == "i") {
    send(dm::kStepInto);
  } else if (cmd == "o") {
    send(dm::kStepOver);
  } else if (cmd == "p") {
    if (!(in >> a)) return (void)std::printf("usage: p NAME\n");
    std::string full = plat::utf8_to_sjis(quorel_asm::complete_name(a)).value_or(a);
    send(dm::kSendVariable, base::crc32(full));
  } else if (cmd == "q") {
    std::exit(0);
  } else if (!cmd.empty()) {
    std::printf("commands: b FILE LINE, d FILE LINE, c, s, i, o, p NAME, q\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || std::string(argv[1]) == "--help") {
    std::fputs("usage: quorel-dbg SOCKET\nthen start the game with: quorel --debug=SOCKET GAME\n", stderr);
    return argc == 2 ? 0 : 2;
  }
  plat::UnixSocket listener = plat::UnixSocket::listen(argv[1]);
  if (!listener.valid()) {
    std::fprintf(stderr, "quorel-dbg: cannot listen at %s\n", argv[1]);
    return 1;
  }
  std::printf("waiting for the engine at %s\n", argv[1]);
  link_socket = listener.accept(-1);
  for (;;) {
    pollfd p{0, POLLIN, 0};
    if (::poll(&p, 1, 10) > 0) {
      std::string line;
      if (!std::getline(std::cin, line)) return 0;
      command(line);
    }
    if (!receive(10)) return 0;
  }
}
