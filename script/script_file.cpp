#include "script/script_file.h"

#include "script/read_marks.h"

#include <cstring>

#include "base/bytes.h"
#include "base/crc32.h"
#include "base/sjis.h"
#include "core/engine.h"
#include "core/error_report.h"
#include "core/trace.h"
#include "platform/encoding.h"
#include "res/runtime.h"
#include "resources/resources.h"
#include "script/script_machine.h"

namespace rt {
namespace {

std::optional<ScriptImage> fail(ScriptFileError* error, ScriptFileError what) {
  if (error) *error = what;
  return std::nullopt;
}

}  // namespace

void scramble_code(std::span<uint8_t> code) {
  // The key stream is the table laid out as little-endian words.
  uint8_t key[1024];
  for (int i = 0; i < 256; ++i) base::store_u32(key + 4 * i, base::kCrc32Table[i]);
  for (size_t k = 0; k < code.size(); ++k) code[k] ^= key[k & 1023];
}

std::optional<ScriptImage> parse_script_image(std::span<const uint8_t> bytes, ScriptFileError* error) {
  if (bytes.size() < 28) return fail(error, ScriptFileError::Truncated);
  ScriptImage image;
  if (std::memcmp(bytes.data(), kPlainMagic, 16) == 0) image.scrambled = false;
  else if (std::memcmp(bytes.data(), kScrambledMagic, 16) == 0) image.scrambled = true;
  else return fail(error, ScriptFileError::BadMagic);
  image.entry_point = base::load_i32(bytes.data() + 16);
  image.line_count = base::load_u32(bytes.data() + 20);
  uint64_t count = base::load_u32(bytes.data() + 24);
  uint64_t table_end = 28 + count * 8;
  if (table_end + 4 > bytes.size()) return fail(error, ScriptFileError::Truncated);
  uint64_t code_size = base::load_u32(bytes.data() + table_end);
  if (table_end + 4 + code_size > bytes.size()) return fail(error, ScriptFileError::Truncated);
  image.functions.resize(count);
  for (uint64_t i = 0; i < count; ++i) {
    const uint8_t* p = bytes.data() + 28 + 8 * i;
    image.functions[i] = {base::load_u32(p), base::load_u32(p + 4)};
    if (image.functions[i].offset >= code_size) return fail(error, ScriptFileError::BadFunctionTable);
  }
  if (image.entry_point != -1 && static_cast<uint64_t>(static_cast<uint32_t>(image.entry_point)) >= code_size)
    return fail(error, ScriptFileError::BadEntryPoint);
  const uint8_t* code = bytes.data() + table_end + 4;
  image.code.assign(code, code + code_size);
  if (image.scrambled) scramble_code(image.code);
  if (error) *error = ScriptFileError::None;
  return image;
}

std::vector<uint8_t> write_script_image(const ScriptImage& image) {
  std::string out(image.scrambled ? kScrambledMagic : kPlainMagic, 16);
  base::append_u32(out, static_cast<uint32_t>(image.entry_point));
  base::append_u32(out, image.line_count);
  base::append_u32(out, static_cast<uint32_t>(image.functions.size()));
  for (const FunctionEntry& f : image.functions) {
    base::append_u32(out, f.key);
    base::append_u32(out, f.offset);
  }
  base::append_u32(out, static_cast<uint32_t>(image.code.size()));
  std::vector<uint8_t> result(out.begin(), out.end());
  size_t code_at = result.size();
  result.insert(result.end(), image.code.begin(), image.code.end());
  if (image.scrambled) scramble_code(std::span(result).subspan(code_at));
  return result;
}

std::string normalise_script_name(Engine& e, std::string_view name) {
  std::string n = base::sjis_upper(std::string(base::strip_extension(base::file_name_part(name))) + ".mjo");
  if (n.size() > kMaxScriptName) {
    debug_log(e, base::format(msg::kScriptNameTooLong, n.c_str(), static_cast<int>(kMaxScriptName)));
    if (!rt::is_release_mode(e)) error_box_retry(e, base::format(msg::kScriptNameTooLong, n.c_str(), static_cast<int>(kMaxScriptName)));
    n.resize(kMaxScriptName);
    if (base::sjis_length(n) != base::sjis_length(n.substr(0, n.size() - 1)) + 1) n.pop_back();  // no half character
  }
  return n;
}

namespace {

LoadedScript* find_loaded(ScriptFiles& files, std::string_view normalised) {
  for (auto it = files.list.rbegin(); it != files.list.rend(); ++it)
    if (base::sjis_equal_nocase((*it)->name, normalised)) return it->get();
  return nullptr;
}

// Reads and checks the file; nullopt on any failure.
std::optional<ScriptImage> read_image(Engine& e, const std::string& normalised) {
  auto bytes = res::read_resource(e, normalised);
  if (!bytes) return std::nullopt;
  return parse_script_image(*bytes);
}

}  // namespace

LoadedScript& load_script(Engine& e, std::string_view name) {
  ScriptFiles& files = e.vm->files;
  const std::string normalised = normalise_script_name(e, name);
  LoadedScript* script = find_loaded(files, normalised);
  if (script && res::FfFileTime(e, normalised) == script->file_time) return *script;

  for (;;) {
    if (!res::FfExists(e, normalised)) {
      // The scenario folders may have gained the file since start-up.
      res::FfAddFolder(e, "scenario", 0);
      for (int n = 9; n >= 1; --n) res::FfAddFolder(e, "scenario" + std::to_string(n), 0);
    }
    uint32_t time = res::FfFileTime(e, normalised);
    if (auto image = read_image(e, normalised)) {
      if (!script) {
        files.list.push_back(std::make_unique<LoadedScript>());
        script = files.list.back().get();
      } else {
        ++files.generation;  // decoded instructions of the old code are gone
      }
      script->name = normalised;
      script->name_key = base::crc32(normalised);
      script->file_time = time;
      script->entry_point = image->entry_point;
      script->line_count = image->line_count;
      script->read_marks = readmarks_attach(e, normalised, script->line_count);
      script->functions = std::move(image->functions);
      script->code = std::move(image->code);
      std::vector<uint32_t> entries;
      if (script->entry_point >= 0) entries.push_back(static_cast<uint32_t>(script->entry_point));
      for (const FunctionEntry& f : script->functions) entries.push_back(f.offset);
      script->decoded = decode_code(script->code, entries);
      // A fresh address range, also on reload: stale addresses stop resolving.
      script->base = files.next_base;
      files.next_base += static_cast<uint32_t>((script->code.size() + 16) & ~size_t{15});
      QUOREL_TRACE(e, script, "loaded %s: %zu bytes of code, %zu function%s", plat::sjis_to_utf8(normalised).c_str(),
                   script->code.size(), script->functions.size(), script->functions.size() == 1 ? "" : "s");
      return *script;
    }
    std::string shown(name);
    error_box_retry(e, base::format(msg::kScriptLoadFailed, shown.c_str()));
  }
}

LoadedScript* script_of(Engine& e, CodeAddress address) {
  if (address == 0) return nullptr;
  for (auto& s : e.vm->files.list)
    if (s->contains(address)) return s.get();
  return nullptr;
}

CodeAddress lookup_function(Engine& e, uint32_t key, CodeAddress current) {
  auto search = [&](const LoadedScript& s) -> CodeAddress {
    for (const FunctionEntry& f : s.functions)
      if (f.key == key) return s.address_of(f.offset);
    return 0;
  };
  if (LoadedScript* here = script_of(e, current))
    if (CodeAddress a = search(*here)) return a;
  for (auto it = e.vm->files.list.rbegin(); it != e.vm->files.list.rend(); ++it)
    if (CodeAddress a = search(**it)) return a;
  return 0;
}

void free_scripts(Engine& e) { e.vm->files.list.clear(); }

}  // namespace rt
