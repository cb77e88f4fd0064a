#pragma once
// A graphics context for tests: it keeps every drawing operation in order with its values and
// the transform in force (from the recording's origin), so a test can check what a view drew:
// which path was filled with which colour, where the text went, how large the icon was.

#include "qm/ui/graphics.h"

#include <memory>
#include <string>
#include <vector>

namespace qm::ui {

struct RecordedOp {
  enum class Kind { Clip, Fill, Stroke, Gradient, Image, TemplateImage, Text, Shadow, BeginGroup, EndGroup };
  Kind kind = Kind::Fill;
  Path path;                 // Clip, Fill, Stroke, Gradient, Shadow
  Color color = Color::clear();  // Fill, Stroke, TemplateImage (tint), Shadow
  CompositeOp op = CompositeOp::SourceOver;
  Gradient gradient;         // Gradient
  double angle = 0;          // Gradient by angle
  bool byPoints = false;     // Gradient by start and end points
  Point start, end;          // Gradient by points
  const Image* image = nullptr;  // Image, TemplateImage (valid while the image lives)
  Rect rect;                 // Image, TemplateImage, Text
  double fraction = 1;       // Image, TemplateImage; group alpha
  AttributedString text;     // Text
  double blurRadius = 0;     // Shadow
  double strokeWidth = 0;    // Shadow of a stroked shape
  Size offset;               // Shadow
  AffineTransform ctm;       // the transform in force
  bool flipped = false;
};

class RecordingContext : public GraphicsContext {
 public:
  RecordingContext() = default;

  const std::vector<RecordedOp>& ops() const { return ops_; }
  void clearOps() { ops_.clear(); }
  std::vector<const RecordedOp*> opsOfKind(RecordedOp::Kind kind) const;
  // The plain text of every Text op, in order.
  std::vector<std::string> texts() const;

  void clip(const Path& path) override;
  void fillPath(const Path& path, const Color& color, CompositeOp op) override;
  void strokePath(const Path& path, const Color& color) override;
  void drawLinearGradient(const Gradient& gradient, const Path& path, double angleDegrees) override;
  void drawLinearGradient(const Gradient& gradient, const Path& path, Point start, Point end) override;
  void drawImage(const Image& image, const Rect& dest, CompositeOp op, double fraction) override;
  void drawTemplateImage(const Image& image, const Rect& dest, const Color& tint, double fraction) override;
  void drawText(const AttributedString& text, const Rect& rect) override;
  void drawShadow(const Path& shape, const Color& color, double blurRadius, Size offset, double strokeWidth) override;
  void beginTransparencyGroup(double alpha) override;
  void endTransparencyGroup() override;

 protected:
  void onSave() override {}
  void onRestore() override {}
  void onConcat(const AffineTransform&) override {}

 private:
  RecordedOp& add(RecordedOp::Kind kind);
  std::vector<RecordedOp> ops_;
};

}  // namespace qm::ui
