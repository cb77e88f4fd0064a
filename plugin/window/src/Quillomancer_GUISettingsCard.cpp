// The settings card's views: the holder with its soft shadow, the card, its close button and its
// three pages (main, update required, message), all hidden until the settings controller shows
// one. The views the controller drives are handed to it; the card goes on top of the window last.

#include "Quillomancer_GUIBuild.h"

#include "QMWindowLook.h"

#include "qm/ui/layer.h"

using qm::ui::Color;
using qm::ui::Font;
using qm::ui::FontWeight;
using qm::ui::Rect;
using qm::ui::TextAlignment;

// The holder only draws the card's soft shadow: a click on the shadow goes to what lies beneath
// it (the gear that shows above the card's corner, or the shield while a message is up).
class QMSettingsCardHolderView final : public qm::ui::View {
 public:
  using View::View;
  View* hitTest(qm::ui::Point pointInSuperview) override {
    View* hit = View::hitTest(pointInSuperview);
    return hit == this ? nullptr : hit;
  }
};

namespace {

// The card is 430 x 136, centred in the window; the holder adds the shadow's pad of 12 all round.
constexpr double kCardWidth = 430;
constexpr double kCardHeight = 136;
constexpr double kShadowPad = 12;
constexpr int kShadowRings = 20;
constexpr const char* kDownloadPageURL = "https://quillomancer.com/download";

void AddShadowRings(qm::ui::View& holder) {
  const Rect bounds = holder.bounds();
  for (int i = 0; i < kShadowRings; ++i) {
    const double t = double(i) / double(kShadowRings - 1);
    auto ring = std::make_shared<qm::ui::Layer>();
    ring->frame = bounds.insetBy(kShadowPad * t, kShadowPad * t);
    ring->backgroundColor = Color::black().withAlpha(0.04 * t * t);
    ring->cornerRadius = 6 + (kShadowPad - kShadowPad * t);
    holder.layer()->addSublayer(ring);
  }
}

std::shared_ptr<qm::ui::View> MakePage(bool messagePage) {
  const Rect frame{0, 0, kCardWidth, 119};
  std::shared_ptr<qm::ui::View> page =
      messagePage ? std::make_shared<QMModalInteractionShieldView>(frame) : std::make_shared<qm::ui::View>(frame);
  page->setHidden(true);
  return page;
}

// The status row every page but the message page carries: a health dot and label, the version
// label and the invisible update button over it.
struct StatusViews {
  std::shared_ptr<qm::ui::View> dot;
  std::shared_ptr<qm::ui::TextField> health;
  std::shared_ptr<qm::ui::TextField> version;
  std::shared_ptr<qm::ui::Button> update;
};

StatusViews AddStatusViews(qm::ui::View& page, const Rect& dot, const Rect& health, TextAlignment healthAlignment,
                           const Rect& version) {
  StatusViews made;
  made.dot = QMMakeLayerView(dot);
  made.dot->layer()->cornerRadius = 4;
  made.dot->layer()->backgroundColor = QMTextSecondary();
  page.addSubview(made.dot);
  made.health = QMMakeWindowLabel("Checking server...", health, Font::system(11), QMTextSecondary(), healthAlignment);
  page.addSubview(made.health);
  made.version = QMMakeWindowLabel("", version, Font::system(11), QMTextSecondary(), TextAlignment::Right);
  made.version->setMaximumNumberOfLines(0);
  made.version->setLineBreakMode(qm::ui::LineBreakMode::WordWrapping);
  made.version->setAttributedStringValue(QMVersionLabelAttributedString(QMInstalledVersionLabelString(), QMTextSecondary()));
  page.addSubview(made.version);
  made.update = QMMakeInvisibleButton(version);
  made.update->setHidden(true);
  page.addSubview(made.update);
  return made;
}

// Send Log and Check for Updates: small rounded buttons with the card's secondary title.
std::shared_ptr<QMModeTextButton> MakeCardButton(const Rect& frame, const std::string& title) {
  auto button = std::make_shared<QMModeTextButton>(frame);
  button->setBezelStyle(qm::ui::BezelStyle::Rounded);
  button->setBordered(false);
  button->setWantsLayer(true);
  button->layer()->cornerRadius = 3;
  QMApplySmallSecondaryButtonTitle(button.get(), title);
  QMApplyInnerButtonStyle(button.get(), 3, QMControlInnerOffColor(), QMControlInnerOffColor(), QMTextSecondary());
  return button;
}

// Try again and Download manually on the message page.
std::shared_ptr<qm::ui::Button> MakePillButton(const Rect& frame, const std::string& title) {
  auto button = std::make_shared<qm::ui::Button>(frame);
  button->setBezelStyle(qm::ui::BezelStyle::RegularSquare);
  button->setBordered(false);
  button->setWantsLayer(true);
  button->layer()->cornerRadius = 14;
  button->layer()->backgroundColor = Color::deviceRGB(0.2, 0.22, 0.26, 1);
  button->setAttributedTitle(QMStyledText(title, Font::system(12, FontWeight::Semibold), Color::white().withAlpha(0.88)));
  button->setHidden(true);
  return button;
}

}  // namespace

