#pragma once
// The plug-in window: the component the host creates through creation function 1, that builds
// the 480 x 158 point view once when the host initialises it, and that the host calls on its
// timer. The window and the processor share no memory: everything goes through the custom-data
// store of the parameters object. The window holds plain pointers to the views it drives (the
// view tree owns them; every pointer is cleared before the root view goes), the values it mirrors
// to and from the store, the editor modes, the status line's state, the repair state and the one
// settings controller, which reaches the window through QMSettingsHelperOwner.
//
// Where the window's behaviour lives (each file is one piece):
//   Quillomancer_GUI.cpp             creation, destruction, the view container, the owner
//                                    interfaces, placeholder and focus
//   Quillomancer_GUIViews.cpp        building the view, host detection, initial takes
//   Quillomancer_GUISettingsCard.cpp the settings card's views
//   Quillomancer_GUILooks.cpp        the looks of the Change, Repair and Voice Change buttons
//   Quillomancer_GUILanguage.cpp     the language choice (and the stored one), the chip and the
//                                    status text's layout
//   Quillomancer_GUITick.cpp         the timer call and its state machine
//   Quillomancer_GUISync.cpp         the blocks the window writes to the store
//   Quillomancer_GUIStatus.cpp       the status line, the button accents, the host's button labels
//   Quillomancer_GUIModes.cpp        the editor modes and the line change
//   Quillomancer_GUIActions.cpp      the window operations behind the buttons
//   Quillomancer_GUIRepair.cpp       the repair state, through QMRepairComponent
// All of it runs on the main thread (host window and timer calls); the object takes no lock.

#include "AAX_CEffectGUI_Cocoa.h"
#include "QMControls.h"
#include "QMModeSelector.h"
#include "QMRepairComponent.h"
#include "QMSettingsHelper.h"
#include "QMSettingsHelperOwner.h"
#include "QMTakeSelector.h"
#include "QMTrackedTextEditorView.h"
#include "QuillomancerStoreVocabulary.h"

#include "qm/ui/button.h"
#include "qm/ui/text_field.h"
#include "qm/ui/view.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The views the window drives. Not owned: the view tree holds them.
struct QuillomancerWindowViews {
  QMTrackedTextEditorView* editorView = nullptr;
  qm::ui::Button* clearTextButton = nullptr;
  qm::ui::TextField* editorOverlayLabel = nullptr;
  qm::ui::View* statusClipView = nullptr;
  qm::ui::TextField* statusLabel = nullptr;
  QMAlignedLabel* performanceLabel = nullptr;
  qm::ui::View* modeSelectorShell = nullptr;
  qm::ui::View* voiceChangeShell = nullptr;
  QMModeTextButton* voiceChangeButton = nullptr;
  QMModeSelector* modeSelector = nullptr;
  qm::ui::Button* settingsButton = nullptr;
  // The window has no LOAD button of its own (the host's analysis button loads): these stay null.
  qm::ui::View* loadButtonShell = nullptr;
  QMModeTextButton* loadButton = nullptr;
  qm::ui::View* processButtonShell = nullptr;
  QMModeTextButton* processButton = nullptr;
  qm::ui::View* changeToolShell = nullptr;
  QMModeTextButton* changeToolButton = nullptr;
  qm::ui::View* repairToolShell = nullptr;
  QMModeTextButton* repairToolButton = nullptr;
  qm::ui::View* languageChip = nullptr;
  qm::ui::Button* languageChipButton = nullptr;
  qm::ui::TextField* languageChipLabel = nullptr;
  qm::ui::TextField* placeholderLabel = nullptr;
  qm::ui::TextField* updateBadgeLabel = nullptr;
  qm::ui::Button* updateBadgeButton = nullptr;
  qm::ui::TextField* textLengthCounterLabel = nullptr;
  qm::ui::Button* voteUpButton = nullptr;
  qm::ui::Button* voteDownButton = nullptr;
  qm::ui::View* settingsCardHolder = nullptr;
  QMTakeSelector* takeSelector = nullptr;
  qm::ui::TextField* creditsLabel = nullptr;

  friend bool operator==(const QuillomancerWindowViews&, const QuillomancerWindowViews&) = default;
};

// Where a language tag last left a text, so that keys typed at that place next are cleaned as
// if typed before the tag left (Quillomancer_GUITick.cpp). Offsets are UTF-8 bytes.
struct QuillomancerLeftTag {
  std::string raw;                     // the text as it stood with its tag (and the keys since)
  std::size_t rawAt = 0;               // where keys typed at the place go in `raw`
  std::string cleaned;                 // what the cleaning left of `raw`
  std::size_t cleanedAt = 0;           // the place in `cleaned`
  std::vector<std::size_t> positions;  // each offset of `raw` to where it landed in `cleaned`
  std::uint64_t caretPlacements = 0;   // the text view's count then: once the caret is placed, this ends
};

