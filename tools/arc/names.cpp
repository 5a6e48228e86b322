#include "tools/arc/names.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/sjis.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "resources/name_hash.h"
#include "resources/resources.h"

namespace arc {
namespace {

bool is_ascii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Splits at "/" and "\". In Shift-JIS text a "\" byte may be the second
// half of a character; in UTF-8 and ASCII it never is.
std::vector<std::string_view> split_path(std::string_view path, bool sjis) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t i = 0; i < path.size();) {
    size_t n = sjis ? base::sjis_char_size(path, i) : 1;
    if (n == 1 && (path[i] == '/' || path[i] == '\\')) {
      if (i > start) parts.push_back(path.substr(start, i - start));
      start = i + 1;
    }
    i += n;
  }
  if (start < path.size()) parts.push_back(path.substr(start));
  return parts;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

void walk(const std::string& dir, const std::string& relative, bool as_engine, std::vector<plat::FileId>& open_dirs,
          std::vector<WalkedFile>& out, std::vector<std::string>* hidden, std::vector<std::string>* unreadable) {
  auto id = plat::native_file_id(dir);
  if (!id || std::find(open_dirs.begin(), open_dirs.end(), *id) != open_dirs.end()) return;
  open_dirs.push_back(*id);
  bool failed = false;
  std::vector<plat::DirEntry> entries = plat::list_directory(dir, &failed);
  if (failed && unreadable) unreadable->push_back(display_name(dir) + ": cannot read the folder: " + std::strerror(errno));
  std::sort(entries.begin(), entries.end(),
            [](const plat::DirEntry& a, const plat::DirEntry& b) { return a.native_name < b.native_name; });
  for (const plat::DirEntry& entry : entries) {
    std::string path = plat::join_path(dir, entry.native_name);
    std::string rel = relative.empty() ? entry.native_name : relative + "/" + entry.native_name;
    if (entry.is_directory) {
      if (as_engine && res::is_skipped_subdirectory(entry.name)) {
        if (hidden) hidden->push_back(rel + "/");
        continue;
      }
      walk(path, rel, as_engine, open_dirs, out, hidden, unreadable);
      continue;
    }
    auto size = plat::native_file_size(path);
    if (!size) continue;  // not a regular file (a socket, a dangling link)
    if (as_engine && res::is_ignored_extension(entry.name)) {
      if (hidden) hidden->push_back(rel);
      continue;
    }
    out.push_back({path, rel, entry.name, static_cast<uint64_t>(*size)});
  }
  open_dirs.pop_back();
}

}  // namespace

std::string display_name(std::string_view native) {
  if (is_ascii(native) || plat::is_valid_utf8(native)) return std::string(native);
  return plat::sjis_to_utf8(native);
}

std::string engine_name(std::string_view native) {
  if (is_ascii(native) || !plat::is_valid_utf8(native)) return std::string(native);
  return plat::utf8_to_sjis(native).value_or(std::string(native));
}

std::string hash_file_name(uint32_t hash) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "#%08X", hash);
  return buffer;
}

std::optional<uint32_t> parse_hash_file_name(std::string_view name) {
  if (name.size() != 9 || name[0] != '#') return std::nullopt;
  uint32_t hash = 0;
  for (char c : name.substr(1)) {
    int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (digit < 0) return std::nullopt;
    hash = hash << 4 | static_cast<uint32_t>(digit);
  }
  return hash;
}

std::vector<WalkedFile> walk_folder(const std::string& dir, bool as_engine, std::vector<std::string>* hidden,
                                    std::vector<std::string>* unreadable) {
  std::vector<WalkedFile> out;
  std::vector<plat::FileId> open_dirs;
  walk(plat::absolute_path(dir), "", as_engine, open_dirs, out, hidden, unreadable);
  return out;
}

bool NameMap::load(const std::string& source, std::string* error) {
  if (plat::native_is_directory(source)) {
    std::vector<std::string> unreadable;
    for (const WalkedFile& f : walk_folder(source, false, nullptr, &unreadable))
      add(res::name_hash(f.engine_name), {f.relative, display_name(f.relative)});
    if (!unreadable.empty()) {
      *error = unreadable.front();
      return false;
    }
    return true;
  }
  auto text = plat::read_whole_file(source);
  if (!text) {
    *error = source + ": cannot read the names (neither a folder nor a readable file)";
    return false;
  }
  load_lines(std::string_view(reinterpret_cast<const char*>(text->data()), text->size()));
  return true;
}

// One name per line, in UTF-8 or Shift-JIS. A line may carry a folder path
// ("bg\title.png"); it is kept for extraction when it stays below the
// target folder, otherwise only the file name is used.
void NameMap::load_lines(std::string_view text) {
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = trim(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    // Control bytes (a NUL above all) have no place in a file name.
    if (line.empty() || std::any_of(line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) < ' '; }))
      continue;
    const bool sjis = !is_ascii(line) && !plat::is_valid_utf8(line);
    std::vector<std::string_view> parts = split_path(line, sjis);
    if (!parts.empty() && parts.front().size() == 2 && parts.front()[1] == ':') parts.erase(parts.begin());  // "C:"
    if (parts.empty()) continue;
    const std::string_view file = parts.back();
    std::string path;
    for (std::string_view p : parts) {
      if (!path.empty()) path += '/';
      path += p;
    }
    // What the file system will see: any "/" byte separates (even one that
    // malformed Shift-JIS put behind a lead byte).
    auto stays_below = [](std::string_view p) {
      for (size_t at = 0;;) {
        size_t slash = std::min(p.find('/', at), p.size());
        std::string_view part = p.substr(at, slash - at);
        if (part.empty() || part == "." || part == "..") return false;
        if (slash == p.size()) return true;
        at = slash + 1;
      }
    };
    if (line[0] == '/' || line[0] == '\\' || !stays_below(path)) {
      std::fprintf(stderr, "quorel-arc: the name %s leaves the target folder; only its file name is used\n",
                   display_name(line).c_str());
      path = std::string(file);
    }
    if (!stays_below(path)) continue;
    add(res::name_hash(engine_name(file)), {path, display_name(path)});
  }
}

const KnownName* NameMap::find(uint32_t hash) const {
  auto it = names_.find(hash);
  return it == names_.end() ? nullptr : &it->second;
}

}  // namespace arc
