#include "qm/ui/stack_view.h"

#include <algorithm>

namespace qm::ui {

void StackView::setSpacing(double spacing) {
  spacing_ = spacing;
  layout();
}

void StackView::prune() {
  std::erase_if(arranged_, [this](const std::shared_ptr<View>& v) { return v->superview() != this; });
}

const std::vector<std::shared_ptr<View>>& StackView::arrangedSubviews() {
  prune();
  return arranged_;
}

void StackView::addArrangedSubview(const std::shared_ptr<View>& view) {
  if (!view || !addSubview(view)) return;
  prune();
  std::erase(arranged_, view);  // a view arranged already moves to the bottom
  arranged_.push_back(view);
  layout();
}

void StackView::removeArrangedSubview(const View* view) {
  std::erase_if(arranged_, [view](const std::shared_ptr<View>& v) { return v.get() == view; });
  layout();
}

void StackView::layout() {
  prune();
  const Rect b = bounds();
  // Top down: in an unflipped stack the top is the bounds' maximum y.
  double offset = 0;
  for (const auto& v : arranged_) {
    const Size s = v->frame().size;
    const double y = isFlipped() ? b.minY() + offset : b.maxY() - offset - s.height;
    v->setFrameOrigin(Point{b.minX(), y});
    offset += s.height + spacing_;
  }
}

void StackView::resizeSubviewsWithOldSize(Size oldSize) {
  View::resizeSubviewsWithOldSize(oldSize);
  layout();
}

}  // namespace qm::ui
