#pragma once
// The settings controller: one per window, created when the window builds its view and torn down
// when the host closes it. It drives the settings card (credits, server health, messages, votes,
// Send Log, the update offer, the updater's progress and the forced-update lock), it is the
// target of the window's buttons, and it reaches the window only through its owner interface
// (`guiOwner`). It is a toolkit object held by shared ownership: the window keeps one reference
// and the window's shell view another (association "settingsHelper"); work queued on other
// queues keeps it alive and finds the window gone after teardown. Main thread only.
//
// Its actions are registered by name ("toggleSettings:", ...) so that buttons send them with
// themselves as sender. Where the behaviour lives:
//   QMSettingsHelper.cpp         construction, teardown, the editor button actions (forwarded to
//                                the window), the language chooser's entries
//   QMSettingsCard.cpp           the card: open and close, the editor lock, credits, help
//   QMSettingsSupport.cpp        Send Log
//   QMSettingsMessages.cpp       server messages and the health indicator
//   QMSettingsVotes.cpp          render votes and the logo
//   QMSettingsEvents.cpp         the plug-in events queue
//   QMSettingsUpdates.cpp        the account-status answer, the update offer, the hand-off to the
//                                updater and its progress, the forced-update lock

#include "QMControls.h"
#include "QMDeferredUIBlocks.h"
#include "QMLanguageChooser.h"
#include "QMSettingsHelperOwner.h"
#include "QMUpdaterHandoff.h"
#include "QuillomancerServer.h"

#include "qm/ui/button.h"
#include "qm/ui/image_view.h"
#include "qm/ui/object.h"
#include "qm/ui/popover.h"
#include "qm/ui/text_field.h"
#include "qm/ui/view.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The views of the window that the controller drives, handed over when the window is built and
// released by teardown. Any of them may be missing; every use checks.
struct QMSettingsViews {
  // The card holder (with its shadow) and its three pages; the window's interaction shield.
  std::shared_ptr<qm::ui::View> settingsCard;
  std::shared_ptr<qm::ui::View> mainView;
  std::shared_ptr<qm::ui::View> updateRequiredView;
  std::shared_ptr<QMModalInteractionShieldView> messageView;
  std::shared_ptr<QMModalInteractionShieldView> modalInteractionShield;
  // Main page.
  std::shared_ptr<qm::ui::TextField> creditsLabel;
  std::shared_ptr<QMOrangeCheckbox> breathCheckbox;
  std::shared_ptr<QMModeTextButton> sendLogBtn;
  std::shared_ptr<QMModeTextButton> checkUpdatesBtn;
  std::shared_ptr<qm::ui::View> healthDot;
  std::shared_ptr<qm::ui::TextField> healthLabel;
  std::shared_ptr<qm::ui::TextField> versionLabel;
  std::shared_ptr<qm::ui::Button> updateButton;
  // Update-required page.
  std::shared_ptr<qm::ui::TextField> updateReqMsgLabel;
  std::shared_ptr<qm::ui::TextField> updateReqMinLabel;
  std::shared_ptr<qm::ui::View> updateReqHealthDot;
  std::shared_ptr<qm::ui::TextField> updateReqHealthLabel;
  std::shared_ptr<qm::ui::TextField> updateReqVersionLabel;
  std::shared_ptr<qm::ui::Button> updateReqUpdateButton;
  // Message page.
  std::shared_ptr<qm::ui::TextField> messageTitleLabel;
  std::shared_ptr<qm::ui::TextField> messageBodyLabel;
  std::shared_ptr<qm::ui::Button> updateFailureRetryButton;
  std::shared_ptr<qm::ui::Button> updateFailureManualButton;
  // Header of the window.
  std::shared_ptr<qm::ui::TextField> updateBadgeLabel;
  std::shared_ptr<qm::ui::Button> updateBadgeButton;
  std::shared_ptr<qm::ui::Button> helpButton;
  std::shared_ptr<qm::ui::Button> voteUpBtn;
  std::shared_ptr<qm::ui::Button> voteDownBtn;
  std::shared_ptr<qm::ui::ImageView> logoView;
  std::shared_ptr<qm::ui::ImageView> easterEggLogoView;
  std::shared_ptr<qm::ui::Button> logoTapButton;
};

class QMSettingsHelper : public qm::ui::Object, public QMUpdaterHandoffOwner {
 public:
  // [main-thread]
  static std::shared_ptr<QMSettingsHelper> Create();
  QMSettingsHelper();
  ~QMSettingsHelper() override;

  // ---- owner ----
  QMSettingsHelperOwner* guiOwner() const { return guiOwner_; }
  // Also the language chooser's owner. [main-thread]
  void setGuiOwner(QMSettingsHelperOwner* owner);

  // ---- construction and teardown (QMSettingsHelper.cpp) ----
  // Releases the views and the popovers, cancels the delayed steps, resets the counters, and
  // forgets the window last. Afterwards no action touches a view. [main-thread]
  void teardown();
  // How often teardown ran (once in a window's life).
  int teardownCount() const { return teardowns_; }

