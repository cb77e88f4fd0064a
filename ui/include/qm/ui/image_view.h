#pragma once
// Image views: one image, scaled and aligned in the bounds; a template image takes the content
// tint colour.

#include "qm/ui/control.h"
#include "qm/ui/image.h"

#include <optional>

namespace qm::ui {

class ImageView : public Control {
 public:
  explicit ImageView(const Rect& frame = {}) : Control(frame) {}

  const std::shared_ptr<Image>& image() const { return image_; }
  void setImage(std::shared_ptr<Image> image) { image_ = std::move(image); setNeedsDisplay(); }
  ImageScaling imageScaling() const { return scaling_; }
  void setImageScaling(ImageScaling scaling) { scaling_ = scaling; setNeedsDisplay(); }
  ImageAlignment imageAlignment() const { return alignment_; }
  void setImageAlignment(ImageAlignment alignment) { alignment_ = alignment; setNeedsDisplay(); }
  const std::optional<Color>& contentTintColor() const { return tint_; }
  void setContentTintColor(std::optional<Color> tint) { tint_ = tint; setNeedsDisplay(); }

  bool isFlipped() const override { return false; }
  void drawRect(const Rect& dirtyRect, GraphicsContext& context) override;
  // Image views take no clicks of their own: the view behind them does.
  void mouseDown(const Event& e) override { View::mouseDown(e); }

 private:
  std::shared_ptr<Image> image_;
  ImageScaling scaling_ = ImageScaling::ProportionallyDown;
  ImageAlignment alignment_ = ImageAlignment::Center;
  std::optional<Color> tint_;
};

}  // namespace qm::ui
