// quorel-dbg: a small command-line debugger for the engine's debugger link.
//
//   quorel-dbg /tmp/game.sock --game GAME --symbols start.sym
//   (then: quorel --debug=/tmp/game.sock GAME)
//
// Commands are read while the game is stopped (it stops at its first line);
// `help` lists them. docs/debugger.md shows each with an example.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/crc32.h"
#include "base/sjis.h"
#include "platform/encoding.h"
#include "platform/unix_socket.h"
#include "script/debugger_protocol.h"
#include "script/opcodes.h"
#include "script/script_file.h"
#include "script/translate.h"
#include "tools/asm/names.h"

namespace dm = rt::debug_msg;
namespace fs = std::filesystem;

namespace {

const char kUsage[] = R"(usage: quorel-dbg SOCKET [--game GAME] [--symbols FILE]...
then start the game with: quorel --debug=SOCKET GAME

  --game GAME     the game's folder: breakpoints are checked against its
                  compiled scripts (a script or line that does not exist is
                  refused)
  --symbols FILE  names written by quorel-asm --symbols: locals print by
                  name (p _count); may be given once per script
  --version, --help
)";

const char kHelp[] = R"(Commands (read while the game is stopped):
  b SCRIPT LINE   set a breakpoint              b start 12
  d SCRIPT LINE   remove a breakpoint           d start 12
  l               list the breakpoints          l
  c               continue to a breakpoint      c
  s               step: stop at the next line   s
  i               step into calls               i
  o               step over calls               o
  p NAME          print a variable: global @x,  p @count
                  persistent #x, thread %x,     p %state
                  or local _x (--symbols)       p _name
  w               where the game stopped        w
  help            this text                     help
  q               quit (the game goes on)       q
)";

plat::UnixSocket link_socket;

struct Stop {
  bool stopped = false;
  std::string script;  // "START.MJO"
  uint32_t line = 0, thread = 0;
} here;

bool engine_gone = false;
std::string printing;  // the name of the variable being printed

// Scripts of the game: name key -> (name, lines that exist).
struct ScriptInfo {
  std::string name;
  std::set<uint32_t> lines;
};
std::map<uint32_t, ScriptInfo> scripts;
bool have_game = false;

struct Local {
  std::string name;
  int slot, first, last;
};
std::vector<Local> locals;

std::map<std::pair<uint32_t, uint32_t>, std::string> breakpoints;  // (key, line) -> shown name

void send(uint32_t msg, uint32_t wparam = 0, uint32_t lparam = 0) {
  uint8_t b[12];
  base::store_u32(b, msg);
  base::store_u32(b + 4, wparam);
  base::store_u32(b + 8, lparam);
  link_socket.send_all(b, 12);
}

const char* kKinds[] = {"int", "float", "string", "int array", "float array", "string array"};

// Reads and handles one message; false when the engine has gone.
bool receive(int wait_ms, uint32_t* reply_to = nullptr, int32_t* reply = nullptr) {
  uint8_t b[12];
  if (!link_socket.receive(b, 12, wait_ms)) {
    if (link_socket.closed()) engine_gone = true;
    return !link_socket.closed();
  }
  uint32_t msg = base::load_u32(b), wparam = base::load_u32(b + 4), lparam = base::load_u32(b + 8);
  switch (msg) {
    case dm::kHello: std::printf("engine connected (process %u)\n", lparam); break;
    case dm::kRequestAck: send(dm::kAck); break;
    case dm::kGoodbye:
      std::printf("the game ended\n");
      engine_gone = true;
      return false;
    case dm::kReply:
      if (reply_to) *reply_to = wparam;
      if (reply) *reply = static_cast<int32_t>(lparam);
      break;
    case dm::kCopyData: {
      uint8_t head[8];
      if (!link_socket.receive(head, 8, -1)) return false;
      std::string data(base::load_u32(head + 4), '\0');
      if (data.size() > (1u << 20)) return false;  // not a record of the engine's
      if (!data.empty() && !link_socket.receive(data.data(), data.size(), -1)) return false;
      uint32_t kind = base::load_u32(head);
      auto* p = reinterpret_cast<const uint8_t*>(data.data());
      if (kind == 0 && data.size() >= 72) {
        here.stopped = true;
        here.script = plat::sjis_to_utf8(std::string(data.c_str(), strnlen(data.c_str(), 64)));
        here.line = base::load_u32(p + 64);
        here.thread = base::load_u32(p + 68);
        std::printf("stopped at %s(%u) in thread %u\n", here.script.c_str(), here.line, here.thread);
      } else if (kind == 1 && data.size() >= 16) {
        uint32_t k = base::load_u32(p + 4);
        int32_t payload = static_cast<int32_t>(base::load_u32(p + 12));
        float f;
        std::memcpy(&f, p + 12, 4);
        std::printf("%s = ", printing.c_str());
        if (k == 0) std::printf("%d (int)\n", payload);
        else if (k == 1) std::printf("%g (float)\n", f);
        else if (k == 2) send(dm::kSendString, static_cast<uint32_t>(payload));
        else std::printf("(%s)\n", k < 6 ? kKinds[k] : "?");
      } else if (kind == 2) {
        std::printf("\"%s\" (string)\n", plat::sjis_to_utf8(std::string(data.c_str(), strnlen(data.c_str(), data.size()))).c_str());
      }
      break;
    }
    default: break;
  }
  std::fflush(stdout);
  return true;
}

