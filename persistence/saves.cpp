// [SECTION] State and hooks
// [SECTION] Capture
// [SECTION] Writing
// [SECTION] Loading: the check when asked, the restore after the reset
// [SECTION] System data
// [SECTION] File choices
#include "persistence/saves.h"

#include <algorithm>
#include <cstring>

#include "base/bytes.h"
#include "base/crc32.h"
#include "base/format.h"
#include "base/sjis.h"
#include "core/engine.h"
#include "core/error_report.h"
#include "graphics/page.h"
#include "graphics/state.h"
#include "platform/files.h"
#include "res/persistence.h"
#include "resources/resources.h"
#include "script/script_file.h"
#include "script/script_machine.h"
#include "script/threads.h"
#include "sound/audio_slots.h"
#include "text/console.h"

namespace persist {

// [SECTION] State and hooks -------------------------------------------------------------

PendingLoad::~PendingLoad() {
  release_values(globals);
  release_values(thread_vars);
  release_values(locals);
}

State::State() = default;
State::~State() { release_snapshot(); }

void State::release_snapshot() {
  release_values(globals);
  release_values(thread_vars);
  release_values(locals);
  frames.clear();
  trailer = {};
}

namespace {

constexpr char kSystemFile[] = "savedata\\quorel_system.mss";

bool saving_disabled(rt::Engine& e) { return rt::env_int(e, "LOADSAVEDISABLE", 0) == 1; }

std::string parent_of(const std::string& native) {
  size_t slash = native.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : native.substr(0, slash);
}

// The reset of the script machine: the snapshot goes, the backlog with it;
// the first reset reads the system data.
void on_reset(rt::Engine& e) {
  State& s = state(e);
  if (!e.vm->persistent_loaded) {
    e.vm->persistent_loaded = true;
    read_system_data(e);
  }
  s.release_snapshot();
  s.capture_enabled = false;
  s.captured = false;
  txt::console_backlog(e).clear();
}

void on_shutdown(rt::Engine& e) {
  if (e.vm->persistent_loaded) write_system_data(e);
  State& s = state(e);
  s.thumbnail.clear();
  s.thumb_width = s.thumb_height = 0;
  s.release_snapshot();
  s.pending.reset();
}

bool take_load_request(rt::Engine& e) { return state(e).pending != nullptr; }

std::string file_label(const std::string& engine_path) { return std::string(base::file_name_part(engine_path)); }

}  // namespace

State& state(rt::Engine& e) { return *e.saves; }

void install_hooks(rt::Engine& e) {
  rt::Hooks& h = e.vm->hooks;
  h.on_reset.push_back(on_reset);
  h.on_shutdown.push_back(on_shutdown);
  h.take_load_request = take_load_request;
  h.restore_saved_game = restore;
}

bool snapshot_captured(rt::Engine& e) { return state(e).captured; }

// [SECTION] Capture ----------------------------------------------------------------------

namespace {

std::vector<rt::Value> copies(const rt::Value* values, size_t n) {
  std::vector<rt::Value> out(values, values + n);
  for (const rt::Value& v : out) rt::retain(v);
  return out;
}

// The thread's frames, variables and stack into the snapshot; the top
// frame's position moved back by `back` bytes.
void capture_thread(rt::Engine& e, rt::Thread& t, uint32_t back, int point_argc) {
  State& s = state(e);
  s.release_snapshot();
  rt::VariableStore& g = e.vm->global;
  s.globals = copies(g.values().data(), g.size());
  s.thread_vars = copies(t.vars.data(), t.vars.size());
  const int32_t top = std::clamp<int32_t>(t.top(), 0, static_cast<int32_t>(t.stack.size()));
  s.locals = copies(t.stack.data(), static_cast<size_t>(top));
  s.trailer.point_argc = point_argc;
  for (int32_t k = 0; k <= t.depth; ++k) {
    const rt::Frame& f = t.frames[k];
    FrameRecord r;
    r.base = f.base;
    r.stack_top = f.stack_top;
    r.discard = f.discard;
    r.line = f.line;
    FrameAnchors anchors{};
    if (rt::LoadedScript* script = rt::script_of(e, f.pc)) {
      uint32_t pc = f.pc - script->base;
      if (k == t.depth && pc >= back) pc -= back;
      r.script = script->name;
      r.pc = pc;
      anchors[0] = anchor_of(*script, pc);
      const rt::CodeAddress targets[5] = {f.left_target, f.right_target, f.middle_target, f.escape_target,
                                          f.exit_target};
      for (int i = 0; i < 5; ++i)
        if (targets[i] != 0 && script->contains(targets[i])) {
          r.targets[i] = targets[i] - script->base;
          anchors[1 + i] = anchor_of(*script, r.targets[i]);
        }
    }
    s.frames.push_back(r);
    s.trailer.frames.push_back(anchors);
  }
}

}  // namespace

void capture(rt::Engine& e, int point_argc) {
  State& s = state(e);
  rt::Thread* main = rt::find_thread(e, 0);
  if (!main) return;
  // Called by the main thread: its position is the save point's call, 8
  // bytes back, so that a load runs it again. Called from another thread,
  // the main thread stands where it yielded and resumes there.
  const bool own = e.vm->current == main;
  capture_thread(e, *main, own ? 8 : 0, own ? point_argc : 0);
  s.captured = true;
  std::memcpy(s.head.data(), kSaveMagic, 16);
  const snd::SavedSound sound = snd::saved_sound(e);
  set_head_string(s.head, field::kMusic, 256, sound.music_name);
  set_head_string(s.head, field::kMusicLoopName, 256, sound.music_loop_name);
  set_head_u32(s.head, field::kMusicLevel, static_cast<uint32_t>(sound.music_level));
  set_head_u32(s.head, field::kMusicLoop, static_cast<uint32_t>(sound.music_loop));
  set_head_u32(s.head, field::kVoiceLevel, static_cast<uint32_t>(sound.voice_level));
  for (int i = 0; i < 4; ++i)
    set_head_u32(s.head, field::kSoundLevels + 4 * i, static_cast<uint32_t>(sound.sound_levels[i]));
  set_head_u32(s.head, field::kConsoleShown, txt::console_shown(e) ? 1 : 0);
}

void capture_thumbnail(rt::Engine& e, int32_t w, int32_t h, int32_t page_handle) {
  State& s = state(e);
  if (w <= 0 || h <= 0 || w > 4096 || h > 4096) {
    s.thumbnail.clear();
    s.thumb_width = s.thumb_height = 0;
    return;
  }
  const gfx::Page* page = gfx::find_page(e, page_handle);
  if (!page || page->width <= 0 || page->height <= 0) return;
  s.thumb_width = w;
  s.thumb_height = h;
  s.thumbnail.assign(static_cast<size_t>(w) * h * 3, 0);
  const int64_t W = page->width, H = page->height;
  const int64_t d = W / w, b = H / h;
  const int64_t sx[4] = {d / 5, 4 * d / 5, 3 * d / 5, 2 * d / 5};
  const int64_t sy[4] = {b / 5, 2 * b / 5, 4 * b / 5, 3 * b / 5};
  for (int64_t i = 0; i < h; ++i) {
    const int64_t y0 = i * H / h;
    for (int64_t j = 0; j < w; ++j) {
      const int64_t x0 = j * W / w;
      int sum[3] = {};
      for (int k = 0; k < 4; ++k) {
        const int64_t x = std::min(x0 + sx[k], W - 1), y = std::min(y0 + sy[k], H - 1);
        const uint8_t* p = page->row(static_cast<int>(y));
        if (page->is8bit) {
          const gfx::Rgbquad& q = page->palette[p[x]];
          sum[0] += q.b;
          sum[1] += q.g;
          sum[2] += q.r;
        } else {
          for (int c = 0; c < 3; ++c) sum[c] += p[3 * x + c];
        }
      }
      uint8_t* out = s.thumbnail.data() + (i * w + j) * 3;
      for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>(sum[c] >> 2);
    }
  }
}

// [SECTION] Writing ----------------------------------------------------------------------

std::string slot_file(int32_t slot) {
  return slot < 0 ? std::string("savedata\\quorel_last.sav") : base::format("savedata\\quorel_%04d.sav", slot);
}

namespace {

std::string native_of(rt::Engine& e, const std::string& engine_path) {
  return engine_path.rfind("savedata", 0) == 0 ? rt::savedata_native_path(e, engine_path)
                                               : e.files.native_path(engine_path);
}

// Files under "savedata" go through the guard against names and links that
// lead out of the game's folders; a name the player chose is taken as it is.
bool write_atomic(rt::Engine& e, const std::string& engine_path, const std::vector<uint8_t>& bytes) {
  std::optional<std::string> native;
  if (engine_path.rfind("savedata", 0) == 0) {
    native = rt::savedata_write_path(e, engine_path);
  } else {
    native = e.files.native_path(engine_path);
    plat::make_directories(parent_of(*native));
  }
  return native && plat::write_file_atomic(*native, std::span<const uint8_t>(bytes));
}

}  // namespace

bool write_game(rt::Engine& e, const std::string& engine_path) {
  State& s = state(e);
  if (!s.captured || saving_disabled(e) || s.frames.empty()) return false;
  SaveContents c;
  c.head = s.head;
  const auto& backlog = txt::console_backlog(e).bytes();
  c.backlog = std::span<const uint8_t>(backlog.data(), backlog.size());
  c.thumb_width = s.thumb_width;
  c.thumb_height = s.thumb_height;
  c.thumbnail = s.thumbnail;
  c.frames = s.frames;
  c.globals = s.globals;
  c.thread_vars = s.thread_vars;
  c.locals = s.locals;
  // The resume record only when it describes these frames.
  const std::vector<uint8_t> tail =
      s.trailer.frames.size() == s.frames.size() ? write_trailer(s.trailer) : std::vector<uint8_t>{};
  c.tail = tail;
  if (!write_atomic(e, engine_path, write_save(c))) {
    rt::message_box(e, msg::kWriteFailed, plat::Buttons::Ok, plat::Icon::Error);
    return false;
  }
  write_system_data(e);
  return true;
}

// [SECTION] Loading ----------------------------------------------------------------------

namespace {

std::optional<std::vector<uint8_t>> read_file(rt::Engine& e, const std::string& engine_path) {
  const std::string native = native_of(e, engine_path);
  auto size = plat::native_file_size(native);
  if (!size || *size > kMaxFileSize || plat::native_is_directory(native)) return std::nullopt;
  return plat::read_whole_file(native);
}

void refuse(rt::Engine& e, const Refusal& why) {
  rt::debug_log(e, why.message + " (" + why.reason + ")");
  rt::message_box(e, why.message, plat::Buttons::Ok, plat::Icon::Warning);
}

Refusal damaged(const std::string& label, ReadError error) {
  return {base::format(msg::kLoadDamaged, label.c_str()), describe(error)};
}

// Places every frame's position and targets in the scripts as they are
// now; the message for the player when one no longer fits.
std::optional<Refusal> place_frames(rt::Engine& e, const std::string& label, std::vector<FrameRecord>& frames,
                                        const Trailer* trailer, int32_t* point_argc, int32_t locals) {
  for (size_t k = 0; k < frames.size(); ++k) {
    FrameRecord& f = frames[k];
    const bool top = k + 1 == frames.size();
    if (f.base < 1 || f.base > locals || f.stack_top < 1 || f.stack_top > locals)
      return damaged(label, ReadError::BadCounts);
    if (top && f.stack_top != locals)
      return damaged(label, ReadError::BadCounts);
    if (f.script.empty()) {
      f.pc = 0;
      std::fill(std::begin(f.targets), std::end(f.targets), 0);
      continue;
    }
    // The name as the loader keeps it, nothing else: it is looked up in the
    // game's own folders only.
    if (f.script.size() > rt::kMaxScriptName || f.script.find_first_of("\\/:") != std::string::npos ||
        base::sjis_upper(f.script) != f.script || base::extension_of(f.script) != ".MJO")
      return damaged(label, ReadError::BadCounts);
    if (!res::FfExists(e, f.script))
      return Refusal{base::format(msg::kLoadScriptMissing, label.c_str(), f.script.c_str()),
                     "script " + f.script + " is missing"};
    rt::LoadedScript& s = rt::load_script(e, f.script);
    const Refusal changed{base::format(msg::kLoadScriptChanged, label.c_str(), f.script.c_str()),
                          "script " + f.script + " changed where the save stands"};
    uint32_t* positions[6] = {&f.pc, &f.targets[0], &f.targets[1], &f.targets[2], &f.targets[3], &f.targets[4]};
    for (int i = 0; i < 6; ++i) {
      uint32_t& at = *positions[i];
      const bool present = i == 0 || (i <= 3 ? static_cast<int32_t>(at) > 0 : at != 0);
      if (!present) {
        at = 0;
        continue;
      }
      if (!trailer) {
        if (!on_instruction(s, at)) return changed;
        continue;
      }
      const Anchor& a = trailer->frames[k][static_cast<size_t>(i)];
      const Placement p = place(s, a);
      if (p.fit == Fit::Lost) return changed;
      if (p.fit == Fit::LineStart && i == 0) {
        // Only the save point's own line may start again: its arguments
        // come off the stack and are pushed again by the line.
        if (!top || f.stack_top - trailer->point_argc < f.base) return changed;
        f.stack_top -= trailer->point_argc;
        *point_argc = 0;
      }
      at = p.offset;
    }
  }
  return std::nullopt;
}

}  // namespace

std::unique_ptr<PendingLoad> prepare_load(rt::Engine& e, const std::string& engine_path, int32_t argument,
                                          Refusal* why) {
  auto bytes = read_file(e, engine_path);
  if (!bytes) return nullptr;
  const std::string label = file_label(engine_path);
  auto refused = [&](Refusal r) -> std::unique_ptr<PendingLoad> {
    if (why) *why = std::move(r);
    return nullptr;
  };
  ReadError error;
  auto file = parse_save(*bytes, &error);
  if (!file) return refused(damaged(label, error));
  Trailer trailer;
  const TrailerState ts = parse_trailer(file->tail, file->frames.size(), &trailer);
  if (ts == TrailerState::Damaged)
    return refused(damaged(label, ReadError::BadTrailer));
  auto load = std::make_unique<PendingLoad>();
  load->point_argc = ts == TrailerState::Present ? trailer.point_argc : 0;
  {
    BlobReader reader(e, file->blob);
    auto g = reader.read_table(file->globals, rt::kGlobal);
    auto t = g ? reader.read_table(file->thread_vars, rt::kThread) : std::nullopt;
    auto l = t ? reader.read_table(file->locals, rt::kLocal) : std::nullopt;
    if (!l) {
      if (g) release_values(*g);
      if (t) release_values(*t);
      return refused(damaged(label, ReadError::BadValues));
    }
    load->globals = std::move(*g);
    load->thread_vars = std::move(*t);
    load->locals = std::move(*l);
  }
  load->frames = std::move(file->frames);
  if (auto reason = place_frames(e, label, load->frames, ts == TrailerState::Present ? &trailer : nullptr,
                                 &load->point_argc, static_cast<int32_t>(load->locals.size())))
    return refused(*reason);
  // A line started again leaves its save point's arguments off the stack.
  const int32_t top = load->frames.back().stack_top;
  while (static_cast<int32_t>(load->locals.size()) > top) {
    rt::release(load->locals.back());
    load->locals.pop_back();
  }
  load->head = file->head;
  load->backlog = std::move(file->backlog);
  load->thumb_width = file->thumb_width;
  load->thumb_height = file->thumb_height;
  load->thumbnail = std::move(file->thumbnail);
  load->argument = argument;
  return load;
}

int32_t request_load(rt::Engine& e, const std::string& engine_path, int32_t argument) {
  State& s = state(e);
  Refusal why;
  auto load = prepare_load(e, engine_path, argument, &why);
  if (!load) {
    if (!why.message.empty()) refuse(e, why);
    return -1;
  }
  s.pending = std::move(load);
  s.just_loaded = true;
  if (s.drop_menu_regions) s.drop_menu_regions(e);
  return 0;
}

int32_t restore(rt::Engine& e) {
  State& s = state(e);
  std::unique_ptr<PendingLoad> p = std::move(s.pending);
  if (!p) return 0;
  rt::ScriptMachine& vm = *e.vm;
  s.head = p->head;
  auto& backlog = txt::console_backlog(e).bytes();
  std::copy_n(p->backlog.begin(), std::min(p->backlog.size(), backlog.size()), backlog.begin());
  if (p->thumb_width > 0) {
    s.thumb_width = p->thumb_width;
    s.thumb_height = p->thumb_height;
    s.thumbnail = std::move(p->thumbnail);
  }

  rt::Thread* t = rt::find_thread(e, 0);
  if (!t) t = rt::create_thread(e, 0);
  const int32_t old_top = std::clamp<int32_t>(t->top(), 0, static_cast<int32_t>(t->stack.size()));
  for (int32_t i = 0; i < old_top; ++i) rt::release(t->stack[i]);
  for (rt::Value& v : t->vars) rt::release(v);
  t->vars = std::move(p->thread_vars);
  t->vars.reserve(t->vars.size() + rt::kStackGrowth);
  const size_t locals = p->locals.size();
  t->stack = std::move(p->locals);
  t->stack.resize(locals + rt::kStackGrowth);
  t->depth = static_cast<int32_t>(p->frames.size()) - 1;
  for (size_t k = 0; k < t->frames.size(); ++k) t->frames[k].clear();
  for (size_t k = 0; k < p->frames.size(); ++k) {
    const FrameRecord& r = p->frames[k];
    rt::Frame& f = t->frames[k];
    f.base = r.base;
    f.stack_top = r.stack_top;
    f.discard = r.discard;
    f.line = r.line;
    if (r.script.empty()) continue;
    rt::LoadedScript& script = rt::load_script(e, r.script);
    f.set_pc(script.address_of(r.pc));
    rt::CodeAddress* targets[5] = {&f.left_target, &f.right_target, &f.middle_target, &f.escape_target,
                                   &f.exit_target};
    for (int i = 0; i < 5; ++i)
      if (r.targets[i] != 0 && r.targets[i] <= script.code.size()) *targets[i] = script.address_of(r.targets[i]);
  }
  vm.global.clear();
  for (rt::Value& v : p->globals) vm.global.add(v.key, v);
  p->globals.clear();
  vm.play.already_read = true;

  // The restored game is the snapshot until the save point captures again.
  capture_thread(e, *t, 0, p->point_argc);
  s.captured = true;
  s.capture_enabled = true;
  snd::SavedSound sound;
  sound.music_level = static_cast<int32_t>(head_u32(s.head, field::kMusicLevel));
  sound.voice_level = static_cast<int32_t>(head_u32(s.head, field::kVoiceLevel));
  for (int i = 0; i < 4; ++i)
    sound.sound_levels[i] = static_cast<int32_t>(head_u32(s.head, field::kSoundLevels + 4 * i));
  snd::restore_sound_levels(e, sound);
  rt::make_current(e, t);
  txt::trim_backlog_to_last_pause(e);
  const std::string music = head_string(s.head, field::kMusic, 256);
  if (!music.empty())
    snd::play_music(e, music, head_string(s.head, field::kMusicLoopName, 256),
                    head_u32(s.head, field::kMusicLoop) != 0);
  return p->argument;
}

// [SECTION] System data ------------------------------------------------------------------

namespace {

// Temporary files of writes that a crash or a kill cut short: the old file
// beside each is whole, the temporary one is rubbish. One game runs at a
// time, so nobody else is writing them.
void remove_cut_writes(const std::string& folder) {
  for (const plat::DirEntry& entry : plat::list_directory(folder)) {
    const std::string& n = entry.native_name;
    const size_t at = n.rfind(".tmp.");
    if (entry.is_directory || at == std::string::npos || n.size() - at != 11) continue;
    const std::string target = n.substr(0, at);
    const std::string_view ext = base::extension_of(target);
    if (base::sjis_equal_nocase(ext, ".sav") || base::sjis_equal_nocase(ext, ".mss"))
      plat::remove_file(plat::join_path(folder, n));
  }
}

}  // namespace

void read_system_data(rt::Engine& e) {
  State& s = state(e);
  rt::ScriptMachine& vm = *e.vm;
  s.seen.fill(0);
  vm.persistent.clear();
  const std::string native = rt::savedata_native_path(e, kSystemFile);
  // Only in the game's own save folder: a link planted in its place leads
  // to someone else's files.
  if (plat::native_path_within(parent_of(native), rt::savedata_root(e))) remove_cut_writes(parent_of(native));
  if (!plat::native_exists(native)) return;
  auto size = plat::native_file_size(native);
  std::optional<std::vector<uint8_t>> bytes;
  if (size && *size <= kMaxFileSize) bytes = plat::read_whole_file(native);
  std::optional<SystemFile> file;
  std::optional<std::vector<rt::Value>> values;
  if (bytes) file = parse_system(*bytes);
  if (file) {
    BlobReader reader(e, file->blob);
    values = reader.read_table(file->records, rt::kPersistent);
  }
  if (!values) {
    rt::debug_log(e, msg::kSystemReadFailed);
    // Kept for the player to look at; a fresh file is written in its place.
    for (int n = 0; n < 100; ++n) {
      std::string aside = native + (n == 0 ? std::string(".damaged") : base::format(".damaged%d", n));
      if (plat::native_exists(aside)) continue;
      if (plat::rename_file(native, aside))
        rt::debug_log(e, base::format(msg::kSystemKeptAside, kSystemFile,
                                      (std::string(kSystemFile) + aside.substr(native.size())).c_str()));
      break;
    }
    return;
  }
  s.seen = file->seen;
  for (rt::Value& v : *values) vm.persistent.add(v.key, v);
}

bool write_system_data(rt::Engine& e) {
  if (saving_disabled(e)) return false;
  return write_atomic(e, kSystemFile, write_system(state(e).seen, e.vm->persistent.values()));
}

uint32_t seen_hash(std::string_view name) {
  size_t dot = name.find('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  return base::crc32(base::sjis_lower(name));
}

int32_t seen_mark(rt::Engine& e, std::string_view name) {
  State& s = state(e);
  const uint32_t h = seen_hash(name);
  for (uint32_t& entry : s.seen) {
    if (entry == h) return 0;
    if (entry == 0) {
      entry = h;
      return 0;
    }
  }
  return -1;
}

bool seen_check(rt::Engine& e, std::string_view name) {
  const uint32_t h = seen_hash(name);
  for (uint32_t entry : state(e).seen) {
    if (entry == h) return true;
    if (entry == 0) break;
  }
  return false;
}

// [SECTION] File choices -------------------------------------------------------------------

std::string proposed_save_name(std::string_view title, const plat::LocalTime& t) {
  static constexpr char kPlain[] = "\\/:,;*?'<>|";
  const std::string_view wide = msg::kNameReplacements;
  std::string clean;
  for (size_t i = 0; i < title.size();) {
    const size_t n = base::sjis_char_size(title, i);
    const char* at = n == 1 ? std::strchr(kPlain, title[i]) : nullptr;
    if (at && *at) {
      const size_t k = static_cast<size_t>(at - kPlain);
      clean += wide.substr(2 * k, 2);
    } else {
      clean += title.substr(i, n);
    }
    i += n;
  }
  auto two = [](int v) { return base::format("%02d", v); };
  return base::format(msg::kProposedName, clean.c_str(), two(t.year % 100).c_str(), two(t.month).c_str(),
                      two(t.day).c_str(), two(t.hour).c_str(), two(t.minute).c_str());
}

namespace {

std::optional<std::string> choose(rt::Engine& e, rt::FileChoice::Purpose purpose, std::string suggestion) {
  State& s = state(e);
  rt::FileChoice choice;
  choice.purpose = purpose;
  choice.folder = s.dialog_folder.empty() ? rt::savedata_path(e, "savedata") : s.dialog_folder;
  choice.suggestion = std::move(suggestion);
  choice.filter = ".sav";
  if (!e.vm->hooks.choose_file) return std::nullopt;
  auto chosen = e.vm->hooks.choose_file(e, choice);
  if (!chosen || chosen->empty()) return std::nullopt;
  std::string path = *chosen;
  if (path.find_first_of("\\/") == std::string::npos) path = choice.folder + "\\" + path;
  if (path.size() >= 192) {
    rt::message_box(e, msg::kNameTooLong, plat::Buttons::Ok, plat::Icon::Error);
    return std::nullopt;
  }
  const size_t slash = path.find_last_of("\\/");
  s.dialog_folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
  if (purpose == rt::FileChoice::Purpose::SaveAs && base::extension_of(path).empty()) path += ".sav";
  return path;
}

}  // namespace

std::optional<SaveSummary> summarize_save(rt::Engine& e, const std::string& engine_path) {
  const std::string native = native_of(e, engine_path);
  auto size = plat::native_file_size(native);
  if (!size || *size < static_cast<int64_t>(kHeadSize) || *size > kMaxFileSize) return std::nullopt;
  // Only the head and the thumbnail: a file chooser asks this of every
  // file the player points at.
  plat::File file = plat::File::open(native, "rb");
  std::vector<uint8_t> head(kHeadSize);
  if (!file || !file.read_exact(head.data(), head.size())) return std::nullopt;
  auto title = save_title_of(head);
  if (!title) return std::nullopt;
  SaveSummary out;
  out.title = *title;
  if (auto units = plat::native_file_time_100ns(native)) {
    const plat::LocalTime t = plat::local_time_of(*units / 10000000 - 11644473600LL);
    out.time = base::format("%02d/%02d/%02d %02d:%02d:%02d", t.year % 100, t.month, t.day, t.hour, t.minute, t.second);
  }
  const int32_t w = static_cast<int32_t>(base::load_u32(head.data() + field::kThumbWidth));
  const int32_t h = static_cast<int32_t>(base::load_u32(head.data() + field::kThumbHeight));
  if (w > 0 && h > 0 && w <= 4096 && h <= 4096 && *size >= static_cast<int64_t>(kSaveHeaderSize) &&
      *size - static_cast<int64_t>(kSaveHeaderSize) >= static_cast<int64_t>(w) * h * 3) {
    std::vector<uint8_t> pixels(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
    if (file.seek(static_cast<int64_t>(kSaveHeaderSize)) && file.read_exact(pixels.data(), pixels.size())) {
      out.thumb_width = w;
      out.thumb_height = h;
      out.thumbnail = std::move(pixels);
    }
  }
  return out;
}

int32_t save_as_dialog(rt::Engine& e) {
  State& s = state(e);
  if (!s.captured) return -1;
  auto path = choose(e, rt::FileChoice::Purpose::SaveAs,
                     proposed_save_name(head_string(s.head, field::kTitle, 128), plat::local_time_now()));
  if (!path) return -1;
  return write_game(e, *path) ? 0 : -1;
}

int32_t load_dialog(rt::Engine& e) {
  auto path = choose(e, rt::FileChoice::Purpose::LoadByName, {});
  if (!path) return -1;
  return request_load(e, *path, 0);
}

}  // namespace persist
