// Building the window, once per window object when the host initialises it: the root and its
// painted shell, the header with the logo, wordmark and small buttons, the input card with the
// transcript editor, the tool buttons and the status line, the performance row, the hidden
// settings card, the settings controller and the wiring of every button to it, and the start
// values (host, takes, language). Fixed geometry in points, origin at the lower left; nothing is
// logged and no timer or observer is installed (the host's timer call drives the window).

#include "Quillomancer_GUIBuild.h"

#include "AAX_CString.h"
#include "AAX_IController.h"
#include "QMAccountToken.h"
#include "QMHostDetection.h"
#include "QMWindowLook.h"

#include "qm/platform/thread_check.h"
#include "qm/ui/graphics.h"
#include "qm/ui/image_view.h"
#include "qm/ui/layer.h"
#include "qm/ui/text_measurer.h"
#include "qm/ui/view_controller.h"

#include <algorithm>
#include <cmath>
#include <utility>

using qm::ui::Color;
using qm::ui::Font;
using qm::ui::FontWeight;
using qm::ui::Rect;
using qm::ui::TextAlignment;

namespace {

constexpr const char* kLogoResource = "QMTR_GrayLogo_N_Large_Blue3s";
constexpr const char* kAlternateLogoResource = "Quillomancer_vomit_v3S";
constexpr const char* kWordmarkResource = "quillomancer-wordmark-small";

// The logo mark's size and place; the group of mark and wordmark is centred in the left 240 points.
constexpr double kLogoWidth = 38.76;
constexpr double kLogoHeight = 40.12;
constexpr double kLogoY = 112.38;
constexpr double kLogoGap = 7;
constexpr double kWordmarkHeight = 26;
constexpr double kLogoMinimumX = 10;

Color Grey02() { return Color::deviceRGB(0.2, 0.2, 0.2, 1); }

// The face of Process, the tools and Voice Change, inside its shell: inline, borderless, without
// a title yet, layer-backed with rounded corners, the title on the centre line.
std::shared_ptr<QMModeTextButton> MakeShellButton(const Rect& frame, double cornerRadius) {
  auto button = std::make_shared<QMModeTextButton>(frame);
  button->setBezelStyle(qm::ui::BezelStyle::Inline);
  button->setBordered(false);
  button->setTitle("");
  button->setWantsLayer(true);
  button->layer()->cornerRadius = cornerRadius;
  button->titleYOffset = 0;
  return button;
}

// The bundle's image. Only code outside a bundle (tests, tools) falls back to the artwork in the
// source tree: a bundle carries its own, and an installed one has no source tree beside it.
std::shared_ptr<qm::ui::Image> ArtworkImage(const qm::ui::Bundle& bundle, const std::string& name) {
  if (auto image = bundle.imageForResource(name)) return image;
  if (bundle.resourcePath() == bundle.rootPath() + "/Contents/Resources") return nullptr;
  return qm::ui::Image::fromPNGFile(std::string(QM_WINDOW_ARTWORK_DIR) + "/" + name + ".png");
}

// The logo mark in translucent black: what lies under the mark as its shadow.
std::shared_ptr<qm::ui::Image> LogoSilhouette(const std::shared_ptr<qm::ui::Image>& logo) {
  return qm::ui::Image::withHandler(qm::ui::Size{kLogoWidth, kLogoHeight},
                                    [logo](qm::ui::GraphicsContext& c, const Rect& rect) {
                                      c.fillRect(rect, Color::black().withAlpha(0.42));
                                      c.drawImage(*logo, rect, qm::ui::CompositeOp::DestinationIn, 1.0);
                                      return true;
                                    });
}

qm::ui::AttributedString WordmarkText() {
  qm::ui::TextAttributes attributes;
  attributes.font = Font::named("DINAlternate-Bold", 20).value_or(Font::system(20, FontWeight::Semibold));
  attributes.foregroundColor = QMHighlightGreen();
  attributes.kern = 3.0;
  qm::ui::TextShadow shadow;
  shadow.color = Color::black().withAlpha(0.7);
  shadow.offset = qm::ui::Size{0, -1};
  shadow.blurRadius = 3;
  attributes.shadow = shadow;
  return qm::ui::AttributedString("QUILLOMANCER", attributes);
}

// A process name a test put in place of the real one.
std::optional<std::string>& ProcessNameOverride() {
  static std::optional<std::string> name;
  return name;
}

}  // namespace

