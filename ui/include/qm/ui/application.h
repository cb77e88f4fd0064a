#pragma once
// The application object, one per process: it sends actions to targets, knows the event being
// dispatched (its modifier flags), the current cursor, and opens links: in the user's browser by
// default (web links only), or through a replacement opener, so tests see which address a click
// opened.

#include "qm/ui/cursor.h"
#include "qm/ui/event.h"
#include "qm/ui/object.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace qm::ui {

class Window;

class Application {
 public:
  static Application& shared();

  // Sends `action` to `target` with `sender`; with no target, along the responder chain of the
  // key window's first responder. False when nothing answers. [main-thread]
  bool sendAction(Selector action, Object* target, Object* sender);

  // The event the window is dispatching, or null between events.
  const Event* currentEvent() const { return currentEvent_; }

  std::shared_ptr<Cursor> currentCursor() const;
  void setCurrentCursor(std::shared_ptr<Cursor> cursor) { cursor_ = std::move(cursor); }

  Window* keyWindow() const { return keyWindow_; }
  void setKeyWindow(Window* window) { keyWindow_ = window; }

  // Opens a link with the opener; the default opener is the platform's browser opener
  // (qm::platform::openURLInBrowser), which refuses anything but an http or https address.
  // An empty opener restores the default. [main-thread]
  bool openURL(const std::string& url);
  void setURLOpener(std::function<bool(const std::string&)> opener) { opener_ = std::move(opener); }

  // Sets the current event for the life of the object.
  class EventScope {
   public:
    explicit EventScope(const Event& event);
    ~EventScope();
    EventScope(const EventScope&) = delete;
    EventScope& operator=(const EventScope&) = delete;

   private:
    const Event* previous_;
  };

 private:
  Application() = default;
  const Event* currentEvent_ = nullptr;
  std::shared_ptr<Cursor> cursor_;
  Window* keyWindow_ = nullptr;
  std::function<bool(const std::string&)> opener_;
};

}  // namespace qm::ui
