#include "QMTrackedTextView.h"

#include "QMWindowLook.h"

#include "qm/ui/graphics.h"
#include "qm/ui/pasteboard.h"
#include "qm/ui/window.h"

using qm::ui::Event;

namespace {

std::shared_ptr<qm::ui::Cursor> BuildRepairSelectionCursor() {
  using namespace qm::ui;
  std::shared_ptr<Image> symbol = Image::systemSymbol("paintbrush", "Repair selection");
  if (!symbol) symbol = Image::systemSymbol("paintbrush.fill", "Repair selection");
  if (!symbol) return Cursor::crosshair();
  if (auto configured = symbol->withSymbolConfiguration(SymbolConfiguration{14, FontWeight::Semibold})) symbol = configured;
  auto image = Image::withHandler(Size{28, 24}, [symbol](GraphicsContext& c, const Rect&) {
    Path stroke = Path::line(Point{3.5, -4.5}, Point{3.5, 15.5});
    stroke.setLineWidth(1.8);
    stroke.setLineCap(LineCap::Round);
    c.strokePath(stroke, Color::deviceRGB(0.26, 0.78, 1.0, 1.0));
    const Rect brush{9, -2.5, 14, 14};
    c.drawImage(*symbol, brush, CompositeOp::SourceOver, 1.0);
    // Source-atop paints only where the symbol is: it tints the symbol orange.
    c.fillRect(brush, QMRepairHighlightOrange().withAlpha(0.96), CompositeOp::SourceAtop);
    return true;
  });
  image->setTemplate(false);
  return std::make_shared<Cursor>(image, Point{3.5, 18});
}

}  // namespace

std::shared_ptr<qm::ui::Cursor> QMRepairSelectionCursor() {
  static const std::shared_ptr<qm::ui::Cursor> cursor = BuildRepairSelectionCursor();
  return cursor;
}

QMTrackedTextView::~QMTrackedTextView() {
  if (repairTrackingArea_) removeTrackingArea(repairTrackingArea_.get());
}

bool QMTrackedTextView::performKeyEquivalent(const Event& e) {
  const uint32_t mods = e.deviceIndependentModifiers();
  const bool commandOnly = mods == qm::ui::kModifierCommand || mods == (qm::ui::kModifierCommand | qm::ui::kModifierShift);
  // Only the text being edited takes the combinations: another field that has the keyboard
  // keeps its own copy and paste.
  if (e.type != qm::ui::EventType::KeyDown || !commandOnly || e.charactersIgnoringModifiers.size() != 1 ||
      !isFirstResponder())
    return qm::ui::TextView::performKeyEquivalent(e);
  switch (e.charactersIgnoringModifiers[0]) {
    case u'Z': redo(); return true;
    case u'a': selectAll(); return true;
    case u'c': copy(); return true;
    case u'v': paste(); return true;
    case u'x': cut(); return true;
    case u'z': undo(); return true;
    default: return qm::ui::TextView::performKeyEquivalent(e);
  }
}

void QMTrackedTextView::paste() {
  ++caretPlacements_;
  const auto& text = qm::ui::Pasteboard::general().string();
  if (!text) {
    qm::ui::TextView::paste();
    return;
  }
  if (hasMarkedText()) unmarkText();
  insertText(*text);
}

void QMTrackedTextView::mouseDown(const Event& e) {
  if (isSelectable()) ++caretPlacements_;
  qm::ui::TextView::mouseDown(e);
}

void QMTrackedTextView::keyDown(const Event& e) {
  namespace keys = qm::ui::keys;
  const std::u16string& pressed = e.charactersIgnoringModifiers.empty() ? e.characters : e.charactersIgnoringModifiers;
  if (isSelectable() && !pressed.empty()) {
    switch (pressed[0]) {
      case keys::kLeftArrow:
      case keys::kRightArrow:
      case keys::kUpArrow:
      case keys::kDownArrow:
      case keys::kHome:
      case keys::kEnd: ++caretPlacements_; break;
      default: break;
    }
  }
  qm::ui::TextView::keyDown(e);
}

bool QMTrackedTextView::repairCursorOn() const {
  if (!owner_ || !owner_->respondsToSelector("repairSelectionMode")) return false;
  return owner_->valueForKeyAs<bool>("repairSelectionMode").value_or(false) &&
         owner_->valueForKeyAs<bool>("repairCursorEnabled").value_or(false);
}

void QMTrackedTextView::resetCursorRects() {
  qm::ui::TextView::resetCursorRects();
  if (repairCursorOn()) addCursorRect(visibleRect(), QMRepairSelectionCursor());
}

void QMTrackedTextView::updateTrackingAreas() {
  qm::ui::TextView::updateTrackingAreas();
  if (repairTrackingArea_) removeTrackingArea(repairTrackingArea_.get());
  repairTrackingArea_.reset();
  auto self = std::dynamic_pointer_cast<qm::ui::Responder>(sharedObject());
  if (!self) return;  // not yet held: the area follows once the view joins a window
  repairTrackingArea_ = std::make_shared<qm::ui::TrackingArea>(
      qm::ui::Rect{},
      qm::ui::kTrackMouseEnteredAndExited | qm::ui::kTrackMouseMoved | qm::ui::kTrackCursorUpdate |
          qm::ui::kTrackActiveInKeyWindow | qm::ui::kTrackInVisibleRect,
      self);
  addTrackingArea(repairTrackingArea_);
}

void QMTrackedTextView::mouseEntered(const Event& e) {
  if (repairCursorOn()) return QMRepairSelectionCursor()->set();
  qm::ui::TextView::mouseEntered(e);
}

void QMTrackedTextView::mouseMoved(const Event& e) {
  if (repairCursorOn()) return QMRepairSelectionCursor()->set();
  qm::ui::TextView::mouseMoved(e);
}

void QMTrackedTextView::cursorUpdate(const Event& e) {
  if (repairCursorOn()) return QMRepairSelectionCursor()->set();
  qm::ui::TextView::cursorUpdate(e);
}
