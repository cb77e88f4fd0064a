#pragma once
// The window's pill-shaped segmented control: a rounded dark track with two or three text
// segments (left, optional centre, right) and a rounded pill that slides under the selected one.
// Each segment is a borderless QMModeTextButton that draws only its title. A click selects the
// clicked segment and, when both a target and an action are set, sends the action with the
// selector as sender (also when the segment was already selected). Setting the selection from
// code sends nothing. A centre title of at least one character makes three segments.
// Layer-backed, not flipped; main thread only.

#include "QMControls.h"

#include "qm/ui/color.h"
#include "qm/ui/object.h"
#include "qm/ui/view.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class QMModeSelector : public qm::ui::View {
  struct Passkey {};

 public:
  // The track, the pill and two segments titled "Before" and "After", segment 0 selected. The
  // selector is made through here because its segments hold it (weakly) as their target.
  // [main-thread]
  static std::shared_ptr<QMModeSelector> initWithFrame(const qm::ui::Rect& frame);
  QMModeSelector(const qm::ui::Rect& frame, Passkey);

  // 0 left; with two segments 1 is right; with three, 1 is centre and 2 right.
  int32_t selectedSegment() const { return selectedSegment_; }
  // Clamped to the segments there are; a new value slides the pill. Sends no action.
  void setSelectedSegment(int32_t segment);
  int32_t segmentCount() const;

  bool isEnabled() const { return enabled_; }
  // Also when unchanged: passes the state to the segments and redraws.
  void setEnabled(bool enabled);
  bool dimmedAppearance() const { return dimmedAppearance_; }
  void setDimmedAppearance(bool dimmed);

  // Titles and tooltips answer what was set (none after none was set; the display then uses
  // "Before", "After" and "" for the centre).
  const std::optional<std::string>& leftTitle() const { return leftTitle_; }
  void setLeftTitle(std::optional<std::string> title);
  const std::optional<std::string>& centerTitle() const { return centerTitle_; }
  // Adds or removes the centre segment when the count changes, keeping the selected side.
  void setCenterTitle(std::optional<std::string> title);
  const std::optional<std::string>& rightTitle() const { return rightTitle_; }
  void setRightTitle(std::optional<std::string> title);
  const std::optional<std::string>& leftToolTip() const { return leftToolTip_; }
  void setLeftToolTip(std::optional<std::string> tip);
  const std::optional<std::string>& centerToolTip() const { return centerToolTip_; }
  void setCenterToolTip(std::optional<std::string> tip);
  const std::optional<std::string>& rightToolTip() const { return rightToolTip_; }
  void setRightToolTip(std::optional<std::string> tip);

  // Pill fill with segment 0 selected, and with any other segment selected.
  const std::optional<qm::ui::Color>& leftSelectedFillColor() const { return leftSelectedFillColor_; }
  void setLeftSelectedFillColor(std::optional<qm::ui::Color> color);
  const std::optional<qm::ui::Color>& rightSelectedFillColor() const { return rightSelectedFillColor_; }
  void setRightSelectedFillColor(std::optional<qm::ui::Color> color);
  // Selected title colours; the left one is also the centre's.
  const std::optional<qm::ui::Color>& leftSelectedTextColor() const { return leftSelectedTextColor_; }
  void setLeftSelectedTextColor(std::optional<qm::ui::Color> color);
  const std::optional<qm::ui::Color>& rightSelectedTextColor() const { return rightSelectedTextColor_; }
  void setRightSelectedTextColor(std::optional<qm::ui::Color> color);

  // Held weakly: a freed target gets nothing.
  std::shared_ptr<qm::ui::Object> target() const { return target_.lock(); }
  void setTarget(const std::shared_ptr<qm::ui::Object>& target) { target_ = target; }
  qm::ui::Selector action() const { return action_; }
  void setAction(qm::ui::Selector action) { action_ = action; }

 private:
  std::shared_ptr<QMModeTextButton> makeButton(const std::string& title, const qm::ui::Rect& frame, long tag);
  void onClick(QMModeTextButton* button);
  qm::ui::Rect pillRect() const;
  void animatePill();
  void refreshState();
  // Stores `value` and refreshes, unless it equals what is stored.
  void setText(std::optional<std::string>& field, std::optional<std::string> value);
  void setColor(std::optional<qm::ui::Color>& field, std::optional<qm::ui::Color> value);

  int32_t selectedSegment_ = 0;
  bool enabled_ = true;
  bool dimmedAppearance_ = false;
  std::shared_ptr<qm::ui::View> pill_;
  std::shared_ptr<QMModeTextButton> beforeBtn_;
  std::shared_ptr<QMModeTextButton> afterBtn_;
  std::shared_ptr<QMModeTextButton> centerBtn_;
  std::optional<std::string> leftTitle_ = std::string("Before");
  std::optional<std::string> centerTitle_;
  std::optional<std::string> rightTitle_ = std::string("After");
  std::optional<qm::ui::Color> leftSelectedFillColor_ = qm::ui::Color::deviceRGB(0.20, 0.22, 0.26, 1);
  std::optional<qm::ui::Color> rightSelectedFillColor_ = qm::ui::Color::deviceRGB(0.20, 0.22, 0.26, 1);
  std::optional<qm::ui::Color> leftSelectedTextColor_ = qm::ui::Color::deviceWhite(0.88, 1);
  std::optional<qm::ui::Color> rightSelectedTextColor_ = qm::ui::Color::deviceWhite(0.88, 1);
  std::optional<std::string> leftToolTip_, centerToolTip_, rightToolTip_;
  std::weak_ptr<qm::ui::Object> target_;
  qm::ui::Selector action_;
};

// The window's Match / Variation titles and colours.
void QMApplyMatchVariationLook(QMModeSelector& selector);
