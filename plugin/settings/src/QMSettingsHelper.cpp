// The settings controller's construction and teardown, the window's editor button actions (each
// forwarded to the window that owns the controller) and the entries of the language chooser.

#include "QMSettingsCardInternal.h"

#include "QMWindowLook.h"
#include "Quillomancer_HostProcessor.h"

#include "qm/platform/defaults.h"
#include "qm/platform/thread_check.h"

#include <utility>

namespace {

constexpr const char* kBreathDefaultsKey = "com.quillomancer.addBreathAfterDialogue";

}  // namespace

// [main-thread]
std::shared_ptr<QMSettingsHelper> QMSettingsHelper::Create() { return std::make_shared<QMSettingsHelper>(); }

QMSettingsHelper::QMSettingsHelper() { registerActions(); }

QMSettingsHelper::~QMSettingsHelper() = default;

void QMSettingsHelper::registerActions() {
  using Handler = void (QMSettingsHelper::*)(qm::ui::Object*);
  const std::pair<const char*, Handler> actions[] = {
      {"resetLineChangeTargetAction:", &QMSettingsHelper::resetLineChangeTargetAction},
      {"lineModeChangedAction:", &QMSettingsHelper::lineModeChangedAction},
      {"voiceChangeModeAction:", &QMSettingsHelper::voiceChangeModeAction},
      {"transcribeDummyAction:", &QMSettingsHelper::transcribeDummyAction},
      {"processLoadedAudioAction:", &QMSettingsHelper::processLoadedAudioAction},
      {"breathCheckboxAction:", &QMSettingsHelper::breathCheckboxAction},
      {"repairSelectionChangedAction:", &QMSettingsHelper::repairSelectionChangedAction},
      {"changeToolAction:", &QMSettingsHelper::changeToolAction},
      {"repairToolAction:", &QMSettingsHelper::repairToolAction},
      {"clearLanguageTagAction:", &QMSettingsHelper::clearLanguageTagAction},
      {"toggleLanguageChooserAction:", &QMSettingsHelper::toggleLanguageChooserAction},
      {"languageOptionAction:", &QMSettingsHelper::languageOptionAction},
      {"toggleSettings:", &QMSettingsHelper::toggleSettings},
      {"closeSettings:", &QMSettingsHelper::closeSettings},
      {"toggleTutorial:", &QMSettingsHelper::toggleTutorial},
      {"sendLogAction:", &QMSettingsHelper::sendLogAction},
      {"voteUpAction:", &QMSettingsHelper::voteUpAction},
      {"voteDownAction:", &QMSettingsHelper::voteDownAction},
      {"logoTapped:", &QMSettingsHelper::logoTapped},
      {"checkForUpdatesAction:", &QMSettingsHelper::checkForUpdatesAction},
      {"openDownloadPage:", static_cast<Handler>(&QMSettingsHelper::openDownloadPage)},
      {"retryUpdateFailureAction:", &QMSettingsHelper::retryUpdateFailureAction},
      {"manualDownloadUpdateAction:", &QMSettingsHelper::manualDownloadUpdateAction},
  };
  for (const auto& action : actions) {
    registerAction(action.first, [this, handler = action.second](qm::ui::Object* sender) { (this->*handler)(sender); });
  }
}

// [main-thread]
void QMSettingsHelper::setGuiOwner(QMSettingsHelperOwner* owner) {
  guiOwner_ = owner;
  languageChooser->setOwner(owner);
}

// [main-thread]
void QMSettingsHelper::teardown() {
  QM_ASSERT_THREAD(main);
  closeHelpPopover();
  helpPopover.reset();
  closeLanguageChooser();
  // Nothing scheduled may reach a view once the window is gone.
  deferred.cancelAll();
  views = QMSettingsViews{};
  pendingMessages.clear();
  pendingDismissMessageIds.clear();
  dismissAccessToken.clear();
  showingServerMessage = false;
  activeVote = 0;
  voteAnimationToken = 0;
  logoTapCount = 0;
  logoAnimationToken = 0;
  forceUpdateRequired = false;
  ++teardowns_;
  setGuiOwner(nullptr);
}

