// quorel-text: the translators' tool. `extract` writes every text that a
// game's compiled scripts show in the message window as a gettext PO file;
// `apply` writes the scripts again with the translations put in.
//
//   quorel-text extract GAME OUT.po
//   quorel-text apply GAME IN.po OUT_DIR
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/sjis.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "script/opcodes.h"
#include "script/script_file.h"
#include "script/translate.h"
#include "tools/text/po.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] = R"(usage: quorel-text extract GAME OUT.po       write the game's texts as a PO file
       quorel-text apply GAME IN.po OUT_DIR   write the game's scripts with the translations

GAME is the game's folder: every compiled script (.mjo) below it is read.
apply writes every script that has a translation into OUT_DIR, at the same
path as in GAME; texts without a translation keep the original. See
docs/translation.md.
)";

// The engine's pending text holds at most this many bytes.
constexpr size_t kTextLimit = 1023;

// One text instruction of a script.
struct Text {
  size_t at;           // offset of the instruction in the code
  size_t length;       // bytes of the instruction
  std::string sjis;    // the text, without its NUL
  std::string context; // "fastdata/start.mjo:51"
};

struct Script {
  std::string path;      // relative to GAME, with "/"
  std::vector<uint8_t> bytes;
  rt::ScriptImage image;
  std::vector<Text> texts;
};

bool read_file(const fs::path& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  *out = s.str();
  return true;
}

// The name before 「 of a text the message window splits (its speaker).
std::string speaker_of(std::string_view sjis) {
  size_t at = sjis.find("\x81\x75");  // 「
  if (at == std::string_view::npos || at == 0) return {};
  // The bracket must start a character, not be the tail of one.
  for (size_t i = 0; i < at;) i += base::sjis_lead(static_cast<unsigned char>(sjis[i])) ? 2 : 1;
  return std::string(sjis.substr(0, at));
}

bool has_speaker_form(std::string_view sjis) { return !speaker_of(sjis).empty(); }

// Every text instruction of the script, with the source line it belongs to.
void find_texts(Script& s) {
  const std::vector<uint8_t>& code = s.image.code;
  const rt::OpcodeInfo* text_op = rt::find_opcode("text");
  const rt::OpcodeInfo* line_op = rt::find_opcode("line");
  int line = 0;
  std::map<int, int> per_line;
  for (size_t pc = 0; pc < code.size();) {
    size_t len = rt::instruction_length(code, pc);
    if (len == 0) break;
    uint16_t opcode = base::load_u16(&code[pc]);
    if (opcode == line_op->code) line = base::load_u16(&code[pc + 2]);
    if (opcode == text_op->code) {
      uint16_t n = base::load_u16(&code[pc + 2]);
      std::string text(reinterpret_cast<const char*>(&code[pc + 4]), n);
      if (!text.empty() && text.back() == '\0') text.pop_back();
      int k = ++per_line[line];
      std::string context = s.path + ":" + std::to_string(line);
      if (k > 1) context += "." + std::to_string(k);
      s.texts.push_back({pc, len, text, context});
    }
    pc += len;
  }
}

// Every compiled script below GAME, in name order.
bool load_game(const fs::path& game, std::vector<Script>* scripts) {
  std::error_code ec;
  if (!fs::is_directory(game, ec)) {
    std::fprintf(stderr, "quorel-text: %s is not a folder\n", game.c_str());
    return false;
  }
  std::vector<fs::path> files;
  for (auto it = fs::recursive_directory_iterator(game, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    std::string ext = it->path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == ".mjo" && it->is_regular_file(ec)) files.push_back(it->path());
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& f : files) {
    Script s;
    s.path = fs::relative(f, game).generic_string();
    std::string data;
    if (!read_file(f, &data)) {
      std::fprintf(stderr, "quorel-text: cannot read %s\n", f.c_str());
      return false;
    }
    s.bytes.assign(data.begin(), data.end());
    auto image = rt::parse_script_image(s.bytes);
    if (!image) {
      std::fprintf(stderr, "quorel-text: %s is not a compiled script; left out\n", s.path.c_str());
      continue;
    }
    s.image = std::move(*image);
    find_texts(s);
    scripts->push_back(std::move(s));
  }
  if (scripts->empty()) {
    std::fprintf(stderr, "quorel-text: no compiled scripts (.mjo) below %s%s\n", game.c_str(),
                 " (scripts packed in archives: unpack them with quorel-arc extract first)");
    return false;
  }
  return true;
}

