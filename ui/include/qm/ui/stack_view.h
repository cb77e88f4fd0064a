#pragma once
// A stack view: arranged subviews laid out one under the other, top down, each at the leading
// (left) edge with its own size, with a fixed spacing between neighbours: the platform's vertical
// orientation, leading alignment and gravity-area distribution, the only ones the window uses.
// The stack lays them out at once whenever the list or the stack's size changes, so clicks find
// the rows where they are drawn.
//
// As on the platform, removeArrangedSubview only takes a view out of the arrangement: it stays a
// subview (and is drawn where it was) until it is removed from its superview too. A view taken out
// of the stack with removeFromSuperview leaves the arrangement as well.

#include "qm/ui/view.h"

#include <memory>
#include <vector>

namespace qm::ui {

class StackView : public View {
 public:
  using View::View;

  // 8 points unless set.
  double spacing() const { return spacing_; }
  void setSpacing(double spacing);

  // Top to bottom; views that left the stack's subviews are dropped first.
  const std::vector<std::shared_ptr<View>>& arrangedSubviews();
  // Adds `view` at the bottom of the arrangement (and as a subview, on top of the others).
  void addArrangedSubview(const std::shared_ptr<View>& view);
  // Takes `view` out of the arrangement; it remains a subview (see above).
  void removeArrangedSubview(const View* view);

  // Places the arranged views (called by the stack itself after every change).
  void layout() override;
  void resizeSubviewsWithOldSize(Size oldSize) override;

 private:
  void prune();

  double spacing_ = 8;
  std::vector<std::shared_ptr<View>> arranged_;
};

}  // namespace qm::ui
