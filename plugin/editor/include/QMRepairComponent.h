#pragma once
// The window's repair state and the operations on it: the Repair tool's readiness, the user's
// picks turned into transcript tokens and timed words (with context, widening and the
// Change-mode assist), the reference text without the words to regenerate, and the repair plan
// written to the custom-data block QMrp. The window owns one component and reaches it on the
// main thread only; the component reaches the window, the editor view and the store through the
// two small interfaces below.

#include "QMRepairAlignment.h"
#include "QMRepairTokens.h"
#include "QuillomancerStoreClient.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// Word index of a picked token t without a timed word in the repair plan: -100000 - t.
inline constexpr std::int64_t kQMUntimedTokenWordIndexBase = -100000;

// What repair uses of the transcript editor view. Display locations are positions in the
// editor's text storage; reference offsets are positions in the source text.
class QMRepairEditorAccess {
 public:
  virtual ~QMRepairEditorAccess() = default;
  // The user's picks, in display locations.
  virtual std::vector<qm::platform::TextRange> repairHighlightDisplayRanges() const = 0;
  // Whether the editor's text view has a text storage to convert offsets in.
  virtual bool hasTextStorage() const = 0;
  virtual std::size_t displayLocationForReferenceOffset(std::size_t offset) const = 0;
  // Removes all picks; the editor then notifies its repair-selection target.
  virtual void clearRepairSelections() = 0;
  virtual void setRepairWordDisplayRanges(const std::vector<qm::platform::TextRange>& ranges) = 0;
};

// What repair uses of the window.
class QMRepairWindowAccess {
 public:
  virtual ~QMRepairWindowAccess() = default;
  static constexpr std::uint8_t kModeBefore = 0, kModeAfter = 1, kModeVoiceChange = 2;
  virtual std::uint8_t EditorMode() const = 0;
  virtual std::string SourceText() const = 0;  // the transcript as corrected by the user (UTF-8)
  virtual std::string TargetText() const = 0;  // the edited line of Change (UTF-8)
  // The transcript editor, or null while the view is closed.
  virtual QMRepairEditorAccess* TranscriptEditor() const = 0;
  // The custom-data store of the window's parameters object (GetEffectParameters()); not bound
  // while it is unreachable.
  virtual QuillomancerStoreClient Store() = 0;
  virtual void Log(const std::string& line) = 0;
};

// Widens runs of one or two selected timed words by their neighbours in timing order, when the
// transcript has more than 8 distinct placed, indexed words. Returns true when `selected` grew.
bool QMExpandShortRepairSelectionBlocks(const std::vector<QuillomancerTranscriptWordTiming>& timings,
                                        std::set<int>* selected);

// Collapses runs of white space to one space, removes white space before , . ; : ! ? and trims.
std::u16string QMNormalizeRepairReferenceText(std::u16string_view text);

class QMRepairComponent {
 public:
  explicit QMRepairComponent(QMRepairWindowAccess& window) : window_(window) {}
  QMRepairComponent(const QMRepairComponent&) = delete;
  QMRepairComponent& operator=(const QMRepairComponent&) = delete;

  // ---- State (main thread) ----
  const std::string& TranscriptText() const { return transcriptText_; }
  const std::vector<QuillomancerTranscriptWordTiming>& WordTimings() const { return wordTimings_; }
  // Stores a newly applied transcript and forgets the last repair plan. The window calls
  // ClearTranscriptRepairState() first.
  // [main-thread]
  void SetTranscript(std::string text, std::vector<QuillomancerTranscriptWordTiming> timings);
  const std::string& LastRepairPlan() const { return lastRepairPlan_; }
  const std::string& LastReferenceText() const { return lastReferenceText_; }
  // [main-thread]
  void SetLastReferenceText(std::string text) { lastReferenceText_ = std::move(text); }
  const std::set<int>& SelectedWordIndexes() const { return selectedWordIndexes_; }
  const std::set<int>& AudioContextWordIndexes() const { return audioContextWordIndexes_; }
  const std::set<std::size_t>& SelectedTokenIndexes() const { return selectedTokenIndexes_; }

