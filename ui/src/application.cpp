#include "qm/ui/application.h"

#include "qm/ui/cursor.h"
#include "qm/ui/window.h"

#include "qm/platform/browser.h"

namespace qm::ui {

Application& Application::shared() {
  static auto* app = new Application();  // one per process, never destroyed
  return *app;
}

bool Application::sendAction(Selector action, Object* target, Object* sender) {
  if (!action) return false;
  if (target) {
    if (!target->respondsToSelector(action)) return false;
    return target->performAction(action, sender);
  }
  Window* window = keyWindow_;
  if (!window) return false;
  return window->firstResponder()->tryToPerform(action, sender);
}

std::shared_ptr<Cursor> Application::currentCursor() const { return cursor_ ? cursor_ : Cursor::arrow(); }

bool Application::openURL(const std::string& url) {
  lastURL_ = url;
  return opener_ ? opener_(url) : qm::platform::openURLInBrowser(url);
}

Application::EventScope::EventScope(const Event& event) : previous_(shared().currentEvent_) { shared().currentEvent_ = &event; }
Application::EventScope::~EventScope() { shared().currentEvent_ = previous_; }

std::shared_ptr<Cursor> Cursor::arrow() {
  static auto c = std::shared_ptr<Cursor>(new Cursor(Kind::Arrow));
  return c;
}
std::shared_ptr<Cursor> Cursor::iBeam() {
  static auto c = std::shared_ptr<Cursor>(new Cursor(Kind::IBeam));
  return c;
}
std::shared_ptr<Cursor> Cursor::crosshair() {
  static auto c = std::shared_ptr<Cursor>(new Cursor(Kind::Crosshair));
  return c;
}
std::shared_ptr<Cursor> Cursor::pointingHand() {
  static auto c = std::shared_ptr<Cursor>(new Cursor(Kind::PointingHand));
  return c;
}

void Cursor::set() const {
  // Standard cursors are shared singletons; image cursors are copied into a shared holder.
  switch (kind_) {
    case Kind::Arrow: Application::shared().setCurrentCursor(arrow()); return;
    case Kind::IBeam: Application::shared().setCurrentCursor(iBeam()); return;
    case Kind::Crosshair: Application::shared().setCurrentCursor(crosshair()); return;
    case Kind::PointingHand: Application::shared().setCurrentCursor(pointingHand()); return;
    case Kind::Image: Application::shared().setCurrentCursor(std::make_shared<Cursor>(image_, hotSpot_)); return;
  }
}

}  // namespace qm::ui
