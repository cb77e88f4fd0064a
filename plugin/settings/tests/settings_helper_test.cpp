// The settings controller's editor button actions as the window's buttons send them, with a
// window stand-in that records what it is asked to do; the teardown; and the keeper of delayed
// steps on the manual clock.

#include "SettingsTestSupport.h"

#include "QMSettingsHelper.h"
#include "QuillomancerLogger.h"

#include "qm/platform/defaults.h"
#include "qm/platform/dispatch.h"
#include "qm/platform/time.h"

#include <gtest/gtest.h>

namespace {

using qmsettingstest::RecordingWindow;

// A control that answers "selectedSegment" by key, as a segmented control does.
struct Segmented : qm::ui::Object {
  explicit Segmented(int32_t segment) {
    registerProperty(
        "selectedSegment", [segment] { return std::any(segment); }, [](const std::any&) {});
  }
};

struct SettingsHelper : ::testing::Test {
  SettingsHelper() {
    qmsettingstest::UseTemporaryHome();
    qm::platform::setCurrentThreadAsMain();
    controller->setGuiOwner(&window);
    QuillomancerLogger::shared().setMessageObserver([this](const std::string& line) { logged.push_back(line); });
  }
  ~SettingsHelper() override { QuillomancerLogger::shared().setMessageObserver({}); }

  // Sends an action by name, as a button does.
  void send(const char* action, qm::ui::Object* sender = nullptr) {
    ASSERT_TRUE(controller->performAction(action, sender)) << action;
  }
  std::vector<std::string> take() { return std::exchange(window.calls, {}); }
  std::vector<std::string> takeLog() { return std::exchange(logged, {}); }

