#include "QMRepairComponent.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <utility>

using qm::platform::TextRange;

namespace {

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

// The span to regenerate for picked token t, which has no timed word: the silence between its timed
// neighbours when it is 40 ms or more, else from the neighbours' starts to their ends. Nothing when
// that span is empty.
std::optional<std::pair<double, double>> UntimedTokenSpan(
    const std::vector<const QuillomancerTranscriptWordTiming*>& map, std::size_t t) {
  const QuillomancerTranscriptWordTiming* prev = nullptr;
  const QuillomancerTranscriptWordTiming* next = nullptr;
  for (std::size_t k = t; k-- > 0 && !prev;) prev = map[k];
  for (std::size_t k = t + 1; k < map.size() && !next; ++k) next = map[k];
  double start = 0.0;
  double end = 0.0;
  if (prev && next && next->start - prev->end >= kMinimumNeighbourGapSeconds) {
    start = prev->end;
    end = next->start;
  } else {
    start = prev ? prev->start : next ? next->start : 0.0;
    end = next ? next->end : prev ? prev->end : 0.0;
  }
  if (!(end > start)) return std::nullopt;
  return std::make_pair(start, end);
}

// Whether picked transcript token t gets into the plan built with `effective`: through its timed
// word, or without one through the span of its timed neighbours.
bool IsPlannedToken(std::size_t t, const std::vector<const QuillomancerTranscriptWordTiming*>& map,
                    const std::set<int>& effective) {
  if (t >= map.size()) return false;
  if (map[t]) return effective.count(map[t]->index) != 0;
  return UntimedTokenSpan(map, t).has_value();
}

// The text of a token of the transcript (UTF-8).
std::string TokenText(std::u16string_view transcript, TextRange range) {
  return qm::platform::utf16ToUtf8(transcript.substr(range.location, range.length));
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
  ForgetDerived();
}

void QMRepairComponent::ForgetDerived() {
  transcriptDerived_ = {};
  anchorsDerived_ = {};
  assistDerived_ = {};
}

const QMRepairComponent::TranscriptDerived& QMRepairComponent::Transcript() const {
  TranscriptDerived& d = transcriptDerived_;
  if (d.valid) return d;
  d.text = qm::platform::utf8ToUtf16(transcriptText_);
  d.tokens = QMTokenizeRepairTokens(d.text);
  d.timingOfToken = QMMapRepairSourceTokensToTimings(d.tokens, wordTimings_);
  d.recoverable = !wordTimings_.empty() && QMHasRecoverableRepairTimingCoverage(d.tokens, wordTimings_, nullptr);
  d.valid = true;
  return d;
}

const std::vector<QMRepairTokenAnchor>& QMRepairComponent::Anchors() const {
  AnchorsDerived& d = anchorsDerived_;
  std::string source = window_.SourceText();
  if (d.valid && d.source == source) return d.anchors;
  d.anchors = QMBuildEffectiveRepairTokenAnchors(Transcript().text, qm::platform::utf8ToUtf16(source), wordTimings_);
  d.source = std::move(source);
  d.valid = true;
  return d.anchors;
}

bool QMRepairComponent::HasUsableTranscriptRepairSource() const {
  if (window_.EditorMode() == QMRepairWindowAccess::kModeVoiceChange) return false;
  if (transcriptText_.empty() || wordTimings_.empty()) return false;
  return Transcript().recoverable;
}

bool QMRepairComponent::IsAutoLineChangeEnabled() const {
  if (window_.EditorMode() == QMRepairWindowAccess::kModeVoiceChange) return false;
  const std::string target = window_.TargetText();
  return !target.empty() && target != window_.SourceText();
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
  for (const QMRepairTokenAnchor& anchor : Anchors()) {
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
  lastSkippedLog_.clear();

  const std::vector<QMRepairTokenInfo>& tokens = Transcript().tokens;
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
  const AssistDerived& assist = Assist();
  if (assist.words.empty()) return result;
  result.insert(assist.words.begin(), assist.words.end());
  if (assistWords) *assistWords = assist.words;
  if (changeAssist) *changeAssist = true;
  return result;
}

// The assist for the current source and target texts, worked out (and logged) once per change of
// either text.
const QMRepairComponent::AssistDerived& QMRepairComponent::Assist() const {
  AssistDerived& d = assistDerived_;
  std::string sourceText = window_.SourceText();
  std::string targetText = window_.TargetText();
  if (d.valid && d.source == sourceText && d.target == targetText) return d;
  d.words.clear();
  d.valid = true;
  d.source = std::move(sourceText);
  d.target = std::move(targetText);
  if (d.source.empty() || d.target.empty()) return d;
  const std::vector<QMRepairTokenInfo> source = QMTokenizeRepairTokensUTF8(d.source);
  const std::vector<QMRepairTokenInfo> target = QMTokenizeRepairTokensUTF8(d.target);
  if (source.empty()) return d;

  std::vector<std::size_t> changed;
  std::size_t a = 0;
  for (const auto& [i, j] : QMComputeRepairTokenLCSMatches(source, target)) {
    for (std::size_t k = a; k < i; ++k) changed.push_back(k);
    a = i + 1;
  }
  for (std::size_t k = a; k < source.size(); ++k) changed.push_back(k);
  std::sort(changed.begin(), changed.end());
  changed.erase(std::unique(changed.begin(), changed.end()), changed.end());

  if (changed.empty()) return d;
  if (changed.size() >= 4) {
    window_.Log(Format("GUI auto-cut assist: disabled because change touched %zu source words (>3)",
                       changed.size()));
    return d;
  }
  const std::vector<QMRepairTokenAnchor>& anchors = Anchors();
  for (const std::size_t c : changed) {
    for (const QMRepairTokenAnchor& anchor : anchors) {
      if (!anchor.IsValid() || anchor.sourceWordIndexes.empty()) continue;
      if (!qm::platform::rangesIntersect(anchor.range, source[c].range)) continue;
      d.words.insert(anchor.sourceWordIndexes.begin(), anchor.sourceWordIndexes.end());
    }
  }
  if (!d.words.empty()) {
    window_.Log(Format("GUI auto-cut assist: removing %zu source word(s) for Change mode", changed.size()));
  }
  return d;
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
  const TranscriptDerived& derived = Transcript();
  const std::u16string& transcript = derived.text;
  const std::vector<QMRepairTokenInfo>& tokens = derived.tokens;
  const auto& map = derived.timingOfToken;
  // Picked tokens the plan leaves out: cutting them would take words from the reference text that
  // nothing regenerates.
  std::set<std::size_t> skipped;
  for (const QMRepairTokenAnchor& anchor : Anchors()) {
    if (!anchor.IsValid()) continue;
    bool plannedPick = false;
    std::vector<std::size_t> unplannedPicks;
    for (const std::size_t t : anchor.sourceTokenIndexes) {
      if (!selectedTokenIndexes_.count(t)) continue;
      if (IsPlannedToken(t, map, effective))
        plannedPick = true;
      else
        unplannedPicks.push_back(t);
    }
    if (plannedPick || QMRepairAnchorIntersectsSelectedIndexes(anchor, selectedWordIndexes_) ||
        QMRepairAnchorIntersectsSelectedIndexes(anchor, audioContextWordIndexes_) ||
        QMRepairAnchorIntersectsSelectedIndexes(anchor, assist)) {
      addCut(anchor.range.location, anchor.range.end());
    } else {
      skipped.insert(unplannedPicks.begin(), unplannedPicks.end());
    }
  }
  // Said once for the picks as they stand, not on every call.
  std::string skippedLog;
  for (const std::size_t t : skipped) {
    skippedLog += "GUI repair: skipped '" + TokenText(transcript, tokens[t].range) +
                  "': no timing the repair plan can use; kept in the reference text\n";
  }
  if (skippedLog != lastSkippedLog_) {
    lastSkippedLog_ = skippedLog;
    for (std::size_t at = 0, end; (end = skippedLog.find('\n', at)) != std::string::npos; at = end + 1) {
      window_.Log(skippedLog.substr(at, end - at));
    }
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
  ForgetDerived();
  lastRepairPlan_.clear();
  lastSkippedLog_.clear();
  lastReferenceText_.clear();
  selectedWordIndexes_.clear();
  audioContextWordIndexes_.clear();
  selectedTokenIndexes_.clear();
  const QuillomancerStoreClient store = window_.Store();
  store.Clear(kQMBlock_RepairPlan);
  if (store.IsBound()) repairPlanWritten_ = true;
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
    const TranscriptDerived& derived = Transcript();
    const std::u16string& transcript = derived.text;
    const std::vector<QMRepairTokenInfo>& tokens = derived.tokens;
    const auto& map = derived.timingOfToken;
    for (const std::size_t t : selectedTokenIndexes_) {
      if (t >= tokens.size() || map[t]) continue;
      const auto span = UntimedTokenSpan(map, t);
      if (!span) continue;
      addSelection(kQMUntimedTokenWordIndexBase - static_cast<std::int64_t>(t), TokenText(transcript, tokens[t].range),
                   tokens[t].range, span->first, span->second);
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
  const QuillomancerStoreClient store = window_.Store();
  if (!store.IsBound()) return;
  const std::string plan = BuildRepairPlanJSON();
  if (plan == lastRepairPlan_ && repairPlanWritten_) return;
  lastRepairPlan_ = plan;
  repairPlanWritten_ = true;
  if (plan.empty()) {
    store.Clear(kQMBlock_RepairPlan);
    window_.Log("GUI repair sync: cleared repair plan");
    return;
  }
  if (plan.size() > kQMReadLimit_RepairPlan) {
    // The processor would read a cut, unreadable document: clear the block instead and say so.
    store.Clear(kQMBlock_RepairPlan);
    window_.Log(Format("GUI repair sync: %zu-byte repair plan exceeds the %zu-byte limit; cleared repair plan",
                       plan.size(), std::size_t(kQMReadLimit_RepairPlan)));
    return;
  }
  store.WriteString(kQMBlock_RepairPlan, plan);
  window_.Log(Format("GUI repair sync: wrote %zu-byte repair plan", plan.size()));
}