// What the window mirrors from and to the store, the editor modes and the status line's state.
// The repair state (transcript, timings, picks, last plan and reference) is the repair
// component's.
struct QuillomancerWindowState {
  std::optional<int32_t> lastShownCredits;  // none until a balance was known
  // Status line and accents.
  float processingDotPhase = 0;
  double loadAccent = 1.0, loadAccentFrom = 1.0, loadAccentTo = 1.0;
  double loadAccentStartedAt = 0;
  double processAccent = 0, processAccentFrom = 0, processAccentTo = 0, processAccentStartedAt = 0;
  // Last values written to the store.
  std::string lastSentText;
  uint8_t lastSentLineChange = 0;
  uint8_t lastSentVariation = 0;
  uint8_t lastSentTakes = 3;
  uint8_t lastSentUpdateLock = 0;
  // The status record as last seen and shown.
  int32_t lastTakeIndex = -1;
  int32_t takesArrived = 0;  // takes that came back with the last generation; 0 while none stand
  int32_t lastState = 0;
  bool hasLastState = false;
  bool statusFades = false;
  double statusTextChangedAt = 0;
  double countdownStartedAt = 0;
  int32_t countdownSeconds = 0;
  std::string lastStatusText;
  bool manualMessageActive = false;
  double manualMessageStartedAt = 0;
  std::array<float, 4> manualMessageColour{1, 1, 1, 1};
  std::string manualMessageText;
  std::string errorText;
  std::string renderId;
  // The chosen language (all empty: no choice).
  std::string languagePrompt, languageBubble, languageCode;
  // Editor modes.
  std::string beforeText, afterText;
  QuillomancerMode editorMode = kQuillomancerMode_Before;
  bool editingBeforeText = true;
  bool afterTextEdited = false;
  bool repairToolActive = false;
  bool repairPreviewArmed = false;
  bool loadButtonArmed = true;
  bool processButtonArmed = false;
  bool restylingInProgress = false;
  bool placeholderSuppressed = false;
  // Where a tag last left the Before and the After text; forgotten whenever the texts are set
  // from elsewhere or the text being edited changes.
  std::optional<QuillomancerLeftTag> beforeLeftTag, afterLeftTag;
  void ForgetLeftTags() {
    beforeLeftTag.reset();
    afterLeftTag.reset();
  }
  // The account access token read when the view was built (also in the store as QMli).
  std::string accountAccessToken;
  // Host and lock.
  bool mediaComposerHost = false;
  bool minimumVersionLock = false;
  std::string minimumVersion;
  // Tick, outgoing blocks and status line.
  bool outgoingBlocksWritten = false;  // false until a tick wrote every outgoing block once
  int32_t processingDotCount = 0;      // processing displays since the dots were reset
  double lastStatusTextWidth = 0;      // lastStatusText's width in the status label's font
};

class Quillomancer_GUI : public AAX_CEffectGUI_Cocoa, public QMSettingsHelperOwner, public QMRepairWindowAccess {
 public:
  // Creation function registered under procedure id 1. [main-thread]
  static AAX_IEffectGUI* Create();

  static constexpr double kViewWidth = 480.0;
  static constexpr double kViewHeight = 158.0;

  Quillomancer_GUI();
  ~Quillomancer_GUI() override;

  // ---- host calls (Quillomancer_GUITick.cpp, Quillomancer_GUIStatus.cpp) ----
  // [main-thread]
  AAX_Result TimerWakeup() noexcept override;
  // [main-thread]
  AAX_Result GetCustomLabel(AAX_EPlugInStrings kind, AAX_IString* label) noexcept override;

  // ---- lifecycle (Quillomancer_GUI.cpp) ----
  // Clears every view pointer, resets what the window mirrors of the open view, tears the settings
  // controller down and cancels the window's delayed steps. [main-thread]
  void NilViewPointers();
  // [main-thread]
  void UpdateTextPlaceholderVisibility();
  // [main-thread]
  void ReleaseMainTextInputFocus();

  // ---- looks (Quillomancer_GUILooks.cpp) ----
  // [main-thread]
  void UpdateChangeToolButtonAppearance();
  void UpdateRepairToolButtonAppearance();
  void UpdateVoiceChangeModeButtonAppearance();

  // ---- language (Quillomancer_GUILanguage.cpp) ----
  // [main-thread]
  void SetSelectedLanguage(const std::string& prompt, const std::string& bubble, const std::string& code, bool persist);
  void SelectLanguageAlias(const std::string& alias, bool persist) override;
  void RefreshLanguageChip();
  // Places the status text between the tools on the left and `rightEdge` of the editor panel.
  void LayoutStatusText(double rightEdge);
  void ClearSelectedLanguage() override;

  // ---- tick (Quillomancer_GUITick.cpp) and outgoing blocks (Quillomancer_GUISync.cpp) ----
  // [main-thread]
  // QMtx from the editor's texts.
  void SyncTextToParameters();
  // QMlc and QMrf.
  void SyncLineChangeAndReferenceToParameters();
  // QMmd, QMat, QMtk, QMtl and QMgl.
  void SyncSelectionsToParameters();
  // QMmd alone.
  void SyncEditorModeToParameters();

