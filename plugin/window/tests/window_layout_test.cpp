// The built window used the way a person uses it: clicks at the centre of every button reach the
// action the window wires (so every view has the right parent and place), the logo's tap area
// and the card's shield take the clicks they should, the card's shadow, the language chip with
// the status text beside it, and the tool buttons' looks as they are drawn.

#include "WindowTestSupport.h"

#include "QMWindowLook.h"

#include "qm/ui/display.h"
#include "qm/ui/popover.h"
#include "qm/ui/stack_view.h"
#include "qm/ui/recording_context.h"

#include <map>

using qm::ui::Color;
using qm::ui::Point;
using qm::ui::Rect;
using qmwindowtest::Defaults;
using qmwindowtest::OpenedWindow;

namespace {

// Answers every action the window's controls send, remembering the last one and its sender.
struct Spy : qm::ui::Object {
  explicit Spy(const std::vector<std::string>& actions) {
    for (const std::string& name : actions) {
      registerAction(qm::ui::Selector(std::string_view(name)), [this, name](qm::ui::Object* sender) {
        last = name;
        lastSender = sender;
        ++count;
      });
    }
  }
  std::string last;
  qm::ui::Object* lastSender = nullptr;
  int count = 0;
};

struct Wired {
  qm::ui::View* control;
  std::string action;
};

qm::ui::Selector ActionOf(qm::ui::View* view) {
  if (auto* control = dynamic_cast<qm::ui::Control*>(view)) return control->action();
  if (auto* tap = dynamic_cast<QMActionView*>(view)) return tap->action();
  return {};
}

std::shared_ptr<qm::ui::Object> TargetOf(qm::ui::View* view) {
  if (auto* control = dynamic_cast<qm::ui::Control*>(view)) return control->target();
  if (auto* tap = dynamic_cast<QMActionView*>(view)) return tap->target();
  return nullptr;
}

void Retarget(qm::ui::View* view, const std::shared_ptr<qm::ui::Object>& target) {
  if (auto* control = dynamic_cast<qm::ui::Control*>(view)) control->setTarget(target);
  if (auto* tap = dynamic_cast<QMActionView*>(view)) tap->setTarget(target);
}

struct WindowLayout : ::testing::Test {
  qmwindowtest::CleanChoices choices;

