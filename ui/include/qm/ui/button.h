#pragma once
// Buttons: a title (plain or attributed), an image with its position and scaling, a bezel style,
// bordered or not, transparent, a type (push, switch, momentary change, ...), an on/off state,
// a content tint colour and a highlighted state while pressed. A press highlights the button
// while the mouse is inside; the action goes out on a release inside (nothing on a release
// outside). Switches toggle their state before the action goes out. A title without an image
// keeps to the button's alignment (centred unless set).

#include "qm/ui/control.h"
#include "qm/ui/image.h"

#include <memory>
#include <optional>
#include <string>

namespace qm::ui {

enum class BezelStyle { Rounded, RegularSquare, Inline, Recessed, SmallSquare, Circular };
enum class ButtonType { MomentaryPushIn, PushOnPushOff, Toggle, Switch, Radio, MomentaryChange, OnOff, MomentaryLight };
enum class ImagePosition { NoImage, ImageOnly, ImageLeft, ImageRight, ImageBelow, ImageAbove, ImageOverlaps, ImageLeading, ImageTrailing };

enum ControlState : int { kStateOff = 0, kStateOn = 1, kStateMixed = -1 };

class Button : public Control {
 public:
  explicit Button(const Rect& frame = {});

  // The plain title; setting it makes an attributed title in the button's font, centred.
  std::string title() const { return attributedTitle_.utf8(); }
  void setTitle(const std::string& title);
  const AttributedString& attributedTitle() const { return attributedTitle_; }
  void setAttributedTitle(const AttributedString& title);

  const std::shared_ptr<Image>& image() const { return image_; }
  void setImage(std::shared_ptr<Image> image);
  ImagePosition imagePosition() const { return imagePosition_; }
  void setImagePosition(ImagePosition position);
  ImageScaling imageScaling() const { return imageScaling_; }
  void setImageScaling(ImageScaling scaling);

  BezelStyle bezelStyle() const { return bezelStyle_; }
  void setBezelStyle(BezelStyle style);
  bool isBordered() const { return bordered_; }
  void setBordered(bool bordered);
  bool isTransparent() const { return transparent_; }
  void setTransparent(bool transparent);
  ButtonType buttonType() const { return type_; }
  void setButtonType(ButtonType type);
  int state() const { return state_; }
  void setState(int state);
  const std::optional<Color>& contentTintColor() const { return tint_; }
  void setContentTintColor(std::optional<Color> tint);
  bool isHighlighted() const { return highlighted_; }
  void setHighlighted(bool highlighted);

  // As if clicked: highlight, toggle a switch, send the action. [main-thread]
  virtual void performClick();

  void mouseDown(const Event& e) override;
  void mouseDragged(const Event& e) override;
  void mouseUp(const Event& e) override;
  void drawRect(const Rect& dirtyRect, GraphicsContext& context) override;

  // The font of titles set by setTitle (system 13 unless set).
  Font titleFont() const;

 protected:
  // Toggles the state of the types that toggle; called before the action on a click.
  void toggleStateForClick();
  // The standard looks (bezel, check box) and the content.
  void drawBezel(GraphicsContext& context);
  void drawContent(GraphicsContext& context, const Rect& area);

 private:
  bool pointInside(const Event& e) const;

  AttributedString attributedTitle_;
  std::shared_ptr<Image> image_;
  ImagePosition imagePosition_ = ImagePosition::NoImage;
  ImageScaling imageScaling_ = ImageScaling::ProportionallyDown;
  BezelStyle bezelStyle_ = BezelStyle::Rounded;
  bool bordered_ = true;
  bool transparent_ = false;
  ButtonType type_ = ButtonType::MomentaryPushIn;
  int state_ = kStateOff;
  std::optional<Color> tint_;
  bool highlighted_ = false;
  bool tracking_ = false;
};

}  // namespace qm::ui