  // ---- editor button actions (QMSettingsHelper.cpp); each takes the sending control ----
  // [main-thread]
  void resetLineChangeTargetAction(qm::ui::Object* sender);
  void lineModeChangedAction(qm::ui::Object* sender);
  void voiceChangeModeAction(qm::ui::Object* sender);
  void transcribeDummyAction(qm::ui::Object* sender);
  void processLoadedAudioAction(qm::ui::Object* sender);
  void breathCheckboxAction(qm::ui::Object* sender);
  void repairSelectionChangedAction(qm::ui::Object* sender);
  void changeToolAction(qm::ui::Object* sender);
  void repairToolAction(qm::ui::Object* sender);
  void clearLanguageTagAction(qm::ui::Object* sender);

  // ---- language chooser (QMSettingsHelper.cpp), forwarded to the chooser ----
  // [main-thread]
  void toggleLanguageChooserAction(qm::ui::Object* sender);
  void rebuildLanguageChooserResults();
  void languageOptionAction(qm::ui::Object* sender);
  void closeLanguageChooser();
  // Drops the chooser's popover and views; the next opening builds them anew. [main-thread]
  void discardLanguageChooserViews();
  // The chooser's views (null until it was first opened).
  qm::ui::Popover* languagePopover() const { return languageChooser->languagePopover(); }
  qm::ui::TextField* languageSearchField() const { return languageChooser->languageSearchField(); }
  qm::ui::ScrollView* languageResultsScrollView() const { return languageChooser->languageResultsScrollView(); }
  qm::ui::StackView* languageResultsStack() const { return languageChooser->languageResultsStack(); }

  // ---- the card (QMSettingsCard.cpp) ----
  // [main-thread]
  void toggleSettings(qm::ui::Object* sender);
  void closeSettings(qm::ui::Object* sender);
  void syncBackgroundEditorForSettingsVisibility();
  void toggleTutorial(qm::ui::Object* sender);
  void closeHelpPopover();
  void rebuildHelpPopover();
  // The card's main page with the credit balance; none (no answer has given one) shows
  // "Credits: —".
  void showCredits(std::optional<int32_t> credits);

  // ---- Send Log (QMSettingsSupport.cpp) ----
  // [main-thread]
  void sendLogAction(qm::ui::Object* sender);

  // ---- server messages and health (QMSettingsMessages.cpp) ----
  // [main-thread]
  void flushQueuedMessageDismissals();
  // Colours the health dots from the service's answer; a check already under way is not doubled
  // (its answer serves both). [main-thread]
  void checkServerHealth();

  // ---- votes and logo (QMSettingsVotes.cpp) ----
  // [main-thread]
  void voteUpAction(qm::ui::Object* sender);
  void voteDownAction(qm::ui::Object* sender);
  void logoTapped(qm::ui::Object* sender);
  void setActiveVote(int vote);
  void applyVoteVisualState();

  // ---- plug-in events (QMSettingsEvents.cpp) ----
  // An empty request id or error code stands for none. [main-thread]
  void recordPluginEvent(const std::string& event, const std::string& requestId,
                         const std::string& errorCode) override;

  // ---- card, messages, Send Log, votes and events: further entries (QMSettingsCard.cpp and siblings) ----
  // Queues the messages that carry an id and shows the first; nothing without messages or token;
  // the token sends the dismissals. [main-thread]
  void showServerMessagesSequentially(const std::vector<QuillomancerServer::ServerMessage>& messages,
                                      const std::string& accessToken);
  void showNextServerMessage();
  // Ends the message display and queues every queued message's id for dismissal. [main-thread]
  void dismissCurrentServerMessage();
  // Lights a thumb, sends the vote when a render id and a token are known, fades back. [main-thread]
  void queueVote(QuillomancerServer::VoteType voteType, int activeState);
  void applyVoteVisualFadeProgress(double progress);
  // The events queue for the account-status exchange (see QMPluginEventsQueue). [main-thread]
  std::string consumeAndSerializePluginEventsForVerify();
  void clearAckedPluginEvents(const std::vector<std::string>& eventIds);
  // Where Send Log looks for crash reports, in order; empty: the user's and the system's
  // "Library/Logs/DiagnosticReports" (QMDefaultCrashReportFolders).
  std::vector<std::string> crashReportFolders;