  // ---- status line and accents (Quillomancer_GUIStatus.cpp) ----
  // [main-thread]
  void UpdateStatusDisplay(int32_t state, int32_t takeIndex, int32_t takesRequested, int32_t takesReady,
                           int32_t activity, int32_t countdown);
  void SetManualStatusMessage(const std::string& text, float red, float green, float blue, float alpha) override;
  void UpdateStatusLabelFade();
  void SetLoadButtonArmed(bool armed, bool animated);
  void SetProcessButtonArmed(bool armed, bool animated) override;
  void AdvanceAccentAnimations();
  void UpdateLoadButtonAppearance();
  void UpdateProcessButtonAppearance();
  void UpdateTextLengthCounter();

  // ---- editor modes (Quillomancer_GUIModes.cpp) ----
  // [main-thread]
  void SetEditorMode(QuillomancerMode mode) override;
  void SetLineMode(bool editBefore) override;
  void SyncLineChangeEditorMode(bool forceRestyle);
  void CaptureCurrentModeText();
  void ApplyLineChangeDiffStyling();
  void ResetLineChangeTargetFromSnapshot();
  void ClearLineChangeState() override;
  void ClearVoiceChangeText() override;
  bool IsAutoLineChangeEnabled() const;
  bool IsVoiceChangeMode() const override { return state.editorMode == kQuillomancerMode_VoiceChange; }
  bool IsEditingBeforeText() const override { return state.editingBeforeText; }

  // ---- window operations behind the buttons (Quillomancer_GUIActions.cpp) ----
  // [main-thread]
  void SetRepairToolActive(bool active) override;
  bool IsRepairToolActive() const override { return state.repairToolActive; }
  void ResetForNewAudioLoad() override;
  bool IsRepairPreviewArmed() const override { return state.repairPreviewArmed; }
  void SetRepairPreviewArmed(bool armed) override;
  void SetMainTextInputInteractive(bool on) override;
  void SetMinimumVersionLock(bool locked, const std::string& minimumVersion) override;
  bool IsMediaComposerHost() const override { return state.mediaComposerHost; }
  const std::string& GetCurrentRenderId() const override { return state.renderId; }
  std::optional<int32_t> GetLastShownCredits() const override { return state.lastShownCredits; }
  void SetLastShownCredits(int32_t credits) override { state.lastShownCredits = credits; }
  std::string GetAccountAccessToken() override;

  // ---- repair state (Quillomancer_GUIRepair.cpp) ----
  // [main-thread]
  void ClearTranscriptRepairState();
  void SyncRepairPlanToParameters();
  bool HasEffectiveRepairSelections() const;
  std::string BuildRepairReferenceText() const;
  bool HasUsableTranscriptRepairSource() const;
  void ClearRepairSelections() override;
  void NotifyRepairSelectionChanged() override;
  // Editor modes: the word ranges the editor snaps repair picks to (the Before text's anchors in
  // display locations; none without a usable transcript). [main-thread]
  void UpdateRepairWordDisplayRanges();

  // ---- QMRepairWindowAccess ----
  std::uint8_t EditorMode() const override { return state.editorMode; }
  std::string SourceText() const override { return state.beforeText; }
  std::string TargetText() const override { return state.afterText; }
  QMRepairEditorAccess* TranscriptEditor() const override { return views.editorView; }
  QuillomancerStoreClient Store() override;
  void Log(const std::string& line) override;

  // ---- state ----
  QuillomancerWindowViews views;
  QuillomancerWindowState state;
  QMRepairComponent repair{*this};
  std::shared_ptr<QMSettingsHelper> settingsController;

  // The process name host detection reads (the last part of the program path of the full command
  // line); a test may set another. [main-thread]
  static std::string ProcessName();
  static void SetProcessNameForTesting(std::optional<std::string> name);

 protected:
  // [main-thread]
  void CreateViewContents() override;
  void CreateViewContainer() override;
  void DeleteViewContainer() override;

 private:
  // Building steps (Quillomancer_GUIViews.cpp, Quillomancer_GUISettingsCard.cpp).
  struct BuildContext;
  void BuildHeader(BuildContext& build);
  void BuildInputCard(BuildContext& build);
  void BuildPerformanceRow(BuildContext& build);
  void BuildToolButtons(BuildContext& build);
  void BuildVoiceChangeButton(BuildContext& build);
  void BuildStatusLine(BuildContext& build);
  void BuildSettingsCard(BuildContext& build);
  void WireActions(BuildContext& build);
  bool DetectMediaComposerHost();
  // The stored language chosen again, or forgotten when it is no longer one
  // (Quillomancer_GUILanguage.cpp).
  void ApplyStoredLanguage();
};