// ---- makers shared by the building steps ------------------------------------------------------

void QMStyleWindowLabel(qm::ui::TextField& label, const std::string& text, const Font& font, const Color& colour,
                        TextAlignment alignment) {
  label.setStringValue(text);
  label.setFont(font);
  label.setTextColor(colour);
  label.setBackgroundColor(Color::clear());
  label.setDrawsBackground(false);
  label.setBordered(false);
  label.setBezeled(false);
  label.setEditable(false);
  label.setSelectable(false);
  label.setAlignment(alignment);
}

std::shared_ptr<qm::ui::TextField> QMMakeWindowLabel(const std::string& text, const Rect& frame, const Font& font,
                                                     const Color& colour, TextAlignment alignment) {
  auto label = std::make_shared<qm::ui::TextField>(frame);
  QMStyleWindowLabel(*label, text, font, colour, alignment);
  return label;
}

std::shared_ptr<qm::ui::Button> QMMakeSymbolButton(const Rect& frame, const std::string& symbol,
                                                   const std::string& description, const std::string& fallbackTitle,
                                                   std::optional<Color> tint) {
  auto button = std::make_shared<qm::ui::Button>(frame);
  button->setBezelStyle(qm::ui::BezelStyle::Inline);
  button->setBordered(false);
  button->setTitle("");
  if (auto image = qm::ui::Image::systemSymbol(symbol, description)) {
    button->setImage(image);
  } else {
    button->setTitle(fallbackTitle);
  }
  button->setImageScaling(qm::ui::ImageScaling::ProportionallyDown);
  button->setContentTintColor(tint);
  return button;
}

std::shared_ptr<qm::ui::Button> QMMakeInvisibleButton(const Rect& frame) {
  auto button = std::make_shared<qm::ui::Button>(frame);
  button->setBordered(false);
  button->setTitle("");
  button->setTransparent(true);
  return button;
}

std::shared_ptr<qm::ui::View> QMMakeLayerView(const Rect& frame) {
  auto view = std::make_shared<qm::ui::View>(frame);
  view->setWantsLayer(true);
  return view;
}

qm::ui::AttributedString QMStyledText(const std::string& text, const Font& font, const Color& colour,
                                      std::optional<TextAlignment> alignment) {
  qm::ui::TextAttributes attributes;
  attributes.font = font;
  attributes.foregroundColor = colour;
  if (alignment) {
    qm::ui::ParagraphStyle paragraph;
    paragraph.alignment = *alignment;
    attributes.paragraphStyle = paragraph;
  }
  return qm::ui::AttributedString(text, attributes);
}

// ---- host detection ---------------------------------------------------------------------------

std::string Quillomancer_GUI::ProcessName() {
  if (ProcessNameOverride()) return *ProcessNameOverride();
  static const std::string name = QMCurrentProcessName();
  return name;
}

void Quillomancer_GUI::SetProcessNameForTesting(std::optional<std::string> name) { ProcessNameOverride() = std::move(name); }

// [main-thread]
bool Quillomancer_GUI::DetectMediaComposerHost() {
  std::optional<std::string> hostName;
  if (const AAX_IController* controller = GetController()) {
    AAX_CString name;
    if (controller->GetHostName(&name) == AAX_SUCCESS) hostName = name.StdString();
  }
  return QMIsMediaComposerHost(hostName, ProcessName());
}

// ---- building ---------------------------------------------------------------------------------

