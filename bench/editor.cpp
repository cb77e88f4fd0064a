// Word diff and token alignment on texts of 200 UTF-16 units made of one-letter words, which
// gives the most units and tokens a text of that size can have (200 diff units, 100 tokens).

#include "QMRepairAlignment.h"
#include "QuillomancerTrackedText.h"

#include <benchmark/benchmark.h>

namespace {

constexpr std::size_t kTextLimit = 200;

// One-letter words from `letters`, cycling, separated by single spaces, 200 units long.
std::string Words(const std::string& letters) {
  std::string text;
  for (std::size_t k = 0; text.size() < kTextLimit; ++k) {
    text += letters[k % letters.size()];
    if (text.size() < kTextLimit) text += ' ';
  }
  return text;
}

const std::string kFirst = Words("abcdefghijklm");
const std::string kOther = Words("nopqrstuvwxyz");  // shares no word with kFirst

std::vector<QuillomancerTranscriptWordTiming> TimeEveryToken(const std::string& text) {
  std::vector<QuillomancerTranscriptWordTiming> timings;
  int index = 0;
  for (const auto& token : QMTokenizeRepairTokensUTF8(text)) {
    QuillomancerTranscriptWordTiming timing;
    timing.index = index;
    timing.textRange = token.range;
    timing.hasTextRange = true;
    timing.start = 0.2 * index;
    timing.end = timing.start + 0.15;
    timings.push_back(timing);
    ++index;
  }
  return timings;
}

void BM_WordDiff(benchmark::State& state, const std::string& reference, const std::string& edited) {
  for (auto _ : state) benchmark::DoNotOptimize(QuillomancerTrackedText::BuildSegments(reference, edited));
}

void BM_TokenLCS(benchmark::State& state, const std::string& first, const std::string& second) {
  const auto a = QMTokenizeRepairTokensUTF8(first);
  const auto b = QMTokenizeRepairTokensUTF8(second);
  for (auto _ : state) benchmark::DoNotOptimize(QMComputeRepairTokenLCSMatches(a, b));
}

void BM_Anchors(benchmark::State& state, const std::string& first, const std::string& second) {
  const std::u16string a = qm::platform::utf8ToUtf16(first);
  const std::u16string b = qm::platform::utf8ToUtf16(second);
  const auto timings = TimeEveryToken(first);
  for (auto _ : state) benchmark::DoNotOptimize(QMBuildEffectiveRepairTokenAnchors(a, b, timings));
}

}  // namespace

BENCHMARK_CAPTURE(BM_WordDiff, no_common_words, kFirst, kOther)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_WordDiff, all_words_common, kFirst, kFirst)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TokenLCS, no_common_words, kFirst, kOther)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TokenLCS, all_words_common, kFirst, kFirst)->Unit(benchmark::kMicrosecond);
// The whole alignment as the window calls it: tokenising and normalising both texts, the LCS,
// and collecting the word indexes of every anchor.
BENCHMARK_CAPTURE(BM_Anchors, no_common_words, kFirst, kOther)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Anchors, all_words_common, kFirst, kFirst)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
