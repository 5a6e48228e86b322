// Shared by the benchmark programs: running Quorel and its peer side by
// side and printing "RATIO <name> <x>" (x = peer time / Quorel time).
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace bench_support {

struct Comparison {
  std::string name;   // printed after RATIO
  std::string quorel; // benchmark names
  std::string peer;
};

// Collects the time per iteration of every run; with repetitions
// (--benchmark_repetitions=N) the fastest, which a busy machine disturbs least.
class TimeCollector : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Iteration || r.error_occurred) continue;
      const double t = r.GetAdjustedCPUTime();  // single-threaded: CPU time is steadier on a busy machine
      auto [it, added] = times.emplace(r.benchmark_name(), t);
      if (!added && t < it->second) it->second = t;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

inline int run_and_compare(int argc, char** argv, const std::vector<Comparison>& comparisons) {
  benchmark::Initialize(&argc, argv);
  TimeCollector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);
  std::printf("\n");  // the reporter's last colour reset goes on a line of its own
  for (const Comparison& c : comparisons) {
    auto q = collector.times.find(c.quorel), p = collector.times.find(c.peer);
    if (q == collector.times.end() || p == collector.times.end() || q->second <= 0) continue;
    std::printf("RATIO %s %.3f\n", c.name.c_str(), p->second / q->second);
  }
  benchmark::Shutdown();
  return 0;
}

}  // namespace bench_support
