#pragma once
// The window's repair state and the operations on it: the Repair tool's readiness, the user's
// picks turned into transcript tokens and timed words (with context, widening and the
// Change-mode assist), the reference text without the words to regenerate, and the repair plan
// written to the custom-data block QMrp. The window owns one component and reaches it on the
// main thread only; the component reaches the window, the editor view and the store through the
// two small interfaces below.

#include "QMRepairAlignment.h"
#include "QMRepairTokens.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// The custom-data block of the repair plan, 'QMrp'.
inline constexpr std::uint32_t kQMRepairPlanBlockID = 0x514D7270;
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
  // Whether the parameters object (the custom-data store) is reachable.
  virtual bool HasParameters() const = 0;
  // Writes a custom-data block; empty bytes write size 0, which clears the block.
  virtual void SetCustomData(std::uint32_t blockId, std::string_view bytes) = 0;
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
  // The source text with every word to regenerate cut out (UTF-8).
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
  std::vector<QMRepairTokenAnchor> BuildAnchors() const;
  template <typename Collect>
  void CollectExplicit(Collect collect) const;

  QMRepairWindowAccess& window_;
  std::string transcriptText_;
  std::string lastRepairPlan_;
  std::string lastReferenceText_;
  std::set<int> selectedWordIndexes_;
  std::set<int> audioContextWordIndexes_;
  std::set<std::size_t> selectedTokenIndexes_;
  std::vector<QuillomancerTranscriptWordTiming> wordTimings_;
};
