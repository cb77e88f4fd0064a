#include "qm/ui/layer.h"

#include <algorithm>

namespace qm::ui {

double nextStackOrder() {
  static double counter = 0;
  counter += 1.0;
  return counter;
}

Layer::~Layer() {
  for (auto& sub : sublayers_) sub->superlayer_ = nullptr;
}

void Layer::addSublayer(const std::shared_ptr<Layer>& layer) { insertSublayer(layer, sublayers_.size()); }

void Layer::insertSublayer(const std::shared_ptr<Layer>& layer, std::size_t index) {
  if (!layer || layer.get() == this) return;
  for (Layer* l = this; l; l = l->superlayer_)
    if (l == layer.get()) return;  // would make a cycle
  std::shared_ptr<Layer> keep = layer;
  keep->removeFromSuperlayer();
  index = std::min(index, sublayers_.size());
  if (index == 0) {
    // Below everything of this layer, manual sublayers and subviews alike.
    double lowest = sublayers_.empty() ? 0.0 : sublayers_.front()->stackOrder_;
    keep->stackOrder_ = std::min(lowest, 0.0) - 1.0;
  } else {
    keep->stackOrder_ = nextStackOrder();
  }
  keep->superlayer_ = this;
  sublayers_.insert(sublayers_.begin() + static_cast<long>(index), std::move(keep));
}

void Layer::removeFromSuperlayer() {
  Layer* parent = superlayer_;
  if (!parent) return;
  superlayer_ = nullptr;
  auto& s = parent->sublayers_;
  auto it = std::find_if(s.begin(), s.end(), [this](const std::shared_ptr<Layer>& l) { return l.get() == this; });
  if (it == s.end()) return;
  std::shared_ptr<Layer> last = std::move(*it);
  s.erase(it);
  last.reset();
}

std::shared_ptr<Layer> Layer::sublayerNamed(const std::string& n) const {
  if (n.empty()) return nullptr;
  for (const auto& l : sublayers_)
    if (l->name == n) return l;
  return nullptr;
}

}  // namespace qm::ui
