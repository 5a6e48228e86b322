// quorel-save: explains saved games. Prints a save's header, frames,
// variables and last backlog lines, writes its thumbnail as PNG, and checks
// a folder of saves against a game's scripts as they are now.
//
// [SECTION] Command line
// [SECTION] info
// [SECTION] thumbnail
// [SECTION] check
// [SECTION] Entry
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/crc32.h"
#include "core/engine.h"
#include "graphics/png_codec.h"
#include "persistence/resume_points.h"
#include "persistence/save_file.h"
#include "persistence/saves.h"
#include "platform/clock.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "resources/resources.h"

namespace {

// [SECTION] Command line ------------------------------------------------------------

constexpr const char* kUsage =
    "usage: quorel-save COMMAND ARGS\n"
    "\n"
    "Explains the engine's saved games (.sav).\n"
    "\n"
    "commands:\n"
    "  info FILE                 the save's title, time, thumbnail, music, the script\n"
    "                            and line of each frame, its variables and the last\n"
    "                            lines of its backlog\n"
    "  thumbnail FILE OUT.png    the save's thumbnail as a PNG\n"
    "  check DIR [--game=GAME]   checks every .sav in DIR against the scripts of the\n"
    "                            game in GAME (default: the current directory) and\n"
    "                            says which would load\n"
    "\n"
    "options:\n"
    "  --lines=N    info: backlog lines to show (default 5)\n"
    "  --names=SYM  info: variable names from the symbols file quorel-asm --symbols\n"
    "               wrote (a save keeps only their keys)\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0 done (check: every save loads), 1 a file could not be read or\n"
    "written (check: a save would not load), 2 bad command line.\n";

struct Failure {
  std::string message;
};

std::vector<uint8_t> read_or_fail(const std::string& path) {
  auto size = plat::native_file_size(path);
  if (!size) throw Failure{path + ": cannot be read"};
  if (*size > persist::kMaxFileSize) throw Failure{path + ": too large for a saved game"};
  auto bytes = plat::read_whole_file(path);
  if (!bytes) throw Failure{path + ": cannot be read"};
  return *bytes;
}

persist::SaveFile parse_or_fail(const std::string& path, const std::vector<uint8_t>& bytes) {
  persist::ReadError error;
  auto file = persist::parse_save(bytes, &error);
  if (!file) throw Failure{path + ": " + persist::describe(error)};
  return std::move(*file);
}

std::string utf8(std::string_view sjis) { return plat::sjis_to_utf8(sjis); }

// [SECTION] info -------------------------------------------------------------------

std::string kind_name(uint32_t kind) {
  static const char* const kNames[] = {"int", "float", "string", "int array", "float array", "string array"};
  return kind < 6 ? kNames[kind] : "kind " + std::to_string(kind);
}

std::string quoted(std::string_view sjis) {
  std::string out = "\"";
  for (char c : utf8(sjis)) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    out += c;
  }
  return out + "\"";
}

// The value of a record, read straight from the blob.
std::string describe_value(const persist::Record& r, const std::vector<uint8_t>& blob) {
  const uint32_t kind = base::load_u32(r.data() + 4), third = base::load_u32(r.data() + 8);
  const uint32_t payload = base::load_u32(r.data() + 12);
  auto string_at = [&](uint32_t at) -> std::string {
    if (static_cast<uint64_t>(at) + 12 > blob.size()) return "(outside the blob)";
    const int32_t size = base::load_i32(&blob[at + 8]);
    if (size < 1 || static_cast<uint64_t>(at) + 12 + size > blob.size()) return "(damaged)";
    return quoted(std::string_view(reinterpret_cast<const char*>(&blob[at + 12]), static_cast<size_t>(size - 1)));
  };
  switch (kind) {
    case 0: return std::to_string(static_cast<int32_t>(payload));
    case 1: {
      float f;
      std::memcpy(&f, &payload, 4);
      char buf[32];
      std::snprintf(buf, sizeof buf, "%g", f);
      return buf;
    }
    case 2: return string_at(third);
    case 3:
    case 4:
    case 5: {
      if (static_cast<uint64_t>(third) + 24 > blob.size()) return "(outside the blob)";
      const uint8_t* p = &blob[third];
      const int32_t o = base::load_i32(p + 8), m = base::load_i32(p + 12), n = base::load_i32(p + 16);
      std::string out = std::to_string(o) + " x " + std::to_string(m) + " x " + std::to_string(n);
      const int64_t count = o > 0 && m > 0 && n > 0 ? static_cast<int64_t>(o) * m * n : 0;
      const uint64_t first = kind == 5 ? 24 : 20;
      out += " [";
      for (int64_t k = 0; k < std::min<int64_t>(count, 8); ++k) {
        if (third + first + 4 * k + 4 > blob.size()) break;
        const uint32_t w = base::load_u32(p + first + 4 * k);
        if (k) out += ", ";
        if (kind == 3) {
          out += std::to_string(static_cast<int32_t>(w));
        } else if (kind == 4) {
          float f;
          std::memcpy(&f, &w, 4);
          char buf[32];
          std::snprintf(buf, sizeof buf, "%g", f);
          out += buf;
        } else {
          out += w == 0xFFFFFFFFu ? "\"\"" : string_at(w);
        }
      }
      if (count > 8) out += ", ...";
      return out + "]";
    }
  }
  return "?";
}

