// Gallery pages of the window's own controls and look (added to `qmui gallery`).

#include "QMControls.h"
#include "QMWindowLook.h"

#include "qm/ui/render.h"
#include "qm/ui/text_measurer.h"

#include <algorithm>

namespace {

using namespace qm::ui;

const Color kShellBackground = Color::deviceRGB255(30, 34, 37);

std::shared_ptr<View> pageOf(const std::shared_ptr<View>& control, double pad = 8) {
  const Rect f = control->frame();
  auto root = std::make_shared<View>(Rect{0, 0, f.width() + 2 * pad, f.height() + 2 * pad});
  control->setFrameOrigin(Point{pad, pad});
  root->addSubview(control);
  return root;
}

AttributedString title(const std::string& text, const Color& colour, double size = 12) {
  TextAttributes a;
  a.font = Font::system(size);
  a.foregroundColor = colour;
  ParagraphStyle p;
  p.alignment = TextAlignment::Center;
  a.paragraphStyle = p;
  return AttributedString(text, a);
}

// A tool button in its shell, styled as the window styles its Change and Repair tools.
std::shared_ptr<View> toolButton(const std::string& name, bool active, bool enabled, bool pressed, bool repair) {
  auto shell = std::make_shared<View>(Rect{0, 0, 84, 24});
  shell->setWantsLayer(true);
  QMApplyOuterShellStyle(shell.get(), 12, false);
  auto button = std::make_shared<QMModeTextButton>(Rect{2, 2, 80, 20});
  button->setBordered(false);
  button->setWantsLayer(true);
  button->layer()->cornerRadius = 10;
  button->preferredIconHeight = repair ? 19 : 15;
  button->iconTitleSpacing = 7;
  const Color activeFill = repair ? QMRepairHighlightOrange() : QMHighlightGreen();
  button->normalFillColor = active ? activeFill : QMControlInnerOffColor();
  button->pressedFillColor = active ? (repair ? Color::genericRGB(0.85, 0.5, 0.12) : Color::deviceRGB(0.24, 0.78, 0.45))
                                    : Color::deviceRGB(0.16, 0.18, 0.21);
  const Color stroke = active ? (repair ? Color::deviceRGB255(28, 18, 10) : Color::deviceRGB255(16, 20, 14)) : QMControlHighlightColor();
  QMApplyInnerButtonStyle(button.get(), 10, active ? activeFill : QMControlInnerOffColor(),
                          active ? activeFill : QMControlInnerOffColor(), stroke);
  const Color iconColour = active ? Color::black() : QMToolIconColor();
  button->setImage(repair ? QMBandageIconImage(iconColour) : QMTintedSystemSymbolImage("scissors", name, iconColour));
  button->setImagePosition(ImagePosition::ImageLeft);
  const Color text = active ? Color::black() : (enabled ? QMTextPrimary() : Color::deviceWhite(1, 0.45));
  button->setAttributedTitle(title(name, text));
  button->setEnabled(enabled);
  button->setHighlighted(pressed);
  shell->addSubview(button);
  return shell;
}

std::shared_ptr<View> processButton(bool armed, bool pressed, bool enabled) {
  auto shell = std::make_shared<View>(Rect{0, 0, 78, 24});
  shell->setWantsLayer(true);
  QMApplyOuterShellStyle(shell.get(), 9, true);
  auto button = std::make_shared<QMModeTextButton>(Rect{2, 2, 74, 20});
  button->setBordered(false);
  button->setWantsLayer(true);
  button->layer()->cornerRadius = 8;
  button->normalFillColor = QMControlInnerOffColor();
  button->pressedFillColor = Color::deviceRGB(0.16, 0.18, 0.21);
  QMApplyInnerButtonStyle(button.get(), 8, QMTopButtonTopColor(), QMTopButtonBottomColor(),
                          QMLerpColor(QMControlOuterColor(), QMHighlightGreen(), armed ? 1.0 : 0.0));
  button->setAttributedTitle(title("Process", armed ? QMTextPrimary() : QMTextMuted()));
  button->setHighlighted(pressed);
  button->setEnabled(enabled);
  shell->addSubview(button);
  return shell;
}

std::shared_ptr<View> checkbox(bool on, bool disabled) {
  auto box = std::make_shared<QMOrangeCheckbox>(Rect{0, 0, 176, 16});
  box->setBordered(false);
  box->setButtonType(ButtonType::Switch);
  box->setImagePosition(ImagePosition::ImageLeft);
  box->setState(on ? kStateOn : kStateOff);
  TextAttributes a;
  a.font = Font::system(11);
  a.foregroundColor = QMTextSecondary();
  box->setAttributedTitle(AttributedString("Add breath tail", a));
  box->setEnabled(!disabled);
  return box;
}

std::shared_ptr<View> alignedLabels() {
  auto root = std::make_shared<View>(Rect{0, 0, 120, 80});
  const TextAlignment alignments[3] = {TextAlignment::Left, TextAlignment::Center, TextAlignment::Right};
  for (int i = 0; i < 3; ++i) {
    auto l = std::make_shared<QMAlignedLabel>(Rect{0, 56.0 - 26 * i, 120, 24});
    l->setStringValue("Performance:");
    l->setFont(Font::system(13));
    l->setTextColor(QMTextSecondary());
    l->setAlignment(alignments[i]);
    l->setWantsLayer(true);
    l->layer()->backgroundColor = Color::deviceRGB255(18, 20, 23);
    root->addSubview(l);
  }
  return root;
}

// The language chip as the window shows it with a language chosen: as wide as its code needs
// (42 points at least), 16 high, its code and chevron in one muted ink. It has one look only.
std::shared_ptr<View> languageChip(const std::string& code = "EN") {
  TextAttributes measured;
  measured.font = Font::system(11);
  const double width = std::max(42.0, textMeasurer().measure(AttributedString(code, measured), 0).width + 22);
  auto chip = std::make_shared<QMActionView>(Rect{0, 0, width, 16});
  chip->setWantsLayer(true);
  chip->layer()->cornerRadius = 4;
  chip->layer()->backgroundColor = QMControlInnerOffColor();
  chip->layer()->borderWidth = 1;
  chip->layer()->borderColor = Color::deviceRGB255(52, 56, 65);
  const Color ink = Color::deviceRGB255(83, 95, 111);
  auto chevron = std::make_shared<Button>(Rect{width - 15, 2, 10, 10});
  chevron->setBordered(false);
  chevron->setImage(Image::systemSymbol("chevron.down", "Language menu"));
  chevron->setContentTintColor(ink);
  chip->addSubview(chevron);
  auto text = TextField::label(code, Rect{7, 0, width - 18, 15});
  text->setFont(Font::system(11));
  text->setTextColor(ink);
  chip->addSubview(text);
  return chip;
}

// The bottom row of the window: two tools, a status text, and the performance controls.
std::shared_ptr<View> windowStrip() {
  auto root = std::make_shared<View>(Rect{0, 0, 480, 72});
  root->setWantsLayer(true);
  auto card = std::make_shared<View>(Rect{8, 36, 464, 32});
  card->setWantsLayer(true);
  card->layer()->cornerRadius = 12;
  card->layer()->backgroundColor = QMInputBGColor();
  card->layer()->borderWidth = 1;
  card->layer()->borderColor = Color::deviceRGB255(60, 64, 72, 0.85);
  card->layer()->shadowColor = Color::deviceRGB255(60, 64, 72, 0.68);
  card->layer()->shadowOpacity = 1;
  card->layer()->shadowRadius = 2;
  card->layer()->shadowOffset = Size{0, 0};
  root->addSubview(card);
  auto change = toolButton("Change", true, true, false, false);
  change->setFrameOrigin(Point{10, 4});
  card->addSubview(change);
  auto repairTool = toolButton("Repair", false, true, false, true);
  repairTool->setFrameOrigin(Point{102, 4});
  card->addSubview(repairTool);
  auto status = TextField::label("Take 1/3 - ready to render", Rect{196, 8, 178, 16});
  status->setFont(Font::system(12));
  status->setTextColor(QMGreenColor());
  status->setAlignment(TextAlignment::Center);
  card->addSubview(status);
  auto chip = languageChip();
  chip->setFrameOrigin(Point{card->frame().width() - 10 - chip->frame().width(), 8});
  card->addSubview(chip);
  auto perf = std::make_shared<QMAlignedLabel>(Rect{9, 6, 86, 24});
  perf->setStringValue("Performance:");
  perf->setFont(Font::system(13));
  perf->setTextColor(QMTextSecondary());
  perf->setAlignment(TextAlignment::Right);
  root->addSubview(perf);
  auto seg = std::make_shared<View>(Rect{101, 6, 138, 24});
  seg->setWantsLayer(true);
  seg->layer()->cornerRadius = 12;
  seg->layer()->backgroundColor = Color::deviceRGB255(18, 20, 23, 0.98);
  auto pill = std::make_shared<View>(Rect{2, 2, 67, 20});
  pill->setWantsLayer(true);
  pill->layer()->cornerRadius = 10;
  pill->layer()->backgroundColor = Color::deviceRGB255(36, 39, 46);
  seg->addSubview(pill);
  const char* names[2] = {"Match", "Variation"};
  for (int i = 0; i < 2; ++i) {
    auto b = std::make_shared<QMModeTextButton>(Rect{69.0 * i, 0, 69, 24});
    b->drawsBevel = false;
    b->setAttributedTitle(title(names[i], i == 0 ? QMTextSecondary() : QMTextSecondary().withAlpha(0.8)));
    seg->addSubview(b);
  }
  root->addSubview(seg);
  auto process = processButton(true, false, true);
  process->setFrameOrigin(Point{393, 6});
  root->addSubview(process);
  return root;
}

struct Register {
  Register() {
    using qm::ui::render::GalleryPage;
    std::vector<GalleryPage> pages;
    auto add = [&](const std::string& name, std::function<std::shared_ptr<View>()> build) {
      pages.push_back(GalleryPage{name, std::move(build), kShellBackground});
    };
    add("qm-change-tool-on", [] { return pageOf(toolButton("Change", true, true, false, false)); });
    add("qm-change-tool-off", [] { return pageOf(toolButton("Change", false, true, false, false)); });
    add("qm-change-tool-highlighted", [] { return pageOf(toolButton("Change", true, true, true, false)); });
    add("qm-change-tool-disabled", [] { return pageOf(toolButton("Change", false, false, false, false)); });
    add("qm-repair-tool-on", [] { return pageOf(toolButton("Repair", true, true, false, true)); });
    add("qm-repair-tool-off", [] { return pageOf(toolButton("Repair", false, true, false, true)); });
    add("qm-repair-tool-highlighted", [] { return pageOf(toolButton("Repair", false, true, true, true)); });
    add("qm-process-armed", [] { return pageOf(processButton(true, false, true)); });
    add("qm-process-normal", [] { return pageOf(processButton(false, false, true)); });
    add("qm-process-highlighted", [] { return pageOf(processButton(false, true, true)); });
    add("qm-process-disabled", [] { return pageOf(processButton(false, false, false)); });
    add("qm-checkbox-on", [] { return pageOf(checkbox(true, false)); });
    add("qm-checkbox-off", [] { return pageOf(checkbox(false, false)); });
    add("qm-checkbox-disabled", [] { return pageOf(checkbox(false, true)); });
    add("qm-aligned-label", [] { return pageOf(alignedLabels()); });
    add("qm-action-view-chip", [] { return pageOf(languageChip()); });
    add("qm-outer-shell", [] {
      auto shell = std::make_shared<View>(Rect{0, 0, 95, 27});
      shell->setWantsLayer(true);
      QMApplyOuterShellStyle(shell.get(), 11, true);
      return pageOf(shell);
    });
    add("qm-window-strip", [] { return windowStrip(); });
    qm::ui::render::registerGalleryPages(std::move(pages));
  }
};

const Register registered;

}  // namespace
