// The assembler: one pass over the source with fixups for labels.
#include "tools/asm/assembler.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>

#include "base/bytes.h"
#include "base/crc32.h"
#include "platform/encoding.h"
#include "script/builtins.h"
#include "script/opcodes.h"
#include "script/script_hooks.h"
#include "script/script_file.h"
#include "script/value.h"

namespace quorel_asm {

namespace {

using rt::Operands;

struct Fixup {
  size_t at;        // where the 32-bit offset goes
  size_t relative;  // the offset counts from here
  std::string label;
  int line;
};

class Assembler {
 public:
  explicit Assembler(std::string_view file) : file_(file) {}

  AssembleResult run(std::string_view source);

 private:
  void error(const std::string& message) { result_.errors.push_back({line_, message}); }
  void statement(std::string_view text);
  void directive(std::string_view name, std::string_view rest);
  void instruction(const rt::OpcodeInfo& op, const std::vector<std::string_view>& args);

  // Operand parsing.
  std::optional<int64_t> number(std::string_view text);
  std::optional<std::string> string_literal(std::string_view text, bool* terminate);
  std::optional<std::string> sjis(std::string_view utf8);
  uint32_t key_of(std::string_view name);
  bool var_operand(const rt::OpcodeInfo& op, std::string_view text);
  void jump_operand(std::string_view text, size_t relative_from_end);
  std::optional<uint8_t> kind_name(std::string_view text);

  void u8(uint8_t v) { code_.push_back(v); }
  void u16(uint16_t v) {
    code_.push_back(static_cast<uint8_t>(v));
    code_.push_back(static_cast<uint8_t>(v >> 8));
  }
  void u32(uint32_t v) {
    for (int i = 0; i < 4; ++i) code_.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }

  std::string file_;
  int line_ = 0;
  AssembleResult result_;
  std::vector<uint8_t> code_;
  std::map<std::string, uint32_t> labels_;
  std::vector<Fixup> fixups_;
  std::vector<rt::FunctionEntry> functions_;
  std::vector<int> function_lines_;  // source line of each entry of functions_
  std::map<std::string, int> label_lines_;
  int entry_line_ = 0;
  struct Export {
    uint32_t key;
    std::string where;
    int line;
  };
  std::vector<Export> exports_;
  std::map<std::string, int16_t> locals_;
  int function_first_line_ = -1, function_last_line_ = -1;
  // The current function's locals go to the symbols; a new function starts.
  void end_function() {
    for (const auto& [name, slot] : locals_)
      result_.locals.push_back({name, slot, function_first_line_, function_last_line_});
    locals_.clear();
    function_first_line_ = function_last_line_ = -1;
  }
  std::string entry_label_;
  bool entry_set_ = false;
  bool no_entry_ = false;
  std::optional<uint32_t> line_count_;
  uint32_t max_line_ = 0;
  bool scrambled_ = false;
};

std::string_view trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// Splits on commas outside string literals and braces.
std::vector<std::string_view> split_operands(std::string_view s) {
  std::vector<std::string_view> out;
  s = trim(s);
  if (s.empty()) return out;
  size_t start = 0;
  bool in_string = false;
  int depth = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (in_string) {
      if (c == '\\') ++i;
      else if (c == '"') in_string = false;
    } else if (c == '"') {
      in_string = true;
    } else if (c == '{') {
      ++depth;
    } else if (c == '}') {
      --depth;
    } else if (c == ',' && depth == 0) {
      out.push_back(trim(s.substr(start, i - start)));
      start = i + 1;
    }
  }
  out.push_back(trim(s.substr(start)));
  return out;
}

// Where the comment starts (a ";" outside string literals).
size_t comment_start(std::string_view s) {
  bool in_string = false;
  for (size_t i = 0; i < s.size(); ++i) {
    if (in_string) {
      if (s[i] == '\\') ++i;
      else if (s[i] == '"') in_string = false;
    } else if (s[i] == '"') {
      in_string = true;
    } else if (s[i] == ';') {
      return i;
    }
  }
  return std::string_view::npos;
}

bool is_name_char(unsigned char c) {
  return std::isalnum(c) || c == '_' || c == '$' || c == '@' || c == '#' || c == '%' || c == '.' || c >= 0x80;
}

AssembleResult Assembler::run(std::string_view source) {
  // Editors may start UTF-8 text with a byte-order mark.
  if (source.substr(0, 3) == "\xEF\xBB\xBF") source.remove_prefix(3);
  size_t pos = 0;
  while (pos <= source.size()) {
    size_t end = source.find('\n', pos);
    if (end == std::string_view::npos) end = source.size();
    ++line_;
    std::string_view text = source.substr(pos, end - pos);
    if (size_t c = comment_start(text); c != std::string_view::npos) text = text.substr(0, c);
    text = trim(text);
    // Labels: a name followed by ":" at the start of the line.
    size_t n = 0;
    while (n < text.size() && is_name_char(static_cast<unsigned char>(text[n]))) ++n;
    if (n > 0 && n < text.size() && text[n] == ':' && text.substr(0, n) != "function") {
      std::string label(text.substr(0, n));
      if (labels_.count(label)) error("label '" + label + "' defined twice");
      labels_[label] = static_cast<uint32_t>(code_.size());
      label_lines_[label] = line_;
      text = trim(text.substr(n + 1));
    }
    if (!text.empty()) statement(text);
    pos = end + 1;
  }
  end_function();
  for (const Fixup& f : fixups_) {
    auto it = labels_.find(f.label);
    if (it == labels_.end()) {
      result_.errors.push_back({f.line, "unknown label '" + f.label + "'"});
      continue;
    }
    base::store_u32(&code_[f.at], static_cast<uint32_t>(static_cast<int64_t>(it->second) - static_cast<int64_t>(f.relative)));
  }
  // Where a label or a plain offset points.
  auto resolve = [&](const std::string& where, int line) -> std::optional<uint32_t> {
    if (auto it = labels_.find(where); it != labels_.end()) return it->second;
    if (auto n = number(where); n && *n >= 0) return static_cast<uint32_t>(*n);
    result_.errors.push_back({line, "unknown label '" + where + "'"});
    return std::nullopt;
  };
  for (const Export& x : exports_) {
    if (auto at = resolve(x.where, x.line)) {
      functions_.push_back({x.key, *at});
      function_lines_.push_back(x.line);
    }
  }
  // The engine refuses a script whose function or entry point lies at or
  // past the end of its code.
  auto check_inside = [&](uint32_t at, int line, const char* what) {
    if (at < code_.size()) return;
    result_.errors.push_back({line, std::string(what) + " at offset " + std::to_string(at) +
                                        " is not inside the code (" + std::to_string(code_.size()) +
                                        " bytes): the engine cannot load the script"});
  };
  for (size_t i = 0; i < functions_.size(); ++i) check_inside(functions_[i].offset, function_lines_[i], "the function");
  rt::ScriptImage image;
  image.scrambled = scrambled_;
  image.line_count = line_count_.value_or(max_line_ > 0 ? max_line_ + 1 : 0);
  image.functions = functions_;
  image.code = code_;
  image.entry_point = -1;
  if (entry_set_ && !no_entry_) {
    if (auto at = resolve(entry_label_, entry_line_)) {
      image.entry_point = static_cast<int32_t>(*at);
      check_inside(*at, entry_line_, "the entry point");
    }
  } else if (!no_entry_ && labels_.count("main")) {
    image.entry_point = static_cast<int32_t>(labels_["main"]);
    check_inside(labels_["main"], label_lines_["main"], "the entry point (label main)");
  }
  if (result_.ok()) result_.object = rt::write_script_image(image);
  for (auto& e : result_.errors)
    if (e.line > 0) e.message = file_ + ":" + std::to_string(e.line) + ": " + e.message;
    else e.message = file_ + ": " + e.message;
  return std::move(result_);
}

void Assembler::statement(std::string_view text) {
  size_t space = 0;
  while (space < text.size() && !std::isspace(static_cast<unsigned char>(text[space]))) ++space;
  std::string_view word = text.substr(0, space);
  std::string_view rest = trim(text.substr(space));
  if (word == "function") {
    directive(".function", rest);
    return;
  }
  if (!word.empty() && word[0] == '.') {
    directive(word, rest);
    return;
  }
  const rt::OpcodeInfo* op = rt::find_opcode(word);
  if (!op) {
    error("unknown instruction '" + std::string(word) + "'");
    return;
  }
  instruction(*op, split_operands(rest));
}

void Assembler::directive(std::string_view name, std::string_view rest) {
  auto args = split_operands(rest);
  if (name == ".function") {
    if (args.size() != 1 || args[0].empty()) return error(".function needs a name or key");
    std::string fname(args[0]);
    uint32_t key;
    if (auto k = number(args[0]); k && fname.rfind("0x", 0) == 0) {
      key = static_cast<uint32_t>(*k);
    } else {
      key = key_of(fname);
      result_.names[key] = fname;
      labels_[fname] = static_cast<uint32_t>(code_.size());
    }
    functions_.push_back({key, static_cast<uint32_t>(code_.size())});
    function_lines_.push_back(line_);
    end_function();
  } else if (name == ".export") {
    // An entry of the function table: name or key, then a label or an offset.
    if (args.size() != 2) return error(".export needs a function and a label or offset");
    std::string fname(args[0]);
    uint32_t key;
    if (fname.rfind("0x", 0) == 0 && number(fname)) {
      key = static_cast<uint32_t>(*number(fname));
    } else {
      key = key_of(fname);
      result_.names[key] = fname;
    }
    exports_.push_back({key, std::string(args[1]), line_});
  } else if (name == ".hook") {
    // A hook of the engine by its name: ".hook NAME" starts the function
    // here (NAME is also a label); ".hook NAME, LABEL" points it anywhere.
    if (args.empty() || args.size() > 2 || args[0].empty()) return error(".hook needs a hook name, and optionally a label");
    const rt::HookInfo* hook = rt::find_hook(args[0]);
    if (!hook) {
      std::string known;
      for (const rt::HookInfo& h : rt::kHookCatalogue) known += std::string(known.empty() ? "" : ", ") + h.name;
      return error("unknown hook '" + std::string(args[0]) + "' (hooks: " + known + ")");
    }
    if (args.size() == 2) {
      exports_.push_back({hook->key, std::string(args[1]), line_});
      return;
    }
    std::string label(args[0]);
    if (labels_.count(label)) return error("label '" + label + "' defined twice");
    labels_[label] = static_cast<uint32_t>(code_.size());
    functions_.push_back({hook->key, static_cast<uint32_t>(code_.size())});
    function_lines_.push_back(line_);
    end_function();
  } else if (name == ".entry") {
    if (args.size() != 1) return error(".entry needs a label or an offset");
    entry_label_ = std::string(args[0]);
    entry_line_ = line_;
    entry_set_ = true;
  } else if (name == ".noentry") {
    no_entry_ = true;
  } else if (name == ".lines") {
    auto n = args.size() == 1 ? number(args[0]) : std::nullopt;
    if (!n || *n < 0 || *n > UINT32_MAX) return error(".lines needs a count");
    line_count_ = static_cast<uint32_t>(*n);
  } else if (name == ".scrambled") {
    scrambled_ = true;
  } else if (name == ".local") {
    std::vector<std::string_view> words;
    for (auto w : split_operands(rest)) words.push_back(w);
    if (words.size() != 2 || words[0].empty() || words[0][0] != '_') return error(".local needs _name, slot");
    auto slot = number(words[1]);
    if (!slot || *slot < -32768 || *slot > 32767) return error("bad slot '" + std::string(words[1]) + "'");
    locals_[std::string(words[0])] = static_cast<int16_t>(*slot);
  } else if (name == ".bytes" || name == ".u16" || name == ".u32") {
    for (auto a : args) {
      auto v = number(a);
      if (!v) return error("bad number '" + std::string(a) + "'");
      if (name == ".bytes") u8(static_cast<uint8_t>(*v));
      else if (name == ".u16") u16(static_cast<uint16_t>(*v));
      else u32(static_cast<uint32_t>(*v));
    }
  } else {
    error("unknown directive '" + std::string(name) + "'");
  }
}

std::optional<int64_t> Assembler::number(std::string_view text) {
  text = trim(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  uint64_t v;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, base);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  if (v > 0xFFFFFFFFull) return std::nullopt;
  return negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
}

std::optional<std::string> Assembler::sjis(std::string_view utf8) {
  auto s = plat::utf8_to_sjis(utf8);
  if (!s) error("text cannot be written in Shift-JIS: \"" + std::string(utf8) + "\"");
  return s;
}

// "text" with escapes \n \t \r \" \\ \xHH (a raw byte), optionally followed
// by "noterm" (no NUL is added).
std::optional<std::string> Assembler::string_literal(std::string_view text, bool* terminate) {
  text = trim(text);
  *terminate = true;
  if (text.size() >= 6 && text.substr(text.size() - 6) == "noterm") {
    *terminate = false;
    text = trim(text.substr(0, text.size() - 6));
  }
  if (text.size() < 2 || text.front() != '"' || text.back() != '"') {
    error("expected a string literal");
    return std::nullopt;
  }
  text = text.substr(1, text.size() - 2);
  std::string out, run;
  auto flush = [&]() -> bool {
    if (run.empty()) return true;
    auto s = sjis(run);
    if (!s) return false;
    out += *s;
    run.clear();
    return true;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '\\' || i + 1 >= text.size()) {
      run += c;
      continue;
    }
    char e = text[++i];
    switch (e) {
      case 'n': run += '\n'; break;
      case 't': run += '\t'; break;
      case 'r': run += '\r'; break;
      case 'x': {
        if (i + 2 >= text.size()) {
          error("bad \\x escape");
          return std::nullopt;
        }
        auto v = number("0x" + std::string(text.substr(i + 1, 2)));
        if (!v) {
          error("bad \\x escape");
          return std::nullopt;
        }
        if (!flush()) return std::nullopt;
        out += static_cast<char>(*v);
        i += 2;
        break;
      }
      default: run += e; break;
    }
  }
  if (!flush()) return std::nullopt;
  return out;
}