// ---- editor button actions ----------------------------------------------------------------------

// [main-thread]
void QMSettingsHelper::resetLineChangeTargetAction(qm::ui::Object*) {
  QMSettingsHelperOwner* window = guiOwner_;
  if (!window) return;
  if (window->IsVoiceChangeMode()) {
    window->ClearVoiceChangeText();
    QMCardLog("GUI event: cleared voice-change text");
  } else if (window->IsRepairToolActive()) {
    window->ClearRepairSelections();
    window->SetRepairPreviewArmed(false);
    window->SetRepairToolActive(false);
    window->SetManualStatusMessage("", 1, 1, 1, 1);
    QMCardLog("GUI event: reset repair state");
  } else {
    window->ClearLineChangeState();
    QMCardLog("GUI event: cleared single-text workflow state");
  }
}

// [main-thread]
void QMSettingsHelper::lineModeChangedAction(qm::ui::Object* sender) {
  QMSettingsHelperOwner* window = guiOwner_;
  if (!window) return;
  const int32_t segment = sender ? sender->valueForKeyAs<int32_t>("selectedSegment").value_or(0) : 0;
  const QuillomancerMode mode = segment == 1  ? kQuillomancerMode_After
                                : segment >= 2 ? kQuillomancerMode_VoiceChange
                                               : kQuillomancerMode_Before;
  window->SetEditorMode(mode);
  const char* name = mode == kQuillomancerMode_After ? "after" : mode == kQuillomancerMode_VoiceChange ? "voice_change" : "before";
  QMCardLog(std::string("GUI event: line mode changed to ") + name);
}

// [main-thread]
void QMSettingsHelper::voiceChangeModeAction(qm::ui::Object*) {
  QMSettingsHelperOwner* window = guiOwner_;
  if (!window) return;
  const bool wasOn = window->IsVoiceChangeMode();
  if (!wasOn) {
    window->SetEditorMode(kQuillomancerMode_VoiceChange);
  } else {
    window->SetEditorMode(window->IsEditingBeforeText() ? kQuillomancerMode_Before : kQuillomancerMode_After);
  }
  QMCardLog(std::string("GUI event: voice change toggled ") + (wasOn ? "off" : "on"));
}

// [main-thread]
void QMSettingsHelper::transcribeDummyAction(qm::ui::Object*) {
  if (guiOwner_) guiOwner_->ResetForNewAudioLoad();
  const AAX_Result result = Quillomancer_HostProcessor::RequestForceAnalyzeForSpike("load_button");
  QMCardLog(QMCardFormat("GUI event: load button pressed -> ForceAnalyze result=%d", result));
}

// [main-thread]
void QMSettingsHelper::processLoadedAudioAction(qm::ui::Object*) {
  if (guiOwner_) {
    guiOwner_->SetProcessButtonArmed(false, true);
    guiOwner_->SetManualStatusMessage("", 1, 1, 1, 1);
  }
  const AAX_Result result = Quillomancer_HostProcessor::RequestProcessLoadedAudio("process_button");
  QMCardLog(QMCardFormat("GUI event: process button pressed -> cached process result=%d", result));
}

// [main-thread]
void QMSettingsHelper::breathCheckboxAction(qm::ui::Object* sender) {
  qm::ui::Button* box = dynamic_cast<qm::ui::Button*>(sender);
  if (!box) box = views.breathCheckbox.get();
  if (!box) return;
  const bool on = box->state() == qm::ui::kStateOn;
  auto& defaults = qm::platform::UserDefaults::standard();
  defaults.set(kBreathDefaultsKey, on);
  defaults.synchronize();
  QMCardLog(std::string("GUI settings: add breath after dialogue = ") + (on ? "ON" : "OFF"));
}

