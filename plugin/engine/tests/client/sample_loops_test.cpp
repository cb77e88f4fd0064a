// Every vector set of sample loops against the plain loops, bit for bit (a NaN only has to stay a
// NaN), on noisy input with special values, at lengths and offsets around the vector widths.

#include "QuillomancerSampleLoops.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

std::vector<float> Noise(size_t n, uint32_t seed) {
  static const float kSpecial[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                                   -std::numeric_limits<float>::infinity(), -0.0f, 0.0f,
                                   std::numeric_limits<float>::denorm_min(), -std::numeric_limits<float>::max(),
                                   1.0f, -1.0f, 0.8912509f, -0.8912509f, 1e30f, -1e-30f};
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> uniform(-1.6f, 1.6f);
  std::vector<float> x(n);
  for (auto& v : x) v = rng() % 25 == 0 ? kSpecial[rng() % std::size(kSpecial)] : uniform(rng);
  return x;
}

// The first index where the two differ (NaN equals NaN), or -1.
int64_t FirstDifference(const std::vector<float>& a, const std::vector<float>& b) {
  if (a.size() != b.size()) return 0;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::isnan(a[i]) && std::isnan(b[i])) continue;
    if (std::bit_cast<uint32_t>(a[i]) != std::bit_cast<uint32_t>(b[i])) return int64_t(i);
  }
  return -1;
}

const int64_t kLengths[] = {0, 1, 3, 7, 8, 9, 15, 16, 17, 31, 33, 100, 1024, 4099};

class SampleLoops : public ::testing::TestWithParam<const QMSampleLoops*> {
 protected:
  const QMSampleLoops& plain = QMPlainSampleLoops();
  const QMSampleLoops& loops = *GetParam();
};

TEST_P(SampleLoops, ScaleAndMix) {
  for (const int64_t n : kLengths) {
    for (const int64_t offset : {0, 1, 3}) {
      const std::vector<float> a = Noise(size_t(n + offset), 1), b = Noise(size_t(n + offset), 2),
                               acc = Noise(size_t(n + offset), 3);
      std::vector<float> want(static_cast<size_t>(n)), got(static_cast<size_t>(n));
      plain.scale(a.data() + offset, 0.7943282f, want.data(), n);
      loops.scale(a.data() + offset, 0.7943282f, got.data(), n);
      EXPECT_EQ(FirstDifference(want, got), -1) << "scale n=" << n;
      for (int shape = 0; shape < 8; ++shape) {
        const float* outer = shape & 1 ? b.data() + offset : nullptr;
        const float* sum = shape & 2 ? acc.data() + offset : nullptr;
        const bool clamp = shape & 4;
        plain.mix(a.data() + offset, outer, sum, 0.70794576f, clamp, 0.8912509f, want.data(), n);
        loops.mix(a.data() + offset, outer, sum, 0.70794576f, clamp, 0.8912509f, got.data(), n);
        EXPECT_EQ(FirstDifference(want, got), -1) << "mix n=" << n << " shape=" << shape;
      }
      // In place: the running sum is the output.
      want.assign(acc.begin() + offset, acc.end());
      got = want;
      plain.mix(a.data() + offset, b.data() + offset, want.data(), 0.70794576f, true, 0.8912509f, want.data(), n);
      loops.mix(a.data() + offset, b.data() + offset, got.data(), 0.70794576f, true, 0.8912509f, got.data(), n);
      EXPECT_EQ(FirstDifference(want, got), -1) << "mix in place n=" << n;
    }
  }
}

TEST_P(SampleLoops, Pcm16BothWays) {
  for (const int64_t n : kLengths) {
    const std::vector<float> x = Noise(size_t(n), 4);
    std::string want(size_t(2 * n) + 1, 'x'), got(want);
    plain.encodePcm16(x.data(), n, want.data() + 1);
    loops.encodePcm16(x.data(), n, got.data() + 1);
    EXPECT_EQ(want, got) << "encode n=" << n;

    std::string bytes(size_t(2 * n) + 1, '\0');
    std::mt19937 rng{static_cast<uint32_t>(n)};
    for (auto& c : bytes) c = char(rng());
    std::vector<float> decodedWant(static_cast<size_t>(n)), decodedGot(static_cast<size_t>(n));
    plain.decodePcm16(bytes.data() + 1, n, decodedWant.data());
    loops.decodePcm16(bytes.data() + 1, n, decodedGot.data());
    EXPECT_EQ(FirstDifference(decodedWant, decodedGot), -1) << "decode n=" << n;
  }
}

// A take kept as 16-bit samples renders as its decoded floats would: the one-pass loop gives the
// bits of decoding and then scaling.
TEST_P(SampleLoops, ScaledPcm16IsDecodedThenScaled) {
  for (const int64_t n : kLengths) {
    for (const int64_t offset : {0, 1, 3}) {
      std::vector<int16_t> pcm(size_t(n + offset));
      std::mt19937 rng{static_cast<uint32_t>(n * 3 + offset)};
      for (auto& v : pcm) v = static_cast<int16_t>(rng());
      if (!pcm.empty()) pcm.back() = -32768;
      for (const float gain : {1.0f, 0.8912509f, -0.0f}) {
        std::vector<float> decoded(static_cast<size_t>(n)), want(static_cast<size_t>(n)), got(static_cast<size_t>(n));
        plain.decodePcm16(reinterpret_cast<const char*>(pcm.data() + offset), n, decoded.data());
        plain.scale(decoded.data(), gain, want.data(), n);
        loops.scalePcm16(pcm.data() + offset, gain, got.data(), n);
        EXPECT_EQ(FirstDifference(want, got), -1) << "n=" << n << " gain=" << gain;
      }
    }
  }
}

TEST_P(SampleLoops, InterpolationAtTheRatesInUse) {
  // Dyadic ratios, windows of every width, gathers, and rates far apart.
  const std::pair<double, double> rates[] = {{48000, 96000},  {48000, 192000}, {48000, 44100}, {44100, 48000},
                                             {22050, 16000},  {96000, 44100},  {24000, 48000}, {48000, 24000},
                                             {8000, 384000},  {384000, 8000},  {3, 2},         {7, 4},
                                             {1, 1.0000001}};
  for (const auto& [from, to] : rates) {
    const double ratio = from / to;
    for (const int64_t n : {1, 2, 5, 9, 17, 18, 40, 1000, 4801}) {
      const std::vector<float> x = Noise(size_t(n), uint32_t(n));
      const auto m = int64_t(double(n) / ratio);
      std::vector<float> want(static_cast<size_t>(m)), got(static_cast<size_t>(m));
      plain.interpolate(x.data(), n, want.data(), m, ratio);
      loops.interpolate(x.data(), n, got.data(), m, ratio);
      EXPECT_EQ(FirstDifference(want, got), -1) << from << " -> " << to << " n=" << n;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EveryVectorSet, SampleLoops, ::testing::ValuesIn(QMSampleLoopsAvailable()),
                         [](const auto& info) { return std::string(info.param->name); });

}  // namespace