uint32_t Assembler::key_of(std::string_view name) {
  auto s = sjis(name);
  return base::crc32(s ? *s : std::string(name));
}

std::optional<uint8_t> Assembler::kind_name(std::string_view text) {
  static constexpr std::string_view kNames[] = {"i", "f", "s", "ia", "fa", "sa"};
  for (uint8_t k = 0; k < 6; ++k)
    if (text == kNames[k]) return k;
  if (auto n = number(text); n && *n >= 0 && *n <= 255) return static_cast<uint8_t>(*n);
  return std::nullopt;
}

// The kind an opcode implies for its variable when the source names none.
uint8_t default_kind(const rt::OpcodeInfo& op) {
  std::string_view n = op.name;
  if (n.find("_ref_s") != std::string_view::npos) return rt::kString;
  if (n.find("_ref_ia") != std::string_view::npos) return rt::kIntArray;
  if (n.find("_ref_fa") != std::string_view::npos) return rt::kFloatArray;
  if (n.find("_ref_sa") != std::string_view::npos) return rt::kStringArray;
  bool element = n.find("ast") != std::string_view::npos || n == "load_elem";
  if (element) {
    if (n.find("_s") != std::string_view::npos) return rt::kString;
    if (n.find("_f") != std::string_view::npos) return rt::kFloat;
    return rt::kInt;
  }
  if (n.find("_s") != std::string_view::npos) return rt::kString;
  if (n.find("_f") != std::string_view::npos) return rt::kFloat;
  return rt::kInt;
}

