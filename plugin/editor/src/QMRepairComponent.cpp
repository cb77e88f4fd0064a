#include "QMRepairComponent.h"

#include <algorithm>
#include <cstdio>
#include <map>

using qm::platform::TextRange;

namespace {

// The processor reads at most this many bytes of the repair plan.
constexpr std::size_t kRepairPlanReadLimit = 16383;
// Neighbours further apart than this leave a silence to regenerate into.
constexpr double kMinimumNeighbourGapSeconds = 0.04;

std::string Format(const char* format, std::size_t a) {
  char line[256];
  std::snprintf(line, sizeof line, format, a);
  return line;
}

std::string Format(const char* format, std::size_t a, std::size_t b) {
  char line[256];
  std::snprintf(line, sizeof line, format, a, b);
  return line;
}

// True when one of the anchor's source word indexes is in `indexes`.
bool QMRepairAnchorIntersectsSelectedIndexes(const QMRepairTokenAnchor& anchor,
                                             const std::set<int>& indexes) {
  return std::any_of(anchor.sourceWordIndexes.begin(), anchor.sourceWordIndexes.end(),
                     [&](int w) { return indexes.count(w) != 0; });
}

}  // namespace

bool QMExpandShortRepairSelectionBlocks(const std::vector<QuillomancerTranscriptWordTiming>& timings,
                                        std::set<int>* selected) {
  if (!selected || selected->empty()) return false;
  std::vector<int> order;
  for (const auto& timing : timings) {
    if (!timing.HasUsableRange() || timing.index < 0) continue;
    if (!order.empty() && order.back() == timing.index) continue;
    order.push_back(timing.index);
  }
  if (order.size() <= 8) return false;

  std::set<int> expanded = *selected;
  for (std::size_t p = 0; p < order.size();) {
    if (!selected->count(order[p])) {
      ++p;
      continue;
    }
    const std::size_t runStart = p;
    while (p < order.size() && selected->count(order[p])) ++p;
    const std::size_t runLength = p - runStart;
    if (runLength <= 2) {
      if (runStart > 0) expanded.insert(order[runStart - 1]);
      if (p < order.size()) expanded.insert(order[p]);
    }
  }
  if (expanded == *selected) return false;
  *selected = std::move(expanded);
  return true;
}

std::u16string QMNormalizeRepairReferenceText(std::u16string_view text) {
  std::u16string out(text);
  qm::platform::regexReplaceAll(out, u"\\s{2,}", u" ");  // a pattern that fails skips its step
  qm::platform::regexReplaceAll(out, u"\\s+([,.;:!?])", u"$1");
  return std::u16string(qm::platform::trimWhitespaceAndNewlines(out));
}

void QMRepairComponent::SetTranscript(std::string text,
                                      std::vector<QuillomancerTranscriptWordTiming> timings) {
  transcriptText_ = std::move(text);
  wordTimings_ = std::move(timings);
  lastRepairPlan_.clear();
}

bool QMRepairComponent::HasUsableTranscriptRepairSource() const {
  if (window_.EditorMode() == QMRepairWindowAccess::kModeVoiceChange) return false;
  if (transcriptText_.empty() || wordTimings_.empty()) return false;
  return QMHasRecoverableRepairTimingCoverage(QMTokenizeRepairTokensUTF8(transcriptText_),
                                              wordTimings_, nullptr);
}

bool QMRepairComponent::IsAutoLineChangeEnabled() const {
  if (window_.EditorMode() == QMRepairWindowAccess::kModeVoiceChange) return false;
  const std::string target = window_.TargetText();
  return !target.empty() && target != window_.SourceText();
}

std::vector<QMRepairTokenAnchor> QMRepairComponent::BuildAnchors() const {
  return QMBuildEffectiveRepairTokenAnchors(qm::platform::utf8ToUtf16(transcriptText_),
                                            qm::platform::utf8ToUtf16(window_.SourceText()),
                                            wordTimings_);
}

bool QMRepairComponent::HasRepairSelections() const {
  const QMRepairEditorAccess* editor = window_.TranscriptEditor();
  return editor && !editor->repairHighlightDisplayRanges().empty();
}

