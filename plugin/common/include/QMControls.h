#pragma once
// The window's small custom controls: the styled push button that paints its own face and lays
// out its icon and title (QMModeTextButton), the 12-point check box with a drawn tick
// (QMOrangeCheckbox), a plain view that sends an action when pressed (QMActionView), a label
// centred vertically with a fine offset (QMAlignedLabel) and a view that swallows clicks while
// shown (QMModalInteractionShieldView). Main thread only.

#include "QMWindowLook.h"

#include "qm/ui/button.h"
#include "qm/ui/text_field.h"
#include "qm/ui/view.h"

#include <memory>
#include <optional>

class QMModeTextButton : public qm::ui::Button {
 public:
  explicit QMModeTextButton(const qm::ui::Rect& frame = {});

  bool drawsBevel = true;
  bool drawsInnerBevel = true;
  double titleYOffset = 0;
  std::optional<qm::ui::Color> normalFillColor = qm::ui::Color::clear();
  std::optional<qm::ui::Color> pressedFillColor = qm::ui::Color::clear();
  // Also set by key ("gradientTopColor", "gradientBottomColor", "strokeColor") by the inner
  // button style; a value by key is a qm::ui::Color, an empty value is none.
  std::optional<qm::ui::Color> gradientTopColor = qm::ui::Color::clear();
  std::optional<qm::ui::Color> gradientBottomColor = qm::ui::Color::clear();
  std::optional<qm::ui::Color> strokeColor = qm::ui::Color::clear();
  double preferredIconHeight = 0;
  double iconTitleSpacing = 6;
  double contentXOffset = 0;

  void mouseDown(const qm::ui::Event& e) override;
  void drawRect(const qm::ui::Rect& dirtyRect, qm::ui::GraphicsContext& context) override;
};

class QMOrangeCheckbox : public qm::ui::Button {
 public:
  explicit QMOrangeCheckbox(const qm::ui::Rect& frame = {}) : qm::ui::Button(frame) {}
  bool isFlipped() const override { return false; }
  // Toggles at once and sends the action; the release is not awaited.
  void mouseDown(const qm::ui::Event& e) override;
  void mouseDragged(const qm::ui::Event&) override {}
  void mouseUp(const qm::ui::Event&) override {}
  void drawRect(const qm::ui::Rect& dirtyRect, qm::ui::GraphicsContext& context) override;
};

class QMActionView : public qm::ui::View {
 public:
  using qm::ui::View::View;
  // Held weakly: a freed target gets nothing.
  std::shared_ptr<qm::ui::Object> target() const { return target_.lock(); }
  void setTarget(const std::shared_ptr<qm::ui::Object>& target) { target_ = target; }
  qm::ui::Selector action() const { return action_; }
  void setAction(qm::ui::Selector action) { action_ = action; }
  // Sends the action to the target when both are set; nothing otherwise.
  void mouseDown(const qm::ui::Event& e) override;

 private:
  std::weak_ptr<qm::ui::Object> target_;
  qm::ui::Selector action_;
};

class QMAlignedLabel : public qm::ui::TextField {
 public:
  explicit QMAlignedLabel(const qm::ui::Rect& frame = {}) : qm::ui::TextField(frame) {}
  double textYOffset = 0;
  void drawRect(const qm::ui::Rect& dirtyRect, qm::ui::GraphicsContext& context) override;
};

class QMModalInteractionShieldView : public qm::ui::View {
 public:
  using qm::ui::View::View;
  // None while hidden or outside; a subview that claims the point, else the shield.
  qm::ui::View* hitTest(qm::ui::Point pointInSuperview) override;
  // Clicks that reach the shield stop here.
  void mouseDown(const qm::ui::Event&) override {}
  void mouseDragged(const qm::ui::Event&) override {}
  void mouseUp(const qm::ui::Event&) override {}
  void rightMouseDown(const qm::ui::Event&) override {}
};
