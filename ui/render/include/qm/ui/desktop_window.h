#pragma once
// A real desktop window (SDL2) that shows a qm::ui::Window as the renderer draws it and lets a
// person use it: mouse, key and text-input events go into the window through its event API, and
// the picture is redrawn after every batch of events and on every tick. Below the window, a
// strip of the caller's own buttons (each with an optional keyboard shortcut) offers actions
// that belong to the program around the window, not to the window itself.
//
// Geometry: one pixel of the desktop window is one pixel of the picture, so a point (x, y) of the
// qm::ui::Window (origin lower left) is the pixel (x * scale, (height - y) * scale) counted from
// the top left of the desktop window. The strip lies below, `kStripHeight` points high.
//
// Keys from a Linux keyboard:
//   Ctrl -> Command (so Ctrl+C, Ctrl+V, Ctrl+Z, Ctrl+Shift+Z do what a Linux user expects)
//   Alt -> Option, Super -> Control, Shift -> Shift, Caps Lock -> Caps Lock
//   Ctrl+Q closes the desktop window and is not passed on (Escape is left to the window).
// Key codes are the positional codes of a US keyboard as the toolkit's events carry them
// (kKeyCodeReturn, ... below; letters and digits by position). Keys that type text reach the
// window as one key-down whose characters are the typed text (layout, dead keys and input
// methods applied); committed input-method text with no key of its own arrives as a key-down
// with key code 0. Keys that type nothing carry the characters of qm::ui::keys (event.h), and the
// function keys those from kF1FunctionKey on.

#include "qm/ui/color.h"
#include "qm/ui/event.h"
#include "qm/ui/geometry.h"
#include "qm/ui/window.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qm::ui::desktop {

// The character of F1; F2 ... F12 follow in order.
constexpr char16_t kF1FunctionKey = 0xF704;

// Key codes of the keys that are not letters or digits.
constexpr uint16_t kKeyCodeReturn = 36;
constexpr uint16_t kKeyCodeTab = 48;
constexpr uint16_t kKeyCodeSpace = 49;
constexpr uint16_t kKeyCodeBackspace = 51;
constexpr uint16_t kKeyCodeEscape = 53;
constexpr uint16_t kKeyCodeEnter = 76;
constexpr uint16_t kKeyCodeForwardDelete = 117;
constexpr uint16_t kKeyCodeLeftArrow = 123;
constexpr uint16_t kKeyCodeRightArrow = 124;
constexpr uint16_t kKeyCodeDownArrow = 125;
constexpr uint16_t kKeyCodeUpArrow = 126;

// A key and the exact modifiers (kModifierCommand, kModifierShift, ...; Caps Lock is ignored)
// that trigger a strip button. `key` is compared with the key's characters ignoring modifiers,
// letters without regard to case: u"l" with kModifierCommand is Ctrl+L; F5 is
// {std::u16string(1, kF1FunctionKey + 4)}. An empty key is no shortcut.
struct KeyShortcut {
  std::u16string key;
  uint32_t modifiers = 0;
};
// "Ctrl+L", "F5", "Ctrl+Shift+R": the shortcut as the user presses it; "" for none.
std::string shortcutLabel(const KeyShortcut& shortcut);

// A button of the strip: pressed with the mouse (the action goes out on a release inside, as
// with any button) or with its shortcut, which is taken before the window sees the key.
struct StripButton {
  std::string title;  // the shortcut's label is added to it in the strip
  KeyShortcut shortcut;
  std::function<void()> action;
};

constexpr double kStripHeight = 34;  // points

struct DesktopWindowOptions {
  std::string title = "qm";  // the desktop window's title (also what a test finds it by)
  // Pixels per point. 0: the display's own (its dots per inch over 96, in halves, 1 to 4).
  double scale = 2.0;
  // Called on the main thread about every `tickSeconds` (and not while a callback runs): the
  // place for timer work and for draining the main queue. Returning false closes the window.
  std::function<bool()> onTick;
  double tickSeconds = 0.030;
  std::vector<StripButton> buttons;
  // Filled behind the window's picture (the window's views may leave parts clear).
  Color background = Color::deviceRGB(0.14, 0.15, 0.17);
  // Every event as it goes to the window (after the strip took its shortcuts), for logging.
  std::function<void(const Event&)> onEvent;
  // Lines about the desktop window; the first, once it is on screen, is
  // `desktop window "TITLE": WxH points at scale S, strip N points below` (the strip part only
  // with buttons). Null: standard error.
  std::function<void(const std::string&)> log;
};

// Connects to the user's desktop: the X display that DISPLAY names or the Wayland display of
// WAYLAND_DISPLAY, through a video driver that puts windows on it (x11 or wayland, also when
// SDL_VIDEODRIVER names one; never one that shows nothing). False, with a message naming the
// display in `error`, when there is none to reach. Done once; runDesktopWindow does it itself.
// [main-thread]
bool openDesktop(std::string* error = nullptr);

// Opens the desktop window, runs until the person closes it (the close box, Ctrl+Q, a quit from
// the desktop) or a tick returns false, and returns true. False, with a message in `error`, when
// no desktop window can be opened (no display: see openDesktop). The window is resized along
// with `window`'s frame. [main-thread]
bool runDesktopWindow(Window& window, const DesktopWindowOptions& options, std::string* error = nullptr);

}  // namespace qm::ui::desktop
