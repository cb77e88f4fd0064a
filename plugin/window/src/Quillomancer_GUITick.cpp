// The host's timer call: the one place where the window reads what the processor left in the
// store. In a fixed order it polls the updater's status, mirrors the repair preview, resets the
// editor for new audio, applies a new transcript, pushes the editor's state, reads the render id
// and the status record, drives the state machine (button accents, focus, the transition log, the
// "No difference" hint), keeps the manual message alive, and advances the fade and the accents.
// Every read is one of the store client's checked reads: it takes at most its limit and copies the
// block once, and the window works on the copy.

#include "Quillomancer_GUI.h"

#include "AAX_Errors.h"
#include "QMLanguages.h"
#include "QMWindowLook.h"
#include "QuillomancerLogger.h"

#include "qm/platform/text.h"
#include "qm/platform/thread_check.h"
#include "qm/platform/time.h"
#include "qm/ui/attributed_string.h"
#include "qm/ui/image.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* kNoDifferenceMessage = "No difference";
constexpr double kManualMessageLifetimeSeconds = 9.0;

// A transcript the processor left, applied to the editor as the new Before text.
void ApplyTranscriptPayload(Quillomancer_GUI& gui, const std::string& payload) {
  QuillomancerWindowState& state = gui.state;
  std::string text;
  std::vector<QuillomancerTranscriptWordTiming> timings;
  if (!QMParseTranscriptPayloadJSON(payload, &text, &timings)) {
    text = payload;
    timings.clear();
  }
  gui.ClearTranscriptRepairState();
  if (QMTrackedTextEditorView* editor = gui.views.editorView) {
    editor->setTargetText(qm::platform::utf8ToUtf16(text));
    editor->setRepairWordDisplayRanges({});
  }
  state.beforeText = text;
  state.afterText.clear();
  state.afterTextEdited = false;
  state.editingBeforeText = true;
  state.repairToolActive = false;
  state.editorMode = kQuillomancerMode_Before;
  state.lastSentText.clear();
  state.ForgetLeftTags();
  const std::size_t timedWords = timings.size();
  gui.repair.SetTranscript(text, std::move(timings));
  QMLogFormat("GUI transcribe: applied %zu-byte payload, textChars=%zu, timedWords=%zu", payload.size(), text.size(),
              timedWords);
  gui.UpdateChangeToolButtonAppearance();
  gui.UpdateRepairToolButtonAppearance();
  gui.SyncLineChangeEditorMode(true);
  gui.SyncRepairPlanToParameters();
  gui.SetProcessButtonArmed(true, true);
}

void SetHidden(qm::ui::View* view, bool hidden) {
  if (view) view->setHidden(hidden);
}

// Controls and the mode selector (a view of its own) alike.
template <typename Enablable>
void SetEnabled(Enablable* control, bool enabled) {
  if (control) control->setEnabled(enabled);
}

// The editor's text view: editable and selectable as asked, each changed only when it differs.
void SetEditorInteraction(QMTrackedTextEditorView* editor, bool editable, bool selectable) {
  if (!editor || !editor->textView()) return;
  qm::ui::TextView* text = editor->textView();
  if (text->isEditable() != editable) text->setEditable(editable);
  if (text->isSelectable() != selectable) text->setSelectable(selectable);
}

