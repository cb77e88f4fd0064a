// The diff, tokens, token LCS and anchors on a fixed body of inputs: the benchmark texts, the
// fuzz corpus seeds, and generated texts (fixed seed; repeated words, empty texts, whitespace
// kinds, accents, full-width forms, surrogate pairs and lone surrogates, texts past 64 units).
// The digests were recorded from the plain full-table implementations, so any change of output,
// tie or order shows here. Tokens of non-ASCII words follow the ICU data (Debian 12's ICU 72): a
// new ICU may call for new digests, which the input-by-input test against the plain way (below)
// then vouches for.

#include "QMRepairAlignment.h"
#include "QuillomancerTrackedText.h"
#include "qm/platform/files.h"
#include "qm/platform/sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>

using qm::platform::TextRange;
using Timing = QuillomancerTranscriptWordTiming;

namespace {

const char* const kPieces[] = {
    "a", "b", "a", "the", "The", "cat", "sat", "Caf\xC3\xA9", "cafe", "CAF\xC3\x89", "na\xC3\xAFve",
    "DON\xE2\x80\x99T", "don\xE2\x80\x99t", "don't", "\xEF\xBC\xB7\xEF\xBD\x8F\xEF\xBD\x92\xEF\xBD\x84",
    "word", "Word", "x-y", "it_now", "_", "-", "'", "\xF0\x9F\x98\x80", "a\xF0\x9F\x98\x80" "b",
    "\xE6\x97\xA5\xE6\x9C\xAC", "e\xCC\x81", "1999", "\xD9\xA3", "\xC3\x9F", "\xC4\xB0", "\xEF\xAC\x81ne",
    "Hello,", "...", "!", "\xE2\x80\x94", "\xFF", " ", "  ", "\t", "\n", "\r\n", "\r", "\xC2\xA0",
    "\x0B", "\x0C", ", ", ". ", ""};
constexpr std::size_t kPieceCount = std::size(kPieces);
constexpr std::size_t kWordPieces = 36;  // the pieces before the first separator

// The benchmark's texts: one-letter words and single spaces, 200 units.
std::string BenchWords(std::string_view letters) {
  std::string text;
  for (std::size_t p = 0; p < 200; ++p) text += p % 2 ? ' ' : letters[p / 2 % letters.size()];
  return text;
}

std::string RandomText(std::mt19937& rng) {
  static const unsigned kLengths[] = {0, 1, 3, 10, 40, 70, 100, 140};
  const unsigned count = kLengths[rng() % std::size(kLengths)];
  const std::size_t vocabulary = 2 + rng() % kWordPieces;  // small vocabularies repeat words
  std::string text;
  for (unsigned k = 0; k < count; ++k) {
    text += kPieces[rng() % vocabulary];
    text += rng() % 4 ? " " : kPieces[kWordPieces + rng() % (kPieceCount - kWordPieces)];
  }
  return text;
}

// A few edits at character boundaries: erase a stretch, insert a piece, double a stretch.
std::string Mutate(std::string text, std::mt19937& rng) {
  auto boundary = [&] {
    std::size_t p = text.empty() ? 0 : rng() % (text.size() + 1);
    while (p < text.size() && (static_cast<unsigned char>(text[p]) & 0xC0) == 0x80) ++p;
    return p;
  };
  for (unsigned edits = 1 + rng() % 3; edits > 0; --edits) {
    const std::size_t p = boundary();
    const std::size_t q = std::max(p, boundary());
    switch (rng() % 3) {
      case 0: text.erase(p, std::min<std::size_t>(q - p, 12)); break;
      case 1: text.insert(p, std::string(kPieces[rng() % kPieceCount]) + " "); break;
      default: text.insert(p, text.substr(p, std::min<std::size_t>(q - p, 20))); break;
    }
  }
  return text;
}

// Valid UTF-8 as UTF-16; other bytes widened one to one so that binary seeds still have words.
std::u16string Wide(const std::string& bytes, std::mt19937& rng) {
  std::u16string wide = qm::platform::utf8ToUtf16(bytes);
  if (wide.empty()) wide.assign(bytes.begin(), bytes.end());
  if (!wide.empty() && rng() % 8 == 0) wide.insert(rng() % wide.size(), 1, u'\xD83D');
  return wide;
}

// Timed words over the tokens, with the odd ones the stores can hold: no index, no range, an
// empty or absent range, one over two tokens, a range that overflows, repeats, out of order.
std::vector<Timing> RandomTimings(const std::vector<QMRepairTokenInfo>& tokens, std::mt19937& rng) {
  std::vector<Timing> timings;
  for (std::size_t t = 0; t < tokens.size(); ++t) {
    const double start = 0.1 * static_cast<double>(t);
    Timing timing{static_cast<int>(t) + 3, "", start, start + 0.08, tokens[t].range, true};
    switch (rng() % 24) {
      case 0: timing.index = -1; break;
      case 1: timing.hasTextRange = false; break;
      case 2: timing.textRange.length = 0; break;
      case 3: timing.textRange.location = qm::platform::kTextNotFound; break;
      case 4: timing.textRange.length = SIZE_MAX - 1; break;
      case 5: if (t + 1 < tokens.size()) timing.textRange.length = tokens[t + 1].range.end() - timing.textRange.location; break;
      case 6: timing.index = timings.empty() ? 0 : timings.back().index; break;
      case 7: ++timing.textRange.location; break;
      case 8: continue;
      default: break;
    }
    timings.push_back(timing);
  }
  if (timings.size() > 2 && rng() % 3 == 0) std::swap(timings.front(), timings.back());
  return timings;
}

struct Input {
  std::string first, second;             // UTF-8 or any bytes, for the diff
  std::u16string wideFirst, wideSecond;  // for tokens and anchors
  std::vector<Timing> timings;           // over the tokens of wideFirst
};

std::vector<Input> Inputs() {
  std::vector<std::string> texts = {BenchWords("abcdefghijklm"), BenchWords("nopqrstuvwxyz")};
  // The fuzz seeds as they stood when the digests were recorded (seeds added later do not count).
  static const char* const kSeeds[] = {
    "chunk_data_parser/every_type", "chunk_data_parser/unterminated_string",
    "chunk_data_parser/version_only", "chunk_data_parser/wrong_version", "host_string/double",
    "host_string/name", "host_string/number", "launch_payload/bad_types.json",
    "launch_payload/status_failed.json", "launch_payload/url.txt",
    "launch_payload/valid_install.json", "launch_payload/valid_swap.json",
    "repair_plan/empty_selections.json", "repair_plan/two_ranges.json",
    "session_clip/float32_mono.wav", "session_clip/pcm16_stereo.wav", "session_clip/pcm24_mono.wav",
    "session_clip/speech_head.wav", "swap_helper_paths/accepted", "swap_helper_paths/refused",
    "takes_container/bad_magic.bin", "takes_container/five_takes_with_trailer.bin",
    "takes_container/nan_host_rate.bin", "takes_container/one_take_48k.bin",
    "takes_container/three_takes_24k_resampled.bin", "takes_container/trailer_not_json.bin",
    "takes_container/truncated_take.bin", "timed_transcript/alternative_keys.json",
    "timed_transcript/array.json", "timed_transcript/error.json",
    "timed_transcript/transcribe_answer.json", "timed_transcript/wrapped.json",
    "transcript_payload/empty_text.json", "transcript_payload/not_json.txt",
    "transcript_payload/odd_fields.json", "transcript_payload/text_only.json",
    "transcript_payload/words.json",
  };
  for (const char* seed : kSeeds) {
    EXPECT_TRUE(qm::platform::readFile(QM_SOURCE_DIR "/fuzz/corpus/" + std::string(seed), texts.emplace_back())) << seed;
    texts.back().resize(std::min<std::size_t>(texts.back().size(), 1200));
  }
  std::mt19937 rng(4093);
  for (int k = 0; k < 500; ++k) texts.push_back(RandomText(rng));

  std::vector<Input> inputs;
  for (std::size_t k = 0; k < texts.size(); ++k) {
    const std::string& first = texts[k];
    for (const std::string& second : {first, texts[(k + 1) % texts.size()], Mutate(first, rng)}) {
      Input input{first, second, Wide(first, rng), Wide(second, rng), {}};
      // A transcript payload seed brings its own timed words.
      std::string text;
      if (!QMParseTranscriptPayloadJSON(first, &text, &input.timings) || input.timings.empty())
        input.timings = RandomTimings(QMTokenizeRepairTokens(input.wideFirst), rng);
      else
        input.wideFirst = qm::platform::utf8ToUtf16(text);
      inputs.push_back(std::move(input));
    }
  }
  return inputs;
}

struct AnchorSets {
  TextRange range;
  std::set<std::size_t> tokens;
  std::set<int> words;
  friend bool operator==(const AnchorSets&, const AnchorSets&) = default;
};

// The bytes behind a digest: numbers as 8 bytes, texts as their length and their bytes.
void Put(std::string& out, std::uint64_t value) { out.append(reinterpret_cast<const char*>(&value), sizeof value); }
void Put(std::string& out, std::string_view bytes) { Put(out, bytes.size()), out += bytes; }
void Put(std::string& out, TextRange range) { Put(out, range.location), Put(out, range.length); }
template <typename Set>
void PutSet(std::string& out, const Set& set) {
  Put(out, static_cast<std::uint64_t>(std::distance(set.begin(), set.end())));
  for (const auto v : set) Put(out, static_cast<std::uint64_t>(v));
}
std::string Sha(const std::string& bytes) {
  qm::platform::Sha256 sha;
  sha.update(bytes);
  return sha.finishHex();
}

// The anchors the plain way: two copied sets per anchor, every token against every timed word.
std::vector<AnchorSets> PlainAnchors(const std::vector<QMRepairTokenInfo>& a,
                                     const std::vector<QMRepairTokenInfo>& b,
                                     const std::vector<Timing>& timings) {
  std::vector<AnchorSets> out;
  if (a.empty() || b.empty() || timings.empty()) return out;
  auto span = [&](std::size_t a0, std::size_t a1, std::size_t b0, std::size_t b1) {
    AnchorSets anchor;
    for (std::size_t t = a0; t < a1; ++t) anchor.tokens.insert(t);
    if (a0 == a1 && a0 > 0) anchor.tokens.insert(a0 - 1);
    if (a0 == a1 && a1 < a.size()) anchor.tokens.insert(a1);
    for (const std::size_t t : anchor.tokens) QMCollectRepairSourceWordIndexesForTokenSpan(a, timings, t, t + 1, &anchor.words);
    for (std::size_t k = b0; k < b1; ++k) out.push_back({b[k].range, anchor.tokens, anchor.words});
  };
  std::size_t ca = 0, cb = 0;
  for (const auto& [i, j] : QMComputeRepairTokenLCSMatches(a, b)) {
    span(ca, i, cb, j);
    span(i, i + 1, j, j + 1);
    ca = i + 1, cb = j + 1;
  }
  span(ca, a.size(), cb, b.size());
  return out;
}

// Tokens through the full fold and per-unit lower case, with no shortcut.
std::vector<QMRepairTokenInfo> PlainTokens(std::u16string_view text) {
  std::vector<QMRepairTokenInfo> tokens;
  for (const TextRange range : QMTokenizeRepairWordRanges(text)) {
    std::u16string normalized;
    for (const char16_t unit : qm::platform::foldDiacriticsAndWidth(text.substr(range.location, range.length)))
      if (qm::platform::isAlphanumeric(unit) || std::u16string_view(u"_'\u2019-").find(unit) != std::u16string_view::npos)
        normalized += qm::platform::toLower(std::u16string_view(&unit, 1));
    if (!normalized.empty()) tokens.push_back({range, qm::platform::utf16ToUtf8(normalized)});
  }
  return tokens;
}

}  // namespace