// The text as UTF-8 when it converts there and back unchanged.
std::optional<std::string> utf8_of(const std::string& sjis) {
  std::string utf8 = plat::sjis_to_utf8(sjis);
  auto back = plat::utf8_to_sjis(utf8);
  if (!back || *back != sjis) return std::nullopt;
  return utf8;
}

int extract(const fs::path& game, const fs::path& out) {
  std::vector<Script> scripts;
  if (!load_game(game, &scripts)) return 1;
  for (const Script& s : scripts) {
    if (plat::same_file(out.string(), (game / s.path).string())) {
      std::fprintf(stderr, "quorel-text: %s is the script %s; refusing to write over it\n", out.c_str(), s.path.c_str());
      return 2;
    }
  }
  std::vector<quorel_text::PoEntry> entries;
  int skipped = 0;
  for (const Script& s : scripts) {
    for (const Text& t : s.texts) {
      auto utf8 = utf8_of(t.sjis);
      if (!utf8) {
        std::fprintf(stderr, "quorel-text: %s: the text has bytes that are not Shift-JIS text; left out\n",
                     t.context.c_str());
        ++skipped;
        continue;
      }
      quorel_text::PoEntry e;
      e.context = t.context;
      e.source = *utf8;
      if (std::string name = speaker_of(t.sjis); !name.empty())
        e.comments.push_back("speaker: " + plat::sjis_to_utf8(name) + " (keep a name before 「 in the translation)");
      entries.push_back(std::move(e));
    }
  }
  std::string project = fs::absolute(game).lexically_normal().filename().string();
  if (project.empty()) project = fs::absolute(game).lexically_normal().parent_path().filename().string();
  if (!plat::write_file_atomic(out.string(), quorel_text::write_po(project, entries))) {
    std::fprintf(stderr, "quorel-text: cannot write %s\n", out.c_str());
    return 1;
  }
  std::printf("%s: %zu texts from %zu scripts%s\n", out.c_str(), entries.size(), scripts.size(),
              skipped ? " (some left out, see above)" : "");
  return 0;
}