template <typename Collect>
void QMRepairComponent::CollectExplicit(Collect collect) const {
  const QMRepairEditorAccess* editor = window_.TranscriptEditor();
  if (!editor || !HasUsableTranscriptRepairSource()) return;
  const std::vector<TextRange> picks = editor->repairHighlightDisplayRanges();
  const bool convert = editor->hasTextStorage();
  for (const QMRepairTokenAnchor& anchor : BuildAnchors()) {
    if (!anchor.IsValid() || !collect(anchor, /*dryRun=*/true)) continue;
    TextRange range = anchor.range;
    if (convert) {
      const std::size_t start = editor->displayLocationForReferenceOffset(range.location);
      const std::size_t end = editor->displayLocationForReferenceOffset(range.end());
      if (end >= start) range = TextRange{start, end - start};
    }
    const bool picked = std::any_of(picks.begin(), picks.end(), [&](const TextRange& pick) {
      return qm::platform::rangesIntersect(range, pick);
    });
    if (picked) collect(anchor, /*dryRun=*/false);
  }
}

std::set<std::size_t> QMRepairComponent::CollectExplicitRepairSourceTokenIndexes() const {
  std::set<std::size_t> result;
  CollectExplicit([&](const QMRepairTokenAnchor& anchor, bool dryRun) {
    if (anchor.sourceTokenIndexes.empty()) return false;
    if (!dryRun) result.insert(anchor.sourceTokenIndexes.begin(), anchor.sourceTokenIndexes.end());
    return true;
  });
  return result;
}

std::set<int> QMRepairComponent::CollectExplicitRepairWordIndexes() const {
  std::set<int> result;
  CollectExplicit([&](const QMRepairTokenAnchor& anchor, bool dryRun) {
    if (anchor.sourceWordIndexes.empty()) return false;
    if (!dryRun) result.insert(anchor.sourceWordIndexes.begin(), anchor.sourceWordIndexes.end());
    return true;
  });
  return result;
}

void QMRepairComponent::NotifyRepairSelectionChanged() {
  selectedTokenIndexes_ = CollectExplicitRepairSourceTokenIndexes();
  selectedWordIndexes_ = CollectExplicitRepairWordIndexes();
  audioContextWordIndexes_.clear();

  const std::vector<QMRepairTokenInfo> tokens = QMTokenizeRepairTokensUTF8(transcriptText_);
  std::set<std::size_t> context = selectedTokenIndexes_;
  if (context.size() == 1 && tokens.size() >= 9) {
    const std::size_t t = *context.begin();
    if (t > 0) context.insert(t - 1);
    if (t + 1 < tokens.size()) context.insert(t + 1);
  }
  for (const std::size_t t : context) {
    std::set<int> words;
    QMCollectRepairSourceWordIndexesForTokenSpan(tokens, wordTimings_, t, t + 1, &words);
    for (const int w : words)
      if (!selectedWordIndexes_.count(w)) audioContextWordIndexes_.insert(w);
  }
  window_.Log(Format("GUI repair selection: captured %zu selected word(s), %zu audio-context word(s)",
                     selectedWordIndexes_.size(), audioContextWordIndexes_.size()));
  SyncRepairPlanToParameters();
}

