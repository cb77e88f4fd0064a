// 30 seconds of 48 kHz mono audio through each payload codec, each reported as `ratio` to a
// memcpy of the same bytes (audio_bench.h): the float samples for the WAV encoding and the
// resampler, the container body for the decoder (to floats, and as the generate answer is read).

#include "QuillomancerServerFormats.h"
#include "audio_bench.h"

#include <benchmark/benchmark.h>

#include <cmath>
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

// Input bytes: the float samples handed in.
void BM_CreateWAVData_30s48k(benchmark::State& state) {
  const std::vector<float> audio = testAudio();
  qmbench::MeasureAgainstMemcpy(state, audio.size() * sizeof(float), [&] {
    std::string wav = CreateWAVData(audio.data(), audio.size(), 48000);
    benchmark::DoNotOptimize(wav.data());
  });
}

// Input bytes: the container body (16-bit samples), decoded at the container's own rate.
void BM_ParseQMTK_30s48k(benchmark::State& state) {
  const std::string body = takesContainer(48000);
  qmbench::MeasureAgainstMemcpy(state, body.size(), [&] {
    QuillomancerServer::GenerateResult result;
    const bool ok = ParseQMTK(reinterpret_cast<const std::uint8_t*>(body.data()), body.size(), 48000, result, nullptr);
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(result.takes.data());
  });
}

// The same body as the generate answer is read: received in blocks, each let go once decoded, and
// a take at the host rate kept as its 16-bit samples.
void BM_ParseQMTKAsReceived_30s48k(benchmark::State& state) {
  const std::string body = takesContainer(48000);
  QMChunkedBody blocks;
  qmbench::MeasureAgainstMemcpy(
      state, body.size(),
      [&] {
        blocks = QMChunkedBody();
        blocks.append(body.data(), body.size());
      },
      [&] {
        QuillomancerServer::GenerateResult result;
        const bool ok = ParseQMTK(blocks, 48000, result, nullptr, true);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(result.pcmTakes.data());
      });
}

// Input bytes: the float samples; 48 kHz to 44.1 kHz and to 96 kHz.
void BM_Resample_30s48k(benchmark::State& state) {
  const std::vector<float> audio = testAudio();
  const auto to = static_cast<std::int32_t>(state.range(0));
  qmbench::MeasureAgainstMemcpy(state, audio.size() * sizeof(float), [&] {
    const QuillomancerSamples y = Resample(audio, 48000, to);
    benchmark::DoNotOptimize(y.data());
  });
}

}  // namespace

BENCHMARK(BM_CreateWAVData_30s48k)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParseQMTK_30s48k)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParseQMTKAsReceived_30s48k)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Resample_30s48k)->Arg(44100)->Arg(96000)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) { return qmbench::RunInTemporaryHome(argc, argv, "formats"); }
