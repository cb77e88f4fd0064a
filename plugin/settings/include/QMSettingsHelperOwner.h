#pragma once
// What the settings controller uses of the window that owns it. The window room sits above this
// one, so the controller never sees the window's class: the window implements this interface and
// hands itself over as the controller's `guiOwner`. Every call comes on the main thread; the
// controller checks that it still has an owner before each one (teardown forgets it). The
// language chooser the controller holds reaches the same window for the language it picks.

#include "QMLanguageChooser.h"
#include "QuillomancerStoreVocabulary.h"

#include <cstdint>
#include <optional>
#include <string>

class QMSettingsHelperOwner : public QMLanguageChooserOwner {
 public:
  virtual ~QMSettingsHelperOwner() = default;

  // ---- editor state the button actions ask about ----
  virtual bool IsVoiceChangeMode() const = 0;
  virtual bool IsEditingBeforeText() const = 0;
  virtual bool IsRepairToolActive() const = 0;
  virtual bool IsMediaComposerHost() const = 0;

  // ---- editor operations the button actions drive ----
  virtual void SetEditorMode(QuillomancerMode mode) = 0;
  virtual void SetLineMode(bool editBefore) = 0;
  virtual void SetRepairToolActive(bool active) = 0;
  virtual void ClearRepairSelections() = 0;
  virtual void NotifyRepairSelectionChanged() = 0;
  virtual void ClearLineChangeState() = 0;
  virtual void ClearVoiceChangeText() = 0;
  virtual void ResetForNewAudioLoad() = 0;
  virtual void ClearSelectedLanguage() = 0;
  // A short message in the status line; the empty text ends the one showing.
  virtual void SetManualStatusMessage(const std::string& text, float red, float green, float blue, float alpha) = 0;
  virtual void SetProcessButtonArmed(bool armed, bool animated) = 0;

  // ---- what the settings card, the votes, the logo and the updates use ----
  // Typing into the transcript editor on or off (off while the card covers it).
  virtual void SetMainTextInputInteractive(bool on) = 0;
  // The render id of the last generation; empty when none is current.
  virtual const std::string& GetCurrentRenderId() const = 0;
  virtual bool IsRepairPreviewArmed() const = 0;
  virtual void SetRepairPreviewArmed(bool armed) = 0;
  // The forced-update lock; the window passes it to the processor on its next timer call.
  virtual void SetMinimumVersionLock(bool locked, const std::string& minimumVersion) = 0;
  // The credit balance last shown on the card's credits line; none until an answer gave one.
  virtual std::optional<int32_t> GetLastShownCredits() const = 0;
  virtual void SetLastShownCredits(int32_t credits) = 0;
  // The window's copy of the account access token; empty for none.
  virtual std::string GetAccountAccessToken() = 0;
};
