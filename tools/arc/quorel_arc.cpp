// quorel-arc: lists, extracts and creates the engine's archives (".arc").
//
// [SECTION] Command line
// [SECTION] Progress line
// [SECTION] Reading archives: list, extract
// [SECTION] create
// [SECTION] hash
// [SECTION] main
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/encoding.h"
#include "platform/files.h"
#include "platform/system.h"
#include "resources/archive.h"
#include "resources/name_hash.h"
#include "tools/arc/names.h"

namespace arc {
namespace {

// [SECTION] Command line ---------------------------------------------------------

constexpr const char* kUsage =
    "usage: quorel-arc list ARCHIVE [--names SOURCE]\n"
    "       quorel-arc extract ARCHIVE DIR [--names SOURCE] [--force]\n"
    "       quorel-arc create ARCHIVE DIR [--all]\n"
    "       quorel-arc hash NAME...\n"
    "\n"
    "Archives store members by the CRC-32 of their lower-cased Shift-JIS file name,\n"
    "not by name.\n"
    "\n"
    "  list      print one line per member: hash, offset, size, name (when known)\n"
    "  extract   write every member into DIR, named by its name when known, else\n"
    "            \"#HASH\"; refuses to overwrite files unless --force\n"
    "  create    pack the files below DIR into ARCHIVE, in hash order; the files the\n"
    "            engine does not see in a folder (.txt, .exe, ..., folders \"mdb\" and\n"
    "            \"debuginfo\") are left out unless --all; a file \"#HASH\" is stored\n"
    "            under that hash; the archive is replaced only when complete\n"
    "  hash      print the name hash of each NAME\n"
    "\n"
    "  --names SOURCE  names of members: a folder (every file below it) or a file\n"
    "                  with one name per line (UTF-8 or Shift-JIS; \"bg\\a.png\" puts\n"
    "                  the member into a folder bg when extracting)\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0 success, 1 bad or unreadable input, 2 bad command line.\n";

struct Args {
  std::string command;
  std::vector<std::string> operands;
  std::string names;
  bool force = false;
  bool all = false;
};

int usage_error(const std::string& message) {
  std::fprintf(stderr, "quorel-arc: %s\n\n%s", message.c_str(), kUsage);
  return 2;
}

int fail(const std::string& message) {
  std::fprintf(stderr, "quorel-arc: %s\n", message.c_str());
  return 1;
}

// [SECTION] Progress line --------------------------------------------------------

// Large jobs report on stderr: rewritten in place on a terminal, else one
// line per tenth.
class Progress {
 public:
  static constexpr uint64_t kLargeBytes = 64ull << 20;
  static constexpr size_t kLargeMembers = 5000;

  Progress(std::string what, uint64_t total_bytes, size_t total_members)
      : what_(std::move(what)),
        total_bytes_(total_bytes),
        total_members_(total_members),
        enabled_(total_bytes >= kLargeBytes || total_members >= kLargeMembers),
        terminal_(plat::is_terminal(2)) {}

  void add_bytes(uint64_t n) {
    bytes_ += n;
    show(false);
  }
  void member_done() {
    ++members_;
    show(false);
  }
  void finish() {
    show(true);
    if (enabled_ && terminal_) std::fputc('\n', stderr);
  }

 private:
  void show(bool final) {
    if (!enabled_) return;
    // Bytes and members both count, so that many small members move it too.
    double part = 0.5 * (total_bytes_ ? double(bytes_) / double(total_bytes_) : 1.0) +
                  0.5 * (total_members_ ? double(members_) / double(total_members_) : 1.0);
    int percent = final ? 100 : std::min(99, static_cast<int>(part * 100));
    int step = terminal_ ? percent : percent / 10 * 10;
    if (step == shown_) return;
    shown_ = step;
    std::fprintf(stderr, "%squorel-arc: %s: %3d%% (%zu/%zu members, %llu/%llu MiB)%s", terminal_ ? "\r" : "",
                 what_.c_str(), percent, members_, total_members_, (unsigned long long)(bytes_ >> 20),
                 (unsigned long long)(total_bytes_ >> 20), terminal_ ? "" : "\n");
    std::fflush(stderr);
  }

