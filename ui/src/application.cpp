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
  return opener_ ? opener_(url) : qm::platform::openURLInBrowser(url);
}

Application::EventScope::EventScope(const Event& event) : previous_(shared().currentEvent_) { shared().currentEvent_ = &event; }
Application::EventScope::~EventScope() { shared().currentEvent_ = previous_; }

std::shared_ptr<Cursor> Cursor::standard(Kind kind) {
  static const std::shared_ptr<Cursor> cursors[] = {  // in the order of Kind
      std::shared_ptr<Cursor>(new Cursor(Kind::Arrow)), std::shared_ptr<Cursor>(new Cursor(Kind::IBeam)),
      std::shared_ptr<Cursor>(new Cursor(Kind::Crosshair)), std::shared_ptr<Cursor>(new Cursor(Kind::PointingHand))};
  return cursors[static_cast<int>(kind)];
}
std::shared_ptr<Cursor> Cursor::arrow() { return standard(Kind::Arrow); }
std::shared_ptr<Cursor> Cursor::iBeam() { return standard(Kind::IBeam); }
std::shared_ptr<Cursor> Cursor::crosshair() { return standard(Kind::Crosshair); }
std::shared_ptr<Cursor> Cursor::pointingHand() { return standard(Kind::PointingHand); }

void Cursor::set() const {
  // Standard cursors are shared singletons; image cursors are copied into a shared holder.
  Application::shared().setCurrentCursor(kind_ == Kind::Image ? std::make_shared<Cursor>(image_, hotSpot_) : standard(kind_));
}

}  // namespace qm::ui