// The code with some texts replaced, every jump, table, call cache, function
// and entry point moved with the code. Nullopt when an offset points inside
// an instruction whose place moves.
std::optional<rt::ScriptImage> rewrite(const rt::ScriptImage& image, const std::map<size_t, std::string>& replaced,
                                       std::string* why) {
  const std::vector<uint8_t>& code = image.code;
  std::vector<size_t> starts;
  for (size_t pc = 0; pc < code.size();) {
    size_t len = rt::instruction_length(code, pc);
    if (len == 0) break;
    starts.push_back(pc);
    pc += len;
  }
  const size_t tail = starts.empty() ? 0 : starts.back() + rt::instruction_length(code, starts.back());
  // Old offset of each instruction start (and of the end) -> new offset.
  std::map<size_t, size_t> moved;
  std::vector<uint8_t> out;
  std::vector<std::pair<size_t, size_t>> placed;  // old start, new start
  for (size_t at : starts) {
    size_t len = rt::instruction_length(code, at);
    moved[at] = out.size();
    placed.emplace_back(at, out.size());
    auto r = replaced.find(at);
    if (r == replaced.end()) {
      out.insert(out.end(), code.begin() + at, code.begin() + at + len);
    } else {
      uint8_t head[4];
      base::store_u16(head, base::load_u16(&code[at]));
      base::store_u16(head + 2, static_cast<uint16_t>(r->second.size() + 1));
      out.insert(out.end(), head, head + 4);
      out.insert(out.end(), r->second.begin(), r->second.end());
      out.push_back(0);
    }
  }
  moved[tail] = out.size();
  out.insert(out.end(), code.begin() + tail, code.end());  // a cut-off last instruction, as it was
  auto map_offset = [&](int64_t old, size_t* result) {
    if (old < 0) return false;
    auto it = moved.find(static_cast<size_t>(old));
    if (it != moved.end()) {
      *result = it->second;
      return true;
    }
    // Inside an instruction: fine while nothing before it changed size.
    auto next = moved.upper_bound(static_cast<size_t>(old));
    if (next == moved.begin()) return false;
    auto start = std::prev(next);
    if (start->first != start->second) return false;
    *result = static_cast<size_t>(old);
    return static_cast<size_t>(old) < out.size();
  };
  for (auto [old_at, new_at] : placed) {
    const uint16_t opcode = base::load_u16(&code[old_at]);
    const rt::OpcodeInfo* op = rt::find_opcode(opcode);
    if (!op) continue;
    uint8_t* p = &out[new_at + 2];
    if (op->operands == rt::Operands::jump) {
      int64_t target = static_cast<int64_t>(old_at) + 6 + base::load_i32(&code[old_at + 2]);
      size_t now;
      if (!map_offset(target, &now)) {
        *why = "a jump points inside an instruction or outside the code";
        return std::nullopt;
      }
      base::store_u32(p, static_cast<uint32_t>(static_cast<int64_t>(now) - static_cast<int64_t>(new_at + 6)));
    } else if (op->operands == rt::Operands::table) {
      uint16_t n = base::load_u16(&code[old_at + 2]);
      for (uint16_t k = 0; k < n; ++k) {
        int64_t target = static_cast<int64_t>(old_at) + 4 + 4 * (k + 1) + base::load_i32(&code[old_at + 4 + 4 * k]);
        size_t now;
        if (!map_offset(target, &now)) {
          *why = "a jump table points inside an instruction";
          return std::nullopt;
        }
        base::store_u32(p + 2 + 4 * k,
                        static_cast<uint32_t>(static_cast<int64_t>(now) - static_cast<int64_t>(new_at + 4 + 4 * (k + 1))));
      }
    } else if (op->operands == rt::Operands::call) {
      if (uint32_t cache = base::load_u32(&code[old_at + 6])) {
        size_t now;
        if (!map_offset(cache, &now)) {
          *why = "a call's address cache points inside an instruction";
          return std::nullopt;
        }
        base::store_u32(p + 4, static_cast<uint32_t>(now));
      }
    }
  }
  rt::ScriptImage result = image;
  result.code = std::move(out);
  for (rt::FunctionEntry& f : result.functions) {
    size_t now;
    if (!map_offset(f.offset, &now)) {
      *why = "a function starts inside an instruction";
      return std::nullopt;
    }
    f.offset = static_cast<uint32_t>(now);
  }
  if (result.entry_point >= 0) {
    size_t now;
    if (!map_offset(result.entry_point, &now)) {
      *why = "the entry point lies inside an instruction";
      return std::nullopt;
    }
    result.entry_point = static_cast<int32_t>(now);
  }
  return result;
}