  // Clicks the centre of each control and checks that exactly its own action went out.
  void ExpectEachCentreSendsItsAction(OpenedWindow& w, const std::vector<Wired>& wired) {
    std::vector<std::string> names;
    for (const Wired& c : wired) names.push_back(c.action);
    auto spy = std::make_shared<Spy>(names);
    for (const Wired& c : wired) {
      ASSERT_TRUE(c.control) << c.action;
      EXPECT_EQ(TargetOf(c.control), w.controller) << c.action;
      EXPECT_EQ(ActionOf(c.control).name(), c.action);
      Retarget(c.control, spy);
    }
    for (const Wired& c : wired) {
      SCOPED_TRACE(c.action);
      const int before = spy->count;
      w.window.click(OpenedWindow::Centre(*c.control));
      EXPECT_EQ(spy->count, before + 1);
      EXPECT_EQ(spy->last, c.action);
      EXPECT_EQ(spy->lastSender, c.control);
    }
  }
};

TEST_F(WindowLayout, EveryButtonsCentreReachesItsAction) {
  OpenedWindow w;
  QuillomancerWindowViews& v = w.gui->views;
  const QMSettingsViews& handed = w.controller->views;
  // What the timer or the controller would show or enable later.
  v.clearTextButton->setEnabled(true);
  for (qm::ui::Button* vote : {v.voteUpButton, v.voteDownButton}) {
    vote->setHidden(false);
    vote->setEnabled(true);
  }
  ExpectEachCentreSendsItsAction(w, {
                                        {v.settingsButton, "toggleSettings:"},
                                        {handed.logoTapButton.get(), "logoTapped:"},
                                        {v.voteUpButton, "voteUpAction:"},
                                        {v.voteDownButton, "voteDownAction:"},
                                        {v.clearTextButton, "resetLineChangeTargetAction:"},
                                        {v.changeToolButton, "changeToolAction:"},
                                        {v.repairToolButton, "repairToolAction:"},
                                        {v.voiceChangeButton, "voiceChangeModeAction:"},
                                        {v.processButton, "processLoadedAudioAction:"},
                                        {v.languageChipButton, "toggleLanguageChooserAction:"},
                                    });
  // The help button lies under the thumbs while they show.
  v.voteDownButton->setHidden(true);
  ExpectEachCentreSendsItsAction(w, {{handed.helpButton.get(), "toggleTutorial:"}});
  v.updateBadgeButton->setHidden(false);
  ExpectEachCentreSendsItsAction(w, {{v.updateBadgeButton, "openDownloadPage:"}});
  // A click on the chip's own face (its left end, clear of the chevron) toggles the chooser too.
  const Rect chip = v.languageChip->convertRectToView(v.languageChip->bounds(), nullptr);
  auto spy = std::make_shared<Spy>(std::vector<std::string>{"toggleLanguageChooserAction:"});
  Retarget(v.languageChip, spy);
  w.window.click(Point{chip.minX() + 3, chip.midY()});
  EXPECT_EQ(spy->last, "toggleLanguageChooserAction:");
  EXPECT_EQ(spy->lastSender, v.languageChip);
}

TEST_F(WindowLayout, EveryButtonOfTheCardReachesItsAction) {
  OpenedWindow w;
  const QMSettingsViews& handed = w.controller->views;
  w.gui->views.settingsCardHolder->setHidden(false);
  handed.mainView->setHidden(false);
  handed.updateButton->setHidden(false);
  ExpectEachCentreSendsItsAction(w, {
                                        {handed.breathCheckbox.get(), "breathCheckboxAction:"},
                                        {handed.sendLogBtn.get(), "sendLogAction:"},
                                        {handed.checkUpdatesBtn.get(), "checkForUpdatesAction:"},
                                        {handed.updateButton.get(), "openDownloadPage:"},
                                    });
  handed.mainView->setHidden(true);
  handed.updateRequiredView->setHidden(false);
  // The Download Update button is the one button of the page that is not handed over.
  qm::ui::View* download = nullptr;
  for (const auto& sub : handed.updateRequiredView->subviews()) {
    if (auto* b = dynamic_cast<qm::ui::Button*>(sub.get()); b && b->title() == "Download Update") download = b;
  }
  // Download Update lies inside the version label's frame and stays clickable above it, also
  // while the label's update button shows.
  handed.updateReqUpdateButton->setHidden(false);
  ExpectEachCentreSendsItsAction(w, {{download, "openDownloadPage:"}});
  const Rect label = handed.updateReqUpdateButton->convertRectToView(handed.updateReqUpdateButton->bounds(), nullptr);
  auto spy = std::make_shared<Spy>(std::vector<std::string>{"openDownloadPage:"});
  Retarget(handed.updateReqUpdateButton.get(), spy);
  w.window.click(Point{label.minX() + 20, label.midY()});
  EXPECT_EQ(spy->lastSender, handed.updateReqUpdateButton.get());
  handed.updateRequiredView->setHidden(true);
  handed.messageView->setHidden(false);
  handed.updateFailureRetryButton->setHidden(false);
  handed.updateFailureManualButton->setHidden(false);
  ExpectEachCentreSendsItsAction(w, {{handed.updateFailureRetryButton.get(), "retryUpdateFailureAction:"},
                                     {handed.updateFailureManualButton.get(), "manualDownloadUpdateAction:"}});
  // The close button sits above the pages.
  qm::ui::View* close = w.gui->views.settingsCardHolder->subviews().front()->subviews().front().get();
  ExpectEachCentreSendsItsAction(w, {{close, "closeSettings:"}});
}

TEST_F(WindowLayout, LogoTapLiesAboveTheAlternateLogoAndTheShieldTakesClicksAroundTheCard) {
  OpenedWindow w;
  const QMSettingsViews& handed = w.controller->views;
  handed.easterEggLogoView->setHidden(false);
  EXPECT_EQ(w.ViewAt(OpenedWindow::Centre(*handed.logoView)), handed.logoTapButton.get());

  // The card as the controller shows it: the holder and the shield.
  w.gui->views.settingsCardHolder->setHidden(false);
  handed.modalInteractionShield->setHidden(false);
  const QuillomancerWindowViews& v = w.gui->views;
  for (qm::ui::View* control : std::initializer_list<qm::ui::View*>{
           v.settingsButton, v.processButton, v.voiceChangeButton, v.changeToolButton, handed.logoTapButton.get(),
           v.languageChipButton, v.takeSelector, v.modeSelector}) {
    qm::ui::View* hit = w.ViewAt(OpenedWindow::Centre(*control));
    EXPECT_FALSE(hit == control || (hit && hit->isDescendantOf(control)));
  }
  // Beside the card and on its shadow, the shield.
  for (Point p : {Point{6, 80}, Point{474, 80}, Point{20, 80}, Point{460, 150}})
    EXPECT_EQ(w.ViewAt(p), handed.modalInteractionShield.get());

  // Without the shield (the main page), the part of the gear beside the card takes the click.
  handed.modalInteractionShield->setHidden(true);
  EXPECT_EQ(w.ViewAt(Point{460, 150}), v.settingsButton);
  qm::ui::View* onCard = w.ViewAt(Point{440, 140});
  EXPECT_TRUE(onCard && onCard->isDescendantOf(w.gui->views.settingsCardHolder));
}

TEST_F(WindowLayout, CardHolderCentresTheCardWithTwentyShadowRings) {
  OpenedWindow w;
  qm::ui::View* holder = w.gui->views.settingsCardHolder;
  EXPECT_EQ(holder->convertRectToView(holder->bounds(), nullptr), (Rect{13, -1, 454, 160}));
  qm::ui::View* card = holder->subviews().front().get();
  EXPECT_EQ(card->convertRectToView(card->bounds(), nullptr), (Rect{25, 11, 430, 136}));
  const auto& rings = holder->layer()->sublayers();
  ASSERT_EQ(rings.size(), 20u);
  EXPECT_EQ(rings.front()->frame, holder->bounds());
  EXPECT_DOUBLE_EQ(rings.front()->backgroundColor->alpha(), 0.0);
  EXPECT_DOUBLE_EQ(rings.front()->cornerRadius, 18);
  EXPECT_EQ(rings.back()->frame, holder->bounds().insetBy(12, 12));
  EXPECT_DOUBLE_EQ(rings.back()->backgroundColor->alpha(), 0.04);
  EXPECT_DOUBLE_EQ(rings.back()->cornerRadius, 6);
  // Darker towards the card, with the square of the ring's place.
  EXPECT_NEAR(rings[10]->backgroundColor->alpha(), 0.04 * (10.0 / 19) * (10.0 / 19), 1e-9);
}

// The chip's text as drawn, and the frames of the chip, the reset button and the status text in
// the editor panel.
struct ChipLayout {
  explicit ChipLayout(const QuillomancerWindowViews& v) {
    qm::ui::RecordingContext c;
    qm::ui::drawViewTree(*v.languageChip, c);
    texts = c.texts();
    hidden = v.languageChip->isHidden();
    chip = v.languageChip->frame();
    reset = v.clearTextButton->frame();
    status = v.statusClipView->frame();
  }
  std::vector<std::string> texts;
  bool hidden;
  Rect chip, reset, status;
};

TEST_F(WindowLayout, ChipShowsTheTagAndTheStatusTextRunsUpToTheButtonBesideIt) {
  OpenedWindow w;
  const QuillomancerWindowViews& v = w.gui->views;
  const double panel = 464;
  const double left = 102 + 84 + 10;  // beside the Repair tool

  w.gui->SelectLanguageAlias("German", true);
  ChipLayout german(v);
  EXPECT_EQ(german.texts, std::vector<std::string>{"DE"});
  EXPECT_FALSE(german.hidden);
  EXPECT_EQ(german.chip.maxX(), panel - 10);
  EXPECT_EQ(german.reset.maxX(), german.chip.minX() - 6);
  EXPECT_EQ(german.status, (Rect{left, 3, german.reset.minX() - 8 - left, 16}));
  EXPECT_EQ(Defaults().stringForKey("com.quillomancer.selectedLanguage"), "de");

  w.gui->SelectLanguageAlias("--", true);
  EXPECT_EQ(ChipLayout(v).texts, std::vector<std::string>{"--"});
  EXPECT_EQ(Defaults().stringForKey("com.quillomancer.selectedLanguage"), "--");

  w.gui->SelectLanguageAlias("not a language", true);
  EXPECT_EQ(ChipLayout(v).texts, std::vector<std::string>{"--"}) << "an unknown name changes nothing";

  // No choice: the chip goes and the reset button takes its place at the right.
  w.gui->ClearSelectedLanguage();
  ChipLayout none(v);
  EXPECT_TRUE(none.hidden);
  EXPECT_EQ(none.reset, (Rect{panel - 10 - 16, 7, 16, 16}));
  EXPECT_EQ(none.status, (Rect{left, 3, none.reset.minX() - 8 - left, 16}));
  EXPECT_FALSE(Defaults().has("com.quillomancer.selectedLanguage"));

  // Voice Change centres a 260-point status text.
  w.gui->state.editorMode = kQuillomancerMode_VoiceChange;
  w.gui->RefreshLanguageChip();
  EXPECT_EQ(ChipLayout(v).status, (Rect{102, 3, 260, 16}));
}

// A tool button as drawn: its face colours and its title's colour.
struct ToolDrawing {
  explicit ToolDrawing(QMModeTextButton& button) {
    qm::ui::RecordingContext c;
    qm::ui::drawViewTree(button, c);
    for (const auto* op : c.opsOfKind(qm::ui::RecordedOp::Kind::Gradient)) face = op->gradient.colors.front();
    for (const auto* op : c.opsOfKind(qm::ui::RecordedOp::Kind::Text)) title = *op->text.attributesAt(0).foregroundColor;
    enabled = button.isEnabled();
  }
  Color face = Color::clear();
  Color title = Color::clear();
  bool enabled = false;
};

TEST_F(WindowLayout, ToolLooksFollowTheModeAndTheLock) {
  OpenedWindow w;
  Quillomancer_GUI& gui = *w.gui;
  QuillomancerWindowViews& v = gui.views;
  const Color greyedOut = Color::deviceWhite(1, 0.45);
  const auto redraw = [&] {
    gui.UpdateChangeToolButtonAppearance();
    gui.UpdateRepairToolButtonAppearance();
    gui.UpdateVoiceChangeModeButtonAppearance();
  };

  // Repair on while editing Before: the Repair tool lit orange with a black title.
  gui.state.repairToolActive = true;
  redraw();
  EXPECT_EQ(ToolDrawing(*v.repairToolButton).face, QMRepairHighlightOrange());
  EXPECT_EQ(ToolDrawing(*v.repairToolButton).title, Color::black());
  EXPECT_EQ(ToolDrawing(*v.changeToolButton).title, QMTextPrimary());

  // Voice Change: both tools dark and disabled, the Repair tool too although it was on.
  gui.state.editorMode = kQuillomancerMode_VoiceChange;
  redraw();
  for (QMModeTextButton* tool : {v.changeToolButton, v.repairToolButton}) {
    const ToolDrawing drawn(*tool);
    EXPECT_EQ(drawn.face, QMControlInnerOffColor());
    EXPECT_EQ(drawn.title, greyedOut);
    EXPECT_FALSE(drawn.enabled);
  }
  EXPECT_TRUE(ToolDrawing(*v.voiceChangeButton).enabled);
  EXPECT_EQ(ToolDrawing(*v.voiceChangeButton).title, QMTextPrimary());

  // The lock in Change: all three disabled; the active Change tool keeps its black title.
  gui.state.editorMode = kQuillomancerMode_After;
  gui.state.editingBeforeText = false;
  gui.state.repairToolActive = false;
  gui.state.minimumVersionLock = true;
  redraw();
  EXPECT_EQ(ToolDrawing(*v.changeToolButton).face, QMHighlightGreen());
  EXPECT_EQ(ToolDrawing(*v.changeToolButton).title, Color::black());
  EXPECT_EQ(ToolDrawing(*v.repairToolButton).title, greyedOut);
  EXPECT_EQ(ToolDrawing(*v.voiceChangeButton).title, greyedOut);
  auto spy = std::make_shared<Spy>(std::vector<std::string>{"changeToolAction:", "repairToolAction:",
                                                            "voiceChangeModeAction:"});
  for (qm::ui::View* tool : std::initializer_list<qm::ui::View*>{v.changeToolButton, v.repairToolButton,
                                                                 v.voiceChangeButton}) {
    Retarget(tool, spy);
    w.window.click(OpenedWindow::Centre(*tool));
  }
  EXPECT_EQ(spy->count, 0) << "locked tools take no clicks";
}

}  // namespace

