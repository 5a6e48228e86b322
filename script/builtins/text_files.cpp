// Text files opened by scripts through the resource search.
#include "base/sjis.h"
#include "base/text_file.h"
#include "core/engine.h"
#include "core/error_report.h"
#include "res/resources.h"
#include "resources/resources.h"
#include "script/builtins/tables.h"
#include "script/script_machine.h"

namespace rt {
namespace {

base::TextFile* file_of(Call& c) {
  auto& files = c.engine.vm->text_files;
  int32_t handle = c.int_arg(1);
  if (handle < 1 || static_cast<size_t>(handle) > files.size()) return nullptr;
  return files[static_cast<size_t>(handle) - 1].get();
}

Progress file_open(Call& c) {
  Engine& e = c.engine;
  std::string name(c.str_arg(1));
  std::optional<std::vector<uint8_t>> bytes;
  // Like every open by name, this waits until the file can be read.
  while (!(bytes = res::read_resource(e, name))) error_box_retry(e, base::format(msg::kFfopenFailed, name.c_str()));
  auto& files = e.vm->text_files;
  size_t slot = 0;
  while (slot < files.size() && files[slot]) ++slot;
  if (slot == files.size()) files.emplace_back();
  files[slot] = std::make_unique<base::TextFile>(std::move(*bytes));
  c.ret_int(static_cast<int32_t>(slot + 1));
  return Progress::Done;
}

Progress file_close(Call& c) {
  auto& files = c.engine.vm->text_files;
  int32_t handle = c.int_arg(1);
  if (handle >= 1 && static_cast<size_t>(handle) <= files.size()) files[static_cast<size_t>(handle) - 1].reset();
  c.ret_int(0);
  return Progress::Done;
}

Progress file_read(Call& c) {
  base::TextFile* f = file_of(c);
  std::string field;
  c.ret_int(f && f->next_field(&field, true) ? base::c_atoi(field) : 0);
  return Progress::Done;
}

Progress file_read_string(Call& c) {
  base::TextFile* f = file_of(c);
  std::string field;
  if (!f || !f->next_field(&field, true)) field.clear();
  std::string_view v = field;
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
  c.ret_string(v);
  return Progress::Done;
}

Progress file_read_line(Call& c) {
  base::TextFile* f = file_of(c);
  std::string line;
  if (!f || !f->next_line(&line)) line.clear();
  c.ret_string(line);
  return Progress::Done;
}

constexpr auto kTable = handler_table<Subsystem::script>({
    {"file_open", file_open},
    {"file_close", file_close},
    {"file_read", file_read},
    {"file_read_string", file_read_string},
    {"file_read_line", file_read_line},
});

}  // namespace

std::span<const BuiltinEntry> text_file_builtins() { return kTable; }

}  // namespace rt
