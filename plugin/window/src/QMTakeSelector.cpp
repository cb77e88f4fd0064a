#include "QMTakeSelector.h"

#include "QMWindowLook.h"

#include "qm/platform/defaults.h"
#include "qm/ui/animation.h"
#include "qm/ui/button.h"

#include <cmath>

using qm::ui::Color;
using qm::ui::Rect;

namespace {

constexpr float kCaptionWidth = 46;
constexpr float kTrackX = 48;
constexpr double kPillInset = 2;
constexpr double kSlideSeconds = 0.2;

Color chosenDigitColor() { return Color::deviceRGB(0.10, 0.08, 0.02, 1); }
qm::ui::Font digitFont() { return qm::ui::Font::system(13); }

double f32(float v) { return static_cast<double>(v); }

bool isTakesValue(int32_t t) { return t == 1 || t == 3 || t == 5; }

int32_t cellIndexOf(int32_t takes) { return takes == 1 ? 0 : takes == 3 ? 1 : 2; }

void styleLabel(QMAlignedLabel& label, const std::string& text, const qm::ui::Font& font) {
  label.setStringValue(text);
  label.setFont(font);
  label.setTextColor(QMTextSecondary());
  label.setBackgroundColor(Color::clear());
  label.setDrawsBackground(false);
  label.setBordered(false);
  label.setEditable(false);
  label.setSelectable(false);
}

}  // namespace

std::shared_ptr<QMTakeSelector> QMTakeSelector::initWithFrame(const Rect& frame) {
  auto selector = std::make_shared<QMTakeSelector>(frame, Passkey{});
  const float w = static_cast<float>(frame.width());
  const float h = static_cast<float>(frame.height());
  const float c = (w - kTrackX) / 3.0f;

  selector->takesLabel_ = std::make_shared<QMAlignedLabel>(Rect{0, 0, kCaptionWidth, frame.height()});
  styleLabel(*selector->takesLabel_, "Takes:", digitFont());
  selector->addSubview(selector->takesLabel_);

  auto track = std::make_shared<qm::ui::View>(Rect{kTrackX, 0, f32(w - kTrackX), frame.height()});
  track->setWantsLayer(true);
  track->layer()->backgroundColor = Color::deviceRGB255(18, 20, 23, 1);
  track->layer()->cornerRadius = f32(h / 2.0f);
  track->layer()->borderWidth = 0.5;
  track->layer()->borderColor = Color::deviceWhite(1, 0.06);
  selector->addSubview(track);

  selector->pill_ = std::make_shared<qm::ui::View>(
      Rect{f32(c) + kPillInset, kPillInset, f32(c) - 2 * kPillInset, frame.height() - 2 * kPillInset});
  selector->pill_->setWantsLayer(true);
  selector->pill_->layer()->backgroundColor = QMHighlightGreen();
  selector->pill_->layer()->cornerRadius = (frame.height() - 2 * kPillInset) / 2;
  track->addSubview(selector->pill_);

  selector->label1_ = selector->createLabelInTrack(*track, "1", 0, c, h, digitFont());
  selector->label3_ = selector->createLabelInTrack(*track, "3", 1, c, h, digitFont());
  selector->label5_ = selector->createLabelInTrack(*track, "5", 2, c, h, digitFont());
  selector->label3_->setTextColor(chosenDigitColor());

  const int32_t tags[3] = {1, 3, 5};
  for (int i = 0; i < 3; ++i) {
    auto cell = std::make_shared<qm::ui::Button>(Rect{f32(c * static_cast<float>(i)), 0, f32(c), frame.height()});
    cell->setBordered(false);
    cell->setTitle("");
    cell->setTransparent(true);
    cell->setTag(tags[i]);
    cell->setTarget(selector);
    cell->setAction("cellClicked:");
    track->addSubview(cell);
  }
  return selector;
}

QMTakeSelector::QMTakeSelector(const Rect& frame, Passkey) : qm::ui::View(frame) {
  setWantsLayer(true);
  registerAction("cellClicked:", [this](qm::ui::Object* sender) { cellClicked(sender); });
  // Read by key by the host's view listing.
  registerProperty(
      "selectedTakes", [this] { return std::any(selectedTakes_); },
      [this](const std::any& v) {
        if (const int32_t* takes = std::any_cast<int32_t>(&v)) setSelectedTakes(*takes);
      });
}

std::shared_ptr<QMAlignedLabel> QMTakeSelector::createLabelInTrack(qm::ui::View& track, const std::string& text,
                                                                   int32_t cellIndex, float cellWidth, float height,
                                                                   const qm::ui::Font& font) {
  const float x = std::round(cellWidth * static_cast<float>(cellIndex));
  const float w = std::round(cellWidth);
  auto label = std::make_shared<QMAlignedLabel>(Rect{f32(x), 0, f32(w), f32(height)});
  styleLabel(*label, text, font);
  label->setAlignment(qm::ui::TextAlignment::Center);
  track.addSubview(label);
  return label;
}

void QMTakeSelector::setSelectedTakes(int32_t takes) {
  if (!isTakesValue(takes) || takes == selectedTakes_) return;
  selectedTakes_ = takes;
  animatePillToTakes(takes);
  auto& defaults = qm::platform::UserDefaults::standard();
  defaults.set(kQuillomancer_TakesDefaultsKey, takes);
  defaults.synchronize();
}

void QMTakeSelector::cellClicked(qm::ui::Object* cell) {
  if (auto* button = dynamic_cast<qm::ui::Button*>(cell)) setSelectedTakes(static_cast<int32_t>(button->tag()));
}

void QMTakeSelector::animatePillToTakes(int32_t takes) {
  const float c = (static_cast<float>(bounds().width()) - kTrackX) / 3.0f;
  const float x = c * static_cast<float>(cellIndexOf(takes)) + 2.0f;
  const Rect target{f32(x), kPillInset, f32(c) - 2 * kPillInset, pill_->frame().height()};
  qm::ui::AnimationContext::runAnimationGroup([&](qm::ui::AnimationContext& context) {
    context.setDuration(kSlideSeconds);
    context.setTimingFunction(qm::ui::TimingFunction::EaseInEaseOut);
    pill_->animator().setFrame(target);
  });
  const int32_t chosen = cellIndexOf(takes);
  QMAlignedLabel* digits[3] = {label1_.get(), label3_.get(), label5_.get()};
  for (int32_t i = 0; i < 3; ++i) digits[i]->setTextColor(i == chosen ? chosenDigitColor() : QMTextSecondary());
}

int32_t QMInitialTakesRequested(bool hostIsMediaComposer) {
  auto& defaults = qm::platform::UserDefaults::standard();
  if (defaults.has(kQuillomancer_TakesDefaultsKey)) {
    const auto stored = defaults.integerForKey(kQuillomancer_TakesDefaultsKey);
    if (stored == 1 || stored == 3 || stored == 5) return static_cast<int32_t>(stored);
  }
  return hostIsMediaComposer ? 1 : 3;
}
