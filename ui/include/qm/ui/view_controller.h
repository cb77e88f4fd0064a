#pragma once
// Owns one view (the root of what the controller manages). Held by shared ownership: whoever
// keeps a std::shared_ptr<ViewController> holds a reference, and releasing the last one
// releases the view as well (unless a superview still keeps it).

#include "qm/ui/view.h"

#include <memory>

namespace qm::ui {

class ViewController {
 public:
  ViewController() = default;
  explicit ViewController(std::shared_ptr<View> view) : view_(std::move(view)) {}
  virtual ~ViewController() = default;

  ViewController(const ViewController&) = delete;
  ViewController& operator=(const ViewController&) = delete;

  // The controller's view, null until one is set.
  const std::shared_ptr<View>& view() const { return view_; }
  void setView(std::shared_ptr<View> view) { view_ = std::move(view); }

 private:
  std::shared_ptr<View> view_;
};

}  // namespace qm::ui