std::set<int> QMRepairComponent::CollectEffectiveRepairWordIndexes(bool* changeAssist,
                                                                   std::set<int>* assistWords) const {
  if (changeAssist) *changeAssist = false;
  if (assistWords) assistWords->clear();

  std::set<int> result = selectedWordIndexes_;
  result.insert(audioContextWordIndexes_.begin(), audioContextWordIndexes_.end());
  if (result.empty() && HasRepairSelections()) {
    // Picks the sets do not reflect yet: take them as they stand, widened when short.
    result = CollectExplicitRepairWordIndexes();
    const std::size_t before = result.size();
    if (!result.empty() && QMExpandShortRepairSelectionBlocks(wordTimings_, &result))
      window_.Log(Format("GUI repair: expanded short selection with neighboring context (%zu -> %zu timed words)",
                         before, result.size()));
  }

  // Change-mode assist: the source words that a small edit of the target touches.
  if (!IsAutoLineChangeEnabled()) return result;
  const std::string sourceText = window_.SourceText();
  const std::string targetText = window_.TargetText();
  if (sourceText.empty() || targetText.empty()) return result;
  const std::vector<QMRepairTokenInfo> source = QMTokenizeRepairTokensUTF8(sourceText);
  const std::vector<QMRepairTokenInfo> target = QMTokenizeRepairTokensUTF8(targetText);
  if (source.empty()) return result;

  const std::vector<QMRepairTokenAnchor> anchors = BuildAnchors();
  std::vector<std::size_t> changed;
  std::size_t a = 0;
  for (const auto& [i, j] : QMComputeRepairTokenLCSMatches(source, target)) {
    for (std::size_t k = a; k < i; ++k) changed.push_back(k);
    a = i + 1;
  }
  for (std::size_t k = a; k < source.size(); ++k) changed.push_back(k);
  std::sort(changed.begin(), changed.end());
  changed.erase(std::unique(changed.begin(), changed.end()), changed.end());

  if (changed.empty()) return result;
  if (changed.size() >= 4) {
    window_.Log(Format("GUI auto-cut assist: disabled because change touched %zu source words (>3)",
                       changed.size()));
    return result;
  }
  bool added = false;
  for (const std::size_t c : changed) {
    for (const QMRepairTokenAnchor& anchor : anchors) {
      if (!anchor.IsValid() || anchor.sourceWordIndexes.empty()) continue;
      if (!qm::platform::rangesIntersect(anchor.range, source[c].range)) continue;
      result.insert(anchor.sourceWordIndexes.begin(), anchor.sourceWordIndexes.end());
      if (assistWords) assistWords->insert(anchor.sourceWordIndexes.begin(), anchor.sourceWordIndexes.end());
      added = true;
    }
  }
  if (added) {
    window_.Log(Format("GUI auto-cut assist: removing %zu source word(s) for Change mode", changed.size()));
    if (changeAssist) *changeAssist = true;
  }
  return result;
}

bool QMRepairComponent::HasEffectiveRepairSelections() const {
  return !CollectEffectiveRepairWordIndexes(nullptr, nullptr).empty();
}

std::string QMRepairComponent::BuildRepairReferenceText() const {
  const std::string sourceText = window_.SourceText();
  if (!HasUsableTranscriptRepairSource() || !window_.TranscriptEditor()) return sourceText;
  std::set<int> assist;
  const std::set<int> effective = CollectEffectiveRepairWordIndexes(nullptr, &assist);
  if (effective.empty() && selectedTokenIndexes_.empty()) return sourceText;

  // Ranges of the cut anchors, merged where they overlap or touch: start -> end.
  std::map<std::size_t, std::size_t> cuts;
  auto addCut = [&](std::size_t start, std::size_t end) {
    auto it = cuts.upper_bound(start);
    if (it != cuts.begin() && std::prev(it)->second >= start) {
      --it;
      start = it->first;
      end = std::max(end, it->second);
      it = cuts.erase(it);
    }
    while (it != cuts.end() && it->first <= end) {
      end = std::max(end, it->second);
      it = cuts.erase(it);
    }
    cuts.emplace(start, end);
  };
  for (const QMRepairTokenAnchor& anchor : BuildAnchors()) {
    if (!anchor.IsValid()) continue;
    const bool tokenPicked =
        std::any_of(anchor.sourceTokenIndexes.begin(), anchor.sourceTokenIndexes.end(),
                    [&](std::size_t t) { return selectedTokenIndexes_.count(t) != 0; });
    if (tokenPicked || QMRepairAnchorIntersectsSelectedIndexes(anchor, selectedWordIndexes_) ||
        QMRepairAnchorIntersectsSelectedIndexes(anchor, audioContextWordIndexes_) ||
        QMRepairAnchorIntersectsSelectedIndexes(anchor, assist))
      addCut(anchor.range.location, anchor.range.end());
  }

  std::u16string text = qm::platform::utf8ToUtf16(sourceText);
  for (auto it = cuts.rbegin(); it != cuts.rend(); ++it) {
    const std::size_t start = it->first;
    const std::size_t length = it->second - it->first;
    if (start == qm::platform::kTextNotFound || length == 0 || it->second > text.size()) continue;
    text.erase(start, length);
  }
  return qm::platform::utf16ToUtf8(QMNormalizeRepairReferenceText(text));
}

void QMRepairComponent::ClearRepairSelections() {
  QMRepairEditorAccess* editor = window_.TranscriptEditor();
  if (!editor) return;
  editor->clearRepairSelections();
  selectedWordIndexes_.clear();
  audioContextWordIndexes_.clear();
  selectedTokenIndexes_.clear();
  SyncRepairPlanToParameters();
}