// [main-thread]
void QMSettingsHelper::repairSelectionChangedAction(qm::ui::Object*) {
  if (guiOwner_) guiOwner_->NotifyRepairSelectionChanged();
}

// [main-thread]
void QMSettingsHelper::changeToolAction(qm::ui::Object*) {
  QMSettingsHelperOwner* window = guiOwner_;
  if (!window || window->IsVoiceChangeMode()) return;
  const bool toAfter = window->IsEditingBeforeText();
  if (toAfter) {
    window->SetRepairToolActive(false);
    window->SetLineMode(false);
  } else {
    window->SetLineMode(true);
  }
  QMCardLog(std::string("GUI event: change tool toggled ") + (toAfter ? "on" : "off"));
}

// [main-thread]
void QMSettingsHelper::repairToolAction(qm::ui::Object*) {
  QMSettingsHelperOwner* window = guiOwner_;
  if (!window || window->IsVoiceChangeMode()) return;
  const bool wasOn = window->IsRepairToolActive();
  if (!wasOn) {
    window->SetLineMode(true);
    window->SetRepairToolActive(true);
  } else {
    window->SetRepairToolActive(false);
  }
  QMCardLog(std::string("GUI event: repair tool toggled ") + (wasOn ? "off" : "on"));
}

// [main-thread]
void QMSettingsHelper::clearLanguageTagAction(qm::ui::Object*) {
  if (!guiOwner_) return;
  guiOwner_->ClearSelectedLanguage();
  QMCardLog("GUI event: cleared language bubble");
}

// ---- language chooser -------------------------------------------------------------------------

// [main-thread]
void QMSettingsHelper::toggleLanguageChooserAction(qm::ui::Object* sender) {
  if (guiOwner_) languageChooser->toggleLanguageChooserAction(sender);
}

// [main-thread]
void QMSettingsHelper::rebuildLanguageChooserResults() { languageChooser->rebuildLanguageChooserResults(); }

// [main-thread]
void QMSettingsHelper::languageOptionAction(qm::ui::Object* sender) {
  if (guiOwner_) languageChooser->languageOptionAction(sender);
}

// [main-thread]
void QMSettingsHelper::closeLanguageChooser() { languageChooser->closeLanguageChooser(); }

// [main-thread]
void QMSettingsHelper::discardLanguageChooserViews() { languageChooser->discardLanguageChooserViews(); }

// ---- text styles of the card ------------------------------------------------------------------

namespace {

qm::ui::TextAttributes CardTextAttributes(const qm::ui::Color& colour, qm::ui::ParagraphStyle paragraph) {
  qm::ui::TextAttributes attributes;
  attributes.foregroundColor = colour;
  attributes.font = qm::ui::Font::system(11);
  attributes.paragraphStyle = paragraph;
  return attributes;
}

}  // namespace

void QMApplySmallSecondaryButtonTitle(qm::ui::Button* button, const std::string& title) {
  if (!button) return;
  qm::ui::ParagraphStyle paragraph;
  paragraph.alignment = qm::ui::TextAlignment::Center;
  button->setAttributedTitle(qm::ui::AttributedString(title, CardTextAttributes(QMTextSecondary(), paragraph)));
  button->setAlignment(qm::ui::TextAlignment::Center);
}

qm::ui::AttributedString QMVersionLabelAttributedString(const std::string& text, std::optional<qm::ui::Color> colour) {
  qm::ui::ParagraphStyle paragraph;
  paragraph.alignment = qm::ui::TextAlignment::Right;
  paragraph.lineBreakMode = qm::ui::LineBreakMode::WordWrapping;
  paragraph.lineSpacing = 2;
  return qm::ui::AttributedString(text, CardTextAttributes(colour.value_or(QMTextSecondary()), paragraph));
}
