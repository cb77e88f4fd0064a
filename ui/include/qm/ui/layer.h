#pragma once
// Layers as data, the way the window's look is described: a name, a frame in the superlayer
// (origin lower left), background, corner radius, masks-to-bounds, border, shadow, z position,
// opacity and sublayers; gradient layers (colours, start and end points in the unit square,
// (0, 0) lower left) and shape layers (path, fill, stroke, line width). A view that wants a layer
// has one whose bounds follow the view; the renderer draws it under the view's own drawing.
// Layers also carry the records of running animations (see animation.h).

#include "qm/ui/animation.h"
#include "qm/ui/color.h"
#include "qm/ui/geometry.h"
#include "qm/ui/path.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qm::ui {

class Layer : public std::enable_shared_from_this<Layer> {
 public:
  Layer() = default;
  virtual ~Layer();
  Layer(const Layer&) = delete;
  Layer& operator=(const Layer&) = delete;

  std::string name;
  Rect frame;
  std::optional<Color> backgroundColor;
  double cornerRadius = 0;
  bool masksToBounds = false;
  double borderWidth = 0;
  Color borderColor = Color::black();
  std::optional<Color> shadowColor;  // none: black
  double shadowOpacity = 0;
  double shadowRadius = 3;
  Size shadowOffset{0, -3};
  double zPosition = 0;
  double opacity = 1;
  bool hidden = false;

  Rect bounds() const { return Rect{Point{}, frame.size}; }

  Layer* superlayer() const { return superlayer_; }
  // Back to front.
  const std::vector<std::shared_ptr<Layer>>& sublayers() const { return sublayers_; }
  void addSublayer(const std::shared_ptr<Layer>& layer);
  // Index 0 is the back; an index past the end appends.
  void insertSublayer(const std::shared_ptr<Layer>& layer, std::size_t index);
  void removeFromSuperlayer();
  // The first direct sublayer with that name, or null.
  std::shared_ptr<Layer> sublayerNamed(const std::string& name) const;

  AnimationSet& animations() { return animations_; }
  const AnimationSet& animations() const { return animations_; }
  void removeAllAnimations() { animations_.removeAll(); }

  // Where this layer stands among its superlayer's sublayers and the subviews of the view that
  // owns the superlayer (the renderer interleaves them by this, after z position).
  double stackOrder() const { return stackOrder_; }

 private:
  Layer* superlayer_ = nullptr;
  std::vector<std::shared_ptr<Layer>> sublayers_;
  AnimationSet animations_;
  double stackOrder_ = 0;
};

class GradientLayer : public Layer {
 public:
  std::vector<Color> colors;
  std::vector<double> locations;  // empty: evenly spread
  Point startPoint{0.5, 0.0};
  Point endPoint{0.5, 1.0};
};

class ShapeLayer : public Layer {
 public:
  Path path;
  std::optional<Color> fillColor = Color::black();
  std::optional<Color> strokeColor;
  double lineWidth = 1;
};

// A global counter for stack orders: later additions lie above earlier ones.
double nextStackOrder();

}  // namespace qm::ui