// The forced-update lock passed to the processor and applied to the controls.
void ApplyUpdateLock(Quillomancer_GUI& gui, const QuillomancerStoreClient& store, bool writeAlways) {
  QuillomancerWindowState& state = gui.state;
  const QuillomancerWindowViews& v = gui.views;
  const uint8_t locked = state.minimumVersionLock ? 1 : 0;
  if (locked != state.lastSentUpdateLock || writeAlways) {
    state.lastSentUpdateLock = locked;
    store.WriteByte(kQMBlock_CompatibilityLock, locked);
  }
  if (locked) {
    SetHidden(v.settingsCardHolder, false);
    SetEditorInteraction(v.editorView, false, false);
    SetEnabled(v.modeSelector, false);
    for (qm::ui::Control* control : std::initializer_list<qm::ui::Control*>{
             v.clearTextButton, v.changeToolButton, v.repairToolButton, v.voiceChangeButton}) {
      SetEnabled(control, false);
    }
    for (qm::ui::View* view : {v.modeSelectorShell, static_cast<qm::ui::View*>(v.performanceLabel),
                               static_cast<qm::ui::View*>(v.takeSelector)}) {
      SetHidden(view, true);
    }
    return;
  }
  const bool voiceChange = gui.IsVoiceChangeMode();
  SetEditorInteraction(v.editorView, !voiceChange && !state.repairToolActive, !voiceChange);
  if (v.editorView) v.editorView->setRepairSelectionMode(state.repairToolActive);
  SetEnabled(v.modeSelector, !voiceChange);
  for (qm::ui::View* view : {v.modeSelectorShell, static_cast<qm::ui::View*>(v.performanceLabel),
                             v.processButtonShell, static_cast<qm::ui::View*>(v.clearTextButton),
                             v.changeToolShell, v.repairToolShell}) {
    SetHidden(view, voiceChange);
  }
  SetEnabled(v.clearTextButton, !voiceChange);
  SetEnabled(v.voiceChangeButton, true);
  SetHidden(v.takeSelector, false);
}

// The editor counts UTF-16 units, the tag cleaning UTF-8 bytes.
std::size_t ByteOffset(const std::string& text, std::size_t units) {
  const std::u16string decoded = qm::platform::utf8ToUtf16(text);
  return qm::platform::utf16ToUtf8(
             std::u16string_view(decoded).substr(0, qm::platform::utf16PrefixLength(decoded, units)))
      .size();
}
std::size_t UnitOffset(const std::string& text, std::size_t bytes) {
  return qm::platform::utf16Length(std::string_view(text).substr(0, std::min(bytes, text.size())));
}

// A text without its language tags, and where each place of it went. A tag taken out can close
// a new one around it ("(i(fr)t)" leaves "(it)"), so the removal runs again on what it left until
// no tag remains; the first tag found chooses the language.
struct Cleaning {
  bool resolved = false;
  std::string text;
  QMLanguageSelection selection;
  std::vector<std::size_t> positions;  // each byte offset of the input to one of `text`
};

Cleaning CleanTags(const std::string& text) {
  Cleaning c;
  c.resolved = QMExtractFishLanguageTags(text, &c.text, &c.selection, &c.positions);
  std::string again;
  std::vector<std::size_t> moved;
  while (c.resolved && QMExtractFishLanguageTags(c.text, &again, nullptr, &moved) && again != c.text) {
    for (std::size_t& p : c.positions) p = moved[p];
    c.text = std::move(again);
  }
  return c;
}

// The line must not depend on when the timer call falls. Typed at once, "(it) " before "take"
// leaves "please take" and " (fr)abc" at the end leaves "one abc"; with a call between the keys,
// the tag went first, and the space typed after it doubled the one before it, or the trim took
// the space before the tag and "abc" stuck to "one". The rule: keys typed at the caret where it
// stood when a tag left count as typed before the tag left. While a text is what the cleaning
// left plus keys typed at that place (nothing else changed, no mode switch), the cleaning runs on
// the text as it stood with its tag plus those keys, which is what it would have seen with no
// call between; so the tag and the spaces around it leave one space, wherever the call fell. Any
// other change of the text ends this, and so does the user placing the caret (a click, an arrow,
// Home or End, a paste), even back where it was: keys typed after that land where
// the caret stands, in the text as shown.
struct TagPass {
  std::string source;                  // the text, or the text as it stood with the tag and keys
  std::vector<std::size_t> toSource;   // each byte offset of the text to the same place in source
  bool holdsTag = false;               // the text itself holds a tag (that chooses the language)
  Cleaning cleaning;                   // of the source
  // Where a place of the text lands in the cleaned text.
  std::size_t Land(std::size_t at) const { return cleaning.positions[toSource[at]]; }
};

