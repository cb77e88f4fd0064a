#include "qm/ui/window.h"

#include "qm/ui/application.h"
#include "qm/ui/text_view.h"

#include <algorithm>
#include <functional>

namespace qm::ui {

Window::Window(const Rect& frame) : frame_(frame) {}

Window::~Window() {
  if (contentView_) contentView_->setHostWindow(nullptr);
  for (auto& child : children_) child->parent_ = nullptr;
  if (Application::shared().keyWindow() == this) Application::shared().setKeyWindow(nullptr);
}

void Window::setFrame(const Rect& frame) {
  frame_ = frame;
  if (contentView_) contentView_->setFrame(Rect{0, 0, frame.width(), frame.height()});
}

void Window::setContentView(std::shared_ptr<View> view) {
  if (contentView_) contentView_->setHostWindow(nullptr);
  contentView_ = std::move(view);
  if (contentView_) {
    contentView_->setFrame(Rect{0, 0, frame_.width(), frame_.height()});
    contentView_->setHostWindow(this);
  }
}

// ---- first responder ----

Responder* Window::firstResponder() const {
  if (auto r = firstResponder_.lock()) return r.get();
  return const_cast<Window*>(this);
}

void Window::clearFirstResponder() {
  firstResponder_.reset();
  ++responderChanges_;
}

bool Window::makeFirstResponder(Responder* responder) {
  Responder* current = firstResponder();
  if (responder == current) return true;
  if (current != this && !current->resignFirstResponder()) return false;
  clearFirstResponder();
  if (!responder || responder == this) return true;
  const std::uint64_t before = responderChanges_;
  if (!responder->acceptsFirstResponder() || !responder->becomeFirstResponder()) return false;
  if (responderChanges_ != before) return true;  // handed on while becoming first responder
  auto shared = std::dynamic_pointer_cast<Responder>(responder->sharedObject());
  if (!shared) return false;  // only responders held by a shared pointer can be first responder
  firstResponder_ = shared;
  ++responderChanges_;
  return true;
}

void Window::endEditingFor(Object* object) {
  Responder* current = firstResponder();
  if (current == this) return;
  if (object && object != current) {
    auto* view = dynamic_cast<View*>(current);
    auto* owner = dynamic_cast<View*>(object);
    if (!view || !owner || !view->isDescendantOf(owner)) return;
  }
  current->endEditing();
  // The field editor has nothing left to edit: it stops being first responder.
  if (current == fieldEditor_.get() && firstResponder() == current) clearFirstResponder();
}

TextView* Window::fieldEditor(bool create) {
  if (!fieldEditor_ && create) {
    fieldEditor_ = std::make_shared<TextView>();
    fieldEditor_->setFieldEditor(true);
    fieldEditor_->setRichText(false);
    fieldEditor_->setDrawsBackground(false);
    fieldEditor_->setLineFragmentPadding(0);
    fieldEditor_->setVerticallyResizable(false);
    fieldEditor_->setHorizontallyResizable(true);
    // One line, however long: the field scrolls the editor sideways instead.
    fieldEditor_->setWidthTracksTextView(false);
    fieldEditor_->setContainerWidth(100000);
  }
  return fieldEditor_.get();
}

// ---- cursor ----

void Window::invalidateCursorRectsForView(View* view) {
  if (!view) return;
  view->discardCursorRects();
  view->resetCursorRects();
  updateCursor();
}

std::shared_ptr<Cursor> Window::currentCursor() const { return Application::shared().currentCursor(); }

namespace {

void forEachVisibleView(View& view, const std::function<void(View&)>& visit) {
  if (view.isHidden()) return;
  visit(view);
  for (auto& child : std::vector<std::shared_ptr<View>>(view.subviews())) forEachVisibleView(*child, visit);
}

}  // namespace

void Window::updateCursor() {
  if (!contentView_) return;
  std::shared_ptr<Cursor> cursor;
  forEachVisibleView(*contentView_, [&](View& v) {
    if (v.cursorRects().empty()) return;
    const Point p = v.convertPointFromView(mouseLocation_, nullptr);
    const Rect visible = v.visibleRect();
    for (const auto& cr : v.cursorRects())
      if (cr.rect.intersection(visible).contains(p)) cursor = cr.cursor;  // deeper views win
  });
  if (cursor) cursor->set();
}

// ---- child windows ----

void Window::addChildWindow(const std::shared_ptr<Window>& child) {
  if (!child || child.get() == this) return;
  removeChildWindow(child.get());
  child->parent_ = this;
  children_.push_back(child);
}

void Window::removeChildWindow(const Window* child) {
  auto it = std::find_if(children_.begin(), children_.end(), [&](const auto& w) { return w.get() == child; });
  if (it == children_.end()) return;
  (*it)->parent_ = nullptr;
  (*it)->key_ = false;
  children_.erase(it);
}

void Window::makeKeyWindow() {
  // One key window in a family: the top-level window or one of its children.
  Window* top = this;
  while (top->parent_) top = top->parent_;
  std::function<void(Window&)> clear = [&](Window& w) {
    w.key_ = false;
    for (auto& c : w.children_) clear(*c);
  };
  clear(*top);
  key_ = true;
  Application::shared().setKeyWindow(this);
}

Window* Window::childAt(Point location) {
  for (auto it = children_.rbegin(); it != children_.rend(); ++it)
    if ((*it)->visible_ && (*it)->frame_.contains(location)) return it->get();
  return nullptr;
}

// ---- events ----

void Window::sendEvent(const Event& event) {
  Application::EventScope scope(event);
  if (event.isMouse())
    dispatchMouse(event);
  else if (event.isKey())
    dispatchKey(event);
  else if (event.type == EventType::FlagsChanged)
    firstResponder()->flagsChanged(event);
}

void Window::sendToChild(Window& child, const Event& event) {
  Event inner = event;
  inner.locationInWindow = Point{event.locationInWindow.x - child.frame_.minX(), event.locationInWindow.y - child.frame_.minY()};
  child.sendEvent(inner);
}

void Window::dispatchMouse(const Event& event) {
  mouseLocation_ = event.locationInWindow;
  const bool press = event.type == EventType::LeftMouseDown || event.type == EventType::RightMouseDown;
  // A press over a child window (a popover) goes to it, and so do the drags and the release.
  if (press || event.type == EventType::MouseMoved || event.type == EventType::ScrollWheel) {
    if (Window* child = childAt(event.locationInWindow)) {
      if (press) {
        mouseDownView_.reset();
        childTracking_ = child;
      }
      sendToChild(*child, event);
      return;
    }
  }
  if ((event.type == EventType::LeftMouseDragged || event.type == EventType::LeftMouseUp) && childTracking_) {
    Window* child = childTracking_;
    if (event.type == EventType::LeftMouseUp) childTracking_ = nullptr;
    if (std::find_if(children_.begin(), children_.end(), [&](const auto& w) { return w.get() == child; }) != children_.end())
      sendToChild(*child, event);
    return;
  }
  if (!contentView_) return;
  switch (event.type) {
    case EventType::LeftMouseDown:
    case EventType::RightMouseDown: {
      childTracking_ = nullptr;
      View* hit = contentView_->hitTest(event.locationInWindow);
      if (!hit) return;
      auto keep = hit->sharedView();
      mouseDownView_ = keep;
      if (event.type == EventType::LeftMouseDown)
        hit->mouseDown(event);
      else
        hit->rightMouseDown(event);
      return;
    }
    case EventType::LeftMouseDragged:
    case EventType::LeftMouseUp:
    case EventType::RightMouseUp: {
      auto target = mouseDownView_.lock();
      if (event.type != EventType::LeftMouseDragged) mouseDownView_.reset();
      if (!target) return;
      if (event.type == EventType::LeftMouseDragged)
        target->mouseDragged(event);
      else
        target->mouseUp(event);
      if (event.type == EventType::LeftMouseDragged) updateTracking(event);
      return;
    }
    case EventType::MouseMoved:
      updateTracking(event);
      return;
    case EventType::ScrollWheel:
      if (View* hit = contentView_->hitTest(event.locationInWindow)) hit->scrollWheel(event);
      return;
    default:
      return;
  }
}

void Window::updateTracking(const Event& event) {
  updateCursor();
  struct Hit {
    std::shared_ptr<TrackingArea> area;
    std::shared_ptr<Responder> owner;
    bool inside;
  };
  std::vector<Hit> hits;
  forEachVisibleView(*contentView_, [&](View& v) {
    for (const auto& area : v.trackingAreas()) {
      auto owner = area->owner();
      if (!owner) continue;
      const Point p = v.convertPointFromView(event.locationInWindow, nullptr);
      const Rect r = (area->options() & kTrackInVisibleRect) ? v.visibleRect() : area->rect().intersection(v.visibleRect());
      hits.push_back(Hit{area, owner, r.contains(p)});
    }
  });
  auto wasInside = [&](const TrackingArea* a) {
    return std::any_of(inside_.begin(), inside_.end(), [&](const auto& w) { return w.lock().get() == a; });
  };
  std::vector<std::weak_ptr<TrackingArea>> now;
  for (auto& h : hits) {
    Event e = event;
    e.trackingArea = h.area;
    const bool before = wasInside(h.area.get());
    const unsigned o = h.area->options();
    if (h.inside) now.push_back(h.area);
    if (h.inside && !before) {
      if (o & kTrackMouseEnteredAndExited) {
        e.type = EventType::MouseEntered;
        h.owner->mouseEntered(e);
      }
      if (o & kTrackCursorUpdate) {
        e.type = EventType::CursorUpdate;
        h.owner->cursorUpdate(e);
      }
    } else if (!h.inside && before) {
      if (o & kTrackMouseEnteredAndExited) {
        e.type = EventType::MouseExited;
        h.owner->mouseExited(e);
      }
    }
    if (h.inside && (o & kTrackMouseMoved) && event.type == EventType::MouseMoved) {
      e.type = EventType::MouseMoved;
      h.owner->mouseMoved(e);
    }
  }
  inside_ = std::move(now);
}

void Window::dispatchKey(const Event& event) {
  for (auto& child : children_)
    if (child->visible_ && child->key_) {
      child->sendEvent(event);
      return;
    }
  if (event.type == EventType::KeyDown) {
    if (contentView_ && contentView_->performKeyEquivalent(event)) return;
    firstResponder()->keyDown(event);
  } else {
    firstResponder()->keyUp(event);
  }
}

void Window::click(Point location, uint32_t modifiers) {
  sendEvent(Event::mouse(EventType::LeftMouseDown, location, modifiers));
  sendEvent(Event::mouse(EventType::LeftMouseUp, location, modifiers));
}

void Window::typeKey(const std::u16string& characters, uint32_t modifiers, uint16_t keyCode,
                     const std::u16string& charactersIgnoringModifiers) {
  sendEvent(Event::keyDown(characters, modifiers, keyCode, charactersIgnoringModifiers));
}

std::string Window::toolTipAtMouse() const {
  if (!contentView_) return {};
  for (View* v = contentView_->hitTest(mouseLocation_); v; v = v->superview())
    if (!v->toolTip().empty()) return v->toolTip();
  return {};
}

}  // namespace qm::ui