// [main-thread]
void Quillomancer_GUI::CreateViewContents() {
  QM_ASSERT_THREAD(main);
  BuildContext build(qm::ui::Bundle::containing(reinterpret_cast<const void*>(&Quillomancer_GUI::Create)));
  state.mediaComposerHost = DetectMediaComposerHost();

  // The root, its corners, the painted shell and the interaction shield.
  build.root = QMMakeLayerView(Rect{0, 0, kViewWidth, kViewHeight});
  build.root->layer()->masksToBounds = false;
  build.root->layer()->backgroundColor = Grey02();
  for (const Rect corner : {Rect{1, 148, 10, 10}, Rect{469, 148, 10, 10}, Rect{1, 0, 10, 10}, Rect{469, 0, 10, 10}}) {
    auto patch = QMMakeLayerView(corner);
    patch->layer()->backgroundColor = Grey02();
    build.root->addSubview(patch);
  }
  build.shell = QMMakeLayerView(Rect{0, 0, kViewWidth, kViewHeight});
  {
    qm::ui::Layer* layer = build.shell->layer();
    auto face = std::make_shared<qm::ui::GradientLayer>();
    face->name = "qmShellFace";
    face->frame = build.shell->bounds();
    face->colors = {Color::deviceRGB255(36, 40, 43), Color::deviceRGB255(23, 27, 30)};
    face->startPoint = {0, 1};
    face->endPoint = {1, 0};
    face->cornerRadius = 10;
    layer->addSublayer(face);
    layer->cornerRadius = 10;
    layer->masksToBounds = true;
    auto border = std::make_shared<qm::ui::ShapeLayer>();
    border->name = "qmShellBorder";
    border->frame = build.shell->bounds();
    border->path = qm::ui::Path::roundedRect(build.shell->bounds().insetBy(1, 1), 9, 9);
    border->fillColor.reset();
    border->strokeColor = Color::black().withAlpha(0.95);
    border->lineWidth = 1;
    border->zPosition = 99;
    layer->addSublayer(border);
  }
  build.root->addSubview(build.shell);
  build.shield = std::make_shared<QMModalInteractionShieldView>(Rect{0, 0, kViewWidth, kViewHeight});
  build.shield->setHidden(true);
  build.root->addSubview(build.shield);
  build.handed.modalInteractionShield = build.shield;

  // The header: logo, wordmark and the small buttons.
  BuildHeader(build);
  // The input card: editor, placeholder, update notice, counter.
  BuildInputCard(build);
  // Takes and the performance row.
  BuildPerformanceRow(build);
  // Tools and the reset button.
  BuildToolButtons(build);
  // Voice Change; the window has no LOAD button.
  BuildVoiceChangeButton(build);
  views.loadButtonShell = nullptr;
  views.loadButton = nullptr;
  RefreshLanguageChip();
  // Overlay label and status line.
  BuildStatusLine(build);
  // The settings card, hidden until asked for.
  BuildSettingsCard(build);

  // A tap on the logo always reaches the tap button, above the alternate logo.
  if (build.handed.easterEggLogoView) build.handed.easterEggLogoView->bringToFront();
  if (build.handed.logoTapButton) build.handed.logoTapButton->bringToFront();

  // The settings controller, kept by the shell as well.
  auto controller = QMSettingsHelper::Create();
  controller->setGuiOwner(this);
  build.handed.logoView = build.shell->associatedObjectAs<qm::ui::ImageView>("logoView");
  build.handed.easterEggLogoView = build.shell->associatedObjectAs<qm::ui::ImageView>("easterEggLogoView");
  build.handed.logoTapButton = build.shell->associatedObjectAs<qm::ui::Button>("logoTapButton");
  controller->views = build.handed;
  controller->logoTapCount = 0;
  controller->logoAnimationToken = 0;
  controller->activeVote = 0;
  controller->voteAnimationToken = 0;
  build.shell->setAssociatedObject("settingsHelper", controller);
  settingsController = controller;

  // Every button sends its action to the controller.
  WireActions(build);
  controller->applyVoteVisualState();

  // The start-up exchange, with the account's token handed to the processor as well. No usable
  // token clears QMli (a write of size 0), so a token cleared since an earlier window is not sent.
  if (views.settingsCardHolder) views.settingsCardHolder->setHidden(true);
  // A token the host lends for its run stands in only for a stored one that is missing or not
  // used; the file is left as it is, and why it was not used is logged as at any opening.
  std::string ignored;
  state.accountAccessToken = QMReadAccountToken(&ignored);
  if (state.accountAccessToken.empty()) {
    state.accountAccessToken = QMLentAccessToken();
    if (!state.accountAccessToken.empty() && !ignored.empty()) Log("Account token not used: " + ignored);
  }
  Store().WriteString(kQMBlock_AccessToken, state.accountAccessToken);
  controller->processUpdaterStatusFromDefaults();
  controller->recordPluginEvent("update_check", "", "");
  controller->startAccountStatusExchange();

  // The stored language chosen again.
  ApplyStoredLanguage();

  // The card above everything; the root to the base in a plain view controller.
  if (build.handed.settingsCard) build.root->addSubview(build.handed.settingsCard);
  auto viewController = std::make_shared<qm::ui::ViewController>(build.root);
  UpdateTextPlaceholderVisibility();
  SetViewController(std::move(viewController));
}