int apply(const fs::path& game, const fs::path& po_path, const fs::path& out_dir) {
  std::error_code ec;
  if (fs::exists(out_dir, ec) && fs::equivalent(out_dir, game, ec)) {
    std::fprintf(stderr, "quorel-text: OUT_DIR must not be the game's own folder (its scripts are the PO file's source)\n");
    return 2;
  }
  std::vector<Script> scripts;
  if (!load_game(game, &scripts)) return 1;
  std::string po_text;
  if (!read_file(po_path, &po_text)) {
    std::fprintf(stderr, "quorel-text: cannot read %s\n", po_path.c_str());
    return 1;
  }
  std::vector<quorel_text::PoEntry> entries;
  std::string error;
  if (!quorel_text::parse_po(po_text, &entries, &error)) {
    std::fprintf(stderr, "quorel-text: %s: %s\n", po_path.c_str(), error.c_str());
    return 1;
  }
  std::map<std::string, const Text*> by_context;
  for (const Script& s : scripts)
    for (const Text& t : s.texts) by_context[t.context] = &t;

  // Every entry is checked before anything is written.
  int errors = 0;
  std::map<const Text*, std::string> translated;  // the new Shift-JIS text
  auto refuse = [&](int line, const std::string& message) {
    std::fprintf(stderr, "quorel-text: %s:%d: %s\n", po_path.c_str(), line, message.c_str());
    ++errors;
  };
  for (const quorel_text::PoEntry& e : entries) {
    auto it = by_context.find(e.context);
    if (it == by_context.end()) {
      refuse(e.line, "no text \"" + e.context + "\" in the game's scripts: the entry is stale (extract again)");
      continue;
    }
    const Text& t = *it->second;
    auto source = utf8_of(t.sjis);
    if (!source || *source != e.source) {
      refuse(e.line, "the source of \"" + e.context + "\" no longer matches the game's text: the entry is stale");
      continue;
    }
    if (e.translation.empty() || e.fuzzy) continue;
    auto sjis = plat::utf8_to_sjis(e.translation);
    if (!sjis) {
      refuse(e.line, "the translation of \"" + e.context + "\" has characters that Shift-JIS cannot encode");
      continue;
    }
    if (sjis->find('\0') != std::string::npos) {
      refuse(e.line, "the translation of \"" + e.context + "\" holds a NUL character");
      continue;
    }
    if (sjis->size() > kTextLimit) {
      refuse(e.line, "the translation of \"" + e.context + "\" is " + std::to_string(sjis->size()) +
                         " bytes in Shift-JIS; the message window takes at most " + std::to_string(kTextLimit));
      continue;
    }
    if (has_speaker_form(t.sjis) != has_speaker_form(*sjis)) {
      refuse(e.line, has_speaker_form(t.sjis)
                         ? "the source of \"" + e.context + "\" names its speaker before 「; the translation must too"
                         : "the translation of \"" + e.context + "\" puts a name before 「, which the source does not");
      continue;
    }
    translated[&t] = *sjis;
  }
  if (errors) {
    std::fprintf(stderr, "quorel-text: %d error(s); nothing written\n", errors);
    return 1;
  }
  // Build every changed script first, then write.
  std::vector<std::pair<fs::path, std::vector<uint8_t>>> outputs;
  for (const Script& s : scripts) {
    std::map<size_t, std::string> replaced;
    for (const Text& t : s.texts)
      if (auto it = translated.find(&t); it != translated.end() && it->second != t.sjis) replaced[t.at] = it->second;
    std::vector<uint8_t> bytes = s.bytes;  // unchanged scripts stay byte for byte
    if (!replaced.empty()) {
      std::string why;
      auto image = rewrite(s.image, replaced, &why);
      if (!image) {
        std::fprintf(stderr, "quorel-text: %s: cannot move its code (%s); nothing written\n", s.path.c_str(), why.c_str());
        return 1;
      }
      bytes = rt::write_script_image(*image);
    }
    outputs.emplace_back(out_dir / s.path, std::move(bytes));
  }
  size_t changed = 0;
  for (auto& [path, bytes] : outputs) {
    fs::create_directories(path.parent_path(), ec);
    if (!plat::write_file_atomic(path.string(), bytes)) {
      std::fprintf(stderr, "quorel-text: cannot write %s\n", path.c_str());
      return 1;
    }
    ++changed;
  }
  std::printf("%s: %zu scripts written, %zu texts translated\n", out_dir.c_str(), changed, translated.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (args.size() == 1 && args[0] == "--version") {
    std::printf("quorel-text %s\n", QUOREL_VERSION);
    return 0;
  }
  if (args.size() == 3 && args[0] == "extract") return extract(args[1], args[2]);
  if (args.size() == 4 && args[0] == "apply") return apply(args[1], args[2], args[3]);
  std::fputs(kUsage, stderr);
  return 2;
}