  std::string what_;
  uint64_t total_bytes_, bytes_ = 0;
  size_t total_members_, members_ = 0;
  bool enabled_, terminal_;
  int shown_ = -1;
};

// Copies `size` bytes from `in` (already positioned) to `out`. On failure
// says which side failed (errno tells why).
enum class Copy { Done, ReadFailed, ShortRead, WriteFailed };

Copy copy_bytes(plat::File& in, plat::AtomicWriter& out, uint64_t size, std::vector<uint8_t>& buffer,
                Progress& progress) {
  while (size > 0) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(size, buffer.size()));
    size_t got = in.read(buffer.data(), want);
    if (got == 0) return in.failed() ? Copy::ReadFailed : Copy::ShortRead;
    if (!out.write(buffer.data(), got)) return Copy::WriteFailed;
    size -= got;
    progress.add_bytes(got);
  }
  return Copy::Done;
}

std::string reason() { return std::strerror(errno); }

// Creates a folder and its missing parents, noting each one it created.
bool make_folders(const std::string& dir, std::vector<std::string>& created) {
  if (plat::native_is_directory(dir)) return true;
  size_t slash = dir.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !make_folders(dir.substr(0, slash), created)) return false;
  if (::mkdir(dir.c_str(), 0777) != 0) return false;
  created.push_back(dir);
  return true;
}

// [SECTION] Reading archives: list, extract ----------------------------------------

struct OpenArchive {
  plat::File file;
  res::ArchiveIndex index;
};

// Opens and checks an archive: everything the engine checks, and no two
// members with one hash (the engine would find only one of them).
std::optional<OpenArchive> open_archive(const std::string& path, int* status) {
  OpenArchive a;
  a.file = plat::File::open(path, "rb");
  if (!a.file) {
    *status = fail(path + ": cannot open the archive");
    return std::nullopt;
  }
  res::ArchiveProblem problem;
  auto index = res::read_archive_index(a.file, &problem);
  if (!index) {
    *status = fail(path + ": " + problem.text());
    return std::nullopt;
  }
  a.index = std::move(*index);
  const auto& e = a.index.entries;
  for (size_t i = 1; i + 1 < e.size(); ++i) {
    if (e[i].hash == e[i - 1].hash) {
      char text[128];
      std::snprintf(text, sizeof text, "index entries %zu and %zu have the same name hash %08X", i - 1, i,
                    e[i].hash);
      *status = fail(path + ": " + text);
      return std::nullopt;
    }
  }
  return a;
}

bool load_names(const Args& args, NameMap* names, int* status) {
  if (args.names.empty()) return true;
  std::string error;
  if (names->load(args.names, &error)) return true;
  *status = fail(error);
  return false;
}

int list(const Args& args) {
  if (args.operands.size() != 1) return usage_error("list takes one archive");
  int status = 0;
  NameMap names;
  if (!load_names(args, &names, &status)) return status;
  auto archive = open_archive(args.operands[0], &status);
  if (!archive) return status;
  const auto& e = archive->index.entries;
  for (size_t i = 0; i + 1 < e.size(); ++i) {
    const KnownName* name = names.find(e[i].hash);
    std::printf("%08X %10u %10u  %s\n", e[i].hash, e[i].offset, e[i + 1].offset - e[i].offset,
                name ? name->display.c_str() : "-");
  }
  return 0;
}

