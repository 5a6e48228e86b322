// The disassembler: prints an object file as source that assembles back to
// the same bytes. Keys without a known name are printed in hex.
#include <algorithm>
#include <cctype>
#include <map>
#include <cstring>
#include <set>

#include "base/bytes.h"
#include "base/crc32.h"
#include "base/sjis.h"
#include "platform/encoding.h"
#include "script/builtins.h"
#include "script/opcodes.h"
#include "script/script_file.h"
#include "script/script_hooks.h"
#include "script/translate.h"
#include "tools/asm/assembler.h"

namespace quorel_asm {
namespace {

using rt::Operands;

std::string hex(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%08X", v);
  return b;
}

std::string plain_label(uint32_t offset) {
  char b[24];
  std::snprintf(b, sizeof b, "L%06X", offset);
  return b;
}

// A name is shown only when it hashes back to the key, so the output
// reassembles to the same bytes.
std::string name_or_hex(const DisassembleOptions& o, uint32_t key, bool complete) {
  if (o.names) {
    auto it = o.names->find(key);
    if (it != o.names->end()) {
      std::string shown = it->second;
      auto sjis = plat::utf8_to_sjis(complete ? complete_name(shown) : shown);
      if (sjis && base::crc32(*sjis) == key) return shown;
    }
  }
  return hex(key);
}

// The characters the assembler accepts in a label.
bool is_label_char(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return std::isalnum(u) || u >= 0x80 || c == '_' || c == '$' || c == '@' || c == '#' || c == '%' || c == '.';
}

std::string string_literal(std::string_view bytes) {
  bool terminated = !bytes.empty() && bytes.back() == '\0';
  if (terminated) bytes.remove_suffix(1);
  std::string out = "\"";
  // Runs of text that convert cleanly to UTF-8 and back are written as text.
  size_t i = 0;
  while (i < bytes.size()) {
    unsigned char c = bytes[i];
    size_t n = (base::sjis_lead(c) && i + 1 < bytes.size()) ? 2 : 1;
    std::string_view ch = bytes.substr(i, n);
    std::string utf8 = plat::sjis_to_utf8(ch);
    auto back = plat::utf8_to_sjis(utf8);
    bool clean = back && *back == ch && c >= 0x20 && c != 0x7F && ch.find('\0') == std::string_view::npos;
    if (c == '"' || c == '\\') out += '\\', out += static_cast<char>(c);
    else if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else if (c == '\r') out += "\\r";
    else if (clean) out += utf8;
    else {
      for (unsigned char b : ch) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\x%02X", b);
        out += buf;
      }
    }
    i += n;
  }
  out += "\"";
  if (!terminated) out += " noterm";
  return out;
}

const char* kind_word(uint8_t k) {
  static const char* kNames[] = {"i", "f", "s", "ia", "fa", "sa"};
  return k < 6 ? kNames[k] : nullptr;
}

std::string var_operand(const DisassembleOptions& o, uint16_t flags, uint32_t key, int16_t hint) {
  int modifier = flags & 7, unary = (flags >> 3) & 3, scope = (flags >> 5) & 7, kind = (flags >> 8) & 7,
      dims = (flags >> 11) & 7;
  bool friendly = modifier <= 4 && scope <= 3 && kind <= 5 && (flags >> 14) == 0 && !(unary && modifier && false);
  if (!friendly) return "{" + hex(flags) + ", " + hex(key) + ", " + std::to_string(hint) + "}";
  std::string out = kind_word(static_cast<uint8_t>(kind));
  out += ' ';
  if (unary) out += unary == 1 ? "-" : unary == 2 ? "!" : "~";
  if (modifier == 1) out += "++";
  if (modifier == 2) out += "--";
  static const char kSigils[] = "#@%_";
  out += kSigils[scope];
  std::string name = name_or_hex(o, key, true);
  out += name.rfind("0x", 0) == 0 ? name : name.substr(1);
  if (modifier == 3) out += "++";
  if (modifier == 4) out += "--";
  out += "[" + std::to_string(dims) + "]";
  out += ":" + std::to_string(hint);
  return out;
}

}  // namespace