// [main-thread]
void Quillomancer_GUI::BuildHeader(BuildContext& build) {
  qm::ui::View& shell = *build.shell;
  std::shared_ptr<qm::ui::Image> logo = ArtworkImage(build.bundle, kLogoResource);
  std::shared_ptr<qm::ui::Image> wordmark = build.bundle.imageForResource(kWordmarkResource);
  const qm::ui::AttributedString wordmarkText = WordmarkText();
  double wordmarkWidth = 0;
  if (wordmark && wordmark->size().height > 0) {
    wordmarkWidth = kWordmarkHeight * wordmark->size().width / wordmark->size().height;
  } else {
    wordmark.reset();
    wordmarkWidth = qm::ui::textMeasurer().measure(wordmarkText, 0).width + 8;
  }
  // Centred in the left 240 points, but never nearer the window's edge than its corner radius:
  // a wordmark in a wide fallback font would otherwise push the logo out of the window.
  const double x0 = std::max(kLogoMinimumX, (240 - (kLogoWidth + kLogoGap + wordmarkWidth)) / 2);
  const Rect logoFrame{x0, kLogoY, kLogoWidth, kLogoHeight};

  if (logo) {
    auto shadow = std::make_shared<qm::ui::ImageView>(logoFrame.insetBy(-2.5, -2.5));
    shadow->setImage(LogoSilhouette(logo));
    shadow->setImageScaling(qm::ui::ImageScaling::AxesIndependently);
    shadow->setImageAlignment(qm::ui::ImageAlignment::Center);
    shadow->setWantsLayer(true);
    shadow->setAlphaValue(0.72);
    shadow->layer()->shadowColor = Color::black().withAlpha(0.7);
    shadow->layer()->shadowOpacity = 1;
    shadow->layer()->shadowRadius = 10;
    shadow->layer()->shadowOffset = qm::ui::Size{0, 0};
    shadow->layer()->masksToBounds = false;
    shell.addSubview(shadow);

    auto mark = std::make_shared<qm::ui::ImageView>(logoFrame);
    mark->setImage(logo);
    mark->setImageScaling(qm::ui::ImageScaling::AxesIndependently);
    mark->setImageAlignment(qm::ui::ImageAlignment::Center);
    shell.addSubview(mark);

    std::shared_ptr<qm::ui::ImageView> alternate;
    if (auto alternateImage = ArtworkImage(build.bundle, kAlternateLogoResource)) {
      const double w = kLogoWidth * 1.15 - 3.4;
      const qm::ui::Size size = alternateImage->size();
      const double h = size.width > 0 ? w * size.height / size.width : w;
      const double top = kLogoY + kLogoHeight;
      alternate = std::make_shared<qm::ui::ImageView>(Rect{x0 + (kLogoWidth - w) / 2, top - 1 - h, w, h});
      alternate->setImage(alternateImage);
      alternate->setImageScaling(qm::ui::ImageScaling::AxesIndependently);
      alternate->setImageAlignment(qm::ui::ImageAlignment::Top);
      alternate->setHidden(true);
      alternate->setAlphaValue(1);
      shell.addSubview(alternate);
    }

    auto tap = QMMakeInvisibleButton(logoFrame);
    tap->setButtonType(qm::ui::ButtonType::MomentaryChange);
    shell.addSubview(tap);

    shell.setAssociatedObject("logoView", mark);
    shell.setAssociatedObject("easterEggLogoView", alternate);
    shell.setAssociatedObject("logoTapButton", tap);
    build.handed.easterEggLogoView = alternate;
    build.handed.logoTapButton = tap;
  }

  if (wordmark) {
    auto view = std::make_shared<qm::ui::ImageView>(Rect{x0 + kLogoWidth + kLogoGap, 114 + 5, wordmarkWidth, kWordmarkHeight});
    view->setImage(wordmark);
    view->setImageScaling(qm::ui::ImageScaling::ProportionallyUpOrDown);
    view->setImageAlignment(qm::ui::ImageAlignment::Left);
    shell.addSubview(view);
  } else {
    auto label = std::make_shared<qm::ui::TextField>(Rect{x0 + kLogoWidth + kLogoGap, 114 + 3, wordmarkWidth, kWordmarkHeight});
    QMStyleWindowLabel(*label, "", Font::system(20, FontWeight::Semibold), QMHighlightGreen(), TextAlignment::Left);
    label->setAttributedStringValue(wordmarkText);
    shell.addSubview(label);
  }

  // Settings, help and the two thumbs.
  auto settings = QMMakeSymbolButton(Rect{445, 136, 20, 20}, "gearshape.fill", "Settings", "", QMSettingsTintColor());
  if (!settings->image()) settings->setImage(qm::ui::Image::standardActionImage());
  settings->setToolTip("Settings");
  shell.addSubview(settings);
  views.settingsButton = settings.get();

  auto help = std::make_shared<qm::ui::Button>(Rect{419, 137, 18, 18});
  help->setBezelStyle(qm::ui::BezelStyle::Inline);
  help->setBordered(false);
  help->setAttributedTitle(QMStyledText("?", Font::system(14, FontWeight::Bold), QMSettingsTintColor()));
  help->setToolTip("Quick help");
  shell.addSubview(help);
  build.handed.helpButton = help;

  struct Thumb {
    Rect frame;
    const char* symbol;
    const char* description;
    const char* fallback;
  };
  const Thumb thumbs[2] = {{Rect{435, 137.5, 16, 16}, "hand.thumbsup.fill", "Thumbs up", "+"},
                           {Rect{425, 137.5, 16, 16}, "hand.thumbsdown.fill", "Thumbs down", "-"}};
  for (int i = 0; i < 2; ++i) {
    auto thumb = QMMakeSymbolButton(thumbs[i].frame, thumbs[i].symbol, thumbs[i].description, thumbs[i].fallback,
                                    QMTextSecondary());
    thumb->setToolTip(thumbs[i].description);
    thumb->setHidden(true);
    thumb->setEnabled(false);
    shell.addSubview(thumb);
    (i == 0 ? views.voteUpButton : views.voteDownButton) = thumb.get();
    (i == 0 ? build.handed.voteUpBtn : build.handed.voteDownBtn) = thumb;
  }
}