int extract(const Args& args) {
  if (args.operands.size() != 2) return usage_error("extract takes an archive and a folder");
  const std::string& path = args.operands[0];
  const std::string& dir = args.operands[1];
  int status = 0;
  NameMap names;
  if (!load_names(args, &names, &status)) return status;
  auto archive = open_archive(path, &status);
  if (!archive) return status;
  const auto& e = archive->index.entries;

  // Decide every target first, so that nothing is written when one clashes.
  struct Target {
    size_t entry;
    std::string relative, display;
  };
  std::vector<Target> targets;
  std::set<std::string> seen;
  uint64_t total = 0;
  for (size_t i = 0; i + 1 < e.size(); ++i) {
    const KnownName* name = names.find(e[i].hash);
    Target t{i, name ? name->path : hash_file_name(e[i].hash), ""};
    t.display = name ? name->display : t.relative;
    if (!seen.insert(t.relative).second) return fail(t.display + ": two members would be written to this name");
    // Not even with --force: a member written over the archive or the
    // names file would destroy what is being read.
    const std::string target = plat::join_path(dir, t.relative);
    if (plat::same_file(target, path) || (!args.names.empty() && plat::same_file(target, args.names)))
      return fail(plat::join_path(dir, t.display) +
                  ": is an input (the archive or the names file); refusing to write over it");
    if (!args.force && plat::native_exists(target))
      return fail(plat::join_path(dir, t.display) + ": already exists (use --force to overwrite)");
    total += e[i + 1].offset - e[i].offset;
    targets.push_back(std::move(t));
  }
  // Every member goes to a temporary file first; only when all of them are
  // complete are they put in place. A failure removes the temporary files
  // and the folders made for them, so that it leaves nothing behind.
  std::vector<std::string> created;
  std::vector<std::unique_ptr<plat::AtomicWriter>> pending;
  auto undo = [&](const std::string& message) {
    const int err = errno;
    pending.clear();  // each writer removes its temporary file
    for (auto it = created.rbegin(); it != created.rend(); ++it) ::rmdir(it->c_str());
    errno = err;
    return fail(message);
  };
  const std::string absolute_dir = plat::absolute_path(dir);
  if (!make_folders(absolute_dir, created)) return undo(dir + ": cannot create the folder: " + reason());

  Progress progress("extracting " + path, total, targets.size());
  std::vector<uint8_t> buffer(1 << 20);
  size_t named = 0;
  for (const Target& t : targets) {
    std::string out_path = plat::join_path(absolute_dir, t.relative);
    std::string shown = plat::join_path(dir, t.display);
    if (!make_folders(out_path.substr(0, out_path.find_last_of('/')), created))
      return undo(shown + ": cannot create its folder: " + reason());
    auto out = std::make_unique<plat::AtomicWriter>();
    if (!out->open(out_path)) return undo(shown + ": cannot write: " + reason());
    uint32_t size = e[t.entry + 1].offset - e[t.entry].offset;
    if (!archive->file.seek(e[t.entry].offset)) return undo(path + ": cannot read member " + t.display + ": " + reason());
    switch (copy_bytes(archive->file, *out, size, buffer, progress)) {
      case Copy::Done: break;
      case Copy::ReadFailed: return undo(path + ": cannot read member " + t.display + ": " + reason());
      case Copy::ShortRead: return undo(path + ": member " + t.display + " is cut short by the end of the archive");
      case Copy::WriteFailed: return undo(shown + ": cannot write: " + reason());
    }
    // Flushed all at once below: a flush per file makes thousands of small members crawl.
    if (!out->prepare(false)) return undo(shown + ": cannot write: " + reason());
    pending.push_back(std::move(out));
    named += names.find(e[t.entry].hash) != nullptr;
    progress.member_done();
  }
  for (size_t i = 0; i < pending.size(); ++i) {
    if (!pending[i]->finish(false))
      return fail(pending[i]->target() + ": cannot put in place: " + reason() + " (" + std::to_string(i) + " of " +
                  std::to_string(pending.size()) + " members were extracted before it)");
  }
  if (!plat::flush_file_system(absolute_dir)) return fail(dir + ": cannot write: " + reason());
  progress.finish();
  std::printf("%s: %zu members extracted into %s (%zu by name, %zu by hash)\n", path.c_str(), targets.size(),
              dir.c_str(), named, targets.size() - named);
  return 0;
}

// [SECTION] create ---------------------------------------------------------------

