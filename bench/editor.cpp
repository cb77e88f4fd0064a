// Word diff and token alignment on texts of 200 UTF-16 units made of one-letter words, which
// gives the most units and tokens a text of that size can have (200 diff units, 100 tokens).
// Each benchmark reports microseconds per call in the counter `us_per_call`.

#include "QMRepairAlignment.h"
#include "QuillomancerTrackedText.h"

#include <benchmark/benchmark.h>

#include <ctime>

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
// kFirst with one word in the middle replaced: the usual edit.
const std::string kEdited = [] {
  std::string text = kFirst;
  text[kTextLimit / 2] = 'z';
  return text;
}();

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

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// Runs `call` for the benchmark's iterations; reports the CPU time per call in microseconds.
template <typename Call>
void MeasureCalls(benchmark::State& state, Call call) {
  const double start = ThreadCpuSeconds();
  for (auto _ : state) benchmark::DoNotOptimize(call());
  state.counters["us_per_call"] =
      (ThreadCpuSeconds() - start) * 1e6 / static_cast<double>(state.iterations());
}

void BM_WordDiff(benchmark::State& state, const std::string& reference, const std::string& edited) {
  MeasureCalls(state, [&] { return QuillomancerTrackedText::BuildSegments(reference, edited); });
}

void BM_TokenLCS(benchmark::State& state, const std::string& first, const std::string& second) {
  const auto a = QMTokenizeRepairTokensUTF8(first);
  const auto b = QMTokenizeRepairTokensUTF8(second);
  MeasureCalls(state, [&] { return QMComputeRepairTokenLCSMatches(a, b); });
}

void BM_Anchors(benchmark::State& state, const std::string& first, const std::string& second) {
  const std::u16string a = qm::platform::utf8ToUtf16(first);
  const std::u16string b = qm::platform::utf8ToUtf16(second);
  const auto timings = TimeEveryToken(first);
  MeasureCalls(state, [&] { return QMBuildEffectiveRepairTokenAnchors(a, b, timings); });
}

}  // namespace

BENCHMARK_CAPTURE(BM_WordDiff, no_common_words, kFirst, kOther)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_WordDiff, all_words_common, kFirst, kFirst)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_WordDiff, one_word_changed, kFirst, kEdited)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TokenLCS, no_common_words, kFirst, kOther)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TokenLCS, all_words_common, kFirst, kFirst)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TokenLCS, one_word_changed, kFirst, kEdited)->Unit(benchmark::kMicrosecond);
// The whole alignment as the window calls it: tokenising and normalising both texts, the LCS,
// and collecting the word indexes of every anchor.
BENCHMARK_CAPTURE(BM_Anchors, no_common_words, kFirst, kOther)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Anchors, all_words_common, kFirst, kFirst)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Anchors, one_word_changed, kFirst, kEdited)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
