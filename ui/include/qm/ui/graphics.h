#pragma once
// The graphics context every view draws into. Views draw with these operations only; a Cairo
// context (the renderer) turns them into pixels and a recording context (tests) keeps them as a
// list. Coordinates are the current user space: points, y upwards unless the context is flipped
// (a flipped view's drawing). Text and images are always drawn upright.

#include "qm/ui/attributed_string.h"
#include "qm/ui/color.h"
#include "qm/ui/geometry.h"
#include "qm/ui/image.h"
#include "qm/ui/path.h"

#include <vector>

namespace qm::ui {

enum class CompositeOp { SourceOver, SourceAtop, DestinationIn, DestinationOut, Copy, Clear };

// A linear gradient's colour stops (locations 0...1; evenly spread when not given).
struct Gradient {
  std::vector<Color> colors;
  std::vector<double> locations;
  Gradient() = default;
  Gradient(Color start, Color end) : colors{start, end}, locations{0.0, 1.0} {}
  friend bool operator==(const Gradient&, const Gradient&) = default;
};

// A layer's shadow. `outlines` are the layer's own shapes (filled, or stroked with a width above 0).
struct LayerShadow {
  struct Outline {
    Path path;
    double strokeWidth = 0;
  };
  Color color = Color::black();
  double blurRadius = 0;
  Size offset;
  std::vector<Outline> outlines;
};

class GraphicsContext {
 public:
  virtual ~GraphicsContext() = default;

  void save();
  void restore();
  // Prepends to the current transform (the new transform applies first).
  void concat(const AffineTransform& t);
  void translate(double x, double y) { concat(AffineTransform::translation(x, y)); }
  void scale(double sx, double sy) { concat(AffineTransform::scaling(sx, sy)); }
  const AffineTransform& ctm() const { return state_.back().ctm; }
  // Whether y grows downwards in the current user space (part of the saved state).
  bool isFlipped() const { return state_.back().flipped; }
  void setFlipped(bool flipped) { state_.back().flipped = flipped; }

  virtual void clip(const Path& path) = 0;
  void clipToRect(const Rect& r) { clip(Path::rect(r)); }
  virtual void fillPath(const Path& path, const Color& color, CompositeOp op = CompositeOp::SourceOver) = 0;
  void fillRect(const Rect& r, const Color& color, CompositeOp op = CompositeOp::SourceOver) { fillPath(Path::rect(r), color, op); }
  // Strokes with the path's line width, cap and join.
  virtual void strokePath(const Path& path, const Color& color) = 0;
  // Fills `path` with the gradient running at `angleDegrees` across the path's bounds
  // (0: start colour at the left; 90: start colour at the low-y side).
  virtual void drawLinearGradient(const Gradient& gradient, const Path& path, double angleDegrees) = 0;
  // Fills `path` with the gradient running from `start` to `end` (user space).
  virtual void drawLinearGradient(const Gradient& gradient, const Path& path, Point start, Point end) = 0;
  virtual void drawImage(const Image& image, const Rect& dest, CompositeOp op = CompositeOp::SourceOver, double fraction = 1.0) = 0;
  // A template image as a mask filled with `tint`.
  virtual void drawTemplateImage(const Image& image, const Rect& dest, const Color& tint, double fraction = 1.0) = 0;
  // Lays the text out in `rect` (wrapping at its width when the text's paragraph style wraps),
  // starting at the rectangle's top.
  virtual void drawText(const AttributedString& text, const Rect& rect) = 0;
  // A blurred shadow of `shape`, filled or, with a stroke width above 0, stroked (the shape
  // itself is not drawn).
  virtual void drawShadow(const Path& shape, const Color& color, double blurRadius, Size offset, double strokeWidth = 0) = 0;
  // Everything drawn until the matching end casts `shadow` the way a layer does: the alpha of
  // that drawing, blurred by the radius, tinted and moved by the offset, lies under it.
  // `extents` holds all of that drawing (user space). The default draws the shadows of the
  // outlines at once (so a recording keeps them); a context with pixels follows the alpha.
  // Pairs nest.
  virtual void beginShadowedContent(const LayerShadow& shadow, const Rect& extents);
  virtual void endShadowedContent() {}
  // Drawing between begin and end is composited as one group at `alpha`.
  virtual void beginTransparencyGroup(double alpha) = 0;
  virtual void endTransparencyGroup() = 0;

 protected:
  GraphicsContext() { state_.push_back({}); }
  // Called after the base has changed its own state.
  virtual void onSave() = 0;
  virtual void onRestore() = 0;
  virtual void onConcat(const AffineTransform& t) = 0;

 private:
  struct State {
    AffineTransform ctm;
    bool flipped = false;
  };
  std::vector<State> state_;
};

}  // namespace qm::ui
