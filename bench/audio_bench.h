#pragma once
// What the audio benchmarks share. Their yardstick is a memcpy of the same bytes, timed in the
// same run; both sides use this thread's CPU time, so the ratio holds on a machine that other work
// shares; each benchmark reports it as the counter `ratio` (its time per iteration over the
// memcpy's). The programs run with HOME in a temporary folder, so that the plug-in log they write
// stays out of the user's own.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace qmbench {

inline double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// CPU seconds of one memcpy of `bytes` between buffers that were written before: the median of 31.
inline double MemcpySeconds(size_t bytes) {
  std::vector<char> from(bytes, 1), to(bytes, 2);
  std::vector<double> runs;
  for (int i = 0; i < 31; ++i) {
    from[size_t(i) % bytes] = char(i);
    const double t0 = ThreadSeconds();
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
    runs.push_back(ThreadSeconds() - t0);
  }
  std::nth_element(runs.begin(), runs.begin() + 15, runs.end());
  return runs[15];
}

// Times `body` once per iteration (setup may run before it, untimed) and reports `ratio` against
// a memcpy of `bytes`, with the memcpy's own time in `memcpy_us`.
template <typename Setup, typename Body>
void MeasureAgainstMemcpy(benchmark::State& state, size_t bytes, Setup setup, Body body) {
  const double reference = MemcpySeconds(bytes);
  double total = 0;
  for (auto _ : state) {
    setup();
    const double t0 = ThreadSeconds();
    body();
    total += ThreadSeconds() - t0;
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
  state.counters["memcpy_us"] = reference * 1e6;
  state.counters["ratio"] = state.iterations() ? total / double(state.iterations()) / reference : 0.0;
}

template <typename Body>
void MeasureAgainstMemcpy(benchmark::State& state, size_t bytes, Body body) {
  MeasureAgainstMemcpy(state, bytes, [] {}, body);
}

// main() of an audio benchmark program.
inline int RunInTemporaryHome(int argc, char** argv, const char* name) {
  std::string pattern = std::string("/tmp/qm-bench-") + name + "-XXXXXX";
  if (mkdtemp(pattern.data())) setenv("HOME", pattern.c_str(), 1);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  std::filesystem::remove_all(pattern, ignored);
  return 0;
}

}  // namespace qmbench