// Key -> name, from a symbols file.
std::map<uint32_t, std::string> names;

void read_names(const std::string& path) {
  auto bytes = plat::read_whole_file(path);
  if (!bytes) throw Failure{path + ": cannot be read"};
  std::string text(bytes->begin(), bytes->end());
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string name = text.substr(pos, end - pos);
    pos = end + 1;
    if (name.empty() || name.rfind("local ", 0) == 0) continue;
    names.emplace(base::crc32(plat::utf8_to_sjis(name).value_or(name)), name);
  }
}

void print_values(const char* title, const std::vector<persist::Record>& records, const std::vector<uint8_t>& blob) {
  std::printf("%s (%zu):\n", title, records.size());
  for (const persist::Record& r : records) {
    const uint32_t key = base::load_u32(r.data());
    auto name = names.find(key);
    std::printf("  %08X  %s%s%-12s %s\n", key, name == names.end() ? "" : name->second.c_str(),
                name == names.end() ? "" : "  ", kind_name(base::load_u32(r.data() + 4)).c_str(),
                describe_value(r, blob).c_str());
  }
}

// The last text entries of the backlog, oldest first.
std::vector<std::string> backlog_lines(const std::vector<uint8_t>& b, size_t wanted) {
  std::vector<std::string> out;
  size_t pos = b.size();
  while (pos >= 3 && out.size() < wanted) {
    const uint16_t len = base::load_u16(&b[pos - 2]);
    if (len < 3 || len > pos) break;
    std::string_view bytes(reinterpret_cast<const char*>(&b[pos - len]), len - 3);
    if (!bytes.empty() && bytes[0] != '\\') out.push_back(std::string(bytes));
    pos -= len;
  }
  std::reverse(out.begin(), out.end());
  return out;
}

