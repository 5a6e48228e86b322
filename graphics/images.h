// Image files: names resolved to ".png", ".rct" or ".rc8" through the
// resource folders, decoded into pages, and kept in a cache of decoded
// pages bounded by memory.
//
// A name ending in "_" is the alpha image of the name without it: a
// separate ".rc8"/".rct" file, or the transparency of the PNG.
#pragma once

#include <cstdint>
#include <list>
#include <optional>
#include <string>
#include <string_view>

#include "graphics/page.h"

namespace rt { struct Engine; }

namespace gfx {

// Decoded pages kept between loads, most recently used first. The pages
// are permanent copies; only the cache releases them.
class ImageCache {
 public:
  struct Entry {
    std::string base;   // base name, no directory, no extension
    uint64_t cost = 0;  // bytes the entry holds
    Page* page = nullptr;
  };

  // Moves the entry of a base name out of the list and returns it; the
  // caller puts it back with `insert`.
  std::optional<Entry> take(std::string_view base);
  // Puts an entry at the head and evicts from the tail while the total is
  // over the budget; the new entry itself stays (callers do not insert
  // entries larger than the budget).
  void insert(rt::Engine& e, Entry entry, uint64_t budget);
  const Entry* find(std::string_view base) const;
  // Drops the entry of a page released elsewhere (nothing is released).
  void forget(const Page* page);
  // Releases every cached page.
  void clear(rt::Engine& e);

  static uint64_t cost_of(const Page& page);

  uint64_t total() const { return total_; }
  size_t size() const { return entries_.size(); }
  const std::list<Entry>& entries() const { return entries_; }
  uint32_t lookups = 0;
  uint32_t hits = 0;
  // Hits in percent of lookups (0 before the first lookup).
  uint32_t hit_rate() const { return lookups ? static_cast<uint32_t>(uint64_t{hits} * 100 / lookups) : 0; }

 private:
  std::list<Entry> entries_;
  uint64_t total_ = 0;
};

struct ImageState {
  ImageCache cache;
  // The last successful name resolution.
  std::string resolved_base;
  std::string resolved_file;
  // The last PNG decode: its upper-cased name and result pages (permanent).
  std::string png_name;
  bool png_tried = false;
  Page* png_colour = nullptr;
  Page* png_alpha = nullptr;
  // The last own-format header read for a size query.
  std::string header_name;
  int header_width = 0;
  int header_height = 0;
  // The base named by the last ".rct" header (empty for plain images).
  std::string difference_base;
  int difference_depth = 0;

  void forget(const Page* page);
  void clear(rt::Engine& e);
};

// The base name of a script's image name: no directory, no extension.
std::string image_base_name(std::string_view name);
// True for base names of alpha images.
inline bool is_alpha_name(std::string_view base) { return !base.empty() && base.back() == '_'; }

// Resolves an image name to a file name with extension ("bg01.png"); nullopt
// when no image of that name exists. `base` receives the base name.
std::optional<std::string> resolve_image_name(rt::Engine& e, std::string_view name, std::string* base = nullptr);

enum class LoadMode {
  Copy,    // a new page the caller owns
  Shared,  // the cached page itself when cached (permanent: releasing it is a no-op)
};

// Loads a resolved file name. Returns nullptr when the file cannot be read
// or decoded: a PNG error shows its box here, other faults are reported
// through the script error report with `caller` (a built-in's name) in front.
Page* load_image_page(rt::Engine& e, std::string_view file, LoadMode mode, std::string_view caller);

// Size of a resolved image without making a page (own formats: the header
// only). nullopt when it cannot be read.
std::optional<std::pair<int, int>> image_size(rt::Engine& e, std::string_view file);

// The base named by the last ".rct" header read.
const std::string& difference_base_name(rt::Engine& e);

}  // namespace gfx