bool is_element_op(const rt::OpcodeInfo& op) {
  return op.name == "load_elem" || op.name.find("ast") != std::string_view::npos;
}

// [KIND] [unary][++|--]NAME[++|--][[dims]][:hint]   or   {flags, key, hint}
bool Assembler::var_operand(const rt::OpcodeInfo& op, std::string_view text) {
  text = trim(text);
  uint16_t flags = 0;
  uint32_t key = 0;
  int32_t hint = -1;
  if (!text.empty() && text.front() == '{') {
    if (text.back() != '}') return error("unclosed '{'"), false;
    auto parts = split_operands(text.substr(1, text.size() - 2));
    std::optional<int64_t> f, k, h;
    if (parts.size() == 3) f = number(parts[0]), k = number(parts[1]), h = number(parts[2]);
    if (!f || !k || !h) return error("expected {flags, key, hint}"), false;
    u16(static_cast<uint16_t>(*f));
    u32(static_cast<uint32_t>(*k));
    u16(static_cast<uint16_t>(*h));
    return true;
  }
  uint8_t kind = default_kind(op);
  if (size_t space = text.find_first_of(" \t"); space != std::string_view::npos) {
    auto k = kind_name(text.substr(0, space));
    if (!k) return error("unknown kind '" + std::string(text.substr(0, space)) + "'"), false;
    kind = *k;
    text = trim(text.substr(space));
  }
  int unary = 0, modifier = 0;
  const bool negate = !text.empty() && text[0] == '-' && (text.size() < 2 || text[1] != '-' || text.substr(0, 3) == "---");
  if (!text.empty() && (negate || text[0] == '!' || text[0] == '~')) {
    unary = text[0] == '-' ? 1 : text[0] == '!' ? 2 : 3;
    text.remove_prefix(1);
  }
  if (text.substr(0, 2) == "++") modifier = 1, text.remove_prefix(2);
  else if (text.substr(0, 2) == "--") modifier = 2, text.remove_prefix(2);
  if (text.empty() || std::string_view("#@%_").find(text[0]) == std::string_view::npos)
    return error("a variable starts with #, @, % or _"), false;
  const int scope = text[0] == '#' ? 0 : text[0] == '@' ? 1 : text[0] == '%' ? 2 : 3;
  size_t n = 1;
  while (n < text.size() && is_name_char(static_cast<unsigned char>(text[n]))) ++n;
  std::string name(text.substr(0, n));
  text.remove_prefix(n);
  if (text.substr(0, 2) == "++") {
    if (modifier) return error("two increments on one variable"), false;
    modifier = 3, text.remove_prefix(2);
  } else if (text.substr(0, 2) == "--") {
    if (modifier) return error("two decrements on one variable"), false;
    modifier = 4, text.remove_prefix(2);
  }
  int dims = is_element_op(op) ? 1 : 0;
  if (!text.empty() && text[0] == '[') {
    size_t close = text.find(']');
    auto d = close == std::string_view::npos ? std::nullopt : number(text.substr(1, close - 1));
    if (!d || *d < 0 || *d > 7) return error("bad index count"), false;
    dims = static_cast<int>(*d);
    text.remove_prefix(close + 1);
  }
  bool explicit_hint = false;
  if (!text.empty() && text[0] == ':') {
    auto h = number(text.substr(1));
    if (!h || *h < -32768 || *h > 65535) return error("bad slot hint"), false;
    hint = static_cast<int32_t>(*h);
    explicit_hint = true;
    text = {};
  }
  if (!trim(text).empty()) return error("unexpected '" + std::string(text) + "' after the variable"), false;
  // The name: a hex key after the sigil, or a name hashed in its full form.
  if (name.size() > 3 && name[1] == '0' && (name[2] == 'x' || name[2] == 'X')) {
    auto k = number(name.substr(1));
    if (!k) return error("bad key in '" + name + "'"), false;
    key = static_cast<uint32_t>(*k);
  } else {
    std::string full = complete_name(name);
    key = key_of(full);
    result_.names[key] = full;
  }
  if (scope == 3 && !explicit_hint) {
    auto it = locals_.find(name);
    if (it == locals_.end()) return error("local '" + name + "' has no slot (.local " + name + ", N or " + name + ":N)"), false;
    hint = it->second;
  }
  flags = static_cast<uint16_t>(modifier | (unary << 3) | (scope << 5) | ((kind & 7) << 8) | ((dims & 7) << 11));
  u16(flags);
  u32(key);
  u16(static_cast<uint16_t>(hint));
  return true;
}