// [main-thread]
void Quillomancer_GUI::BuildInputCard(BuildContext& build) {
  auto card = QMMakeLayerView(Rect{8, 34, 464, 72});
  {
    qm::ui::Layer* layer = card->layer();
    auto face = QMEnsureGradientSublayer(layer, "qmInputFace");
    face->frame = card->bounds();
    face->colors = {QMInputBGColor(), QMInputBGColor()};
    face->startPoint = {0, 1};
    face->endPoint = {1, 0};
    face->cornerRadius = 12;
    layer->cornerRadius = 12;
    layer->borderWidth = 1;
    layer->borderColor = Color::deviceRGB255(60, 64, 72, 0.85);
    layer->shadowColor = Color::deviceRGB255(60, 64, 72, 0.68);
    layer->shadowOpacity = 1;
    layer->shadowRadius = 2;
    layer->shadowOffset = qm::ui::Size{0, 0};
    layer->masksToBounds = false;
    auto inner = QMEnsureShapeSublayer(layer, "qmInputInnerStroke");
    inner->frame = card->bounds();
    inner->path = qm::ui::Path::roundedRect(card->bounds().insetBy(1, 1), 11, 11);
    inner->fillColor.reset();
    inner->strokeColor = Color::deviceRGB255(11, 13, 15, 0.9);
    inner->lineWidth = 1;
    inner->shadowColor = Color::deviceRGB255(11, 13, 15, 0.75);
    inner->shadowOpacity = 1;
    inner->shadowRadius = 2;
    inner->shadowOffset = qm::ui::Size{0, 0};
  }
  build.shell->addSubview(card);
  build.inputCard = card;

  const Rect editorFrame{11, 33, 442, 35};
  auto editor = QMTrackedTextEditorView::Create(editorFrame);
  editor->textView()->setString(u"");
  editor->setLanguageChipTarget(nullptr);
  editor->setLanguageChipAction(qm::ui::Selector());
  card->addSubview(editor);
  views.editorView = editor.get();

  auto placeholder = QMMakeWindowLabel("Select audio on timeline, press LOAD, edit it, then hit Process!", editorFrame,
                                       Font::system(14, FontWeight::Light), QMPlaceholderColor());
  placeholder->setEnabled(true);
  card->addSubview(placeholder, qm::ui::WindowOrderingMode::Below, editor.get());
  views.placeholderLabel = placeholder.get();
  editor->textView()->setString(u"");

  // The notice ends 5 points short of the Voice Change shell (x 377), which would otherwise cover
  // the end of every right-aligned badge text.
  const Rect badgeFrame{192, 109, 180, 14};
  auto badge = QMMakeWindowLabel("Update available", badgeFrame, Font::system(11), QMAccentOrange(),
                                 TextAlignment::Right);
  badge->setHidden(true);
  build.shell->addSubview(badge);
  views.updateBadgeLabel = badge.get();
  build.handed.updateBadgeLabel = badge;
  auto badgeButton = QMMakeInvisibleButton(badgeFrame);
  badgeButton->setToolTip("Download latest version");
  badgeButton->setHidden(true);
  build.shell->addSubview(badgeButton);
  views.updateBadgeButton = badgeButton.get();
  build.handed.updateBadgeButton = badgeButton;

  auto counter = QMMakeWindowLabel("", Rect{362, 109, 110, 14}, Font::system(11), QMAccentOrange(), TextAlignment::Right);
  counter->setHidden(true);
  build.shell->addSubview(counter);
  views.textLengthCounterLabel = counter.get();
}