// [main-thread]
void Quillomancer_GUI::BuildSettingsCard(BuildContext& build) {
  QMSettingsViews& handed = build.handed;
  const double cardX = (kViewWidth - kCardWidth) / 2;
  const double cardY = (kViewHeight - kCardHeight) / 2;

  auto holder = std::make_shared<QMSettingsCardHolderView>(
      Rect{cardX - kShadowPad, cardY - kShadowPad, kCardWidth + 2 * kShadowPad, kCardHeight + 2 * kShadowPad});
  holder->setWantsLayer(true);
  holder->layer()->masksToBounds = false;
  AddShadowRings(*holder);
  handed.settingsCard = holder;
  views.settingsCardHolder = holder.get();

  auto card = QMMakeLayerView(Rect{kShadowPad, kShadowPad, kCardWidth, kCardHeight});
  {
    qm::ui::Layer* layer = card->layer();
    auto face = QMEnsureGradientSublayer(layer, "qmCardFace");
    face->frame = card->bounds();
    face->colors = {Color::deviceRGB255(29, 32, 36), Color::deviceRGB255(36, 41, 46)};
    face->startPoint = {0, 1};
    face->endPoint = {1, 0};
    face->cornerRadius = 6;
    layer->cornerRadius = 6;
    layer->masksToBounds = true;
    layer->borderWidth = 0.5;
    layer->borderColor = Color::white().withAlpha(0.08);
  }

  auto close = QMMakeSymbolButton(Rect{406, 112, 18, 18}, "xmark", "Close", "", QMTextSecondary());
  close->setToolTip("Close");
  card->addSubview(close);
  build.closeButton = close;

  // Main page.
  auto mainPage = MakePage(false);
  auto breath = std::make_shared<QMOrangeCheckbox>(Rect{14, 100, 176, 16});
  breath->setBordered(false);
  breath->setButtonType(qm::ui::ButtonType::Switch);
  breath->setImagePosition(qm::ui::ImagePosition::ImageLeft);
  breath->setState(QMShouldAddBreathAfterDialogue() ? qm::ui::kStateOn : qm::ui::kStateOff);
  breath->setAttributedTitle(QMStyledText("Add breath tail", Font::system(11), QMTextSecondary()));
  breath->setToolTip(
      "Sometimes adding a breath after the dialogue gives the words a little space to breathe, so the result feels "
      "less cut off and is easier to edit.");
  mainPage->addSubview(breath);
  handed.breathCheckbox = breath;

  auto credits = QMMakeWindowLabel("Credits: \u2014", Rect{14, 40, 402, 18}, Font::system(11), QMTextSecondary());
  mainPage->addSubview(credits);
  handed.creditsLabel = credits;
  views.creditsLabel = credits.get();

  auto sendLog = MakeCardButton(Rect{344, 80, 72, 19}, "Send Log");
  mainPage->addSubview(sendLog);
  handed.sendLogBtn = sendLog;
  auto checkUpdates = MakeCardButton(Rect{294, 52, 122, 19}, "Check for Updates");
  mainPage->addSubview(checkUpdates);
  handed.checkUpdatesBtn = checkUpdates;

  const StatusViews mainStatus =
      AddStatusViews(*mainPage, Rect{295, 35, 8, 8}, Rect{294, 30, 122, 16}, TextAlignment::Right, Rect{288, 8, 128, 16});
  handed.healthDot = mainStatus.dot;
  handed.healthLabel = mainStatus.health;
  handed.versionLabel = mainStatus.version;
  handed.updateButton = mainStatus.update;

  // Update-required page.
  auto requiredPage = MakePage(false);
  requiredPage->addSubview(QMMakeWindowLabel("Update Required", Rect{14, 101, 402, 18},
                                             Font::system(13, FontWeight::Medium), QMTextPrimary()));
  auto message = QMMakeWindowLabel(
      std::string("This version of Quillomancer is no longer supported. Please download the latest version at ") +
          kDownloadPageURL + ".",
      Rect{14, 65, 402, 34}, Font::system(12), QMTextSecondary());
  message->setMaximumNumberOfLines(0);
  message->setLineBreakMode(qm::ui::LineBreakMode::WordWrapping);
  requiredPage->addSubview(message);
  handed.updateReqMsgLabel = message;
  auto minimum = QMMakeWindowLabel("Minimum required version enforced by server.", Rect{14, 48, 402, 16},
                                   Font::system(11), QMAccentOrange());
  minimum->setHidden(true);
  requiredPage->addSubview(minimum);
  handed.updateReqMinLabel = minimum;
  auto download = std::make_shared<qm::ui::Button>(Rect{137, 26, 156, 24});
  download->setBezelStyle(qm::ui::BezelStyle::Rounded);
  download->setBordered(false);
  download->setWantsLayer(true);
  download->layer()->cornerRadius = 4;
  download->layer()->backgroundColor = Color::deviceRGB(0.953, 0.612, 0.071, 1);
  download->setAttributedTitle(
      QMStyledText("Download Update", Font::system(12, FontWeight::Semibold), Color::deviceRGB(0.1, 0.08, 0.02, 1)));
  const StatusViews requiredStatus =
      AddStatusViews(*requiredPage, Rect{14, 11, 8, 8}, Rect{28, 8, 200, 16}, TextAlignment::Left, Rect{76, 8, 340, 56});
  // The version label and its button span the button's whole frame: on top, the page's one
  // action stays within reach.
  requiredPage->addSubview(download);
  build.downloadUpdateButton = download;
  handed.updateReqHealthDot = requiredStatus.dot;
  handed.updateReqHealthLabel = requiredStatus.health;
  handed.updateReqVersionLabel = requiredStatus.version;
  handed.updateReqUpdateButton = requiredStatus.update;

  // Message page.
  auto messagePage = std::static_pointer_cast<QMModalInteractionShieldView>(MakePage(true));
  auto title = QMMakeWindowLabel("Quillomancer", Rect{14, 101, 402, 18}, Font::system(13, FontWeight::Medium),
                                 QMTextPrimary());
  messagePage->addSubview(title);
  handed.messageTitleLabel = title;
  auto body = QMMakeWindowLabel("", Rect{14, 24, 402, 69}, Font::system(12), QMTextSecondary());
  body->setSelectable(true);
  body->setAllowsEditingTextAttributes(true);
  body->setMaximumNumberOfLines(0);
  body->setLineBreakMode(qm::ui::LineBreakMode::WordWrapping);
  messagePage->addSubview(body);
  handed.messageBodyLabel = body;
  auto retry = MakePillButton(Rect{77, 18, 132, 28}, "Try again");
  messagePage->addSubview(retry);
  handed.updateFailureRetryButton = retry;
  auto manual = MakePillButton(Rect{221, 18, 132, 28}, "Download manually");
  messagePage->addSubview(manual);
  handed.updateFailureManualButton = manual;

  card->addSubview(mainPage);
  card->addSubview(requiredPage);
  card->addSubview(messagePage);
  handed.mainView = mainPage;
  handed.updateRequiredView = requiredPage;
  handed.messageView = messagePage;
  holder->addSubview(card);
}
