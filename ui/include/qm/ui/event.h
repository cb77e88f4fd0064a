#pragma once
// Events as the window receives them: type, location in the window (points, origin lower left),
// modifier flags, characters and characters ignoring modifiers (UTF-16), key code, click count,
// the time on the platform clock, and for entered/exited/cursor events the tracking area.

#include "qm/ui/geometry.h"

#include <cstdint>
#include <memory>
#include <string>

namespace qm::ui {

class TrackingArea;

enum class EventType {
  LeftMouseDown, LeftMouseUp, LeftMouseDragged, RightMouseDown, RightMouseUp,
  MouseMoved, MouseEntered, MouseExited, CursorUpdate, KeyDown, KeyUp, FlagsChanged, ScrollWheel
};

// Modifier flags (our own bit values).
enum ModifierFlag : uint32_t {
  kModifierCapsLock = 1u << 0,
  kModifierShift = 1u << 1,
  kModifierControl = 1u << 2,
  kModifierOption = 1u << 3,
  kModifierCommand = 1u << 4,
  kModifierNumericPad = 1u << 5,
  kModifierFunction = 1u << 6,
};
// The flags that name keys the user holds, without the pad and function markers.
constexpr uint32_t kDeviceIndependentModifierMask =
    kModifierCapsLock | kModifierShift | kModifierControl | kModifierOption | kModifierCommand;

// The characters of keys that type no text, as key events carry them: the control characters of
// Backspace, Tab, Return, Enter and Escape, and private-use units for the arrows and the keys
// above them.
namespace keys {
inline constexpr char16_t kBackspace = 0x7F;
inline constexpr char16_t kTab = 0x09;
inline constexpr char16_t kBacktab = 0x19;
inline constexpr char16_t kReturn = 0x0D;
inline constexpr char16_t kEnter = 0x03;
inline constexpr char16_t kEscape = 0x1B;
inline constexpr char16_t kUpArrow = 0xF700;
inline constexpr char16_t kDownArrow = 0xF701;
inline constexpr char16_t kLeftArrow = 0xF702;
inline constexpr char16_t kRightArrow = 0xF703;
inline constexpr char16_t kForwardDelete = 0xF728;
inline constexpr char16_t kHome = 0xF729;
inline constexpr char16_t kEnd = 0xF72B;
inline constexpr char16_t kPageUp = 0xF72C;
inline constexpr char16_t kPageDown = 0xF72D;
}  // namespace keys

struct Event {
  EventType type = EventType::MouseMoved;
  Point locationInWindow;
  uint32_t modifierFlags = 0;
  std::u16string characters;
  std::u16string charactersIgnoringModifiers;
  uint16_t keyCode = 0;
  int clickCount = 1;
  double timestamp = 0;
  double deltaX = 0, deltaY = 0;  // scroll wheel
  std::shared_ptr<TrackingArea> trackingArea;

  uint32_t deviceIndependentModifiers() const { return modifierFlags & kDeviceIndependentModifierMask; }
  bool isMouse() const;
  bool isKey() const { return type == EventType::KeyDown || type == EventType::KeyUp; }

  static Event mouse(EventType type, Point locationInWindow, uint32_t modifiers = 0, int clickCount = 1);
  // A key press; `charactersIgnoringModifiers` defaults to `characters`.
  static Event keyDown(const std::u16string& characters, uint32_t modifiers = 0, uint16_t keyCode = 0,
                       const std::u16string& charactersIgnoringModifiers = {});
};

}  // namespace qm::ui