// [main-thread]
void Quillomancer_GUI::BuildPerformanceRow(BuildContext& build) {
  qm::ui::View& shell = *build.shell;
  auto takes = QMTakeSelector::initWithFrame(Rect{0, 6, 132, 24});
  const int32_t initialTakes = QMInitialTakesRequested(state.mediaComposerHost);
  takes->setSelectedTakes(initialTakes);
  state.lastSentTakes = static_cast<uint8_t>(initialTakes);
  Store().WriteByte(kQMBlock_Takes, state.lastSentTakes);
  shell.addSubview(takes);
  views.takeSelector = takes.get();

  // Label 86, gap 6, modes 138, gap 12, takes 132, gap 10, Process 78: 462 points, centred.
  const double x0 = std::floor((kViewWidth - 462) / 2);
  takes->setFrame(Rect{x0 + 86 + 6 + 138 + 12, 6, 132, 24});

  auto performance = std::make_shared<QMAlignedLabel>(Rect{x0, 6, 86, 24});
  QMStyleWindowLabel(*performance, "Performance:", Font::system(13), QMTextSecondary(), TextAlignment::Right);
  shell.addSubview(performance);
  views.performanceLabel = performance.get();

  // The language chip, in the input card (placed and shown by RefreshLanguageChip).
  const std::string chipTip = "Choose the language Quillomancer should listen for and transcribe.";
  auto chip = std::make_shared<QMActionView>(Rect{-57, 7, 58, 20});
  chip->setWantsLayer(true);
  chip->layer()->cornerRadius = 6;
  chip->layer()->backgroundColor = QMControlOuterColor();
  chip->layer()->borderWidth = 0.8;
  chip->layer()->borderColor = Color::white().withAlpha(0.12);
  chip->setToolTip(chipTip);
  chip->setHidden(true);
  auto chevron = QMMakeSymbolButton(Rect{30, 3, 14, 14}, "chevron.down", "Language menu", "", QMLanguageChipAccentColor());
  chevron->setBezelStyle(qm::ui::BezelStyle::Rounded);
  chevron->setEnabled(true);
  chevron->setToolTip(chipTip);
  chip->addSubview(chevron);
  auto chipText = QMMakeWindowLabel("", Rect{8, 1, 24, 16}, Font::system(11), QMTextSecondary());
  chip->addSubview(chipText);
  build.inputCard->addSubview(chip);
  views.languageChip = chip.get();
  views.languageChipButton = chevron.get();
  views.languageChipLabel = chipText.get();

  auto modeShell = QMMakeLayerView(Rect{x0 + 86 + 6, 6, 138, 24});
  modeShell->layer()->cornerRadius = 12;
  modeShell->layer()->backgroundColor = Color::deviceRGB255(18, 20, 23, 0.98);
  modeShell->layer()->borderWidth = 0;
  auto modes = QMModeSelector::initWithFrame(Rect{0, 0, 138, 24});
  QMApplyMatchVariationLook(*modes);
  modes->setLeftToolTip("Stay close to the original timing, pacing, and energy.");
  modes->setRightToolTip("Create an alternate take with a looser, more interpretive read.");
  modes->setSelectedSegment(0);
  modeShell->addSubview(modes);
  shell.addSubview(modeShell);
  views.modeSelectorShell = modeShell.get();
  views.modeSelector = modes.get();

  auto processShell = QMMakeLayerView(Rect{x0 + 462 - 78, 6, 78, 24});
  QMApplyOuterShellStyle(processShell.get(), 9, true);
  auto process = MakeShellButton(Rect{2, 2, 74, 20}, 8);
  process->normalFillColor = QMControlInnerOffColor();
  process->pressedFillColor = Color::deviceRGB(0.16, 0.18, 0.21, 1);
  QMApplyInnerButtonStyle(process.get(), 8, QMTopButtonTopColor(), QMTopButtonBottomColor(), QMControlOuterColor());
  process->setAttributedTitle(QMStyledText("Process", Font::system(12), QMTextPrimary(), TextAlignment::Center));
  process->setAlignment(TextAlignment::Center);
  process->setToolTip(
      "Use the already loaded audio and send it to Quillomancer for processing without reloading the timeline "
      "selection.");
  processShell->addSubview(process);
  shell.addSubview(processShell);
  views.processButtonShell = processShell.get();
  views.processButton = process.get();
  UpdateProcessButtonAppearance();
}