// The text as `left` says it stood, with the keys typed at its place since; nothing when the
// text is not what the cleaning left plus keys typed there.
std::optional<TagPass> WithKeysAtTheTag(const QuillomancerLeftTag& left, const std::string& text) {
  const std::string& was = left.cleaned;
  const std::size_t at = left.cleanedAt;
  if (text.size() <= was.size() || text.compare(0, at, was, 0, at) != 0 ||
      text.compare(text.size() - (was.size() - at), std::string::npos, was, at) != 0) {
    return std::nullopt;
  }
  const std::size_t typed = text.size() - was.size();
  TagPass pass;
  pass.source = left.raw;
  pass.source.insert(left.rawAt, text, at, typed);
  pass.cleaning = CleanTags(pass.source);
  // Keys that break the tag they follow, or that would make the line too long, are typed after it.
  if (!pass.cleaning.resolved ||
      qm::platform::utf16Length(pass.cleaning.text) > QMTrackedTextEditorView::kMaxLength) {
    return std::nullopt;
  }
  pass.toSource.resize(text.size() + 1);
  const auto first = [&](std::size_t c) {  // the first place of `raw` that landed on c
    return std::size_t(std::lower_bound(left.positions.begin(), left.positions.end(), c) - left.positions.begin());
  };
  for (std::size_t i = 0; i <= text.size(); ++i) {
    pass.toSource[i] = i < at            ? first(i)
                       : i <= at + typed ? left.rawAt + (i - at)
                                         : first(i - typed) + typed;
  }
  return pass;
}

// One text's pass: its own tags out, or the keys typed where a tag left (see above); `left`
// follows it. `at` is the place in the text where keys go (npos: none go there); `placements`
// is the text view's count of caret placements.
TagPass PassOverText(const std::string& text, std::optional<QuillomancerLeftTag>& left, std::size_t at,
                     std::uint64_t placements) {
  if (left && left->caretPlacements != placements) left.reset();
  std::optional<TagPass> replay;
  if (left && text != left->cleaned) replay = WithKeysAtTheTag(*left, text);
  TagPass pass;
  if (replay) {
    pass = std::move(*replay);
    pass.holdsTag = QMExtractFishLanguageTags(text, nullptr, nullptr);
  } else {
    pass.source = text;
    pass.toSource.resize(text.size() + 1);
    for (std::size_t i = 0; i <= text.size(); ++i) pass.toSource[i] = i;
    pass.cleaning = CleanTags(text);
    pass.holdsTag = pass.cleaning.resolved;
  }
  if (pass.cleaning.resolved && at != std::string::npos) {
    const std::size_t rawAt = pass.toSource[std::min(at, text.size())];
    left = QuillomancerLeftTag{pass.source, rawAt, pass.cleaning.text, pass.cleaning.positions[rawAt],
                               pass.cleaning.positions, placements};
  } else if (!left || text != left->cleaned) {
    left.reset();
  }
  return pass;
}

