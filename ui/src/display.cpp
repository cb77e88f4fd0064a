#include "qm/ui/display.h"

#include "qm/ui/layer.h"
#include "qm/ui/view.h"
#include "qm/ui/window.h"

#include <algorithm>
#include <optional>

namespace qm::ui {

namespace {

Path layerShape(const Layer& layer) {
  const Rect b = layer.bounds();
  return Path::roundedRect(b, layer.cornerRadius, layer.cornerRadius);
}

Rect unionRect(const Rect& a, const Rect& b) {
  if (a.isEmpty()) return b;
  if (b.isEmpty()) return a;
  const double x0 = std::min(a.minX(), b.minX()), y0 = std::min(a.minY(), b.minY());
  return Rect{x0, y0, std::max(a.maxX(), b.maxX()) - x0, std::max(a.maxY(), b.maxY()) - y0};
}

bool castsShadow(const Layer& layer) {
  return layer.shadowOpacity > 0 && layer.shadowColor.value_or(Color::black()).alpha() > 0;
}

// The shadow a layer casts, if any.
std::optional<LayerShadow> shadowOf(const Layer& layer) {
  if (!castsShadow(layer)) return std::nullopt;
  const Color base = layer.shadowColor.value_or(Color::black());
  LayerShadow s;
  s.color = base.withAlpha(base.alpha() * std::min(1.0, layer.shadowOpacity));
  s.blurRadius = layer.shadowRadius;
  s.offset = layer.shadowOffset;
  if (const auto* shape = dynamic_cast<const ShapeLayer*>(&layer)) {
    if (shape->fillColor) s.outlines.push_back({shape->path, 0});
    if (shape->strokeColor && shape->lineWidth > 0) s.outlines.push_back({shape->path, shape->lineWidth});
  } else {
    s.outlines.push_back({layerShape(layer), 0});
  }
  return s;
}

// `r` with the reach of the layer's shadow added (as far as the renderers draw a blur).
Rect withShadowReach(const Rect& r, const Layer* layer) {
  if (!layer || !castsShadow(*layer) || r.isEmpty()) return r;
  const double pad = layer->shadowRadius * 2 + 1;
  return unionRect(r, r.insetBy(-pad, -pad).offsetBy(layer->shadowOffset.width, layer->shadowOffset.height));
}

Rect layerContentExtents(const Layer& layer);

// `r` grown by where the visible sublayers of `layer` draw, their shadows included.
Rect withSublayerExtents(Rect r, const Layer& layer) {
  for (const auto& l : layer.sublayers())
    if (!l->hidden)
      r = unionRect(r, withShadowReach(layerContentExtents(*l), l.get()).offsetBy(l->frame.minX(), l->frame.minY()));
  return r;
}

// Where a layer draws (its shadow left out), sublayers included, in its own space: the
// renderers may drop anything drawn beyond it while they work out the layer's shadow.
Rect layerContentExtents(const Layer& layer) {
  Rect r = layer.bounds();
  if (const auto* s = dynamic_cast<const ShapeLayer*>(&layer)) {
    // A stroke reaches half its width beyond a rectangle; elsewhere a mitred corner may reach
    // half the miter limit (10) times the width, and a square cap about 0.71 times.
    const bool stroked = s->strokeColor && s->lineWidth > 0;
    const double factor = s->path.roundedRectShape() ? 0.5 : s->path.lineJoin() == LineJoin::Miter ? 5.0 : 0.75;
    const double reach = stroked ? factor * s->lineWidth : 0;
    r = unionRect(r, s->path.bounds().insetBy(-reach, -reach));
  }
  return layer.masksToBounds ? r : withSublayerExtents(r, layer);
}

// The same for a view, in its frame space (origin lower left).
Rect viewContentExtents(View& view) {
  Layer* layer = view.layer();
  const Rect box{0, 0, view.frame().width(), view.frame().height()};
  if ((layer && layer->masksToBounds) || view.clipsToBounds()) return box;
  Rect r = layer ? withSublayerExtents(box, *layer) : box;
  const Rect b = view.bounds();
  const double h = view.frame().height();
  for (const auto& sub : view.subviews()) {
    if (sub->isHidden()) continue;
    const Rect f = sub->frame();
    const Rect e = withShadowReach(viewContentExtents(*sub), sub->layer());
    // Into this view's bounds space (as drawViewInParent places it), then its frame space.
    const double x0 = f.minX() + e.minX() - b.minX();
    double y0 = f.minY() + e.minY(), y1 = f.minY() + e.maxY();
    if (view.isFlipped()) {
      y0 = h - (f.maxY() - e.minY() - b.minY());
      y1 = h - (f.maxY() - e.maxY() - b.minY());
    } else {
      y0 -= b.minY();
      y1 -= b.minY();
    }
    r = unionRect(r, Rect{x0, y0, e.width(), y1 - y0});
  }
  return r;
}

// The background: what lies under a layer's content (its shadow falls from all it draws).
void drawLayerUnder(const Layer& layer, GraphicsContext& c) {
  if (layer.backgroundColor && layer.backgroundColor->alpha() > 0) c.fillPath(layerShape(layer), *layer.backgroundColor);
}

void drawLayerContent(const Layer& layer, GraphicsContext& c) {
  const Rect b = layer.bounds();
  if (const auto* g = dynamic_cast<const GradientLayer*>(&layer)) {
    if (!g->colors.empty()) {
      Gradient gradient;
      gradient.colors = g->colors;
      gradient.locations = g->locations;
      c.drawLinearGradient(gradient, layerShape(layer), Point{g->startPoint.x * b.width(), g->startPoint.y * b.height()},
                           Point{g->endPoint.x * b.width(), g->endPoint.y * b.height()});
    }
  } else if (const auto* s = dynamic_cast<const ShapeLayer*>(&layer)) {
    if (s->fillColor && s->fillColor->alpha() > 0) c.fillPath(s->path, *s->fillColor);
    if (s->strokeColor && s->lineWidth > 0) {
      Path p = s->path;
      p.setLineWidth(s->lineWidth);
      c.strokePath(p, *s->strokeColor);
    }
  }
}

void drawLayerBorder(const Layer& layer, GraphicsContext& c) {
  if (!(layer.borderWidth > 0) || layer.borderColor.alpha() <= 0) return;
  const double w = layer.borderWidth;
  const double r = std::max(0.0, layer.cornerRadius - w / 2);
  Path p = Path::roundedRect(layer.bounds().insetBy(w / 2, w / 2), r, r);
  p.setLineWidth(w);
  c.strokePath(p, layer.borderColor);
}

void drawViewInParent(View& view, GraphicsContext& c);

struct StackItem {
  double z;
  double order;
  const Layer* layer;
  View* view;
};

void drawLayerInParent(const Layer& layer, GraphicsContext& c);

void drawSublayers(const Layer& layer, GraphicsContext& c) {
  if (layer.sublayers().empty()) return;
  std::vector<const Layer*> items;
  for (const auto& l : layer.sublayers()) items.push_back(l.get());
  std::stable_sort(items.begin(), items.end(), [](const Layer* a, const Layer* b) {
    return a->zPosition != b->zPosition ? a->zPosition < b->zPosition : a->stackOrder() < b->stackOrder();
  });
  c.save();
  if (layer.masksToBounds) c.clip(layerShape(layer));
  for (const Layer* l : items) drawLayerInParent(*l, c);
  c.restore();
}

void drawLayerInParent(const Layer& layer, GraphicsContext& c) {
  if (layer.hidden || !(layer.opacity > 0)) return;
  c.save();
  c.translate(layer.frame.minX(), layer.frame.minY());
  const bool group = layer.opacity < 1;
  if (group) c.beginTransparencyGroup(layer.opacity);
  const auto shadow = shadowOf(layer);
  if (shadow) c.beginShadowedContent(*shadow, layerContentExtents(layer));
  drawLayerUnder(layer, c);
  drawLayerContent(layer, c);
  drawSublayers(layer, c);
  drawLayerBorder(layer, c);
  if (shadow) c.endShadowedContent();
  if (group) c.endTransparencyGroup();
  c.restore();
}

// From the view's unflipped frame space (origin at its lower left) into its bounds space.
void enterViewSpace(const View& view, GraphicsContext& c) {
  if (view.isFlipped()) {
    c.translate(0, view.frame().height());
    c.scale(1, -1);
    c.setFlipped(true);
  } else {
    c.setFlipped(false);
  }
  const Rect b = view.bounds();
  if (b.minX() != 0 || b.minY() != 0) c.translate(-b.minX(), -b.minY());
}

// Draws a view whose frame space (origin lower left, y up) is the current user space.
void drawViewSelf(View& view, GraphicsContext& c) {
  Layer* layer = view.layer();
  if (layer && layer->hidden) return;
  const double alpha = layer ? layer->opacity : view.alphaValue();
  if (!(alpha > 0)) return;
  const Rect box{0, 0, view.frame().width(), view.frame().height()};
  const bool group = alpha < 1;
  if (group) c.beginTransparencyGroup(alpha);
  const auto shadow = layer ? shadowOf(*layer) : std::nullopt;
  if (shadow) c.beginShadowedContent(*shadow, viewContentExtents(view));
  if (layer) drawLayerUnder(*layer, c);

  c.save();
  c.clipToRect(box);
  enterViewSpace(view, c);
  view.drawRect(view.bounds(), c);
  c.restore();

  std::vector<StackItem> items;
  if (layer)
    for (const auto& l : layer->sublayers()) items.push_back({l->zPosition, l->stackOrder(), l.get(), nullptr});
  for (const auto& v : view.subviews())
    items.push_back({v->layer() ? v->layer()->zPosition : 0.0, v->stackOrder(), nullptr, v.get()});
  std::stable_sort(items.begin(), items.end(), [](const StackItem& a, const StackItem& b) {
    return a.z != b.z ? a.z < b.z : a.order < b.order;
  });
  if (!items.empty()) {
    c.save();
    if (layer && layer->masksToBounds)
      c.clip(Path::roundedRect(box, layer->cornerRadius, layer->cornerRadius));
    else if (view.clipsToBounds())
      c.clipToRect(box);
    // Keep the views alive while they draw: a drawing handler may not change the tree, but
    // nothing here relies on that.
    std::vector<std::shared_ptr<View>> keep(view.subviews());
    for (const auto& item : items) {
      c.save();
      if (item.layer) {
        c.setFlipped(false);
        drawLayerInParent(*item.layer, c);
      } else {
        enterViewSpace(view, c);
        drawViewInParent(*item.view, c);
      }
      c.restore();
    }
    c.restore();
  }
  if (layer) drawLayerBorder(*layer, c);
  if (shadow) c.endShadowedContent();
  if (group) c.endTransparencyGroup();
}

// Draws a view in its superview's bounds space (the current user space).
void drawViewInParent(View& view, GraphicsContext& c) {
  if (view.isHidden()) return;
  c.save();
  const Rect f = view.frame();
  if (c.isFlipped()) {
    c.translate(f.minX(), f.minY() + f.height());
    c.scale(1, -1);
    c.setFlipped(false);
  } else {
    c.translate(f.minX(), f.minY());
  }
  drawViewSelf(view, c);
  c.restore();
}

}  // namespace

void drawViewTree(View& view, GraphicsContext& context) {
  if (view.isHidden()) return;
  context.save();
  context.setFlipped(false);
  drawViewSelf(view, context);
  context.restore();
}

void drawLayerTree(const Layer& layer, GraphicsContext& context) {
  context.save();
  context.translate(-layer.frame.minX(), -layer.frame.minY());
  drawLayerInParent(layer, context);
  context.restore();
}

void drawWindow(Window& window, GraphicsContext& context) {
  if (auto content = window.contentView()) drawViewTree(*content, context);
  for (const auto& child : window.childWindows()) {
    if (!child->isVisible()) continue;
    context.save();
    context.translate(child->frame().minX(), child->frame().minY());
    drawWindow(*child, context);
    context.restore();
  }
}

}  // namespace qm::ui