  // ---- Readiness ----
  // Not Voice Change, a transcript text and word timings, and no two neighbouring transcript
  // tokens without a timed word.
  // [main-thread]
  bool HasUsableTranscriptRepairSource() const;
  // Not Voice Change, a target text that is not empty and differs from the source text.
  // [main-thread]
  bool IsAutoLineChangeEnabled() const;
  // The window's word display ranges: the anchors every operation here builds (transcript text
  // against the source text). [main-thread]
  const std::vector<QMRepairTokenAnchor>& RepairTokenAnchors() const { return Anchors(); }

  // ---- Selection ----
  // [main-thread]
  bool HasRepairSelections() const;
  // [main-thread]
  std::set<std::size_t> CollectExplicitRepairSourceTokenIndexes() const;
  // [main-thread]
  std::set<int> CollectExplicitRepairWordIndexes() const;
  // Called whenever the editor's picks change: recomputes the three sets, re-syncs the plan.
  // [main-thread]
  void NotifyRepairSelectionChanged();
  // The word indexes to regenerate; both outputs are optional.
  // [main-thread]
  std::set<int> CollectEffectiveRepairWordIndexes(bool* changeAssist, std::set<int>* assistWords) const;
  // [main-thread]
  bool HasEffectiveRepairSelections() const;
  // The source text with every word to regenerate cut out (UTF-8). A picked word that the plan
  // cannot carry (a timed word without an index, or no span to regenerate) stays, and is logged.
  // [main-thread]
  std::string BuildRepairReferenceText() const;
  // [main-thread]
  void ClearRepairSelections();
  // [main-thread]
  void ClearTranscriptRepairState();

  // ---- Repair plan ----
  // The plan document, or the empty string when there is nothing to repair.
  // [main-thread]
  std::string BuildRepairPlanJSON() const;
  // Writes QMrp when the plan differs from the last one written.
  // [main-thread]
  void SyncRepairPlanToParameters();

 private:
  // What the operations derive from the transcript, its timings, the source and the target text.
  // The window asks for it several times on every timer call, so it is kept between calls and
  // rebuilt only when one of those inputs changes.
  struct TranscriptDerived {
    bool valid = false;
    std::u16string text;  // the transcript in UTF-16
    std::vector<QMRepairTokenInfo> tokens;
    std::vector<const QuillomancerTranscriptWordTiming*> timingOfToken;  // into wordTimings_
    bool recoverable = false;
  };
  struct AnchorsDerived {
    bool valid = false;
    std::string source;
    std::vector<QMRepairTokenAnchor> anchors;
  };
  // The Change-mode assist for one source and target text.
  struct AssistDerived {
    bool valid = false;
    std::string source, target;
    std::set<int> words;
  };
  const TranscriptDerived& Transcript() const;
  // Anchors of the source text against the transcript.
  const std::vector<QMRepairTokenAnchor>& Anchors() const;
  const AssistDerived& Assist() const;
  void ForgetDerived();
  template <typename Collect>
  void CollectExplicit(Collect collect) const;

  QMRepairWindowAccess& window_;
  std::string transcriptText_;
  std::string lastRepairPlan_;
  // False until a plan (or a clear) has been written: the store may hold another window's plan.
  bool repairPlanWritten_ = false;
  std::string lastReferenceText_;
  std::set<int> selectedWordIndexes_;
  std::set<int> audioContextWordIndexes_;
  std::set<std::size_t> selectedTokenIndexes_;
  std::vector<QuillomancerTranscriptWordTiming> wordTimings_;
  mutable TranscriptDerived transcriptDerived_;
  mutable AnchorsDerived anchorsDerived_;
  mutable AssistDerived assistDerived_;
  // The last "skipped" lines of the reference text, logged once per change of the picks.
  mutable std::string lastSkippedLog_;
};