void QMRepairComponent::ClearTranscriptRepairState() {
  transcriptText_.clear();
  wordTimings_.clear();
  lastRepairPlan_.clear();
  lastReferenceText_.clear();
  selectedWordIndexes_.clear();
  audioContextWordIndexes_.clear();
  selectedTokenIndexes_.clear();
  if (window_.HasParameters()) window_.SetCustomData(kQMRepairPlanBlockID, {});
  if (QMRepairEditorAccess* editor = window_.TranscriptEditor()) {
    editor->setRepairWordDisplayRanges({});
    editor->clearRepairSelections();
  }
}

std::string QMRepairComponent::BuildRepairPlanJSON() const {
  if (!HasUsableTranscriptRepairSource() || !window_.TranscriptEditor()) return {};
  bool changeAssist = false;
  const std::set<int> effective = CollectEffectiveRepairWordIndexes(&changeAssist, nullptr);
  if (effective.empty() && selectedTokenIndexes_.empty()) return {};

  nlohmann::json selections = nlohmann::json::array();
  auto addSelection = [&](std::int64_t wordIndex, const std::string& word, TextRange range,
                          double start, double end) {
    selections.push_back({{"word_index", wordIndex},
                          {"word", word},
                          {"char_start", range.location},
                          {"char_length", range.length},
                          {"start_seconds", start},
                          {"end_seconds", end}});
  };

  // Timed words, in payload order.
  for (const auto& timing : wordTimings_)
    if (timing.IsTimed() && effective.count(timing.index))
      addSelection(timing.index, timing.word, timing.textRange, timing.start, timing.end);

  // Picked tokens without a timed word of their own: a span from their timed neighbours.
  if (!selectedTokenIndexes_.empty()) {
    const std::u16string transcript = qm::platform::utf8ToUtf16(transcriptText_);
    const std::vector<QMRepairTokenInfo> tokens = QMTokenizeRepairTokens(transcript);
    const auto map = QMMapRepairSourceTokensToTimings(tokens, wordTimings_);
    for (const std::size_t t : selectedTokenIndexes_) {
      if (t >= tokens.size() || map[t]) continue;
      const QuillomancerTranscriptWordTiming* prev = nullptr;
      const QuillomancerTranscriptWordTiming* next = nullptr;
      for (std::size_t k = t; k-- > 0 && !prev;) prev = map[k];
      for (std::size_t k = t + 1; k < tokens.size() && !next; ++k) next = map[k];
      double start = 0.0;
      double end = 0.0;
      if (prev && next && next->start - prev->end >= kMinimumNeighbourGapSeconds) {
        start = prev->end;
        end = next->start;
      } else {
        start = prev ? prev->start : next ? next->start : 0.0;
        end = next ? next->end : prev ? prev->end : 0.0;
      }
      if (!(end > start)) continue;
      const TextRange range = tokens[t].range;
      const std::string word = qm::platform::utf16ToUtf8(
          std::u16string_view(transcript).substr(range.location, range.length));
      addSelection(kQMUntimedTokenWordIndexBase - static_cast<std::int64_t>(t), word, range, start, end);
    }
  }
  if (selections.empty()) return {};

  try {
    const nlohmann::json root = {{"source_text", transcriptText_},
                                 {"edited_source_text", window_.SourceText()},
                                 {"selections", std::move(selections)},
                                 {"change_assist", changeAssist}};
    return root.dump();  // throws on text that is not UTF-8
  } catch (...) {
    return {};
  }
}

void QMRepairComponent::SyncRepairPlanToParameters() {
  if (!window_.HasParameters()) return;
  const std::string plan = BuildRepairPlanJSON();
  if (plan == lastRepairPlan_) return;
  lastRepairPlan_ = plan;
  if (plan.empty()) {
    window_.SetCustomData(kQMRepairPlanBlockID, {});
    window_.Log("GUI repair sync: cleared repair plan");
    return;
  }
  if (plan.size() > kRepairPlanReadLimit) {
    // The processor would read a cut, unreadable document: clear the block instead and say so.
    window_.SetCustomData(kQMRepairPlanBlockID, {});
    window_.Log(Format("GUI repair sync: %zu-byte repair plan exceeds the %zu-byte limit; cleared repair plan",
                       plan.size(), kRepairPlanReadLimit));
    return;
  }
  window_.SetCustomData(kQMRepairPlanBlockID, plan);
  window_.Log(Format("GUI repair sync: wrote %zu-byte repair plan", plan.size()));
}
