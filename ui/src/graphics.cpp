#include "qm/ui/graphics.h"
#include "qm/ui/recording_context.h"

namespace qm::ui {

void GraphicsContext::save() {
  state_.push_back(state_.back());
  onSave();
}

void GraphicsContext::restore() {
  if (state_.size() <= 1) return;  // unbalanced restore: keep the base state
  state_.pop_back();
  onRestore();
}

void GraphicsContext::concat(const AffineTransform& t) {
  state_.back().ctm = state_.back().ctm.after(t);
  onConcat(t);
}

void GraphicsContext::beginShadowedContent(const LayerShadow& shadow, const Rect&) {
  for (const auto& o : shadow.outlines) drawShadow(o.path, shadow.color, shadow.blurRadius, shadow.offset, o.strokeWidth);
}

RecordedOp& RecordingContext::add(RecordedOp::Kind kind) {
  RecordedOp op;
  op.kind = kind;
  op.ctm = ctm();
  op.flipped = isFlipped();
  ops_.push_back(std::move(op));
  return ops_.back();
}

std::vector<const RecordedOp*> RecordingContext::opsOfKind(RecordedOp::Kind kind) const {
  std::vector<const RecordedOp*> out;
  for (const auto& op : ops_)
    if (op.kind == kind) out.push_back(&op);
  return out;
}

std::vector<std::string> RecordingContext::texts() const {
  std::vector<std::string> out;
  for (const auto* op : opsOfKind(RecordedOp::Kind::Text)) out.push_back(op->text.utf8());
  return out;
}

void RecordingContext::clip(const Path& path) { add(RecordedOp::Kind::Clip).path = path; }

void RecordingContext::fillPath(const Path& path, const Color& color, CompositeOp op) {
  auto& r = add(RecordedOp::Kind::Fill);
  r.path = path;
  r.color = color;
  r.op = op;
}

void RecordingContext::strokePath(const Path& path, const Color& color) {
  auto& r = add(RecordedOp::Kind::Stroke);
  r.path = path;
  r.color = color;
}

void RecordingContext::drawLinearGradient(const Gradient& gradient, const Path& path, double angleDegrees) {
  auto& r = add(RecordedOp::Kind::Gradient);
  r.gradient = gradient;
  r.path = path;
  r.angle = angleDegrees;
}

void RecordingContext::drawLinearGradient(const Gradient& gradient, const Path& path, Point start, Point end) {
  auto& r = add(RecordedOp::Kind::Gradient);
  r.gradient = gradient;
  r.path = path;
  r.byPoints = true;
  r.start = start;
  r.end = end;
}

void RecordingContext::drawImage(const Image& image, const Rect& dest, CompositeOp op, double fraction) {
  auto& r = add(RecordedOp::Kind::Image);
  r.image = &image;
  r.rect = dest;
  r.op = op;
  r.fraction = fraction;
}

void RecordingContext::drawTemplateImage(const Image& image, const Rect& dest, const Color& tint, double fraction) {
  auto& r = add(RecordedOp::Kind::TemplateImage);
  r.image = &image;
  r.rect = dest;
  r.color = tint;
  r.fraction = fraction;
}

void RecordingContext::drawText(const AttributedString& text, const Rect& rect) {
  auto& r = add(RecordedOp::Kind::Text);
  r.text = text;
  r.rect = rect;
}

void RecordingContext::drawShadow(const Path& shape, const Color& color, double blurRadius, Size offset, double strokeWidth) {
  auto& r = add(RecordedOp::Kind::Shadow);
  r.strokeWidth = strokeWidth;
  r.path = shape;
  r.color = color;
  r.blurRadius = blurRadius;
  r.offset = offset;
}

void RecordingContext::beginTransparencyGroup(double alpha) { add(RecordedOp::Kind::BeginGroup).fraction = alpha; }
void RecordingContext::endTransparencyGroup() { add(RecordedOp::Kind::EndGroup); }

}  // namespace qm::ui
