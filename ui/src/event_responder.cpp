#include "qm/ui/event.h"
#include "qm/ui/responder.h"

#include "qm/platform/time.h"

namespace qm::ui {

bool Event::isMouse() const {
  switch (type) {
    case EventType::LeftMouseDown:
    case EventType::LeftMouseUp:
    case EventType::LeftMouseDragged:
    case EventType::RightMouseDown:
    case EventType::RightMouseUp:
    case EventType::MouseMoved:
    case EventType::MouseEntered:
    case EventType::MouseExited:
    case EventType::ScrollWheel:
      return true;
    default:
      return false;
  }
}

Event Event::mouse(EventType type, Point location, uint32_t modifiers, int clickCount) {
  Event e;
  e.type = type;
  e.locationInWindow = location;
  e.modifierFlags = modifiers;
  e.clickCount = clickCount;
  e.timestamp = qm::platform::currentTimeSeconds();
  return e;
}

Event Event::keyDown(const std::u16string& characters, uint32_t modifiers, uint16_t keyCode,
                     const std::u16string& charactersIgnoringModifiers) {
  Event e;
  e.type = EventType::KeyDown;
  e.characters = characters;
  e.charactersIgnoringModifiers = charactersIgnoringModifiers.empty() ? characters : charactersIgnoringModifiers;
  e.modifierFlags = modifiers;
  e.keyCode = keyCode;
  e.timestamp = qm::platform::currentTimeSeconds();
  return e;
}

#define QM_FORWARD(method)                              \
  void Responder::method(const Event& e) {              \
    if (Responder* next = nextResponder()) next->method(e); \
  }
QM_FORWARD(mouseDown)
QM_FORWARD(mouseUp)
QM_FORWARD(mouseDragged)
QM_FORWARD(rightMouseDown)
QM_FORWARD(mouseMoved)
QM_FORWARD(mouseEntered)
QM_FORWARD(mouseExited)
QM_FORWARD(cursorUpdate)
QM_FORWARD(scrollWheel)
QM_FORWARD(keyDown)
QM_FORWARD(keyUp)
QM_FORWARD(flagsChanged)
#undef QM_FORWARD

bool Responder::tryToPerform(Selector action, Object* sender) {
  for (Responder* r = this; r; r = r->nextResponder()) {
    if (r->respondsToSelector(action)) return r->performAction(action, sender);
  }
  return false;
}

}  // namespace qm::ui
