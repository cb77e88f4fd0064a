#pragma once
// Repair vocabulary: word characters, repair tokens and their normalised forms, the timed words
// of a transcript, the mapping of tokens to timed words, the coverage test for the Repair tool,
// and the parser of the transcript payload (block QMtr). Positions are UTF-16 code-unit ranges
// of the text in question. Main thread, except where a function says otherwise.

#include "QuillomancerStoreVocabulary.h"  // kQMTranscriptPayloadMaxBytes
#include "qm/platform/text.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One repair token: its place in its text and its normalised form (UTF-8, never empty).
struct QMRepairTokenInfo {
  qm::platform::TextRange range;
  std::string normalized;

  friend bool operator==(const QMRepairTokenInfo&, const QMRepairTokenInfo&) = default;
};

// One timed word of the transcript, as the service gave it, with its place in the text.
struct QuillomancerTranscriptWordTiming {
  std::int32_t index = -1;  // the service's word index; -1 when the payload gives none
  std::string word;         // UTF-8, as the service spelled it; empty when absent
  double start = 0.0;       // seconds from the start of the captured audio; 0 when absent
  double end = 0.0;
  qm::platform::TextRange textRange{0, 0};
  bool hasTextRange = false;  // true only when the word was found in the transcript text

  bool HasUsableRange() const { return hasTextRange && textRange.length != 0; }
  bool IsTimed() const { return HasUsableRange() && end > start; }

  friend bool operator==(const QuillomancerTranscriptWordTiming&,
                         const QuillomancerTranscriptWordTiming&) = default;
};

// Letters, marks and digits, plus "_", "'", "’" and "-". Surrogate halves are not word
// characters. The set is built once, on first use from any thread.
// [any-thread]
bool QMIsRepairWordCharacter(char16_t unit);

// The maximal runs of word characters, in text order.
std::vector<qm::platform::TextRange> QMTokenizeRepairWordRanges(std::u16string_view text);

// Diacritics and widths folded, then every alphanumeric unit and "_", "'", "’", "-" kept and
// lower-cased on its own; everything else dropped. 'Café' -> 'cafe', 'DON’T' -> 'don’t'.
std::u16string QMNormalizeRepairTokenString(std::u16string_view token);

// The repair tokens of a text: its word ranges whose normalised form is not empty.
std::vector<QMRepairTokenInfo> QMTokenizeRepairTokens(std::u16string_view text);
// The same for a UTF-8 text (ill-formed UTF-8 counts as empty).
std::vector<QMRepairTokenInfo> QMTokenizeRepairTokensUTF8(const std::string& text);

// One element per token: the first timed word whose text range overlaps the token, or null.
// The pointers point into `timings` and live as long as it is unchanged.
std::vector<const QuillomancerTranscriptWordTiming*> QMMapRepairSourceTokensToTimings(
    const std::vector<QMRepairTokenInfo>& tokens,
    const std::vector<QuillomancerTranscriptWordTiming>& timings);

// True when there are tokens and no two neighbouring tokens both lack a timing. The longest run
// of unmapped tokens goes to `longestGap` when given (0 for no tokens).
bool QMHasRecoverableRepairTimingCoverage(
    const std::vector<QMRepairTokenInfo>& tokens,
    const std::vector<QuillomancerTranscriptWordTiming>& timings, unsigned long* longestGap);

// The top-level JSON object of `bytes`, or nothing (empty input, a parse error, or a top-level
// value that is not an object). Never throws.
// [any-thread]
std::optional<nlohmann::json> QMParseJSONDictionaryFromStdString(const std::string& bytes);

// The payload as the window takes it from the QMtr block: at most kQMTranscriptPayloadMaxBytes
// bytes, cut on a code-point boundary so that a cut text stays readable UTF-8.
// [any-thread]
std::string QMTranscriptPayloadFromBlock(std::string_view block);

// Parses the transcript payload {"text": ..., "words": [{"word", "index", "start", "end"}...]}.
// Both outputs are optional and are cleared first. False (outputs empty) when the payload is
// empty, longer than kQMTranscriptPayloadMaxBytes, not a JSON object, or has no non-empty
// string "text". Each timed word is placed at the next word range of the text (from a forward
// cursor) whose normalised form equals its own. Never throws.
// [any-thread]
bool QMParseTranscriptPayloadJSON(const std::string& payload, std::string* text,
                                  std::vector<QuillomancerTranscriptWordTiming>* timings);