// A language tag typed into the line ("(es)") chooses the language and leaves the text in the
// same timer call that found it, so keys typed after it land in the text as it then stands. It
// leaves every line that holds it (one typed into text both lines share went into both; one typed
// just before a mode switch stands in the other text); the edited text's tag chooses first. The
// editor then shows the texts again, in whatever display they now call for, with the caret (or
// selection) kept among the characters that stay: the cleaning tells where each place went, as
// it may squeeze and trim the text in several places.
void ApplyLanguageTags(Quillomancer_GUI& gui) {
  QMTrackedTextEditorView* editor = gui.views.editorView;
  QuillomancerWindowState& state = gui.state;
  if (gui.IsVoiceChangeMode() || editor->hasActiveMarkedText()) return;
  const bool before = state.editingBeforeText;
  std::string& edited = before ? state.beforeText : state.afterText;
  std::string& other = before ? state.afterText : state.beforeText;

  qm::ui::TextView& view = *editor->textView();
  const qm::ui::TextStorage* storage = &view.textStorage();
  const bool onReference = editor->editReferenceWhileShowingDiff();
  const qm::ui::Range shown = view.selectedRange();
  const auto offsetAt = [&](std::size_t location) {
    return onReference ? editor->referenceOffsetForDisplayLocation(location, storage)
                       : editor->targetOffsetForDisplayLocation(location, storage);
  };
  const std::size_t from = ByteOffset(edited, offsetAt(shown.location));
  const std::size_t to = ByteOffset(edited, offsetAt(shown.end()));
  // Keys typed into the Before text of the diff display go into the After text too where both
  // hold the text, at this place.
  const std::size_t otherAt =
      onReference ? ByteOffset(other, editor->targetOffsetForDisplayLocation(shown.location, storage))
                  : std::string::npos;
  const std::uint64_t placements = editor->textView()->caretPlacements();
  const TagPass e = PassOverText(edited, before ? state.beforeLeftTag : state.afterLeftTag, from, placements);
  const TagPass o = PassOverText(other, before ? state.afterLeftTag : state.beforeLeftTag, otherAt, placements);

  const bool editedChanges = e.cleaning.resolved && e.cleaning.text != edited;
  const bool otherChanges = o.cleaning.resolved && o.cleaning.text != other;
  if (editedChanges || otherChanges) {
    // The picks point into the texts with their tags.
    if (gui.repair.HasRepairSelections()) gui.ClearRepairSelections();
    if (e.cleaning.resolved) edited = e.cleaning.text;
    if (o.cleaning.resolved) other = o.cleaning.text;
    gui.SyncLineChangeEditorMode(false);
    const auto locationOf = [&](std::size_t bytes) {
      const std::size_t offset = UnitOffset(edited, e.Land(bytes));
      return editor->editReferenceWhileShowingDiff() ? editor->displayLocationForReferenceOffset(offset, storage)
                                                     : editor->displayLocationForTargetOffset(offset, storage);
    };
    const std::size_t a = locationOf(from), b = std::max(a, locationOf(to));
    view.setSelectedRange(qm::ui::Range{a, b - a});
  }
  const TagPass& chooser = e.holdsTag ? e : o;
  const QMLanguageSelection& selection = chooser.cleaning.selection;
  if (chooser.holdsTag && !selection.bubble.empty()) {
    gui.SetSelectedLanguage(selection.prompt, selection.bubble, selection.code, true);
  }
}

// The editor's texts read back, tags applied and QMtx pushed. The toolkit's range error
// (the platform's exception) raised on the way is dropped; the placeholder and the counter are
// refreshed either way.
void SyncEditorTexts(Quillomancer_GUI& gui) {
  if (!gui.views.editorView) return;
  try {
    gui.CaptureCurrentModeText();
    gui.RefreshLanguageChip();
    ApplyLanguageTags(gui);
    gui.SyncTextToParameters();
  } catch (const qm::ui::RangeError&) {
  }
  gui.UpdateTextPlaceholderVisibility();
  gui.UpdateTextLengthCounter();
}

// The reset button's look, set on every tick.
void UpdateClearTextButton(Quillomancer_GUI& gui) {
  qm::ui::Button* button = gui.views.clearTextButton;
  if (!button) return;
  button->setHidden(gui.IsVoiceChangeMode());
  button->setEnabled(!gui.state.minimumVersionLock);
  button->setToolTip("Clear text");
  const std::shared_ptr<qm::ui::Image>& current = button->image();
  if (!current || current->symbolName() != "arrow.counterclockwise") {
    button->setImage(qm::ui::Image::systemSymbol("arrow.counterclockwise", "Reset text"));
  }
  const std::string title = button->image() ? "" : "\u21BA";
  if (button->title() != title) button->setTitle(title);
}

// A new render id enables the votes; none clears the vote shown.
void ApplyRenderId(Quillomancer_GUI& gui, const QuillomancerStoreClient& store) {
  const std::string id = store.ReadCheckedText(kQMBlock_RenderID, kQMReadLimit_RenderID).value_or("");
  if (id == gui.state.renderId) return;
  gui.state.renderId = id;
  SetEnabled(gui.views.voteUpButton, !id.empty());
  SetEnabled(gui.views.voteDownButton, !id.empty());
  if (id.empty() && gui.settingsController) {
    gui.settingsController->setActiveVote(0);
    gui.settingsController->applyVoteVisualState();
  }
}

