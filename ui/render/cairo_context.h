#pragma once
// The Cairo implementation of the graphics context (renderer internal).

#include "qm/ui/graphics.h"

#include <cairo.h>

#include <vector>

typedef struct _PangoContext PangoContext;

namespace qm::ui::render {

class CairoContext : public GraphicsContext {
 public:
  // Draws into `cr` in its current user space (the caller sets scale and y flip).
  explicit CairoContext(cairo_t* cr);
  ~CairoContext() override;

  void clip(const Path& path) override;
  void fillPath(const Path& path, const Color& color, CompositeOp op) override;
  void strokePath(const Path& path, const Color& color) override;
  void drawLinearGradient(const Gradient& gradient, const Path& path, double angleDegrees) override;
  void drawLinearGradient(const Gradient& gradient, const Path& path, Point start, Point end) override;
  void drawImage(const Image& image, const Rect& dest, CompositeOp op, double fraction) override;
  void drawTemplateImage(const Image& image, const Rect& dest, const Color& tint, double fraction) override;
  void drawText(const AttributedString& text, const Rect& rect) override;
  void drawShadow(const Path& shape, const Color& color, double blurRadius, Size offset, double strokeWidth) override;
  void beginShadowedContent(const LayerShadow& shadow, const Rect& extents) override;
  void endShadowedContent() override;
  void beginTransparencyGroup(double alpha) override;
  void endTransparencyGroup() override;

 protected:
  void onSave() override { cairo_save(cr_); }
  void onRestore() override { cairo_restore(cr_); }
  void onConcat(const AffineTransform& t) override;

 private:
  void buildPath(const Path& path);
  // Draws the image upright into dest with OVER (no alpha), used inside groups.
  void paintImageContent(const Image& image, const Rect& dest);
  // An open group: drawing at an alpha, or drawing that casts a shadow.
  struct Group {
    bool shadowed = false;
    double alpha = 1;
    LayerShadow shadow;  // without outlines
    int x = 0, y = 0, width = 0, height = 0;  // the shadowed drawing's device pixels
  };
  void endGroup();
  void paintShadow(cairo_pattern_t* content, const Group& group);
  cairo_t* cr_;
  PangoContext* pango_ = nullptr;
  std::vector<Group> groups_;
};

}  // namespace qm::ui::render
