#include "desktop_session.h"

#include "qm/ui/button.h"
#include "qm/ui/render.h"
#include "qm/ui/text_measurer.h"

#include <algorithm>
#include <cmath>

namespace qm::ui::desktop {

namespace {

constexpr double kStripMargin = 8;
constexpr double kStripButtonHeight = 24;
constexpr double kStripButtonPadding = 24;
const Color kStripBackground = Color::deviceRGB(0.10, 0.11, 0.12);

int pixels(double points, double scale) {
  return std::max(1, static_cast<int>(std::ceil(points * scale - 1e-9)));
}

// The character and the pad and function markers of a key that types no text (its key code
// comes from its position, like every key's).
struct SpecialKey {
  char16_t character;
  uint32_t flags;
};

std::optional<SpecialKey> specialKey(SDL_Keycode sym) {
  constexpr uint32_t kArrow = kModifierNumericPad | kModifierFunction;
  switch (sym) {
    case SDLK_RETURN: return SpecialKey{keys::kReturn, 0};
    case SDLK_KP_ENTER: return SpecialKey{keys::kEnter, kModifierNumericPad};
    case SDLK_TAB: return SpecialKey{keys::kTab, 0};
    case SDLK_BACKSPACE: return SpecialKey{keys::kBackspace, 0};
    case SDLK_ESCAPE: return SpecialKey{keys::kEscape, 0};
    case SDLK_DELETE: return SpecialKey{keys::kForwardDelete, kModifierFunction};
    case SDLK_LEFT: return SpecialKey{keys::kLeftArrow, kArrow};
    case SDLK_RIGHT: return SpecialKey{keys::kRightArrow, kArrow};
    case SDLK_DOWN: return SpecialKey{keys::kDownArrow, kArrow};
    case SDLK_UP: return SpecialKey{keys::kUpArrow, kArrow};
    case SDLK_HOME: return SpecialKey{keys::kHome, kModifierFunction};
    case SDLK_END: return SpecialKey{keys::kEnd, kModifierFunction};
    case SDLK_PAGEUP: return SpecialKey{keys::kPageUp, kModifierFunction};
    case SDLK_PAGEDOWN: return SpecialKey{keys::kPageDown, kModifierFunction};
    default: break;
  }
  if (sym >= SDLK_F1 && sym <= SDLK_F12)
    return SpecialKey{static_cast<char16_t>(kF1FunctionKey + (sym - SDLK_F1)), kModifierFunction};
  return std::nullopt;
}

bool isModifierKey(SDL_Keycode sym) {
  switch (sym) {
    case SDLK_LCTRL: case SDLK_RCTRL: case SDLK_LSHIFT: case SDLK_RSHIFT: case SDLK_LALT:
    case SDLK_RALT: case SDLK_LGUI: case SDLK_RGUI: case SDLK_CAPSLOCK: case SDLK_MODE:
      return true;
    default:
      return false;
  }
}

// The character a layout key stands for (SDL's key symbol), as the key's characters ignoring
// modifiers: Shift makes letters capitals. Empty for keys that stand for no character (or for
// one outside the basic plane, which no keyboard layout puts on a key).
std::u16string baseCharacters(const SDL_Keysym& key) {
  const SDL_Keycode sym = key.sym;
  if ((sym & SDLK_SCANCODE_MASK) || sym < 0x20 || sym == 0x7F || sym > 0xFFFF) return {};
  char16_t c = static_cast<char16_t>(sym);
  if ((key.mod & KMOD_SHIFT) && c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return std::u16string(1, c);
}

Event keyEvent(EventType type, const SDL_Keysym& key, std::u16string characters, std::u16string ignoring,
               uint32_t extraFlags = 0) {
  Event e = Event::keyDown(characters, modifierFlagsFromSDL(key.mod) | extraFlags, keyCodeFromScancode(key.scancode),
                           ignoring);
  e.type = type;
  return e;
}

char16_t asciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool sameKey(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  return true;
}

bool matches(const KeyShortcut& shortcut, const Event& e) {
  if (shortcut.key.empty() || e.type != EventType::KeyDown) return false;
  const uint32_t held = e.deviceIndependentModifiers() & ~static_cast<uint32_t>(kModifierCapsLock);
  return held == shortcut.modifiers && sameKey(shortcut.key, e.charactersIgnoringModifiers);
}

// The strip buttons' target: the button's tag is its index among the strip buttons.
class StripTarget : public Object {
 public:
  explicit StripTarget(const std::vector<StripButton>& buttons) {
    registerAction("pressStripButton:", [&buttons](Object* sender) {
      auto* control = dynamic_cast<Control*>(sender);
      if (!control || control->tag() < 0 || static_cast<size_t>(control->tag()) >= buttons.size()) return;
      if (const auto& action = buttons[static_cast<size_t>(control->tag())].action) action();
    });
  }
};

std::string stripTitle(const StripButton& b) {
  const std::string label = shortcutLabel(b.shortcut);
  return label.empty() ? b.title : b.title + " (" + label + ")";
}

void copyInto(Bitmap& into, const Bitmap& from, int top) {
  for (int y = 0; y < from.height && top + y < into.height; ++y) {
    const int w = std::min(from.width, into.width);
    std::copy_n(from.pixels.begin() + static_cast<long>(y) * from.width, w,
                into.pixels.begin() + static_cast<long>(top + y) * into.width);
  }
}

}  // namespace

// ---- layout ----

int DesktopLayout::pixelWidth() const { return pixels(width(), scale); }
int DesktopLayout::pixelHeight() const { return pixels(windowSize.height + stripHeight, scale); }

Point DesktopLayout::pointIn(Region region, double pixelX, double pixelY) const {
  const double top = region == Region::Window ? windowSize.height : windowSize.height + stripHeight;
  return Point{pixelX / scale, top - pixelY / scale};
}

DesktopLayout::Hit DesktopLayout::locate(double pixelX, double pixelY) const {
  const Region region = stripHeight > 0 && pixelY / scale >= windowSize.height ? Region::Strip : Region::Window;
  return Hit{region, pointIn(region, pixelX, pixelY)};
}

// ---- keys ----

uint32_t modifierFlagsFromSDL(uint16_t mod) {
  uint32_t flags = 0;
  if (mod & KMOD_CTRL) flags |= kModifierCommand;
  if (mod & KMOD_GUI) flags |= kModifierControl;
  if (mod & KMOD_ALT) flags |= kModifierOption;
  if (mod & KMOD_SHIFT) flags |= kModifierShift;
  if (mod & KMOD_CAPS) flags |= kModifierCapsLock;
  return flags;
}

uint16_t keyCodeFromScancode(SDL_Scancode s) {
  if (s >= SDL_SCANCODE_A && s <= SDL_SCANCODE_Z) {
    static constexpr uint8_t kLetters[26] = {0,  11, 8,  2,  14, 3,  5, 4,  34, 38, 40, 37, 46,
                                             45, 31, 35, 12, 15, 1,  17, 32, 9, 13, 7,  16, 6};
    return kLetters[s - SDL_SCANCODE_A];
  }
  if (s >= SDL_SCANCODE_1 && s <= SDL_SCANCODE_0) {
    static constexpr uint8_t kDigits[10] = {18, 19, 20, 21, 23, 22, 26, 28, 25, 29};
    return kDigits[s - SDL_SCANCODE_1];
  }
  if (s >= SDL_SCANCODE_F1 && s <= SDL_SCANCODE_F12) {
    static constexpr uint8_t kFunction[12] = {122, 120, 99, 118, 96, 97, 98, 100, 101, 109, 103, 111};
    return kFunction[s - SDL_SCANCODE_F1];
  }
  if (s >= SDL_SCANCODE_KP_1 && s <= SDL_SCANCODE_KP_9) {
    static constexpr uint8_t kPad[9] = {83, 84, 85, 86, 87, 88, 89, 91, 92};
    return kPad[s - SDL_SCANCODE_KP_1];
  }
  switch (s) {
    case SDL_SCANCODE_RETURN: return kKeyCodeReturn;
    case SDL_SCANCODE_TAB: return kKeyCodeTab;
    case SDL_SCANCODE_SPACE: return kKeyCodeSpace;
    case SDL_SCANCODE_BACKSPACE: return kKeyCodeBackspace;
    case SDL_SCANCODE_ESCAPE: return kKeyCodeEscape;
    case SDL_SCANCODE_KP_ENTER: return kKeyCodeEnter;
    case SDL_SCANCODE_DELETE: return kKeyCodeForwardDelete;
    case SDL_SCANCODE_LEFT: return kKeyCodeLeftArrow;
    case SDL_SCANCODE_RIGHT: return kKeyCodeRightArrow;
    case SDL_SCANCODE_DOWN: return kKeyCodeDownArrow;
    case SDL_SCANCODE_UP: return kKeyCodeUpArrow;
    case SDL_SCANCODE_HOME: return 115;
    case SDL_SCANCODE_END: return 119;
    case SDL_SCANCODE_PAGEUP: return 116;
    case SDL_SCANCODE_PAGEDOWN: return 121;
    case SDL_SCANCODE_MINUS: return 27;
    case SDL_SCANCODE_EQUALS: return 24;
    case SDL_SCANCODE_LEFTBRACKET: return 33;
    case SDL_SCANCODE_RIGHTBRACKET: return 30;
    case SDL_SCANCODE_BACKSLASH: return 42;
    case SDL_SCANCODE_NONUSBACKSLASH: return 10;
    case SDL_SCANCODE_SEMICOLON: return 41;
    case SDL_SCANCODE_APOSTROPHE: return 39;
    case SDL_SCANCODE_GRAVE: return 50;
    case SDL_SCANCODE_COMMA: return 43;
    case SDL_SCANCODE_PERIOD: return 47;
    case SDL_SCANCODE_SLASH: return 44;
    case SDL_SCANCODE_KP_0: return 82;
    case SDL_SCANCODE_KP_PERIOD: return 65;
    case SDL_SCANCODE_KP_MULTIPLY: return 67;
    case SDL_SCANCODE_KP_PLUS: return 69;
    case SDL_SCANCODE_KP_DIVIDE: return 75;
    case SDL_SCANCODE_KP_MINUS: return 78;
    case SDL_SCANCODE_KP_EQUALS: return 81;
    default: return 0;
  }
}

std::vector<Event> KeyTranslator::feed(const SDL_Event& event) {
  std::vector<Event> out;
  if (event.type == SDL_TEXTINPUT) {
    if (swallowText_) {
      swallowText_ = false;
      return out;
    }
    const std::u16string text = utf16FromUTF8(event.text.text);
    if (text.empty()) return out;
    if (held_) {
      out.push_back(keyEvent(EventType::KeyDown, *held_, text, baseCharacters(*held_)));
      held_.reset();
    } else {
      out.push_back(Event::keyDown(text));
    }
    return out;
  }
  if (event.type != SDL_KEYDOWN && event.type != SDL_KEYUP) return out;
  const SDL_Keysym& key = event.key.keysym;
  const bool down = event.type == SDL_KEYDOWN;
  if (isModifierKey(key.sym)) {
    Event e = keyEvent(EventType::FlagsChanged, key, {}, {});
    out.push_back(e);
    return out;
  }
  if (const auto special = specialKey(key.sym)) {
    const std::u16string c(1, special->character);
    out.push_back(keyEvent(down ? EventType::KeyDown : EventType::KeyUp, key, c, c, special->flags));
    return out;
  }
  const std::u16string base = baseCharacters(key);
  if (base.empty()) return out;  // keys that stand for nothing the window knows
  if (!down) {
    out.push_back(keyEvent(EventType::KeyUp, key, base, base));
    return out;
  }
  const uint32_t flags = modifierFlagsFromSDL(key.mod);
  if (flags & (kModifierCommand | kModifierControl)) {
    // A shortcut, not typing: out at once, and text that the desktop may still send for it
    // (it does for Super) is not typed.
    held_.reset();
    out.push_back(keyEvent(EventType::KeyDown, key, base, base));
    swallowText_ = true;
    return out;
  }
  held_ = key;  // a newer key replaces one whose text never came
  return out;
}

void KeyTranslator::flush() {
  held_.reset();
  swallowText_ = false;
}

std::string shortcutLabel(const KeyShortcut& shortcut) {
  if (shortcut.key.empty()) return {};
  std::string label;
  if (shortcut.modifiers & kModifierCommand) label += "Ctrl+";
  if (shortcut.modifiers & kModifierControl) label += "Super+";
  if (shortcut.modifiers & kModifierOption) label += "Alt+";
  if (shortcut.modifiers & kModifierShift) label += "Shift+";
  const char16_t c = shortcut.key.size() == 1 ? shortcut.key[0] : 0;
  if (c >= kF1FunctionKey && c < kF1FunctionKey + 12) return label + "F" + std::to_string(c - kF1FunctionKey + 1);
  switch (c) {
    case keys::kReturn: return label + "Return";
    case keys::kTab: return label + "Tab";
    case keys::kBackspace: return label + "Backspace";
    case keys::kEscape: return label + "Escape";
    case u' ': return label + "Space";
    default: break;
  }
  std::string key = utf8FromUTF16(shortcut.key);
  if (key.size() == 1 && key[0] >= 'a' && key[0] <= 'z') key[0] = static_cast<char>(key[0] - 'a' + 'A');
  return label + key;
}

// ---- the session ----

DesktopSession::DesktopSession(Window& window, const DesktopWindowOptions& options, double scale)
    : window_(window), options_(options) {
  layout_.scale = scale;
  buildStrip();
  refreshLayout();
}

DesktopSession::~DesktopSession() = default;

void DesktopSession::buildStrip() {
  if (options_.buttons.empty()) return;
  stripTarget_ = std::make_shared<StripTarget>(options_.buttons);
  auto root = std::make_shared<View>(Rect{0, 0, 1, kStripHeight});
  root->setWantsLayer(true);
  root->layer()->backgroundColor = kStripBackground;
  double x = kStripMargin;
  long tag = 0;
  for (const auto& b : options_.buttons) {
    auto button = std::make_shared<Button>(Rect{});
    button->setBezelStyle(BezelStyle::Rounded);
    button->setTitle(stripTitle(b));
    const double w = std::ceil(textMeasurer().measure(button->attributedTitle()).width) + kStripButtonPadding;
    button->setFrame(Rect{x, (kStripHeight - kStripButtonHeight) / 2, w, kStripButtonHeight});
    button->setTag(tag++);
    button->setTarget(stripTarget_);
    button->setAction("pressStripButton:");
    root->addSubview(button);
    x += w + kStripMargin;
  }
  layout_.stripHeight = kStripHeight;
  layout_.stripWidth = x;
  strip_ = std::make_shared<Window>(Rect{0, 0, x, kStripHeight});
  strip_->setContentView(root);
}

bool DesktopSession::refreshLayout() {
  const Size size{std::max(1.0, window_.frame().width()), std::max(1.0, window_.frame().height())};
  if (size == layout_.windowSize) return false;
  layout_.windowSize = size;
  if (strip_) strip_->setFrame(Rect{0, 0, layout_.width(), kStripHeight});
  return true;
}

Bitmap DesktopSession::render() {
  refreshLayout();
  Bitmap out;
  out.width = layout_.pixelWidth();
  out.height = layout_.pixelHeight();
  const RGBA bg = options_.background.rgba();
  const auto byte = [](double v) { return static_cast<uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
  out.pixels.assign(static_cast<size_t>(out.width) * static_cast<size_t>(out.height),
                    0xFF000000u | byte(bg.red) << 16 | byte(bg.green) << 8 | byte(bg.blue));
  const Color opaque = options_.background.withAlpha(1);
  copyInto(out, render::renderWindow(window_, layout_.scale, opaque), 0);
  if (strip_) {
    const int top = pixels(layout_.windowSize.height, layout_.scale);
    copyInto(out, render::renderWindow(*strip_, layout_.scale, kStripBackground), top);
  }
  return out;
}

uint32_t DesktopSession::currentModifiers() const {
  return modifierFlagsFromSDL(static_cast<uint16_t>(SDL_GetModState()));
}

void DesktopSession::sendToWindow(const Event& event) {
  if (options_.onEvent) options_.onEvent(event);
  window_.sendEvent(event);
}

void DesktopSession::dispatchKey(const Event& event) {
  if (event.type == EventType::KeyDown) {
    if (matches(KeyShortcut{u"q", kModifierCommand}, event)) {
      requestClose();
      return;
    }
    for (const auto& b : options_.buttons)
      if (matches(b.shortcut, event)) {
        if (b.action) b.action();
        return;
      }
  }
  sendToWindow(event);
}

void DesktopSession::sendToRegion(DesktopLayout::Region region, const Event& event) {
  if (region == DesktopLayout::Region::Window)
    sendToWindow(event);
  else if (strip_)
    strip_->sendEvent(event);
}

void DesktopSession::mouseButton(const SDL_MouseButtonEvent& button, bool down) {
  if (button.button != SDL_BUTTON_LEFT && button.button != SDL_BUTTON_RIGHT) return;
  const bool left = button.button == SDL_BUTTON_LEFT;
  lastPixel_ = Point{static_cast<double>(button.x), static_cast<double>(button.y)};
  // A release goes where the press went, in that region's points.
  if (down) pressRegion_ = layout_.locate(button.x, button.y).region;
  const auto region = pressRegion_.value_or(layout_.locate(button.x, button.y).region);
  if (!down) pressRegion_.reset();
  const EventType type = left ? (down ? EventType::LeftMouseDown : EventType::LeftMouseUp)
                              : (down ? EventType::RightMouseDown : EventType::RightMouseUp);
  sendToRegion(region, Event::mouse(type, layout_.pointIn(region, button.x, button.y), currentModifiers(),
                                    std::max<int>(1, button.clicks)));
}

void DesktopSession::mouseMotion(const SDL_MouseMotionEvent& motion) {
  using Region = DesktopLayout::Region;
  lastPixel_ = Point{static_cast<double>(motion.x), static_cast<double>(motion.y)};
  const uint32_t mods = currentModifiers();
  if (pressRegion_ && (motion.state & SDL_BUTTON_LMASK)) {
    sendToRegion(*pressRegion_, Event::mouse(EventType::LeftMouseDragged,
                                             layout_.pointIn(*pressRegion_, motion.x, motion.y), mods));
    return;
  }
  // Both hear the moves, so that leaving one for the other ends its tracking.
  for (Region region : {Region::Window, Region::Strip})
    sendToRegion(region, Event::mouse(EventType::MouseMoved, layout_.pointIn(region, motion.x, motion.y), mods));
}

void DesktopSession::handle(const SDL_Event& event) {
  switch (event.type) {
    case SDL_QUIT:
      requestClose();
      return;
    case SDL_WINDOWEVENT:
      if (event.window.event == SDL_WINDOWEVENT_CLOSE) requestClose();
      if (event.window.event == SDL_WINDOWEVENT_LEAVE && !pressRegion_) {
        // The pointer left the desktop window: a move far outside ends every tracking area.
        for (auto region : {DesktopLayout::Region::Window, DesktopLayout::Region::Strip})
          sendToRegion(region, Event::mouse(EventType::MouseMoved, Point{-1e6, -1e6}));
      }
      return;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      keys_.flush();
      mouseButton(event.button, event.type == SDL_MOUSEBUTTONDOWN);
      return;
    case SDL_MOUSEMOTION:
      mouseMotion(event.motion);
      return;
    case SDL_MOUSEWHEEL: {
      const auto hit = layout_.locate(lastPixel_.x, lastPixel_.y);
      if (hit.region != DesktopLayout::Region::Window) return;
      const double sign = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -1 : 1;
      Event e = Event::mouse(EventType::ScrollWheel, hit.point, currentModifiers());
      e.deltaX = sign * event.wheel.preciseX;
      e.deltaY = sign * event.wheel.preciseY;
      sendToWindow(e);
      return;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP:
    case SDL_TEXTINPUT:
      for (const Event& e : keys_.feed(event)) dispatchKey(e);
      return;
    default:
      return;
  }
}

void DesktopSession::endBatch() { keys_.flush(); }

}  // namespace qm::ui::desktop
