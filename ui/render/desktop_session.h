#pragma once
// The desktop window without the display (renderer internal): where each pixel belongs, SDL
// events turned into toolkit events and dispatched to the window or the strip, and the
// picture of the whole desktop window. desktop_window.cpp adds the SDL window and the loop.

#include "qm/ui/desktop_window.h"
#include "qm/ui/image.h"

#include <SDL.h>

#include <memory>
#include <optional>
#include <vector>

namespace qm::ui::desktop {

// The desktop window's pixels: the window's picture at the top left, the strip below it.
struct DesktopLayout {
  Size windowSize;         // points
  double scale = 2.0;      // pixels per point
  double stripHeight = 0;  // points; 0 without buttons
  double stripWidth = 0;   // points the buttons need

  double width() const { return std::max(windowSize.width, stripWidth); }
  int pixelWidth() const;
  int pixelHeight() const;

  enum class Region { Window, Strip };
  struct Hit {
    Region region;
    Point point;  // in the region's own points, origin lower left
  };
  // The region of a pixel position (rows above the strip belong to the window, also right of
  // it), and the point there.
  Hit locate(double pixelX, double pixelY) const;
  // A pixel position in a region's points, also outside the region (drags leave it).
  Point pointIn(Region region, double pixelX, double pixelY) const;
};

// SDL modifier state to toolkit flags (the mapping in desktop_window.h).
uint32_t modifierFlagsFromSDL(uint16_t mod);
// The positional key code of a key; 0 for keys without one.
uint16_t keyCodeFromScancode(SDL_Scancode scancode);

// Turns SDL key and text-input events into key events. A key that types text is held until its
// text arrives (SDL sends the text as a separate event right after the key) and goes out as one
// key-down carrying the text; a held key whose text never comes was taken by an input method or
// is a dead key, and is dropped at the end of the batch. Text without a held key (committed
// input-method text) goes out on its own.
class KeyTranslator {
 public:
  // The events ready after `event` (key down/up or text input; others give nothing).
  std::vector<Event> feed(const SDL_Event& event);
  // The end of a batch of events: forgets a held key and any text still expected.
  void flush();

 private:
  std::optional<SDL_Keysym> held_;
  bool swallowText_ = false;  // a key with Command or Control went out; its text is not typing
};

// One desktop window's state: the window, the strip (a toolkit window of its own, with one button
// per strip button), the routing of presses and drags, and the close request.
class DesktopSession {
 public:
  DesktopSession(Window& window, const DesktopWindowOptions& options, double scale);
  ~DesktopSession();
  DesktopSession(const DesktopSession&) = delete;
  DesktopSession& operator=(const DesktopSession&) = delete;

  // [main-thread]
  void handle(const SDL_Event& event);
  // After the last event of a batch. [main-thread]
  void endBatch();

  bool closeRequested() const { return closeRequested_; }
  void requestClose() { closeRequested_ = true; }

  const DesktopLayout& layout() const { return layout_; }
  // Follows the window's size; true when the layout changed.
  bool refreshLayout();
  // The whole desktop window's picture at the layout's pixel size.
  Bitmap render();

  Window& stripWindow() { return *strip_; }

 private:
  void dispatchKey(const Event& event);
  void sendToWindow(const Event& event);
  void sendToRegion(DesktopLayout::Region region, const Event& event);
  uint32_t currentModifiers() const;
  void mouseButton(const SDL_MouseButtonEvent& button, bool down);
  void mouseMotion(const SDL_MouseMotionEvent& motion);
  void buildStrip();

  Window& window_;
  const DesktopWindowOptions& options_;
  DesktopLayout layout_;
  std::shared_ptr<Window> strip_;
  std::shared_ptr<Object> stripTarget_;
  KeyTranslator keys_;
  std::optional<DesktopLayout::Region> pressRegion_;  // the region that took the press held now
  Point lastPixel_;
  bool closeRequested_ = false;
};

}  // namespace qm::ui::desktop