// A positive balance that changed is shown on the settings card.
void ApplyCredits(Quillomancer_GUI& gui, int32_t credits) {
  if (credits <= 0 || credits == gui.state.lastShownCredits) return;
  gui.state.lastShownCredits = credits;
  if (qm::ui::TextField* label = gui.views.creditsLabel) {
    char text[32];
    std::snprintf(text, sizeof text, "Credits: %d", credits);
    label->setStringValue(text);
    label->setTextColor(credits <= 5 ? QMAccentOrange() : QMTextSecondary());
  }
}

void NoteState(QuillomancerWindowState& state, int32_t shown) {
  if (state.hasLastState && state.lastState == shown) return;
  state.lastState = shown;
  state.hasLastState = true;
  QMLogFormat("GUI state transition: %s", QuillomancerStateName(shown));
}

// The window's own lock shows "update required" whatever the processor reports.
void ShowForcedUpdateRequired(Quillomancer_GUI& gui) {
  NoteState(gui.state, kQuillomancerState_UpdateRequired);
  gui.UpdateStatusDisplay(kQuillomancerState_UpdateRequired, 0, 0, 0, 0, 0);
}

void DropManualMessage(QuillomancerWindowState& state) {
  state.manualMessageActive = false;
  state.manualMessageText.clear();
}

// The processor's state on the window: button accents, focus, the transition log and the
// "No difference" hint.
void RunStateMachine(Quillomancer_GUI& gui, const QuillomancerStatusRecord& record) {
  QuillomancerWindowState& state = gui.state;
  int32_t s = record.state;
  const int32_t previous = state.hasLastState ? state.lastState : kQuillomancerState_Ready;
  const auto busy = [](int32_t st) {
    return st == kQuillomancerState_Analyzing || st == kQuillomancerState_Processing;
  };
  if (busy(s) && !busy(previous)) {
    gui.ReleaseMainTextInputFocus();
    DropManualMessage(state);
    if (s == kQuillomancerState_Analyzing) {
      gui.SetLoadButtonArmed(false, true);
      gui.SetProcessButtonArmed(false, false);
    } else {
      gui.SetProcessButtonArmed(false, true);
    }
  }
  if (previous == kQuillomancerState_HasTakes &&
      ((s == kQuillomancerState_HasTakes && record.takeIndex != state.lastTakeIndex) ||
       s == kQuillomancerState_Ready)) {
    gui.ReleaseMainTextInputFocus();
    if (s == kQuillomancerState_Ready) {
      gui.SetLoadButtonArmed(true, true);
      gui.SetProcessButtonArmed(false, false);
    }
  }
  // The processor asks for a text the window has sent since: nothing is missing any more.
  if (s == kQuillomancerState_InputTextRequired && !state.lastSentText.empty()) s = kQuillomancerState_Ready;
  NoteState(state, s);
  gui.UpdateStatusDisplay(s, record.takeIndex, record.takesRequested, record.takesReady, record.asyncActivity,
                          record.countdown);
  state.lastTakeIndex = s == kQuillomancerState_HasTakes ? record.takeIndex : -1;
  if (s == kQuillomancerState_Ready && !state.editingBeforeText && state.afterTextEdited &&
      !state.beforeText.empty() && state.beforeText == state.afterText &&
      !(state.manualMessageActive && state.manualMessageText == kNoDifferenceMessage)) {
    gui.SetManualStatusMessage(kNoDifferenceMessage, 0.953f, 0.612f, 0.071f, 1.0f);
  }
}