  RecordingWindow window;
  std::shared_ptr<QMSettingsHelper> controller = QMSettingsHelper::Create();
  std::vector<std::string> logged;
};

using Calls = std::vector<std::string>;

TEST_F(SettingsHelper, ResetClearsWhatTheEditorIsDoing) {
  window.voiceChange = true;
  send("resetLineChangeTargetAction:");
  EXPECT_EQ(take(), Calls{"ClearVoiceChangeText"});
  window.voiceChange = false;
  window.repairTool = true;
  send("resetLineChangeTargetAction:");
  EXPECT_EQ(take(), (Calls{"ClearRepairSelections", "SetRepairPreviewArmed off", "SetRepairToolActive off",
                           "SetManualStatusMessage ''"}));
  window.repairTool = false;
  send("resetLineChangeTargetAction:");
  EXPECT_EQ(take(), Calls{"ClearLineChangeState"});
  EXPECT_EQ(takeLog(), (Calls{"GUI event: cleared voice-change text", "GUI event: reset repair state",
                              "GUI event: cleared single-text workflow state"}));
}

TEST_F(SettingsHelper, ModeActionsSwitchAndLeaveVoiceChangeToTheSideItCameFrom) {
  send("voiceChangeModeAction:");
  window.voiceChange = true;
  window.editingBefore = false;
  send("voiceChangeModeAction:");
  EXPECT_EQ(take(), (Calls{"SetEditorMode 2", "SetEditorMode 1"}));
  EXPECT_EQ(takeLog(), (Calls{"GUI event: voice change toggled on", "GUI event: voice change toggled off"}));

  qm::ui::Object plain;
  auto after = std::make_shared<Segmented>(1);
  auto voice = std::make_shared<Segmented>(2);
  send("lineModeChangedAction:", &plain);
  send("lineModeChangedAction:", after.get());
  send("lineModeChangedAction:", voice.get());
  EXPECT_EQ(take(), (Calls{"SetEditorMode 0", "SetEditorMode 1", "SetEditorMode 2"}));
  EXPECT_EQ(takeLog(), (Calls{"GUI event: line mode changed to before", "GUI event: line mode changed to after",
                              "GUI event: line mode changed to voice_change"}));
}

TEST_F(SettingsHelper, ToolActionsDoNothingInVoiceChange) {
  send("changeToolAction:");
  window.editingBefore = false;
  send("changeToolAction:");
  send("repairToolAction:");
  window.repairTool = true;
  send("repairToolAction:");
  EXPECT_EQ(take(), (Calls{"SetRepairToolActive off", "SetLineMode after", "SetLineMode before", "SetLineMode before",
                           "SetRepairToolActive on", "SetRepairToolActive off"}));
  EXPECT_EQ(takeLog(), (Calls{"GUI event: change tool toggled on", "GUI event: change tool toggled off",
                              "GUI event: repair tool toggled on", "GUI event: repair tool toggled off"}));
  window.voiceChange = true;
  send("changeToolAction:");
  send("repairToolAction:");
  EXPECT_TRUE(take().empty());
  EXPECT_TRUE(takeLog().empty());
}

TEST_F(SettingsHelper, WithoutAWindowOnlyLoadProcessAndBreathStillAct) {
  controller->setGuiOwner(nullptr);
  for (const char* action : {"resetLineChangeTargetAction:", "lineModeChangedAction:", "voiceChangeModeAction:",
                             "repairSelectionChangedAction:", "changeToolAction:", "repairToolAction:",
                             "clearLanguageTagAction:", "toggleLanguageChooserAction:"}) {
    send(action);
  }
  EXPECT_TRUE(take().empty());
  EXPECT_TRUE(takeLog().empty());
  // No processor runs here: the entries refuse, and the result is logged.
  send("transcribeDummyAction:");
  send("processLoadedAudioAction:");
  const Calls log = takeLog();
  EXPECT_NE(std::find(log.begin(), log.end(), "GUI event: load button pressed -> ForceAnalyze result=-20011"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "GUI event: process button pressed -> cached process result=-20011"),
            log.end());
}

TEST_F(SettingsHelper, ProcessDisarmsTheButtonAndEndsTheMessageFirst) {
  send("processLoadedAudioAction:");
  EXPECT_EQ(take(), (Calls{"SetProcessButtonArmed off animated", "SetManualStatusMessage ''"}));
  send("transcribeDummyAction:");
  EXPECT_EQ(take(), Calls{"ResetForNewAudioLoad"});
  send("repairSelectionChangedAction:");
  send("clearLanguageTagAction:");
  EXPECT_EQ(take(), (Calls{"NotifyRepairSelectionChanged", "ClearSelectedLanguage"}));
}

TEST_F(SettingsHelper, BreathBoxStoresItsState) {
  auto& defaults = qm::platform::UserDefaults::standard();
  auto box = std::make_shared<QMOrangeCheckbox>(qm::ui::Rect{0, 0, 176, 16});
  box->setState(qm::ui::kStateOff);
  send("breathCheckboxAction:", box.get());
  EXPECT_TRUE(defaults.has("com.quillomancer.addBreathAfterDialogue"));
  EXPECT_FALSE(QMShouldAddBreathAfterDialogue());
  // Sent by something else, the card's own box answers.
  box->setState(qm::ui::kStateOn);
  controller->views.breathCheckbox = box;
  qm::ui::Object other;
  send("breathCheckboxAction:", &other);
  EXPECT_TRUE(QMShouldAddBreathAfterDialogue());
  EXPECT_EQ(takeLog(), (Calls{"GUI settings: add breath after dialogue = OFF", "GUI settings: add breath after dialogue = ON"}));
  defaults.remove("com.quillomancer.addBreathAfterDialogue");
}

TEST_F(SettingsHelper, TeardownLetsGoOfTheViewsAndTheWindowAndCancelsItsSteps) {
  qm::platform::ManualClock clock;
  auto card = std::make_shared<qm::ui::View>(qm::ui::Rect{0, 0, 10, 10});
  std::weak_ptr<qm::ui::View> watched = card;
  controller->views.settingsCard = card;
  card.reset();
  int ran = 0;
  controller->deferred.schedule(0.5, [&] { ++ran; });
  controller->teardown();
  EXPECT_TRUE(watched.expired());
  EXPECT_EQ(controller->guiOwner(), nullptr);
  EXPECT_EQ(controller->languageChooser->owner(), nullptr);
  clock.advance(1.0);
  qm::platform::drainMainQueue();
  EXPECT_EQ(ran, 0);
  window.voiceChange = true;
  send("voiceChangeModeAction:");
  EXPECT_TRUE(take().empty()) << "after teardown no action reaches the window";
}

TEST(DeferredUIBlocks, StepsRunInTurnUnlessCancelledAndLeaveTheKeeper) {
  qm::platform::setCurrentThreadAsMain();
  qm::platform::ManualClock clock;
  std::vector<int> ran;
  {
    QMDeferredUIBlocks keeper;
    keeper.schedule(1.0, [&] { ran.push_back(2); });
    const auto cancelled = keeper.schedule(0.5, [&] { ran.push_back(0); });
    keeper.schedule(0, [&] { ran.push_back(1); });
    keeper.cancel(cancelled);
    EXPECT_EQ(keeper.pending(), 2u);
    qm::platform::drainMainQueue();
    clock.advance(1.0);
    qm::platform::drainMainQueue();
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));
    EXPECT_EQ(keeper.pending(), 0u);

    keeper.schedule(0.5, [&] { ran.push_back(3); });
    keeper.cancelAll();
    keeper.schedule(0.5, [&] { ran.push_back(4); });
  }
  // The keeper is gone: its last step never runs.
  clock.advance(1.0);
  qm::platform::drainMainQueue();
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));
}

}  // namespace
