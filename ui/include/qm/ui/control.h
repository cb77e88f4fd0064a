#pragma once
// Controls: views with an enabled state, a target (held weakly) and an action, a tag, a font and
// an alignment. Like the platform's controls they are flipped (y grows downwards inside them).

#include "qm/ui/attributed_string.h"
#include "qm/ui/font.h"
#include "qm/ui/view.h"

#include <memory>
#include <optional>

namespace qm::ui {

class Control : public View {
 public:
  using View::View;

  bool isFlipped() const override { return true; }

  bool isEnabled() const { return enabled_; }
  virtual void setEnabled(bool enabled);

  // The target is held weakly: once it is freed, the action goes nowhere.
  std::shared_ptr<Object> target() const { return target_.lock(); }
  void setTarget(const std::shared_ptr<Object>& target);
  Selector action() const { return action_; }
  void setAction(Selector action) { action_ = action; }
  long tag() const { return tag_; }
  void setTag(long tag) { tag_ = tag; }
  // None: the control's default font.
  const std::optional<Font>& font() const { return font_; }
  void setFont(const Font& font);
  TextAlignment alignment() const { return alignment_; }
  void setAlignment(TextAlignment alignment);

  // Sends `action` to `target` through the application (null target: the responder chain; a
  // target that was set and is gone: nothing). False when nothing answered.
  bool sendAction(Selector action, const std::shared_ptr<Object>& target);
  // Sends the control's own action to its own target.
  bool sendOwnAction();

 private:
  bool enabled_ = true;
  std::weak_ptr<Object> target_;
  bool hadTarget_ = false;
  Selector action_;
  long tag_ = 0;
  std::optional<Font> font_;
  TextAlignment alignment_ = TextAlignment::Natural;
};

// Where an image goes in a view or a button, and how it is scaled.
enum class ImageScaling { ProportionallyDown, AxesIndependently, None, ProportionallyUpOrDown };
enum class ImageAlignment { Center, Top, TopLeft, TopRight, Left, Bottom, BottomLeft, BottomRight, Right };
// The rectangle an image of `imageSize` takes in `bounds` (y upwards).
Rect imageRectInBounds(Size imageSize, const Rect& bounds, ImageScaling scaling, ImageAlignment alignment);

}  // namespace qm::ui