// Sends a message and waits for the engine's answer to it.
bool request(uint32_t msg, uint32_t wparam, uint32_t lparam, int32_t* result) {
  send(msg, wparam, lparam);
  for (int waited = 0; waited < 5000; waited += 10) {
    uint32_t reply_to = 0;
    if (!receive(10, &reply_to, result)) return false;
    if (reply_to == msg) {
      for (int k = 0; k < 4 && receive(20); ++k) {
      }  // a string's text follows its record
      return true;
    }
  }
  std::printf("the game did not answer\n");
  return false;
}

std::string script_name(const std::string& file) {
  std::string name = plat::utf8_to_sjis(file).value_or(file);
  return base::sjis_upper(std::string(base::strip_extension(base::file_name_part(name))) + ".mjo");
}

void load_game(const fs::path& game) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(game, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    std::string ext = it->path().extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext != ".mjo") continue;
    std::ifstream in(it->path(), std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto image = rt::parse_script_image(bytes);
    if (!image) continue;
    ScriptInfo info;
    info.name = plat::sjis_to_utf8(script_name(it->path().filename().string()));
    const uint16_t line_op = rt::find_opcode("line")->code;
    for (size_t pc = 0; pc < image->code.size();) {
      size_t len = rt::instruction_length(image->code, pc);
      if (len == 0) break;
      if (base::load_u16(&image->code[pc]) == line_op) info.lines.insert(base::load_u16(&image->code[pc + 2]));
      pc += len;
    }
    scripts[base::crc32(script_name(it->path().filename().string()))] = std::move(info);
  }
  have_game = true;
  std::printf("%zu scripts in %s\n", scripts.size(), game.c_str());
}

bool load_symbols(const std::string& path) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string tag;
    Local l;
    if (words >> tag && tag == "local" && words >> l.name >> l.slot >> l.first >> l.last) locals.push_back(l);
  }
  return true;
}

// A line number from the command; false (with a message) when it is not one.
bool parse_line(const std::string& text, uint32_t* line) {
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v < 0 || v > 0xFFFF) {
    std::printf("'%s' is not a line number (0-65535)\n", text.c_str());
    return false;
  }
  *line = static_cast<uint32_t>(v);
  return true;
}

void breakpoint(bool add, const std::string& file, const std::string& line_text) {
  uint32_t line;
  if (!parse_line(line_text, &line)) return;
  const std::string name = plat::sjis_to_utf8(script_name(file));
  const uint32_t key = base::crc32(script_name(file));
  if (add && have_game) {
    auto it = scripts.find(key);
    if (it == scripts.end()) {
      std::printf("refused: the game has no script %s\n", name.c_str());
      return;
    }
    if (!it->second.lines.count(line)) {
      auto next = it->second.lines.lower_bound(line);
      std::printf("refused: %s has no line %u", name.c_str(), line);
      if (next != it->second.lines.end()) std::printf(" (the next line with code is %u)", *next);
      std::printf("\n");
      return;
    }
  }
  int32_t result = 0;
  if (!request(add ? dm::kAddBreakpoint : dm::kRemoveBreakpoint, key, line, &result)) return;
  const std::string at = name + "(" + std::to_string(line) + ")";
  if (add) {
    if (result == 0) {
      breakpoints[{key, line}] = at;
      std::printf("breakpoint %zu at %s%s\n", breakpoints.size(), at.c_str(),
                  have_game ? "" : " (not checked: --game GAME checks scripts and lines)");
    } else if (breakpoints.count({key, line})) {
      std::printf("a breakpoint at %s is already set\n", at.c_str());
    } else {
      std::printf("refused: the game holds 64 breakpoints already\n");
    }
  } else {
    breakpoints.erase({key, line});
    std::printf(result == 0 ? "removed the breakpoint at %s\n" : "no breakpoint at %s\n", at.c_str());
  }
}

