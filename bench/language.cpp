// The language-tag scan on editor texts at the 200-unit limit: the common text without tags,
// one stage direction that names no language, and texts made only of tags (every one resolving,
// and every one needing the full Unicode fold because it is not ASCII).

#include "QMLanguages.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

constexpr std::size_t kTextLimit = 200;

// `piece` repeated up to 200 UTF-16 units (`unitsPerPiece` each).
std::string Repeat(const std::string& piece, std::size_t unitsPerPiece) {
  std::string text;
  for (std::size_t units = 0; units + unitsPerPiece <= kTextLimit; units += unitsPerPiece)
    text += piece;
  return text;
}

const std::string kPlain = Repeat("word ", 5);
const std::string kStageDirection = "(laughs) " + Repeat("word ", 5).substr(0, kTextLimit - 9);
const std::string kResolvingTags = Repeat("(zq) ", 5);
const std::string kAccentedTags = Repeat("(\xC3\xA9) ", 4);

void BM_ExtractTags(benchmark::State& state, const std::string& text) {
  QMExtractFishLanguageTags("(fr)", nullptr, nullptr);  // the tables are built before timing
  std::string cleaned;
  QMLanguageSelection selection;
  for (auto _ : state) {
    benchmark::DoNotOptimize(QMExtractFishLanguageTags(text, &cleaned, &selection));
    benchmark::DoNotOptimize(cleaned.data());
  }
}

}  // namespace

BENCHMARK_CAPTURE(BM_ExtractTags, no_tags, kPlain)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ExtractTags, stage_direction, kStageDirection)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ExtractTags, all_tags_resolve, kResolvingTags)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ExtractTags, all_tags_accented, kAccentedTags)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
