// Winning-hand evaluations per second over a fixed, seeded set of 10,000
// hands (standard hands with called melds and kans, seven pairs, thirteen
// orphans, random win situations). There is no peer library to run
// beside, so the program ends with the rate itself:
//   RATE mahjong_evaluations_per_second <n>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "mahjong/evaluate.h"
#include "tests/mahjong/random_hands.h"

namespace {

constexpr int kHands = 10000;

std::vector<mj::MjHand> winning_hands() {
  mj_test::RandomHands gen(20061205);
  std::vector<mj::MjHand> v;
  v.reserve(kHands);
  for (int i = 0; i < kHands; ++i) v.push_back(gen.winning());
  return v;
}

double g_rate = 0;

void BM_Evaluate(benchmark::State& state) {
  std::vector<mj::MjHand> work = winning_hands();
  long points = 0;
  for (auto _ : state) {
    for (mj::MjHand& h : work) points += mj::MjEvaluate(h);
    benchmark::DoNotOptimize(points);
  }
  state.SetItemsProcessed(state.iterations() * kHands);
  state.counters["evaluations_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kHands, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Evaluate)->Unit(benchmark::kMillisecond);

void BM_Waits(benchmark::State& state) {
  mj_test::RandomHands gen(7);
  std::vector<mj::MjHand> work;
  for (int i = 0; i < kHands; ++i) work.push_back(gen.thirteen());
  long waits = 0;
  for (auto _ : state) {
    for (mj::MjHand& h : work) waits += mj::MjWaits(h);
    benchmark::DoNotOptimize(waits);
  }
  state.SetItemsProcessed(state.iterations() * kHands);
}
BENCHMARK(BM_Waits)->Unit(benchmark::kMillisecond);

// Keeps the evaluation rate for the closing line.
class RateReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      auto it = r.counters.find("evaluations_per_second");
      if (it != r.counters.end() && r.run_type == Run::RT_Iteration) g_rate = it->second;
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");  // the reporter's last colour reset goes on a line of its own
  benchmark::Shutdown();
  std::printf("RATE mahjong_evaluations_per_second %.0f\n", g_rate);
  return 0;
}
