// The transcript payload (block QMtr) from untrusted bytes: parsing must never crash, must leave
// its outputs empty when it fails, and must place timed words only on word ranges of the text,
// in text order. Short texts also go through tokens, coverage, anchors and the word diff.
#include "QMRepairAlignment.h"
#include "QMRepairTokens.h"
#include "QuillomancerTrackedText.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string payload(reinterpret_cast<const char*>(data), size);
  std::string text = "stale";
  std::vector<QuillomancerTranscriptWordTiming> timings(1);
  const bool ok = QMParseTranscriptPayloadJSON(payload, &text, &timings);
  if (!ok) {
    if (!text.empty() || !timings.empty()) std::abort();
    return 0;
  }
  const std::u16string wide = qm::platform::utf8ToUtf16(text);
  if (wide.empty()) std::abort();

  std::size_t previousEnd = 0;
  for (const auto& timing : timings) {
    if (!timing.hasTextRange) continue;
    const auto range = timing.textRange;
    if (range.length == 0 || range.end() > wide.size() || range.location < previousEnd) std::abort();
    for (std::size_t k = range.location; k < range.end(); ++k)
      if (!QMIsRepairWordCharacter(wide[k])) std::abort();
    previousEnd = range.end();
  }

  const auto tokens = QMTokenizeRepairTokens(wide);
  unsigned long gap = 0;
  QMHasRecoverableRepairTimingCoverage(tokens, timings, &gap);
  if (gap > tokens.size()) std::abort();

  // The alignment's table grows with the square of the token count: keep it to short texts.
  if (wide.size() <= 400) {
    const auto anchors = QMBuildEffectiveRepairTokenAnchors(wide, wide, timings);
    if (!timings.empty() && anchors.size() != tokens.size()) std::abort();
    for (std::size_t k = 0; k < anchors.size(); ++k)
      if (anchors[k].sourceTokenIndexes != std::set<std::size_t>{k}) std::abort();
    const auto segments = QuillomancerTrackedText::BuildSegments(text, payload.substr(0, 400));
    std::string reference;
    for (const auto& s : segments)
      if (s.kind != QuillomancerTrackedText::SegmentKind::kInserted) reference += s.text;
    if (reference != text) std::abort();
  }
  return 0;
}
