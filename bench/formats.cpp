// 30 seconds of 48 kHz mono audio through each payload codec, next to a memcpy of the same
// bytes. Each codec reports "x_memcpy": its time per iteration divided by the memcpy's.

#include "QuillomancerLogger.h"
#include "QuillomancerServerFormats.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kSamples = 30 * 48000;

std::vector<float> testAudio() {
  std::vector<float> x(kSamples);
  for (std::size_t i = 0; i < x.size(); ++i)
    x[i] = 0.6f * std::sin(static_cast<float>(i) * 0.0573f) + 0.2f * std::sin(static_cast<float>(i) * 0.31f);
  return x;
}

std::string takesContainer(std::uint32_t rate) {
  const std::vector<float> audio = testAudio();
  const std::string wav = CreateWAVData(audio.data(), audio.size(), static_cast<std::int32_t>(rate));
  const std::string pcm = wav.substr(44);
  auto u32 = [](std::uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
  };
  return std::string("QMTK") + u32(1) + u32(1) + u32(rate) + u32(16) + u32(100) + u32(200) +
         u32(static_cast<std::uint32_t>(pcm.size())) + pcm;
}

// Seconds per memcpy of `bytes` bytes, measured once per process and size.
double memcpySeconds(std::size_t bytes) {
  std::vector<char> src(bytes, 'x'), dst(bytes);
  const int rounds = 200;
  const auto start = std::chrono::steady_clock::now();
  for (int r = 0; r < rounds; ++r) {
    src[static_cast<std::size_t>(r) % bytes] = static_cast<char>(r);
    std::memcpy(dst.data(), src.data(), bytes);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / rounds;
}

// Runs `body` per iteration and reports its ratio to a memcpy of `bytes`.
template <typename Body>
void measureAgainstMemcpy(benchmark::State& state, std::size_t bytes, Body body) {
  const double copy = memcpySeconds(bytes);
  double total = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    body();
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
  state.counters["memcpy_us"] = copy * 1e6;
  state.counters["x_memcpy"] = state.iterations() ? (total / static_cast<double>(state.iterations())) / copy : 0;
}

void BM_Memcpy_Float30s(benchmark::State& state) {
  const std::vector<float> audio = testAudio();
  std::vector<float> out(audio.size());
  for (auto _ : state) {
    std::memcpy(out.data(), audio.data(), audio.size() * sizeof(float));
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * audio.size() * sizeof(float)));
}

// Input bytes: the float samples handed in.
void BM_CreateWAVData_30s48k(benchmark::State& state) {
  const std::vector<float> audio = testAudio();
  measureAgainstMemcpy(state, audio.size() * sizeof(float), [&] {
    std::string wav = CreateWAVData(audio.data(), audio.size(), 48000);
    benchmark::DoNotOptimize(wav.data());
  });
}

// Input bytes: the container body (16-bit samples), decoded at the container's own rate.
void BM_ParseQMTK_30s48k(benchmark::State& state) {
  const std::string body = takesContainer(48000);
  measureAgainstMemcpy(state, body.size(), [&] {
    QuillomancerServer::GenerateResult result;
    const bool ok = ParseQMTK(reinterpret_cast<const std::uint8_t*>(body.data()), body.size(), 48000, result, nullptr);
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(result.takes.data());
  });
}

// Input bytes: the float samples; 48 kHz to 44.1 kHz and to 96 kHz.
void BM_Resample_30s48k(benchmark::State& state) {
  const std::vector<float> audio = testAudio();
  const auto to = static_cast<std::int32_t>(state.range(0));
  measureAgainstMemcpy(state, audio.size() * sizeof(float), [&] {
    std::vector<float> y = Resample(audio, 48000, to);
    benchmark::DoNotOptimize(y.data());
  });
}

}  // namespace

BENCHMARK(BM_Memcpy_Float30s)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CreateWAVData_30s48k)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParseQMTK_30s48k)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Resample_30s48k)->Arg(44100)->Arg(96000)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
  // The container decoder logs each take; keep those lines out of the user's real log.
  char pattern[] = "/tmp/qm-bench-formats-XXXXXX";
  if (mkdtemp(pattern)) setenv("HOME", pattern, 1);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  std::filesystem::remove_all(pattern, ignored);
  return 0;
}
