#include "script/read_marks.h"

#include <algorithm>
#include <cstring>

#include "base/bytes.h"
#include "base/sjis.h"
#include "core/engine.h"
#include "resources/resources.h"
#include "script/script_machine.h"

namespace rt {
namespace {

constexpr char kReadMarkFile[] = "savedata\\quorel_readmark.mss";

ReadMarkRecord* find_record(ReadMarks& marks, std::string_view name) {
  for (auto& r : marks.records)
    if (base::sjis_equal_nocase(r->name, name)) return r.get();
  return nullptr;
}

}  // namespace

std::vector<std::unique_ptr<ReadMarkRecord>> parse_read_marks(std::span<const uint8_t> bytes) {
  std::vector<std::unique_ptr<ReadMarkRecord>> out;
  size_t at = 0;
  while (at + kReadMarkHeaderSize <= bytes.size()) {
    const uint8_t* h = bytes.data() + at;
    uint32_t count = base::load_u32(h + 128);
    if (count > bytes.size() - at - kReadMarkHeaderSize) break;  // a partial record is dropped
    auto r = std::make_unique<ReadMarkRecord>();
    r->name.assign(reinterpret_cast<const char*>(h), strnlen(reinterpret_cast<const char*>(h), 128));
    r->line_count = base::load_u32(h + 132);
    r->bitmap.assign(h + kReadMarkHeaderSize, h + kReadMarkHeaderSize + count);
    at += kReadMarkHeaderSize + count;
    out.insert(out.begin(), std::move(r));  // each record goes to the head
  }
  return out;
}

std::vector<uint8_t> write_read_marks(const std::vector<std::unique_ptr<ReadMarkRecord>>& records) {
  std::vector<uint8_t> out;
  for (const auto& r : records) {
    uint8_t header[kReadMarkHeaderSize] = {};
    std::memcpy(header, r->name.data(), std::min<size_t>(r->name.size(), 127));
    base::store_u32(header + 128, static_cast<uint32_t>(r->bitmap.size()));
    base::store_u32(header + 132, r->line_count);
    out.insert(out.end(), header, header + sizeof header);
    out.insert(out.end(), r->bitmap.begin(), r->bitmap.end());
  }
  return out;
}

void readmarks_load(Engine& e) {
  ReadMarks& marks = e.vm->read_marks;
  if (marks.loaded) return;
  marks.loaded = true;
  auto bytes = plat::read_whole_file(rt::savedata_native_path(e, kReadMarkFile));
  if (!bytes) return;
  marks.records = parse_read_marks(*bytes);
  // Scripts loaded before the marks were read get their records now.
  for (auto& s : e.vm->files.list) s->read_marks = readmarks_attach(e, s->name, s->line_count);
}

void readmarks_save(Engine& e) {
  if (env_int(e, "LOADSAVEDISABLE", 0) == 1) return;
  auto path = rt::savedata_write_path(e, kReadMarkFile);
  if (path && !plat::write_file_atomic(*path, write_read_marks(e.vm->read_marks.records)))
    rt::report_once(e, "cannot write " + *path);
}

ReadMarkRecord* readmarks_attach(Engine& e, const std::string& name, uint32_t line_count) {
  ReadMarks& marks = e.vm->read_marks;
  ReadMarkRecord* r = find_record(marks, name);
  if (line_count == 0) {
    // A script without marks: its old record goes, but records are kept in
    // place (frames may still point at them) with no lines.
    if (r) {
      r->line_count = 0;
      r->bitmap.clear();
    }
    return nullptr;
  }
  if (r && r->line_count == line_count && r->bitmap.size() >= ReadMarkRecord::byte_count(line_count)) return r;
  if (!r) {
    marks.records.insert(marks.records.begin(), std::make_unique<ReadMarkRecord>());
    r = marks.records.front().get();
    r->name = name;
  }
  // A script recompiled with another number of lines loses all its marks.
  r->line_count = line_count;
  r->bitmap.assign(ReadMarkRecord::byte_count(line_count), 0);
  return r;
}

void mark_line(Engine& e, Thread& t, uint32_t line) {
  ScriptMachine& vm = *e.vm;
  if (t.id != 0) return;
  Frame& f = t.frame();
  if (!f.read_marks_known) {
    LoadedScript* s = script_of(e, f.pc);
    f.read_marks = s ? s->read_marks : nullptr;
    f.read_marks_known = true;
  }
  ReadMarkRecord* r = f.read_marks;
  if (r && line / 8 < r->bitmap.size() && r->line_count > 0) {
    uint8_t& byte = r->bitmap[line / 8];
    uint8_t mask = static_cast<uint8_t>(1u << (line % 8));
    vm.play.already_read = (byte & mask) != 0;
    byte |= mask;
  } else if (t.depth == 0) {
    vm.play.already_read = false;
  }
}

bool is_skipping(Engine& e) {
  ScriptMachine& vm = *e.vm;
  PlayModes& p = vm.play;
  if (vm.skip_stop > 0) return false;
  if (p.skip_all) return true;
  bool caps = vm.hooks.caps_skip && vm.hooks.caps_skip(e);
  if (caps || p.read_skip) {
    if (p.already_read) {
      bool right_held = vm.hooks.button_held && vm.hooks.button_held(e, 131);
      if (!caps || !right_held) return true;
      // Holding the right button stops a Caps Lock skip.
      uint32_t time;
      if (vm.hooks.take_click)
        for (int code : {130, 131, 136}) vm.hooks.take_click(e, code, &time);
      p.read_skip = false;
      if (vm.hooks.caps_off) vm.hooks.caps_off(e);
      if (vm.hooks.pump_messages) vm.hooks.pump_messages(e);
      return false;
    }
    p.read_skip = false;  // the first unread line ends read-skipping
    return false;
  }
  return p.auto_mode && p.auto_skip;
}

void set_play_mode_number(Engine& e, int mode) {
  PlayModes& p = e.vm->play;
  if (mode == 5) mode = env_int(e, "NEKOMENU", 0) != 0 ? 1 : 4;
  switch (mode) {
    case 0: p.skip_all = p.read_skip = p.auto_mode = false; break;
    case 1:
      if (e.settings.get_int("FastModeFlg_AR").value_or(0) == 0) {
        p.skip_all = true;
        p.read_skip = p.auto_mode = false;
      } else {
        p.read_skip = true;
        p.skip_all = p.auto_mode = false;
      }
      break;
    case 2:
      p.read_skip = true;
      p.auto_mode = false;
      break;
    case 3:
      p.auto_mode = true;
      p.skip_all = p.read_skip = false;
      break;
    case 4:
      p.skip_all = true;
      p.read_skip = p.auto_mode = false;
      break;
    default: break;
  }
}

}  // namespace rt
