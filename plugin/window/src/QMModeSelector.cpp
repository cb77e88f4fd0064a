#include "QMModeSelector.h"

#include "QMWindowLook.h"

#include "qm/ui/animation.h"
#include "qm/ui/application.h"
#include "qm/ui/attributed_string.h"
#include "qm/ui/font.h"

#include <algorithm>

using qm::ui::Color;
using qm::ui::Rect;

namespace {

Color trackColor(bool dimmed) {
  return dimmed ? Color::deviceRGB255(8, 10, 12, 0.98) : Color::deviceRGB255(18, 20, 23, 0.98);
}
Color defaultPillFill() { return Color::deviceRGB(0.20, 0.22, 0.26, 1); }
Color dimmedPillFill() { return Color::deviceRGB(0.12, 0.14, 0.17, 1); }
qm::ui::Font titleFont() { return qm::ui::Font::system(12); }
constexpr double kPillInset = 2;
constexpr double kSlideSeconds = 0.12;

// The segments' widths follow the view's 32-bit arithmetic.
double f32(float v) { return static_cast<double>(v); }

qm::ui::AttributedString titleString(const std::string& text, const Color& colour) {
  qm::ui::TextAttributes a;
  a.font = titleFont();
  a.foregroundColor = colour;
  return qm::ui::AttributedString(text, a);
}

}  // namespace

std::shared_ptr<QMModeSelector> QMModeSelector::initWithFrame(const Rect& frame) {
  auto selector = std::make_shared<QMModeSelector>(frame, Passkey{});
  const float w = static_cast<float>(frame.width());
  const double h = frame.height();
  selector->beforeBtn_ = selector->makeButton(*selector->leftTitle_, Rect{0, 0, f32(w * 0.5f), h}, 0);
  selector->afterBtn_ = selector->makeButton(*selector->rightTitle_, Rect{f32(w * 0.5f), 0, f32(w * 0.5f), h}, 1);
  selector->addSubview(selector->beforeBtn_);
  selector->addSubview(selector->afterBtn_);
  selector->refreshState();
  return selector;
}

QMModeSelector::QMModeSelector(const Rect& frame, Passkey) : qm::ui::View(frame) {
  setWantsLayer(true);
  layer()->cornerRadius = frame.height() * 0.5;
  layer()->backgroundColor = trackColor(false);
  layer()->borderWidth = 0;
  const float w = static_cast<float>(frame.width());
  const float h = static_cast<float>(frame.height());
  pill_ = std::make_shared<qm::ui::View>(
      Rect{kPillInset, kPillInset, f32((w - 4.0f) / 2.0f), frame.height() - 2 * kPillInset});
  pill_->setWantsLayer(true);
  pill_->layer()->cornerRadius = f32((h - 4.0f) * 0.5f);
  pill_->layer()->backgroundColor = defaultPillFill();
  addSubview(pill_);
  registerAction("onClick:", [this](qm::ui::Object* sender) { onClick(dynamic_cast<QMModeTextButton*>(sender)); });
  // Read by key by a sender's receiver and by the host's view listing.
  registerProperty(
      "selectedSegment", [this] { return std::any(selectedSegment_); },
      [this](const std::any& v) {
        if (const int32_t* segment = std::any_cast<int32_t>(&v)) setSelectedSegment(*segment);
      });
}

std::shared_ptr<QMModeTextButton> QMModeSelector::makeButton(const std::string& title, const Rect& frame, long tag) {
  auto b = std::make_shared<QMModeTextButton>(frame);
  b->setTitle(title);
  b->setTag(tag);
  b->setBordered(false);
  b->setFont(titleFont());
  b->setContentTintColor(QMTextPrimary());
  b->titleYOffset = 0;
  b->drawsBevel = false;
  b->setTarget(sharedObject());
  b->setAction("onClick:");
  return b;
}

int32_t QMModeSelector::segmentCount() const { return centerTitle_ && !centerTitle_->empty() ? 3 : 2; }

void QMModeSelector::setSelectedSegment(int32_t segment) {
  const int32_t clamped = std::clamp(segment, 0, segmentCount() - 1);
  if (clamped == selectedSegment_) return;
  selectedSegment_ = clamped;
  animatePill();
  refreshState();
}

void QMModeSelector::setEnabled(bool enabled) {
  enabled_ = enabled;
  for (auto* b : {beforeBtn_.get(), centerBtn_.get(), afterBtn_.get()})
    if (b) b->setEnabled(enabled);
  refreshState();
}

void QMModeSelector::setDimmedAppearance(bool dimmed) {
  if (dimmed == dimmedAppearance_) return;
  dimmedAppearance_ = dimmed;
  refreshState();
}

void QMModeSelector::setText(std::optional<std::string>& field, std::optional<std::string> value) {
  if (field == value) return;
  field = std::move(value);
  refreshState();
}

void QMModeSelector::setColor(std::optional<Color>& field, std::optional<Color> value) {
  if (field == value) return;
  field = value;
  refreshState();
}

