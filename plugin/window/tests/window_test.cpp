// The window object as the host drives it: opened and closed, released with or without a view,
// the values it starts with (takes by host, the stored language), what it writes while it builds,
// and the labels of the host's buttons.

#include "WindowTestSupport.h"

#include "AAX_CString.h"
#include "QMHostDetection.h"
#include "QuillomancerLogger.h"

#include "qm/platform/time.h"
#include "qm/ui/display.h"
#include "qm/ui/recording_context.h"

#include <string_view>

using qmwindowtest::Defaults;
using qmwindowtest::HostSetup;
using qmwindowtest::OpenedWindow;

namespace {

constexpr const char* kLanguageKey = "com.quillomancer.selectedLanguage";

// What a view draws, as texts.
std::vector<std::string> DrawnTexts(qm::ui::View& view) {
  qm::ui::RecordingContext c;
  qm::ui::drawViewTree(view, c);
  return c.texts();
}

struct WindowLifecycle : ::testing::Test {
  qmwindowtest::CleanChoices choices;
};

TEST_F(WindowLifecycle, ClosingTearsTheControllerDownOnceAndForgetsEveryView) {
  OpenedWindow w;
  ASSERT_TRUE(w.controller);
  ASSERT_EQ(w.hostView->subviews().size(), 1u);
  w.Detach();
  EXPECT_TRUE(w.hostView->subviews().empty());
  EXPECT_EQ(w.controller->teardownCount(), 1);
  EXPECT_EQ(w.controller->guiOwner(), nullptr);
  EXPECT_FALSE(w.controller->views.settingsCard);
  EXPECT_FALSE(w.gui->settingsController);
  EXPECT_TRUE(w.gui->views == QuillomancerWindowViews{});
  EXPECT_EQ(w.gui->state.lastTakeIndex, -1);
  EXPECT_EQ(w.gui->state.lastSentTakes, 3) << "the last takes sent outlive the view";
  // A timer call after the close finds nothing to touch.
  EXPECT_EQ(w.component->TimerWakeup(), 0);
  w.Release();
  EXPECT_EQ(w.controller->teardownCount(), 1) << "the destructor sends no second teardown";
}

TEST_F(WindowLifecycle, WindowNeverOpenedIsDestroyedCleanly) {
  AAX_IEffectGUI* bare = Quillomancer_GUI::Create();
  bare->AddRef();
  EXPECT_EQ(bare->Release(), 0u);

  // Built (the host initialised it) but never given a container.
  OpenedWindow w(HostSetup{"Pro Tools"}, /*attach=*/false);
  ASSERT_TRUE(w.controller);
  w.Release();
  EXPECT_EQ(w.controller->teardownCount(), 1);
  EXPECT_EQ(w.controller->guiOwner(), nullptr);
}

TEST_F(WindowLifecycle, DelayedStepsOfAClosedWindowNeverRun) {
  qm::platform::ManualClock clock;
  OpenedWindow w;
  int ran = 0;
  w.controller->deferred.schedule(0.5, [&] { ++ran; });
  w.Detach();
  qm::platform::drainMainQueue();
  clock.advance(1.0);
  qm::platform::drainMainQueue();
  EXPECT_EQ(ran, 0);
}

TEST_F(WindowLifecycle, BuildingWritesTheTakesOnceEmptiesTheTokenAndLogsNothing) {
  std::vector<std::string> logged;
  // The health check that building starts logs from its own queue; the window itself logs nothing.
  qmwindowtest::GatherWindowLog(logged);
  OpenedWindow w;
  QuillomancerLogger::shared().setMessageObserver({});
  EXPECT_TRUE(logged.empty()) << logged.front();
  // No token is stored here: QMli is written empty (size 0).
  const std::vector<std::pair<uint32_t, uint32_t>> expected = {{kQMBlock_Takes, 1u}, {kQMBlock_AccessToken, 0u}};
  EXPECT_EQ(w.parameters->writes, expected);
  EXPECT_EQ(QuillomancerStoreClient(w.parameters).ReadByte(kQMBlock_Takes), 3);
}

TEST_F(WindowLifecycle, ConstructionEndsWithTheCardHiddenAndAnEmptyEditor) {
  OpenedWindow w;
  const QuillomancerWindowViews& v = w.gui->views;
  const QMSettingsViews& handed = w.controller->views;
  ASSERT_TRUE(v.settingsCardHolder && v.editorView && v.placeholderLabel && v.statusLabel && v.modeSelector);
  EXPECT_TRUE(v.settingsCardHolder->isHidden());
  EXPECT_TRUE(handed.modalInteractionShield->isHidden());
  EXPECT_TRUE(handed.mainView->isHidden() && handed.updateRequiredView->isHidden() && handed.messageView->isHidden());
  for (qm::ui::Button* vote : {v.voteUpButton, v.voteDownButton}) {
    EXPECT_TRUE(vote->isHidden());
    EXPECT_FALSE(vote->isEnabled());
  }
  EXPECT_TRUE(v.updateBadgeLabel->isHidden());
  EXPECT_TRUE(v.updateBadgeButton->isHidden());
  ASSERT_TRUE(handed.easterEggLogoView);
  EXPECT_TRUE(handed.easterEggLogoView->isHidden());
  EXPECT_FALSE(v.clearTextButton->isEnabled());
  EXPECT_TRUE(v.editorView->targetText().empty());
  EXPECT_FALSE(v.placeholderLabel->isHiddenOrHasHiddenAncestor());
  EXPECT_EQ(DrawnTexts(*v.placeholderLabel),
            std::vector<std::string>{"Select audio on timeline, press LOAD, edit it, then hit Process!"});
  EXPECT_TRUE(DrawnTexts(*v.statusClipView).empty());
  EXPECT_EQ(v.modeSelector->selectedSegment(), 0);
  EXPECT_EQ(v.loadButton, nullptr);
  // The wordmark falls back to the text label: no wordmark image ships.
  const auto shellTexts = DrawnTexts(*w.hostView);
  EXPECT_NE(std::find(shellTexts.begin(), shellTexts.end(), "QUILLOMANCER"), shellTexts.end());
}

struct TakesCase {
  const char* name;
  std::optional<std::string> hostName;
  std::string processName;
  std::optional<int> stored;
  int expected;
};

TEST_F(WindowLifecycle, StartingTakesFollowTheHostAndTheStoredChoice) {
  const TakesCase cases[] = {
      {"Media Composer by its long process name", std::nullopt, "Avid Media Composer", std::nullopt, 1},
      {"Media Composer with a stored 5", std::nullopt, "Avid Media Composer", 5, 5},
      {"Media Composer by host name", "Avid Media Composer 2024.6", "qmhost", std::nullopt, 1},
      {"an unmatched host name falls back to the process", "Pro Tools", "AvidMediaComposer", std::nullopt, 1},
      {"Pro Tools", "Pro Tools", "qmhost", std::nullopt, 3},
      {"a stored 2 is ignored", "Pro Tools", "qmhost", 2, 3},
      {"a stored 0 is ignored", "Pro Tools", "qmhost", 0, 3},
      {"a stored 1 is taken", "Pro Tools", "qmhost", 1, 1},
  };
  for (const TakesCase& c : cases) {
    SCOPED_TRACE(c.name);
    Defaults().remove(kQuillomancer_TakesDefaultsKey);
    if (c.stored) Defaults().set(kQuillomancer_TakesDefaultsKey, *c.stored);
    OpenedWindow w(HostSetup{c.hostName, c.processName});
    EXPECT_EQ(w.gui->views.takeSelector->selectedTakes(), c.expected);
    EXPECT_EQ(QuillomancerStoreClient(w.parameters).ReadByte(kQMBlock_Takes), c.expected);
    EXPECT_EQ(w.gui->state.lastSentTakes, c.expected);
  }
}

TEST_F(WindowLifecycle, StoredLanguageIsAppliedOrRemoved) {
  {
    OpenedWindow w;
    EXPECT_FALSE(w.gui->views.languageChip->isHidden());
    EXPECT_EQ(DrawnTexts(*w.gui->views.languageChip), std::vector<std::string>{"--"});
    EXPECT_FALSE(Defaults().has(kLanguageKey)) << "nothing stored, nothing written";
  }
  Defaults().set(kLanguageKey, "de");
  {
    OpenedWindow w;
    EXPECT_EQ(DrawnTexts(*w.gui->views.languageChip), std::vector<std::string>{"DE"});
    EXPECT_EQ(w.gui->state.languageCode, "de");
  }
  Defaults().set(kLanguageKey, "no such language at all");
  {
    OpenedWindow w;
    EXPECT_FALSE(Defaults().has(kLanguageKey));
    EXPECT_TRUE(w.gui->views.languageChip->isHidden());
    EXPECT_TRUE(w.gui->state.languageBubble.empty());
  }
}

TEST(HostDetection, ProcessNameIsTheWholeLastPartOfTheProgramPath) {
  using namespace std::string_literals;
  EXPECT_EQ(QMProcessNameFromCommandLine("/Applications/Avid Media Composer/AvidMediaComposer\0--new\0"s),
            "AvidMediaComposer");
  EXPECT_EQ(QMProcessNameFromCommandLine("plain"), "plain");
  EXPECT_EQ(QMProcessNameFromCommandLine(""), "");
  // The kernel keeps 15 characters of a name; the command line keeps it whole.
  EXPECT_EQ(QMCurrentProcessName(), "window_tests");
  EXPECT_TRUE(QMIsMediaComposerHost(std::nullopt, QMProcessNameFromCommandLine("/opt/Avid Media Composer")));
  EXPECT_FALSE(QMIsMediaComposerHost("Pro Tools", "Avid Media"));
}

TEST(Window, CustomLabels) {
  AAX_IEffectGUI* gui = Quillomancer_GUI::Create();
  gui->AddRef();
  AAX_CString label("untouched");
  EXPECT_EQ(gui->GetCustomLabel(AAX_EPlugInStrings(0), &label), 0);
  EXPECT_EQ(label.StdString(), "LOAD");
  EXPECT_EQ(gui->GetCustomLabel(AAX_EPlugInStrings(9), &label), 0);
  EXPECT_EQ(label.StdString(), "RENDER");
  EXPECT_EQ(gui->GetCustomLabel(AAX_EPlugInStrings(5), &label), -20004);
  EXPECT_EQ(label.StdString(), "RENDER");
  EXPECT_EQ(gui->GetCustomLabel(AAX_EPlugInStrings(0), nullptr), -20004);
  gui->Release();
}

}  // namespace
