#include "tests/support/temp_dir.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testing_support {

TempDir::TempDir(bool in_memory) {
  fs::path base = fs::temp_directory_path();
  std::error_code ec;
  if (in_memory && fs::is_directory("/dev/shm", ec) && access("/dev/shm", W_OK) == 0) base = "/dev/shm";
  std::string tmpl = (base / "quorel-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Make read-only folders removable again (files need no permission to go).
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator(); ++it)
    if (it->is_directory(ec) && !it->is_symlink(ec))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::string TempDir::operator/(std::string_view relative) const { return path_ + "/" + std::string(relative); }

void TempDir::write(std::string_view relative, std::string_view bytes) const {
  fs::path p = *this / relative;
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + p.string());
}

void TempDir::write(std::string_view relative, const std::vector<uint8_t>& bytes) const {
  write(relative, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string TempDir::read(std::string_view relative) const {
  std::ifstream in(*this / relative, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool TempDir::exists(std::string_view relative) const { return fs::exists(*this / relative); }

void TempDir::make_dir(std::string_view relative) const { fs::create_directories(*this / relative); }

std::vector<uint8_t> bytes_of(std::string_view s) { return std::vector<uint8_t>(s.begin(), s.end()); }

}  // namespace testing_support