TEST(EditorOutputs, MatchTheRecordedDigests) {
  std::string diff, tokens, matches, words, anchors;
  std::mt19937 rng(77);
  for (const Input& input : Inputs()) {
    for (const auto& segment : QuillomancerTrackedText::BuildSegments(input.first, input.second))
      Put(diff, static_cast<std::uint64_t>(segment.kind)), Put(diff, segment.text);
    const auto a = QMTokenizeRepairTokens(input.wideFirst);
    const auto b = QMTokenizeRepairTokens(input.wideSecond);
    for (const auto* side : {&a, &b}) {
      Put(tokens, side->size());
      for (const auto& token : *side) Put(tokens, token.range), Put(tokens, token.normalized);
    }
    for (const auto& [i, j] : QMComputeRepairTokenLCSMatches(a, b)) Put(matches, i), Put(matches, j);
    for (int k = 0; k < 3; ++k) {
      const unsigned long first = rng() % (a.size() + 2), last = rng() % (a.size() + 3);
      std::set<int> out = {-7};
      QMCollectRepairSourceWordIndexesForTokenSpan(a, input.timings, first, last, &out);
      PutSet(words, out);
    }
    for (const auto& anchor : QMBuildEffectiveRepairTokenAnchors(input.wideFirst, input.wideSecond, input.timings))
      Put(anchors, anchor.range), PutSet(anchors, anchor.sourceTokenIndexes), PutSet(anchors, anchor.sourceWordIndexes);
  }
  EXPECT_EQ(Sha(diff), "ba076d797e795c02c614580e8aa82c3062f0aaf0ab3f17a43fd5dab774eba605");
  EXPECT_EQ(Sha(tokens), "2c2d92be9143a1bb963a9fd85a2185feec9970479f4d3a62a888aa4c2f1f14f9");
  EXPECT_EQ(Sha(matches), "bcb5180d4b2a822bf11a788a1ce611ef9f71397811bfbbc0999801f37c1a5fd8");
  EXPECT_EQ(Sha(words), "5ca05f49962be42ad3ab138b0674fa3c9d748bb0ed693f548186b5e74e686d4f");
  EXPECT_EQ(Sha(anchors), "be39d68f9093807889a273b4efca5acc44f8fb246594ab15117bff691cea0705");
}

TEST(EditorOutputs, AgreeWithThePlainWayInputByInput) {
  for (const Input& input : Inputs()) {
    const auto a = QMTokenizeRepairTokens(input.wideFirst);
    const auto b = QMTokenizeRepairTokens(input.wideSecond);
    ASSERT_EQ(a, PlainTokens(input.wideFirst));
    ASSERT_EQ(b, PlainTokens(input.wideSecond));
    std::vector<AnchorSets> anchors;
    for (const auto& anchor : QMBuildEffectiveRepairTokenAnchors(input.wideFirst, input.wideSecond, input.timings))
      anchors.push_back({anchor.range, anchor.sourceTokenIndexes, anchor.sourceWordIndexes});
    ASSERT_TRUE(anchors == PlainAnchors(a, b, input.timings)) << input.first << " | " << input.second;
  }
}