void Assembler::jump_operand(std::string_view text, size_t relative_from_end) {
  text = trim(text);
  size_t at = code_.size();
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    auto v = number(text);
    if (!v) return error("bad relative offset '" + std::string(text) + "'");
    u32(static_cast<uint32_t>(*v));
    return;
  }
  if (text.empty()) return error("missing jump target");
  u32(0);
  fixups_.push_back({at, relative_from_end, std::string(text), line_});
}

void Assembler::instruction(const rt::OpcodeInfo& op, const std::vector<std::string_view>& args) {
  const size_t start = code_.size();
  auto want = [&](size_t n) {
    if (args.size() == n) return true;
    error(std::string(op.name) + " takes " + std::to_string(n) + " operand(s)");
    return false;
  };
  u16(op.code);
  switch (op.operands) {
    case Operands::none:
      want(0);
      break;
    case Operands::var:
      if (want(1)) var_operand(op, args[0]);
      break;
    case Operands::i32:
      if (want(1)) {
        // "&name" is the key of a name: push_i &$func@GLOBAL pushes a function key.
        if (!args[0].empty() && args[0][0] == '&') {
          std::string fname(trim(args[0].substr(1)));
          uint32_t key = key_of(fname);
          result_.names[key] = fname;
          u32(key);
          break;
        }
        auto v = number(args[0]);
        if (!v || *v < INT32_MIN) error("bad integer '" + std::string(args[0]) + "'");
        else u32(static_cast<uint32_t>(*v));
      }
      break;
    case Operands::f32:
      if (want(1)) {
        std::string_view a = args[0];
        if (a.rfind("0x", 0) == 0) {
          auto v = number(a);
          if (!v) error("bad float bits");
          else u32(static_cast<uint32_t>(*v));
        } else {
          std::string s(a);
          char* end = nullptr;
          float f = std::strtof(s.c_str(), &end);
          if (end != s.c_str() + s.size()) error("bad float '" + s + "'");
          uint32_t bits;
          std::memcpy(&bits, &f, 4);
          u32(bits);
        }
      }
      break;
    case Operands::str:
      if (want(1)) {
        bool terminate;
        auto s = string_literal(args[0], &terminate);
        if (!s) break;
        std::string bytes = *s;
        if (terminate) bytes += '\0';
        if (bytes.size() > 0xFFFF) {
          error("string longer than 65535 bytes");
          break;
        }
        u16(static_cast<uint16_t>(bytes.size()));
        code_.insert(code_.end(), bytes.begin(), bytes.end());
      }
      break;
    case Operands::call: {
      if (args.size() < 2 || args.size() > 3) {
        error(std::string(op.name) + " takes a function, an argument count and optionally cache=N");
        break;
      }
      std::string fname(args[0]);
      uint32_t key;
      if (fname.rfind("0x", 0) == 0) {
        key = static_cast<uint32_t>(number(fname).value_or(0));
      } else {
        key = key_of(fname);
        result_.names[key] = fname;
      }
      auto argc = number(args[1]);
      uint32_t cache = 0;
      if (args.size() == 3) {
        std::string_view c = args[2];
        if (c.rfind("cache=", 0) != 0 || !number(c.substr(6))) error("expected cache=N");
        else cache = static_cast<uint32_t>(*number(c.substr(6)));
      }
      if (!argc || *argc < 0 || *argc > 0xFFFF) error("bad argument count");
      u32(key);
      u32(cache);
      u16(static_cast<uint16_t>(argc.value_or(0)));
      break;
    }
    case Operands::sys: {
      if (!want(2)) break;
      uint32_t key;
      std::string_view b = args[0];
      if (b.rfind("0x", 0) == 0) {
        key = static_cast<uint32_t>(number(b).value_or(0));
      } else if (const rt::BuiltinInfo* info = rt::find_builtin_info(b)) {
        key = info->key;
      } else {
        error("unknown built-in '" + std::string(b) + "'");
        key = 0;
      }
      auto argc = number(args[1]);
      if (!argc || *argc < 0 || *argc > 0xFFFF) error("bad argument count");
      u32(key);
      u16(static_cast<uint16_t>(argc.value_or(0)));
      break;
    }
    case Operands::kinds: {
      std::vector<uint8_t> kinds;
      for (auto a : args) {
        auto k = kind_name(a);
        if (!k) error("unknown kind '" + std::string(a) + "'");
        else kinds.push_back(*k);
      }
      u16(static_cast<uint16_t>(kinds.size()));
      code_.insert(code_.end(), kinds.begin(), kinds.end());
      break;
    }
    case Operands::line:
      if (want(1)) {
        auto v = number(args[0]);
        if (!v || *v < 0 || *v > 0xFFFF) error("bad line number");
        else {
          u16(static_cast<uint16_t>(*v));
          max_line_ = std::max<uint32_t>(max_line_, static_cast<uint32_t>(*v));
          const int l = static_cast<int>(*v);
          if (function_first_line_ < 0 || l < function_first_line_) function_first_line_ = l;
          function_last_line_ = std::max(function_last_line_, l);
        }
      }
      break;
    case Operands::jump:
      if (want(1)) jump_operand(args[0], start + 6);
      break;
    case Operands::table: {
      u16(static_cast<uint16_t>(args.size()));
      for (size_t k = 0; k < args.size(); ++k) jump_operand(args[k], start + 4 + 4 * (k + 1));
      break;
    }
  }
}

}  // namespace

AssembleResult assemble(std::string_view source, std::string_view file) {
  Assembler a(file);
  return a.run(source);
}

}  // namespace quorel_asm
