// Building the name cache of a resource folder of 100,000 files, beside a
// plain std::filesystem recursive walk of the same tree (a lower bound: it
// only lists; the cache also hashes every name and sorts for lookups).
// Ends with "RATIO name_cache_vs_filesystem_walk <walk time / Quorel time>".
//
// The tree is made once under /dev/shm, else $TMPDIR (100 folders of 1,000
// files, one name in ten Japanese, stored in UTF-8), and removed at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>

#include "bench/bench_support.h"
#include "core/engine.h"
#include "platform/files.h"
#include "resources/resources.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 1000;

class Tree {
 public:
  Tree() {
    // In memory when possible: making and removing 100,000 files on a busy
    // disk takes minutes, and the comparison is of the work above the disk.
    std::error_code ec;
    fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::path(plat::temp_directory());
    game_ = base / ("quorel-bench-" + std::to_string(std::random_device()()));
    std::fprintf(stderr, "making %d files under %s\n", kFolders * kFilesPerFolder, game_.c_str());
    for (int d = 0; d < kFolders; ++d) {
      char folder[16];
      std::snprintf(folder, sizeof folder, "cg%02d", d);
      fs::create_directories(game_ / "data" / folder);
      for (int f = 0; f < kFilesPerFolder; ++f) {
        char name[64];
        if (f % 10 == 0)
          std::snprintf(name, sizeof name, "\xE7\x94\xBB\xE5\x83\x8F%05d.png", d * kFilesPerFolder + f);  // 画像
        else
          std::snprintf(name, sizeof name, "Ev_%05d.PNG", d * kFilesPerFolder + f);
        std::ofstream(game_ / "data" / folder / name);
      }
    }
  }
  ~Tree() {
    std::error_code ec;
    fs::remove_all(game_, ec);
  }
  std::string game() const { return game_.string(); }
  std::string data() const { return (game_ / "data").string(); }

 private:
  fs::path game_;
};

Tree& tree() {
  static Tree t;
  return t;
}

std::unique_ptr<rt::Engine> make_engine(const std::string& game) {
  rt::Options options;
  options.game_dir = game;
  options.headless = true;
  options.answer = plat::Answer::Retry;
  return std::make_unique<rt::Engine>(options, plat::make_headless_host(options.answer));
}

void BM_quorel_name_cache(benchmark::State& state) {
  auto e = make_engine(tree().game());
  for (auto _ : state) benchmark::DoNotOptimize(res::FfAddFolder(*e, "data", 0));  // rescans in place
  if (!res::FfExists(*e, "ev_54321.png") || !res::FfExists(*e, "\x89\xe6\x91\x9c" "12340.png"))
    state.SkipWithError("the cache misses files");
  state.counters["files"] = kFolders * kFilesPerFolder;
}

void BM_filesystem_walk(benchmark::State& state) {
  size_t files = 0;
  for (auto _ : state) {
    files = 0;
    size_t name_bytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(tree().data())) {
      if (!entry.is_regular_file()) continue;
      ++files;
      name_bytes += entry.path().filename().native().size();
    }
    benchmark::DoNotOptimize(name_bytes);
  }
  state.counters["files"] = static_cast<double>(files);
}

BENCHMARK(BM_quorel_name_cache)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_filesystem_walk)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  tree();  // made before timing starts
  return bench_support::run_and_compare(argc, argv, {
      {"name_cache_vs_filesystem_walk", "BM_quorel_name_cache/min_time:2.000", "BM_filesystem_walk/min_time:2.000"}});
}