namespace {

TEST_F(WindowLayout, ChipOpensTheChooserAndARowPicksTheLanguage) {
  OpenedWindow w;
  QuillomancerWindowViews& v = w.gui->views;
  w.window.click(OpenedWindow::Centre(*v.languageChipButton));
  qm::ui::Popover* popover = w.controller->languagePopover();
  ASSERT_TRUE(popover && popover->isShown());
  qm::ui::View* german = nullptr;
  for (const auto& row : w.controller->languageResultsStack()->arrangedSubviews()) {
    if (row->identifier() == "Deutsch") german = row.get();
  }
  ASSERT_TRUE(german);
  static_cast<qm::ui::Button*>(german)->performClick();
  EXPECT_FALSE(popover->isShown());
  qm::ui::RecordingContext c;
  qm::ui::drawViewTree(*v.languageChip, c);
  EXPECT_EQ(c.texts(), std::vector<std::string>{"DE"});
  EXPECT_EQ(Defaults().stringForKey("com.quillomancer.selectedLanguage"), "de");

  // A second click on the chip while the chooser shows closes it; closing the window closes it too.
  w.window.click(OpenedWindow::Centre(*v.languageChipButton));
  ASSERT_TRUE(popover->isShown());
  w.window.click(OpenedWindow::Centre(*v.languageChipButton));
  EXPECT_FALSE(popover->isShown());
  w.window.click(OpenedWindow::Centre(*v.languageChipButton));
  w.Detach();
  EXPECT_FALSE(popover->isShown());
}

}  // namespace
