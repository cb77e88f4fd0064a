#pragma once
// Responders: objects that take events. Every handler's default passes the event on to the next
// responder (a view's superview, then its window), so an event nobody handles runs off the end
// of the chain. First-responder handling (accepting, becoming, resigning) lives here; the window
// decides who is first responder.

#include "qm/ui/event.h"
#include "qm/ui/object.h"

namespace qm::ui {

class Responder : public Object {
 public:
  // Null at the end of the chain. Views answer their superview (or window).
  virtual Responder* nextResponder() const { return nextResponder_; }
  void setNextResponder(Responder* next) { nextResponder_ = next; }

  virtual bool acceptsFirstResponder() const { return false; }
  // Asked by the window; false refuses.
  virtual bool becomeFirstResponder() { return true; }
  virtual bool resignFirstResponder() { return true; }

  virtual void mouseDown(const Event& e);
  virtual void mouseUp(const Event& e);
  virtual void mouseDragged(const Event& e);
  virtual void rightMouseDown(const Event& e);
  virtual void mouseMoved(const Event& e);
  virtual void mouseEntered(const Event& e);
  virtual void mouseExited(const Event& e);
  virtual void cursorUpdate(const Event& e);
  virtual void scrollWheel(const Event& e);
  virtual void keyDown(const Event& e);
  virtual void keyUp(const Event& e);
  virtual void flagsChanged(const Event& e);
  // True when handled. The default handles nothing.
  virtual bool performKeyEquivalent(const Event&) { return false; }

  // Sends `action` to the first object along the chain from here that answers it.
  bool tryToPerform(Selector action, Object* sender);

  // The window ends editing: a responder that edits text commits or drops its editing session.
  virtual void endEditing() {}

 private:
  Responder* nextResponder_ = nullptr;
};

}  // namespace qm::ui
