#pragma once
// The window: the host's side of a view container. It holds a content view (the root of the
// tree it shows), the first responder, the cursor rectangles and the current cursor, child
// windows (popovers, placed in the parent's coordinates), and dispatches events: a mouse-down
// goes to the view the hit test finds, and the drags and the release that follow go to that
// same view; a key event is offered as a key equivalent to the view tree first, then to the first
// responder. Mouse moves drive tracking areas and cursor rectangles.

#include "qm/ui/event.h"
#include "qm/ui/responder.h"
#include "qm/ui/view.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace qm::ui {

class TextView;

class Window : public Responder {
 public:
  // `frame`: the content size, placed in the screen (top-level) or in the parent window's
  // content coordinates (child windows).
  explicit Window(const Rect& frame);
  ~Window() override;

  const Rect& frame() const { return frame_; }
  void setFrame(const Rect& frame);
  const std::shared_ptr<View>& contentView() const { return contentView_; }
  // The content view fills the window (origin zero, the window's size).
  void setContentView(std::shared_ptr<View> view);

  // ---- first responder ----
  // The window itself when no view is first responder.
  Responder* firstResponder() const;
  // False when the current first responder refuses to resign, or the new one refuses to become
  // first responder (the window is then first responder). Null makes the window first responder.
  // A responder may hand first responder on while becoming it (a text field hands it to the
  // field editor); the hand-on stands.
  bool makeFirstResponder(Responder* responder);
  // Ends any text editing of the first responder (`object` is the view that edits, or null for
  // whatever edits). When the field editor was editing, the window becomes first responder.
  void endEditingFor(Object* object);

  // ---- field editor ----
  // The one text view that edits whichever text field of this window is being edited: a plain
  // field editor (Return, Tab and Escape end editing) without background, padding or wrapping.
  // Made on the first call with `create`; null before that otherwise.
  TextView* fieldEditor(bool create);

  // ---- cursor ----
  void invalidateCursorRectsForView(View* view);
  // The cursor last set (the arrow before any).
  std::shared_ptr<Cursor> currentCursor() const;

  // ---- child windows ----
  void addChildWindow(const std::shared_ptr<Window>& child);
  void removeChildWindow(const Window* child);
  const std::vector<std::shared_ptr<Window>>& childWindows() const { return children_; }
  Window* parentWindow() const { return parent_; }
  bool isVisible() const { return visible_; }
  void setVisible(bool visible) { visible_ = visible; }
  // Key events go to the key child window when there is one.
  bool isKeyWindow() const { return key_; }
  void makeKeyWindow();

  // ---- events ----
  // [main-thread]
  virtual void sendEvent(const Event& event);
  // A press and release at `location` (window coordinates).
  void click(Point location, uint32_t modifiers = 0);
  // A key press: key equivalent first, then the first responder.
  void typeKey(const std::u16string& characters, uint32_t modifiers = 0, uint16_t keyCode = 0,
               const std::u16string& charactersIgnoringModifiers = {});
  Point mouseLocation() const { return mouseLocation_; }

  // The tool tip of the view under the mouse, "" when none.
  std::string toolTipAtMouse() const;

 private:
  void clearFirstResponder();
  // A mouse event in this window's coordinates, passed on in the child window's.
  void sendToChild(Window& child, const Event& event);
  void dispatchMouse(const Event& event);
  void dispatchKey(const Event& event);
  void updateTracking(const Event& event);
  void updateCursor();
  Window* childAt(Point location);

  Rect frame_;
  std::shared_ptr<View> contentView_;
  std::weak_ptr<Responder> firstResponder_;  // none: the window itself
  std::uint64_t responderChanges_ = 0;  // counts every change of first responder
  std::shared_ptr<TextView> fieldEditor_;
  std::weak_ptr<View> mouseDownView_;
  Window* childTracking_ = nullptr;  // the child window that took the last press
  std::vector<std::weak_ptr<TrackingArea>> inside_;
  std::vector<std::shared_ptr<Window>> children_;
  Window* parent_ = nullptr;
  bool visible_ = true;
  bool key_ = false;
  Point mouseLocation_;
};

}  // namespace qm::ui