int info(const std::string& path, size_t lines) {
  const std::vector<uint8_t> bytes = read_or_fail(path);
  const persist::SaveFile f = parse_or_fail(path, bytes);
  using namespace persist;
  std::printf("file: %s (%zu bytes", path.c_str(), bytes.size());
  if (auto units = plat::native_file_time_100ns(path)) {
    plat::LocalTime t = plat::local_time_of(*units / 10000000 - 11644473600LL);
    std::printf(", written %04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
  }
  std::printf(")\n");
  std::printf("title: %s\n", quoted(head_string(f.head, field::kTitle, 128)).c_str());
  if (f.thumb_width > 0) std::printf("thumbnail: %d x %d\n", f.thumb_width, f.thumb_height);
  else std::printf("thumbnail: none\n");
  std::printf("message window: %s\n", head_u32(f.head, field::kConsoleShown) ? "shown" : "hidden");
  const std::string music = head_string(f.head, field::kMusic, 256);
  const std::string loop = head_string(f.head, field::kMusicLoopName, 256);
  if (music.empty()) std::printf("music: none\n");
  else
    std::printf("music: %s%s%s%s\n", utf8(music).c_str(), loop.empty() ? "" : " then ", utf8(loop).c_str(),
                head_u32(f.head, field::kMusicLoop) ? ", looped" : "");
  std::printf("levels: music %d, voice %d, sounds %d %d %d %d\n",
              static_cast<int32_t>(head_u32(f.head, field::kMusicLevel)),
              static_cast<int32_t>(head_u32(f.head, field::kVoiceLevel)),
              static_cast<int32_t>(head_u32(f.head, field::kSoundLevels)),
              static_cast<int32_t>(head_u32(f.head, field::kSoundLevels + 4)),
              static_cast<int32_t>(head_u32(f.head, field::kSoundLevels + 8)),
              static_cast<int32_t>(head_u32(f.head, field::kSoundLevels + 12)));
  Trailer trailer;
  const TrailerState ts = parse_trailer(f.tail, f.frames.size(), &trailer);
  std::printf("resume record: %s\n", ts == TrailerState::Present ? "yes"
                                     : ts == TrailerState::Absent ? "no (positions must match the scripts exactly)"
                                                                  : "damaged");
  std::printf("frames (%zu, the save point's last):\n", f.frames.size());
  for (size_t k = 0; k < f.frames.size(); ++k) {
    const FrameRecord& fr = f.frames[k];
    if (fr.script.empty()) {
      std::printf("  %zu  (no code)\n", k);
      continue;
    }
    std::printf("  %zu  %s at 0x%X, line %d", k, utf8(fr.script).c_str(), fr.pc, fr.line);
    if (ts == TrailerState::Present) {
      const Anchor& a = trailer.frames[k][0];
      if (a.flags & Anchor::kFunction) std::printf(", function %08X", a.function_key);
      else if (a.flags & Anchor::kEntry) std::printf(", main code");
      if (a.line >= 0) std::printf(", source line %d", a.line);
    }
    std::printf("\n");
  }
  print_values("globals", f.globals, f.blob);
  print_values("thread variables", f.thread_vars, f.blob);
  print_values("stack", f.locals, f.blob);
  auto text = backlog_lines(f.backlog, lines);
  std::printf("backlog (last %zu lines):\n", text.size());
  for (const std::string& l : text) std::printf("  %s\n", utf8(l).c_str());
  return 0;
}

// [SECTION] thumbnail ----------------------------------------------------------------

int thumbnail(const std::string& path, const std::string& out) {
  if (plat::same_file(out, path)) throw Failure{out + " is the save itself; refusing to write over it"};
  const std::vector<uint8_t> bytes = read_or_fail(path);
  const persist::SaveFile f = parse_or_fail(path, bytes);
  if (f.thumb_width <= 0) throw Failure{path + ": the save has no thumbnail"};
  auto png = gfx::encode_png_bgr(f.thumbnail.data(), f.thumb_width, f.thumb_height,
                                 static_cast<size_t>(f.thumb_width) * 3);
  if (png.empty() || !plat::write_file_atomic(out, std::span<const uint8_t>(png))) throw Failure{out + ": cannot be written"};
  return 0;
}

// [SECTION] check --------------------------------------------------------------------

int check(const std::string& dir, const std::string& game) {
  if (!plat::native_is_directory(dir)) throw Failure{dir + ": not a folder"};
  if (!plat::native_is_directory(game)) throw Failure{game + ": not a folder"};
  rt::Options o;
  o.headless = true;
  o.game_dir = game;
  o.answer = plat::Answer::Cancel;
  rt::Engine e(o, plat::make_headless_host(plat::Answer::Cancel));
  res::register_startup_folders(e);
  std::vector<plat::DirEntry> entries = plat::list_directory(dir);
  std::sort(entries.begin(), entries.end(), [](auto& a, auto& b) { return a.native_name < b.native_name; });
  int checked = 0, refused = 0;
  const std::string absolute = plat::absolute_path(dir);
  for (const plat::DirEntry& entry : entries) {
    if (entry.is_directory) continue;
    const std::string& n = entry.native_name;
    if (n.size() < 4 || strcasecmp(n.c_str() + n.size() - 4, ".sav") != 0) continue;
    ++checked;
    persist::Refusal why;
    try {
      if (persist::prepare_load(e, plat::join_path(absolute, n), 0, &why)) {
        std::printf("%s: loads\n", n.c_str());
        continue;
      }
    } catch (const rt::ProcessExit&) {
      why.reason = "a script of the game cannot be loaded";
    }
    ++refused;
    std::printf("%s: would not load: %s\n", n.c_str(), why.reason.empty() ? "cannot be read" : why.reason.c_str());
  }
  std::printf("%d save%s checked, %d would not load\n", checked, checked == 1 ? "" : "s", refused);
  return refused ? 1 : 0;
}

}  // namespace

// [SECTION] Entry ---------------------------------------------------------------------

int main(int argc, char** argv) {
  std::vector<std::string> args;
  std::string game = ".";
  std::string names_file;
  size_t lines = 5;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--version") {
      std::printf("quorel-save %s\n", QUOREL_VERSION);
      return 0;
    } else if (a.rfind("--game=", 0) == 0) {
      game = a.substr(7);
    } else if (a.rfind("--names=", 0) == 0) {
      names_file = a.substr(8);
    } else if (a.rfind("--lines=", 0) == 0) {
      lines = static_cast<size_t>(std::max(0, std::atoi(a.c_str() + 8)));
    } else if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "quorel-save: unknown option %s\n%s", a.c_str(), kUsage);
      return 2;
    } else {
      args.push_back(a);
    }
  }
  const std::string command = args.empty() ? "" : args[0];
  const size_t wanted = command == "info" ? 2 : command == "thumbnail" ? 3 : command == "check" ? 2 : 0;
  if (wanted == 0 || args.size() != wanted) {
    std::fprintf(stderr, "%s", kUsage);
    return 2;
  }
  try {
    if (!names_file.empty()) read_names(names_file);
    if (command == "info") return info(args[1], lines);
    if (command == "thumbnail") return thumbnail(args[1], args[2]);
    return check(args[1], game);
  } catch (const Failure& f) {
    std::fprintf(stderr, "quorel-save: %s\n", f.message.c_str());
    return 1;
  }
}