  // ---- account status, update offer, hand-off and progress (QMSettingsUpdates.cpp) ----
  // Starts the account-status exchange on the global queue; its answer comes back on the main
  // queue. The first call is the window's, at the end of building its view: it also starts the
  // health check, so the dots are coloured when the card opens on its own (the forced-update
  // lock), not only when the gear opens it. [main-thread]
  void startAccountStatusExchange();
  // Called at the start of every window timer call. [main-thread]
  void processUpdaterStatusFromDefaults();
  void checkForUpdatesAction(qm::ui::Object* sender);
  void openDownloadPage(qm::ui::Object* sender);
  void retryUpdateFailureAction(qm::ui::Object* sender);
  void manualDownloadUpdateAction(qm::ui::Object* sender);
  // QMUpdaterHandoffOwner. [main-thread]
  void applyUpdateFailureForErrorCode(const std::string& errorCode, const std::string& targetVersion) override;
  void openDownloadPage() override;
  // Update offer, hand-off and progress (QMSettingsUpdates.cpp, QMSettingsUpdateProgress.cpp).
  // The account-status answer with the token its request used. [main-thread]
  void handleAccountStatusAnswer(const QuillomancerServer::VerifyResult& answer, const std::string& accessToken);
  void setUpdateMetadataFromVerify(const QuillomancerServer::VerifyResult& answer);
  bool hasValidSwapMetadata() const { return updateMetadata().hasValidSwapMetadata(); }
  QMUpdateMetadata updateMetadata() const;
  // The offer for `version` ("" for updateTargetVersion), and back to the plain version. [main-thread]
  void showUpdateAvailable(const std::string& version);
  void hideUpdateAvailable();
  void refreshVersionStatusLabelsWithColor(const qm::ui::Color& colour, const std::string& targetVersion);
  void setMainHealthIndicatorHidden(bool hidden);
  void launchUpdaterPrefetchIfNeeded();
  void launchUpdaterWithAction(const std::string& action);
  void launchUpdaterInstall() { launchUpdaterWithAction("install"); }
  // Progress, failure, badges and the forced-update lock. [main-thread]
  void showUpdateProgressForStage(const std::string& stage);
  void showUpdateFailureDetail();
  void clearUpdateFailureState();
  void presentSettingsCardForUpdateProgress();
  void showTemporaryUpdateBadgeText(const std::string& text, std::optional<qm::ui::Color> colour, double seconds);
  void showUpdateSuccessBadgeForVersion(const std::string& version);
  void applyForcedUpdateLock(const std::string& minimumVersion);
  void clearForcedUpdateLock();
  void showUpdateRequiredWithMinimumVersion(const std::string& minimumVersion);
  void showUpdateProgressTitle(const std::string& title, const std::string& body);
  // What the hand-off writes, checks and starts; tests name their own updater and keys.
  QMUpdaterHandoffConfig updaterHandoffConfig;
  // The delayed reset of the Check for Updates title (0: none).
  std::uint64_t checkUpdatesTitleResetStep = 0;

  // ---- state ----
  // Views handed over by the window.
  QMSettingsViews views;
  // The language chooser the chip opens; kept for the controller's life.
  const std::shared_ptr<QMLanguageChooser> languageChooser = std::make_shared<QMLanguageChooser>();
  // Delayed steps (title resets, badge hides, fades, the hidden logo); teardown cancels them.
  QMDeferredUIBlocks deferred;

  // Votes and the logo.
  int activeVote = 0;
  std::uint64_t voteAnimationToken = 0;
  int logoTapCount = 0;
  std::uint64_t logoAnimationToken = 0;
  // Help.
  std::shared_ptr<qm::ui::Popover> helpPopover;
  // Server messages.
  std::vector<QuillomancerServer::ServerMessage> pendingMessages;
  std::vector<std::string> pendingDismissMessageIds;
  bool showingServerMessage = false;
  bool wasSettingsCardHiddenBeforeMessages = false;
  std::string dismissAccessToken;
  // Update metadata from the account-status answer (empty for absent).
  std::string updateTargetVersion;
  std::string updateEffectiveChannel;
  std::string updatePkgURL;
  std::string updatePkgSHA256;
  std::string updateReleaseNotesURL;
  std::string updateArtifactURL;
  std::string updateArtifactSHA256;
  std::string updateManifestVersion;
  std::string updateReleasedAt;
  std::string updateManifestSignature;
  bool updateEligible = false;
  std::string updateEligibilityReason;
  std::string userEmail;
  // Update state.
  bool forceUpdateRequired = false;
  bool showingUpdateFailureDetail = false;
  std::string updateFailureMessage;
  std::string updateFailureDownloadURL;
  std::uint64_t updateBadgeAnimationToken = 0;
  // The offer and reason last logged as refused by the updater's validation (logged once).
  std::string loggedUpdateOfferRefusal;

 private:
  void registerActions();

  QMSettingsHelperOwner* guiOwner_ = nullptr;
  int teardowns_ = 0;
  bool started_ = false;
  bool healthCheckInFlight_ = false;
};

// The small secondary title of the card's buttons: the title in the secondary text colour,
// system 11 regular, centred. Nothing for a missing button. [main-thread]
void QMApplySmallSecondaryButtonTitle(qm::ui::Button* button, const std::string& title);
// The version labels' text: system 11 regular in `colour` (the secondary text colour when none),
// right-aligned, wrapping at words, line spacing 2. [main-thread]
qm::ui::AttributedString QMVersionLabelAttributedString(const std::string& text,
                                                        std::optional<qm::ui::Color> colour = std::nullopt);

// Forgets the updates that ended in this run of the host (see the update card), as a new run
// starts with none: for tests, which stand several runs of the host in one process. [main-thread]
void QMForgetFinishedUpdates();