int create(const Args& args) {
  if (args.operands.size() != 2) return usage_error("create takes an archive and a folder");
  if (!args.names.empty()) return usage_error("--names is for list and extract");
  const std::string& path = args.operands[0];
  const std::string& dir = args.operands[1];
  if (!plat::native_is_directory(dir)) return fail(dir + ": not a folder");

  // The archive is never written inside the folder it packs: it would
  // replace one of the files it reads, or pack itself.
  if (plat::native_path_within(plat::absolute_path(path), dir))
    return fail(path + ": lies inside the folder being packed (" + dir + "); write the archive elsewhere");

  std::vector<std::string> hidden, unreadable;
  std::vector<WalkedFile> files = walk_folder(dir, !args.all, &hidden, &unreadable);
  if (!unreadable.empty()) {
    // An archive without them would look complete and is not.
    for (const std::string& message : unreadable) std::fprintf(stderr, "quorel-arc: %s\n", message.c_str());
    return fail(dir + ": " + std::to_string(unreadable.size()) + " folder(s) cannot be read; nothing was written");
  }

  std::vector<res::ArchivePlanEntry> entries;
  entries.reserve(files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    const WalkedFile& f = files[i];
    auto explicit_hash = parse_hash_file_name(f.engine_name);
    entries.push_back({explicit_hash ? *explicit_hash : res::name_hash(f.engine_name), f.size,
                       display_name(f.relative), i});
    if (!explicit_hash && plat::is_valid_utf8(f.engine_name) &&
        std::any_of(f.engine_name.begin(), f.engine_name.end(), [](char c) { return c & 0x80; }))
      std::fprintf(stderr,
                   "quorel-arc: warning: %s: the name has characters Shift-JIS lacks; scripts cannot name it\n",
                   display_name(f.relative).c_str());
  }
  std::string error;
  auto plan = res::plan_archive(std::move(entries), &error);
  if (!plan) return fail(dir + ": " + error);

  plat::AtomicWriter out;
  if (!out.open(path)) return fail(path + ": cannot write: " + reason());
  if (!out.write(plan->head.data(), plan->head.size())) return fail(path + ": cannot write: " + reason());
  Progress progress("creating " + path, plan->total_size - plan->head.size(), plan->members.size());
  std::vector<uint8_t> buffer(1 << 20);
  for (const res::ArchivePlanEntry& m : plan->members) {
    const WalkedFile& f = files[m.source];
    plat::File in = plat::File::open(f.native_path, "rb");
    if (!in) return fail(f.native_path + ": cannot read: " + reason());
    switch (copy_bytes(in, out, f.size, buffer, progress)) {
      case Copy::Done: break;
      case Copy::ReadFailed: return fail(f.native_path + ": cannot read: " + reason());
      case Copy::ShortRead: return fail(f.native_path + ": shrank while being packed");
      case Copy::WriteFailed: return fail(path + ": cannot write: " + reason());
    }
    uint8_t extra;
    if (in.read(&extra, 1) != 0) return fail(f.native_path + ": changed while being packed");
    progress.member_done();
  }
  if (!out.commit()) return fail(path + ": cannot write: " + reason());
  progress.finish();
  if (!hidden.empty())
    std::fprintf(stderr,
                 "quorel-arc: left out %zu files and folders the engine does not see in a folder "
                 "(first: %s); --all packs them\n",
                 hidden.size(), display_name(hidden.front()).c_str());
  std::printf("%s: %zu members, %llu bytes\n", path.c_str(), plan->members.size(),
              static_cast<unsigned long long>(plan->total_size));
  return 0;
}

// [SECTION] hash -------------------------------------------------------------------

int hash(const Args& args) {
  if (args.operands.empty()) return usage_error("hash takes at least one name");
  for (const std::string& name : args.operands)
    std::printf("%08X  %s\n", res::name_hash(engine_name(name)), name.c_str());
  return 0;
}

}  // namespace
}  // namespace arc

// [SECTION] main -------------------------------------------------------------------

int main(int argc, char** argv) {
  plat::remove_temporary_files_on_signal();
  arc::Args args;
  bool options_end = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (options_end || a.empty() || a[0] != '-' || a == "-") {
      if (args.command.empty())
        args.command = a;
      else
        args.operands.push_back(a);
    } else if (a == "--") {
      options_end = true;
    } else if (a == "--help" || a == "-h") {
      std::fputs(arc::kUsage, stdout);
      return 0;
    } else if (a == "--version") {
      std::printf("quorel-arc %s\n", QUOREL_VERSION);
      return 0;
    } else if (a == "--force") {
      args.force = true;
    } else if (a == "--all") {
      args.all = true;
    } else if (a == "--names" || a.rfind("--names=", 0) == 0) {
      if (a == "--names") {
        if (++i == argc) return arc::usage_error("--names needs a folder or a file");
        args.names = argv[i];
      } else {
        args.names = a.substr(8);
      }
      if (args.names.empty()) return arc::usage_error("--names needs a folder or a file");
    } else {
      return arc::usage_error("unknown option " + a);
    }
  }
  if (args.force && args.command != "extract") return arc::usage_error("--force is for extract");
  if (args.all && args.command != "create") return arc::usage_error("--all is for create");
  if (args.command == "list") return arc::list(args);
  if (args.command == "extract") return arc::extract(args);
  if (args.command == "create") return arc::create(args);
  if (args.command == "hash") return arc::hash(args);
  if (args.command.empty()) return arc::usage_error("no command");
  return arc::usage_error("unknown command " + args.command);
}