// [main-thread]
void Quillomancer_GUI::BuildToolButtons(BuildContext& build) {
  struct Tool {
    double x;
    double iconHeight;
    const char* toolTip;
  };
  const Tool tools[2] = {{10, 15, "Rewrite specific words while keeping the rest of the performance locked in."},
                         {102, 19,
                          "Mark a weak section and regenerate a stronger read while keeping the original performance "
                          "arc."}};
  for (int i = 0; i < 2; ++i) {
    auto toolShell = QMMakeLayerView(Rect{tools[i].x, 6, 84, 24});
    QMApplyOuterShellStyle(toolShell.get(), 12, false);
    auto button = MakeShellButton(Rect{2, 2, 80, 20}, 10);
    button->preferredIconHeight = tools[i].iconHeight;
    button->iconTitleSpacing = 7;
    QMApplyInnerButtonStyle(button.get(), 10, QMControlInnerOffColor(), QMControlInnerOffColor(),
                            QMControlHighlightColor());
    button->setToolTip(tools[i].toolTip);
    toolShell->addSubview(button);
    build.inputCard->addSubview(toolShell);
    (i == 0 ? views.changeToolShell : views.repairToolShell) = toolShell.get();
    (i == 0 ? views.changeToolButton : views.repairToolButton) = button.get();
  }
  UpdateChangeToolButtonAppearance();
  UpdateRepairToolButtonAppearance();

  auto reset = QMMakeSymbolButton(Rect{446, 41, 16, 16}, "arrow.counterclockwise", "Reset text", "", QMTextSecondary());
  reset->setToolTip("Clear text or remove all repair selections.");
  reset->setEnabled(false);
  build.inputCard->addSubview(reset);
  views.clearTextButton = reset.get();
}

// [main-thread]
void Quillomancer_GUI::BuildVoiceChangeButton(BuildContext& build) {
  auto vcShell = QMMakeLayerView(Rect{377, 109, 95, 27});
  QMApplyOuterShellStyle(vcShell.get(), 11, true);
  auto button = MakeShellButton(Rect{2, 2, 91, 23}, 10);
  button->setAttributedTitle(QMStyledText("Voice Change", Font::system(13), QMTextPrimary(), TextAlignment::Center));
  button->setAlignment(TextAlignment::Center);
  button->setToolTip(
      "Clone the reference voice and transfer it onto the performance clip while preserving the original feel.");
  QMApplyInnerButtonStyle(button.get(), 10, QMTopButtonTopColor(), QMTopButtonBottomColor(), QMControlOuterColor());
  vcShell->addSubview(button);
  build.shell->addSubview(vcShell);
  views.voiceChangeShell = vcShell.get();
  views.voiceChangeButton = button.get();
  UpdateVoiceChangeModeButtonAppearance();
}

