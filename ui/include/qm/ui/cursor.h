#pragma once
// Mouse cursors: the standard arrow, I-beam, crosshair and pointing hand, or an image with a hot
// spot (in cursor coordinates, origin at the image's top left). Setting a cursor makes it the
// application's current cursor.

#include "qm/ui/image.h"

#include <memory>

namespace qm::ui {

class Cursor {
 public:
  enum class Kind { Arrow, IBeam, Crosshair, PointingHand, Image };

  static std::shared_ptr<Cursor> arrow();
  static std::shared_ptr<Cursor> iBeam();
  static std::shared_ptr<Cursor> crosshair();
  static std::shared_ptr<Cursor> pointingHand();
  Cursor(std::shared_ptr<Image> image, Point hotSpot) : kind_(Kind::Image), image_(std::move(image)), hotSpot_(hotSpot) {}

  Kind kind() const { return kind_; }
  const std::shared_ptr<Image>& image() const { return image_; }
  Point hotSpot() const { return hotSpot_; }
  // Makes this the application's current cursor. [main-thread]
  void set() const;

 private:
  explicit Cursor(Kind kind) : kind_(kind) {}
  // The one shared cursor of a standard kind.
  static std::shared_ptr<Cursor> standard(Kind kind);
  Kind kind_;
  std::shared_ptr<Image> image_;
  Point hotSpot_;
};

}  // namespace qm::ui
