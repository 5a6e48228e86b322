// A temporary folder for one test, removed with everything in it afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

class TempDir {
 public:
  // `in_memory`: under /dev/shm when that is usable, for tests that make
  // many thousands of files; otherwise the usual temporary directory.
  explicit TempDir(bool in_memory = false);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // Path of a file inside the folder ("a/b.txt" -> "<tmp>/a/b.txt").
  std::string operator/(std::string_view relative) const;

  // Writes a file, creating its folders.
  void write(std::string_view relative, std::string_view bytes) const;
  void write(std::string_view relative, const std::vector<uint8_t>& bytes) const;
  std::string read(std::string_view relative) const;
  bool exists(std::string_view relative) const;
  void make_dir(std::string_view relative) const;

 private:
  std::string path_;
};

// Bytes of a string literal as a vector.
std::vector<uint8_t> bytes_of(std::string_view s);

}  // namespace testing_support