// [main-thread]
void Quillomancer_GUI::BuildStatusLine(BuildContext& build) {
  qm::ui::View& card = *build.inputCard;
  auto overlay = QMMakeWindowLabel("", views.editorView ? views.editorView->frame() : Rect{11, 33, 442, 35},
                                   Font::system(13), QMTextPrimary());
  overlay->setLineBreakMode(qm::ui::LineBreakMode::WordWrapping);
  overlay->setHidden(true);
  overlay->setEnabled(false);
  card.addSubview(overlay, qm::ui::WindowOrderingMode::Below, views.editorView);
  views.editorOverlayLabel = overlay.get();

  auto clip = QMMakeLayerView(Rect{186, 6, 178, 16});
  clip->layer()->masksToBounds = true;
  clip->setClipsToBounds(true);
  auto status = QMMakeWindowLabel("", Rect{0, 0, 178, 16}, Font::system(12), QMTextSecondary(), TextAlignment::Center);
  status->setLineBreakMode(qm::ui::LineBreakMode::Clipping);
  clip->addSubview(status);
  card.addSubview(clip);
  views.statusClipView = clip.get();
  views.statusLabel = status.get();
}

// [main-thread]
void Quillomancer_GUI::WireActions(BuildContext& build) {
  const std::shared_ptr<qm::ui::Object> controller = settingsController;
  const QMSettingsViews& handed = build.handed;
  const auto wire = [&](qm::ui::Control* control, const char* action) {
    if (!control) return;
    control->setTarget(controller);
    control->setAction(action);
  };
  wire(views.settingsButton, "toggleSettings:");
  if (views.settingsButton) views.settingsButton->setToolTip("Settings");
  wire(handed.helpButton.get(), "toggleTutorial:");
  wire(build.closeButton.get(), "closeSettings:");
  wire(handed.sendLogBtn.get(), "sendLogAction:");
  wire(views.voteUpButton, "voteUpAction:");
  wire(views.voteDownButton, "voteDownAction:");
  wire(handed.logoTapButton.get(), "logoTapped:");
  wire(views.clearTextButton, "resetLineChangeTargetAction:");
  wire(views.changeToolButton, "changeToolAction:");
  if (views.changeToolButton) {
    views.changeToolButton->setToolTip("Rewrite specific words while keeping the rest of the performance locked in.");
  }
  wire(views.repairToolButton, "repairToolAction:");
  if (views.repairToolButton) {
    views.repairToolButton->setToolTip(
        "Mark a weak section and regenerate a stronger read while keeping the original performance arc.");
  }
  wire(views.voiceChangeButton, "voiceChangeModeAction:");
  wire(views.loadButton, "transcribeDummyAction:");
  wire(views.processButton, "processLoadedAudioAction:");
  wire(views.languageChipButton, "toggleLanguageChooserAction:");
  if (auto* chip = dynamic_cast<QMActionView*>(views.languageChip)) {
    chip->setTarget(controller);
    chip->setAction("toggleLanguageChooserAction:");
  }
  if (QMTrackedTextEditorView* editor = views.editorView) {
    editor->setRepairSelectionTarget(controller);
    editor->setRepairSelectionAction("repairSelectionChangedAction:");
    editor->setLanguageChipTarget(controller);
    editor->setLanguageChipAction("clearLanguageTagAction:");
  }
  wire(handed.updateFailureRetryButton.get(), "retryUpdateFailureAction:");
  wire(handed.updateFailureManualButton.get(), "manualDownloadUpdateAction:");
  wire(handed.updateButton.get(), "openDownloadPage:");
  wire(handed.updateReqUpdateButton.get(), "openDownloadPage:");
  wire(handed.checkUpdatesBtn.get(), "checkForUpdatesAction:");
  wire(handed.breathCheckbox.get(), "breathCheckboxAction:");
  wire(build.downloadUpdateButton.get(), "openDownloadPage:");
  wire(views.updateBadgeButton, "openDownloadPage:");
}
