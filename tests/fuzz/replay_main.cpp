// Replays a fuzz target's stored inputs through its entry point, so that a
// finding that was fixed stays fixed. Built with each target's own source
// in place of libFuzzer's driver:
//   replay_<target> FOLDER...   every file below each folder (missing
//                               folders count as empty)
// A few fixed inputs (empty, short, all bytes) run first, so that a target
// without seeds still gets its entry exercised. Each stored input also runs
// cut short at several lengths and with bytes flipped along its length: a
// file cut by a full disk or damaged on the way is the commonest bad input.
// A crash ends the program, which fails the test; the input is named on
// stderr first.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

namespace {

void run(const std::string& name, const std::vector<uint8_t>& bytes) {
  std::fprintf(stderr, "replay %s (%zu bytes)\n", name.c_str(), bytes.size());
  std::fflush(stderr);
  // Through a copy of its own size, so that reads past the end are caught
  // by the sanitizers.
  std::vector<uint8_t> copy(bytes);
  LLVMFuzzerTestOneInput(copy.empty() ? nullptr : copy.data(), copy.size());
}

// The input cut at every power of two and just before its end, and with
// one byte in every 997 flipped from a point past the usual fixed headers.
void run_damaged(const std::string& name, const std::vector<uint8_t>& bytes) {
  for (size_t cut = 1; cut < bytes.size(); cut *= 2)
    run(name + " cut at " + std::to_string(cut), {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut)});
  if (bytes.size() > 1) run(name + " without its last byte", {bytes.begin(), bytes.end() - 1});
  std::vector<uint8_t> flipped(bytes);
  for (size_t at = 144; at < flipped.size(); at += 997) flipped[at] ^= 0xA5;
  if (flipped != bytes) run(name + " with bytes flipped", flipped);
}

}  // namespace

int main(int argc, char** argv) {
  run("<empty>", {});
  run("<one byte>", {0});
  std::vector<uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
  run("<all bytes>", all);
  run("<0xFF run>", std::vector<uint8_t>(4096, 0xFF));

  size_t files = 0;
  for (int i = 1; i < argc; ++i) {
    std::error_code ec;
    if (!fs::is_directory(argv[i], ec)) continue;
    std::vector<fs::path> paths;
    for (auto it = fs::recursive_directory_iterator(argv[i], ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
      if (it->is_regular_file()) paths.push_back(it->path());
    if (ec) {
      std::fprintf(stderr, "cannot read %s: %s\n", argv[i], ec.message().c_str());
      return 1;
    }
    std::sort(paths.begin(), paths.end());
    for (const fs::path& p : paths) {
      std::ifstream in(p, std::ios::binary);
      std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      run(p.string(), bytes);
      run_damaged(p.string(), bytes);
      ++files;
    }
  }
  std::printf("%zu stored inputs replayed\n", files);
  return 0;
}