void print_variable(const std::string& name) {
  int32_t result = 0;
  printing = name;
  if (name.size() >= 2 && name[0] == '_') {
    // Locals by the symbols: the declaration whose function holds the line.
    const Local* found = nullptr;
    for (const Local& l : locals) {
      if (l.name != name) continue;
      if (!found) found = &l;
      if (here.stopped && l.first >= 0 && here.line >= static_cast<uint32_t>(l.first) &&
          here.line <= static_cast<uint32_t>(l.last))
        found = &l;
    }
    if (!found) {
      std::printf(locals.empty() ? "unknown local %s: give the script's symbols (--symbols FILE from quorel-asm "
                                   "--symbols)\n"
                                 : "unknown local %s: no function declares it\n",
                  name.c_str());
      return;
    }
    if (request(dm::kSendLocal, static_cast<uint32_t>(found->slot), 0, &result) && result != 0)
      std::printf("%s is not in the current frame (slot %d)\n", name.c_str(), found->slot);
    return;
  }
  if (name.size() < 2 || (name[0] != '@' && name[0] != '#' && name[0] != '%')) {
    std::printf("unknown name '%s': variables start with @ (global), # (persistent), %% (thread) or _ (local)\n",
                name.c_str());
    return;
  }
  std::string full = plat::utf8_to_sjis(quorel_asm::complete_name(name)).value_or(name);
  if (request(dm::kSendVariable, base::crc32(full), 0, &result) && result != 0)
    std::printf("unknown variable %s: the game has not set it (or it is misspelt)\n", name.c_str());
}

// Runs one command; true when the game goes on (the prompt waits for a stop).
bool command(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> w;
  for (std::string word; in >> word;) w.push_back(word);
  if (w.empty()) return false;
  const std::string& cmd = w[0];
  auto go = [&](uint32_t msg) {
    if (!here.stopped) {
      std::printf("the game is not stopped\n");
      return false;
    }
    here.stopped = false;
    send(msg);
    return true;
  };
  if ((cmd == "b" || cmd == "d") && w.size() == 3) {
    breakpoint(cmd == "b", w[1], w[2]);
  } else if (cmd == "b" || cmd == "d") {
    std::printf("usage: %s SCRIPT LINE   (for example: %s start 12)\n", cmd.c_str(), cmd.c_str());
  } else if (cmd == "l" && w.size() == 1) {
    if (breakpoints.empty()) std::printf("no breakpoints\n");
    int n = 0;
    for (const auto& [at, shown] : breakpoints) std::printf("%d: %s\n", ++n, shown.c_str());
  } else if (cmd == "c" && w.size() == 1) {
    return go(dm::kContinue);
  } else if (cmd == "s" && w.size() == 1) {
    return go(dm::kStepAny);
  } else if (cmd == "i" && w.size() == 1) {
    return go(dm::kStepInto);
  } else if (cmd == "o" && w.size() == 1) {
    return go(dm::kStepOver);
  } else if (cmd == "p" && w.size() == 2) {
    print_variable(w[1]);
  } else if (cmd == "p") {
    std::printf("usage: p NAME   (for example: p @count, p _name)\n");
  } else if (cmd == "w" && w.size() == 1) {
    if (here.stopped) std::printf("stopped at %s(%u) in thread %u\n", here.script.c_str(), here.line, here.thread);
    else std::printf("the game is running\n");
  } else if ((cmd == "help" || cmd == "h" || cmd == "?") && w.size() == 1) {
    std::fputs(kHelp, stdout);
  } else if (cmd == "q" && w.size() == 1) {
    std::exit(0);
  } else {
    std::printf("unknown command '%s'; help lists the commands\n", line.c_str());
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::string socket_path;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      std::fputs(kHelp, stdout);
      return 0;
    } else if (a == "--version") {
      std::printf("quorel-dbg %s\n", QUOREL_VERSION);
      return 0;
    } else if ((a == "--game" || a == "--symbols") && i + 1 < argc) {
      std::string value = argv[++i];
      if (a == "--game") {
        std::error_code ec;
        if (!fs::is_directory(value, ec)) {
          std::fprintf(stderr, "quorel-dbg: %s is not a folder\n", value.c_str());
          return 2;
        }
        load_game(value);
      } else if (!load_symbols(value)) {
        std::fprintf(stderr, "quorel-dbg: cannot read %s\n", value.c_str());
        return 2;
      }
    } else if (a[0] != '-' && socket_path.empty()) {
      socket_path = a;
    } else {
      std::fprintf(stderr, "quorel-dbg: unknown argument '%s'\n%s", a.c_str(), kUsage);
      return 2;
    }
  }
  if (socket_path.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::string error;
  plat::UnixSocket listener = plat::UnixSocket::listen(socket_path, &error);
  if (!listener.valid()) {
    std::fprintf(stderr, "quorel-dbg: cannot listen at %s: %s\n", socket_path.c_str(), error.c_str());
    return 1;
  }
  std::printf("waiting for the game at %s (help lists the commands)\n", socket_path.c_str());
  std::fflush(stdout);
  link_socket = listener.accept(-1);
  // Commands are read while the game is stopped; it stops at its first line.
  for (;;) {
    while (!here.stopped) {
      if (!receive(100) || engine_gone) return 0;
    }
    std::printf("> ");
    std::fflush(stdout);
    std::string line;
    if (!std::getline(std::cin, line)) return 0;
    command(line);
    if (engine_gone) return 0;
  }
}
