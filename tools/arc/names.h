// Names for quorel-arc. Archives keep only the hash of each member's name,
// so names come from elsewhere: a folder holding the files (every file
// below it), or a names file with one name per line. Both map a hash to
// the relative path the member is extracted to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace arc {

struct KnownName {
  std::string path;     // relative path as bytes on disk, "/"-separated
  std::string display;  // the same in UTF-8, for messages and listings
};

class NameMap {
 public:
  // `source` is a directory or a names file. False with a message when it
  // cannot be read.
  bool load(const std::string& source, std::string* error);
  const KnownName* find(uint32_t hash) const;
  size_t size() const { return names_.size(); }
  const std::unordered_map<uint32_t, KnownName>& all() const { return names_; }
  // The lines of a names file.
  void load_lines(std::string_view text);

 private:
  void add(uint32_t hash, KnownName name) { names_.try_emplace(hash, std::move(name)); }  // first one wins
  std::unordered_map<uint32_t, KnownName> names_;
};

// A file of a folder walk.
struct WalkedFile {
  std::string native_path;  // absolute, to open
  std::string relative;     // below the walked folder, bytes on disk, "/"-separated
  std::string engine_name;  // file name as the engine sees it (Shift-JIS)
  uint64_t size = 0;
};

// Walks a folder recursively, each directory in name order, never entering
// a directory it is already inside. With `as_engine` it leaves out what the
// engine's scan of a resource folder leaves out, collecting those files'
// relative paths in *hidden. A folder that cannot be read is named, with
// the reason, in *unreadable.
std::vector<WalkedFile> walk_folder(const std::string& dir, bool as_engine, std::vector<std::string>* hidden,
                                    std::vector<std::string>* unreadable);

// Members whose names are unknown are extracted as "#1A2B3C4D" (the hash in
// hex), and a file named that way is packed under that hash.
std::string hash_file_name(uint32_t hash);
std::optional<uint32_t> parse_hash_file_name(std::string_view name);

// Bytes of a name on disk (UTF-8 or Shift-JIS) as UTF-8 for the terminal.
std::string display_name(std::string_view native);
// A name typed or stored in UTF-8 or Shift-JIS, as the engine sees it.
std::string engine_name(std::string_view native);

}  // namespace arc