// An active manual message stands over the state's text for its lifetime.
void KeepManualMessage(Quillomancer_GUI& gui) {
  QuillomancerWindowState& state = gui.state;
  if (!state.manualMessageActive) return;
  const double elapsed = std::max(0.0, qm::platform::currentTimeSeconds() - state.manualMessageStartedAt);
  if (elapsed >= kManualMessageLifetimeSeconds) {
    DropManualMessage(state);
    return;
  }
  qm::ui::TextField* label = gui.views.statusLabel;
  if (!label) return;
  if (label->stringValue() != state.manualMessageText) label->setStringValue(state.manualMessageText);
  const auto& c = state.manualMessageColour;
  label->setTextColor(qm::ui::Color::deviceRGB(c[0], c[1], c[2], c[3]));
  state.statusFades = true;
}

void Tick(Quillomancer_GUI& gui) {
  const QuillomancerStoreClient store = gui.Store();
  if (!store.IsBound()) return;
  QuillomancerWindowState& state = gui.state;
  const std::shared_ptr<QMSettingsHelper> controller = gui.settingsController;
  // A window's first tick writes every outgoing block, whatever another window left in the store.
  const bool writeAll = !state.outgoingBlocksWritten;

  if (controller) controller->processUpdaterStatusFromDefaults();

  const bool previewArmed = store.ReadCheckedFlag(kQMBlock_RepairPreview);
  if (previewArmed != state.repairPreviewArmed) gui.SetRepairPreviewArmed(previewArmed);

  if (store.ReadCheckedFlag(kQMBlock_NewAudioLoaded)) {
    gui.ResetForNewAudioLoad();
    store.Clear(kQMBlock_NewAudioLoaded);
  }

  if (gui.views.editorView) {
    if (const auto block = store.ReadCheckedText(kQMBlock_TranscriptPayload, kQMTranscriptPayloadMaxBytes)) {
      ApplyTranscriptPayload(gui, *block);
      store.Clear(kQMBlock_TranscriptPayload);
      QuillomancerLogger::shared().logMessage("GUI: applied transcribe result to text box");
    }
  }

  if (gui.settingsController) gui.settingsController->flushQueuedMessageDismissals();

  ApplyUpdateLock(gui, store, writeAll);
  SyncEditorTexts(gui);
  gui.SyncLineChangeAndReferenceToParameters();
  UpdateClearTextButton(gui);

  gui.UpdateChangeToolButtonAppearance();
  gui.UpdateRepairToolButtonAppearance();
  if (gui.views.voiceChangeButton) gui.UpdateVoiceChangeModeButtonAppearance();
  gui.UpdateLoadButtonAppearance();
  gui.UpdateProcessButtonAppearance();
  gui.SyncLineChangeEditorMode(false);
  gui.SyncRepairPlanToParameters();
  gui.SyncSelectionsToParameters();
  // Every block has been written once when the editor was there to give the text.
  if (gui.views.editorView) state.outgoingBlocksWritten = true;

  ApplyRenderId(gui, store);

  if (const std::optional<QuillomancerStatusRecord> record = store.ReadCheckedStatus()) {
    if (record->state == kQuillomancerState_Error) {
      state.errorText = store.ReadCheckedText(kQMBlock_ErrorText, kQMReadLimit_ErrorText).value_or("");
    }
    ApplyCredits(gui, record->creditBalance);
    if (state.minimumVersionLock) {
      ShowForcedUpdateRequired(gui);
    } else {
      RunStateMachine(gui, *record);
    }
  } else if (state.minimumVersionLock) {
    ShowForcedUpdateRequired(gui);
  }

  KeepManualMessage(gui);
  gui.UpdateStatusLabelFade();
  gui.AdvanceAccentAnimations();
}

}  // namespace

// The host's answer is success in every case; an exception that is not the toolkit's range error
// stops here (the host's call is no place for it) and is logged.
// [main-thread]
AAX_Result Quillomancer_GUI::TimerWakeup() noexcept {
  QM_ASSERT_THREAD(main);
  try {
    Tick(*this);
  } catch (const std::exception& e) {
    QMLogFormat("GUI: timer call stopped by an exception: %s", e.what());
  } catch (...) {
    QuillomancerLogger::shared().logMessage("GUI: timer call stopped by an exception");
  }
  return AAX_SUCCESS;
}