bool disassemble(const std::vector<uint8_t>& object, std::string* out, std::string* error,
                 const DisassembleOptions& options) {
  rt::ScriptFileError why;
  auto image = rt::parse_script_image(object, &why);
  if (!image) {
    *error = "not a compiled script (bad header, or fields past the end of the file)";
    return false;
  }
  // A name variable must show the function names with their own sigils.
  const std::vector<uint8_t>& code = image->code;
  std::set<uint32_t> targets;
  std::vector<uint32_t> starts;
  // First pass: instruction boundaries and jump targets.
  for (size_t pc = 0; pc < code.size();) {
    size_t len = rt::instruction_length(code, pc);
    if (len == 0) break;
    starts.push_back(static_cast<uint32_t>(pc));
    uint16_t opcode = base::load_u16(&code[pc]);
    const rt::OpcodeInfo* op = rt::find_opcode(opcode);
    if (op && op->operands == Operands::jump) targets.insert(static_cast<uint32_t>(pc + 6 + base::load_i32(&code[pc + 2])));
    if (op && op->operands == Operands::table) {
      uint16_t n = base::load_u16(&code[pc + 2]);
      for (uint16_t k = 0; k < n; ++k)
        targets.insert(static_cast<uint32_t>(pc + 4 + 4 * (k + 1) + base::load_i32(&code[pc + 4 + 4 * k])));
    }
    pc += len;
  }
  std::set<uint32_t> boundaries(starts.begin(), starts.end());
  // Functions whose names are known (from --names, or hooks) lend their
  // names to the labels at their starts; other places get L<offset>.
  std::map<uint32_t, std::string> named;
  std::set<std::string> taken;
  auto entry_name = [&](uint32_t key) -> std::string {
    std::string name = name_or_hex(options, key, false);
    if (name.rfind("0x", 0) != 0) return name;
    if (const rt::HookInfo* hook = rt::find_hook(key)) return hook->name;
    return {};
  };
  for (const auto& f : image->functions) {
    std::string name = entry_name(f.key);
    bool usable = !name.empty() && !named.count(f.offset) && !taken.count(name) && boundaries.count(f.offset) &&
                  name != "main" && name != "function" && std::all_of(name.begin(), name.end(), [](char c) { return is_label_char(c); });
    if (!usable) continue;
    named[f.offset] = name;
    taken.insert(name);
  }
  auto label_at = [&](uint32_t offset) {
    auto it = named.find(offset);
    return it != named.end() ? it->second : plain_label(offset);
  };
  std::string s;
  s += "; disassembled by quorel-asm\n";
  if (image->scrambled) s += ".scrambled\n";
  s += ".lines " + std::to_string(image->line_count) + "\n";
  if (image->entry_point < 0) s += ".noentry\n";
  else if (boundaries.count(static_cast<uint32_t>(image->entry_point)))
    s += ".entry " + label_at(static_cast<uint32_t>(image->entry_point)) + "\n";
  else s += ".entry " + std::to_string(image->entry_point) + "\n";
  // The function table, in its own order.
  std::set<uint32_t> functions;
  for (const auto& f : image->functions) {
    functions.insert(f.offset);
    std::string where = boundaries.count(f.offset) ? label_at(f.offset) : std::to_string(f.offset);
    std::string shown = name_or_hex(options, f.key, false);
    const rt::HookInfo* hook = shown.rfind("0x", 0) == 0 ? rt::find_hook(f.key) : nullptr;
    if (hook) s += ".hook " + std::string(hook->name) + ", " + where + "\n";
    else s += ".export " + shown + ", " + where + "\n";
  }
  bool entry_label_needed = image->entry_point >= 0;
  auto emit_labels = [&](uint32_t at) {
    if (targets.count(at) || (entry_label_needed && static_cast<int64_t>(at) == image->entry_point) ||
        functions.count(at))
      s += label_at(at) + ":\n";
  };
  size_t pc = 0;
  for (uint32_t at : starts) {
    emit_labels(at);
    uint16_t opcode = base::load_u16(&code[at]);
    const rt::OpcodeInfo* op = rt::find_opcode(opcode);
    if (!op) {
      char b[24];
      std::snprintf(b, sizeof b, "    .u16 0x%04X\n", opcode);
      s += b;
      pc = at + 2;
      continue;
    }
    s += "    ";
    s += op->name;
    const uint8_t* p = &code[at + 2];
    auto target = [&](uint32_t dest, int32_t rel) {
      if (boundaries.count(dest) || dest == code.size()) return label_at(dest);
      return std::string(rel >= 0 ? "+" : "") + std::to_string(rel);
    };
    switch (op->operands) {
      case Operands::none: break;
      case Operands::var:
        s += " " + var_operand(options, base::load_u16(p), base::load_u32(p + 2), base::load_i16(p + 6));
        break;
      case Operands::i32: s += " " + std::to_string(base::load_i32(p)); break;
      case Operands::f32: s += " " + hex(base::load_u32(p)); break;
      case Operands::str: {
        uint16_t n = base::load_u16(p);
        s += " " + string_literal({reinterpret_cast<const char*>(p + 2), n});
        break;
      }
      case Operands::call: {
        s += " " + name_or_hex(options, base::load_u32(p), false) + ", " + std::to_string(base::load_u16(p + 8));
        if (uint32_t cache = base::load_u32(p + 4)) s += ", cache=" + std::to_string(cache);
        break;
      }
      case Operands::sys: {
        const rt::BuiltinInfo* info = rt::find_builtin_info(base::load_u32(p));
        s += " " + (info ? std::string(info->name) : hex(base::load_u32(p))) + ", " + std::to_string(base::load_u16(p + 4));
        break;
      }
      case Operands::kinds: {
        uint16_t n = base::load_u16(p);
        for (uint16_t k = 0; k < n; ++k) {
          const char* w = kind_word(p[2 + k]);
          s += (k ? ", " : " ") + (w ? std::string(w) : std::to_string(p[2 + k]));
        }
        break;
      }
      case Operands::line: s += " " + std::to_string(base::load_u16(p)); break;
      case Operands::jump: {
        int32_t rel = base::load_i32(p);
        s += " " + target(static_cast<uint32_t>(at + 6 + rel), rel);
        break;
      }
      case Operands::table: {
        uint16_t n = base::load_u16(p);
        for (uint16_t k = 0; k < n; ++k) {
          int32_t rel = base::load_i32(p + 2 + 4 * k);
          s += (k ? ", " : " ") + target(static_cast<uint32_t>(at + 4 + 4 * (k + 1) + rel), rel);
        }
        break;
      }
    }
    s += "\n";
    pc = at + rt::instruction_length(code, at);
  }
  // Bytes that do not form an instruction.
  if (pc < code.size()) {
    s += "    .bytes";
    for (size_t i = pc; i < code.size(); ++i) {
      char b[8];
      std::snprintf(b, sizeof b, "%s0x%02X", i == pc ? " " : ", ", code[i]);
      s += b;
    }
    s += "\n";
  }
  emit_labels(static_cast<uint32_t>(code.size()));
  *out = std::move(s);
  return true;
}

}  // namespace quorel_asm