void QMModeSelector::setLeftTitle(std::optional<std::string> title) { setText(leftTitle_, std::move(title)); }
void QMModeSelector::setRightTitle(std::optional<std::string> title) { setText(rightTitle_, std::move(title)); }
void QMModeSelector::setLeftToolTip(std::optional<std::string> tip) { setText(leftToolTip_, std::move(tip)); }
void QMModeSelector::setCenterToolTip(std::optional<std::string> tip) { setText(centerToolTip_, std::move(tip)); }
void QMModeSelector::setRightToolTip(std::optional<std::string> tip) { setText(rightToolTip_, std::move(tip)); }
void QMModeSelector::setLeftSelectedFillColor(std::optional<Color> c) { setColor(leftSelectedFillColor_, c); }
void QMModeSelector::setRightSelectedFillColor(std::optional<Color> c) { setColor(rightSelectedFillColor_, c); }
void QMModeSelector::setLeftSelectedTextColor(std::optional<Color> c) { setColor(leftSelectedTextColor_, c); }
void QMModeSelector::setRightSelectedTextColor(std::optional<Color> c) { setColor(rightSelectedTextColor_, c); }

void QMModeSelector::setCenterTitle(std::optional<std::string> title) {
  if (centerTitle_ == title) return;
  const bool had = centerTitle_ && !centerTitle_->empty();
  centerTitle_ = std::move(title);
  const bool has = centerTitle_ && !centerTitle_->empty();
  const float width = static_cast<float>(bounds().width());
  const double h = bounds().height();
  if (!had && has) {
    const double w = f32(width / 3.0f);
    beforeBtn_->setFrame(Rect{0, 0, w, h});
    afterBtn_->setFrame(Rect{f32(2.0f * static_cast<float>(w)), 0, w, h});
    centerBtn_ = makeButton(*centerTitle_, Rect{w, 0, w, h}, 1);
    centerBtn_->setEnabled(enabled_);
    addSubview(centerBtn_);
    afterBtn_->setTag(2);
    // The selected side stays selected: the right segment moves from 1 to 2.
    if (selectedSegment_ > 0) selectedSegment_ = std::min(2, selectedSegment_ + 1);
  } else if (had && !has) {
    const double w = f32(width * 0.5f);
    beforeBtn_->setFrame(Rect{0, 0, w, h});
    afterBtn_->setFrame(Rect{w, 0, w, h});
    afterBtn_->setTag(1);
    if (centerBtn_) centerBtn_->removeFromSuperview();
    centerBtn_.reset();
    if (selectedSegment_ > 1) selectedSegment_ = 1;
  }
  animatePill();
  refreshState();
}

void QMModeSelector::onClick(QMModeTextButton* button) {
  if (!enabled_ || !button) return;
  setSelectedSegment(static_cast<int32_t>(button->tag()));
  auto target = target_.lock();
  if (target && action_) qm::ui::Application::shared().sendAction(action_, target.get(), this);
}

Rect QMModeSelector::pillRect() const {
  const float s = (static_cast<float>(bounds().width()) - 4.0f) / static_cast<float>(segmentCount());
  const float x = s * static_cast<float>(selectedSegment_) + 2.0f;
  return Rect{f32(x), kPillInset, f32(s), bounds().height() - 2 * kPillInset};
}

void QMModeSelector::animatePill() {
  const Rect target = pillRect();
  qm::ui::AnimationContext::runAnimationGroup([&](qm::ui::AnimationContext& c) {
    c.setDuration(kSlideSeconds);
    pill_->animator().setFrame(target);
  });
}

void QMModeSelector::refreshState() {
  Color leftSelected = Color::deviceWhite(0.55, 1), rightSelected = leftSelected;
  Color unselected = Color::deviceWhite(0.45, 1);
  if (enabled_) {
    leftSelected = leftSelectedTextColor_.value_or(Color::deviceWhite(0.88, 1));
    rightSelected = rightSelectedTextColor_.value_or(Color::deviceWhite(0.88, 1));
    unselected = QMTextSecondary();
  }
  if (dimmedAppearance_) {
    leftSelected = rightSelected = Color::deviceWhite(0.42, 1);
    unselected = Color::deviceWhite(0.26, 1);
  }
  layer()->backgroundColor = trackColor(dimmedAppearance_);

  pill_->setFrame(pillRect());
  Color fill = (selectedSegment_ != 0 ? rightSelectedFillColor_ : leftSelectedFillColor_).value_or(defaultPillFill());
  if (dimmedAppearance_) fill = dimmedPillFill();
  pill_->layer()->backgroundColor = fill;

  const int32_t last = segmentCount() - 1;
  beforeBtn_->setAttributedTitle(titleString(leftTitle_.value_or("Before"), selectedSegment_ == 0 ? leftSelected : unselected));
  afterBtn_->setAttributedTitle(titleString(rightTitle_.value_or("After"), selectedSegment_ == last ? rightSelected : unselected));
  if (centerBtn_)
    centerBtn_->setAttributedTitle(titleString(centerTitle_.value_or(""), selectedSegment_ == 1 ? leftSelected : unselected));

  beforeBtn_->setToolTip(leftToolTip_.value_or(""));
  afterBtn_->setToolTip(rightToolTip_.value_or(""));
  if (centerBtn_) centerBtn_->setToolTip(centerToolTip_.value_or(""));
  setNeedsDisplay();
}

void QMApplyMatchVariationLook(QMModeSelector& selector) {
  selector.setLeftTitle("Match");
  selector.setRightTitle("Variation");
  selector.setLeftSelectedFillColor(qm::ui::Color::deviceRGB255(36, 39, 46));
  selector.setRightSelectedFillColor(QMHighlightGreen());
  selector.setLeftSelectedTextColor(QMTextSecondary());
  selector.setRightSelectedTextColor(qm::ui::Color::deviceRGB(0.08, 0.08, 0.08, 1));
}
