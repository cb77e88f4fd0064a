// The desktop window without a display: SDL events as the desktop sends them go into the session,
// and what the toolkit window (or the strip) receives is checked, with the y flip and the scale.

#include "desktop_session.h"

#include "qm/ui/button.h"
#include "qm/ui/text_measurer.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace qm::ui;
using namespace qm::ui::desktop;

namespace {

struct Recorder : View {
  using View::View;
  bool acceptsFirstResponder() const override { return true; }
  void mouseDown(const Event& e) override { events.push_back(e); }
  void mouseDragged(const Event& e) override { events.push_back(e); }
  void mouseUp(const Event& e) override { events.push_back(e); }
  void rightMouseDown(const Event& e) override { events.push_back(e); }
  void keyDown(const Event& e) override { events.push_back(e); }
  void keyUp(const Event& e) override { events.push_back(e); }
  void flagsChanged(const Event& e) override { events.push_back(e); }
  std::vector<Event> events;
};

SDL_Event key(bool down, SDL_Keycode sym, SDL_Scancode scancode, uint16_t mod = KMOD_NONE) {
  SDL_Event e{};
  e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
  e.key.keysym.sym = sym;
  e.key.keysym.scancode = scancode;
  e.key.keysym.mod = mod;
  return e;
}

SDL_Event text(const char* utf8) {
  SDL_Event e{};
  e.type = SDL_TEXTINPUT;
  std::strncpy(e.text.text, utf8, sizeof e.text.text - 1);
  return e;
}

SDL_Event button(bool down, int x, int y, uint8_t which = SDL_BUTTON_LEFT) {
  SDL_Event e{};
  e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
  e.button.button = which;
  e.button.x = x;
  e.button.y = y;
  e.button.clicks = 1;
  return e;
}

SDL_Event motion(int x, int y, bool leftHeld) {
  SDL_Event e{};
  e.type = SDL_MOUSEMOTION;
  e.motion.x = x;
  e.motion.y = y;
  e.motion.state = leftHeld ? SDL_BUTTON_LMASK : 0;
  return e;
}

SDL_Event windowEvent(SDL_WindowEventID id) {
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.event = static_cast<Uint8>(id);
  return e;
}

// A 200 x 100 window whose content is one recording view, and a session around it.
struct Desktop : ::testing::Test {
  explicit Desktop(double scale = 2) : window(Rect{0, 0, 200, 100}) {
    recorder = std::make_shared<Recorder>(Rect{0, 0, 200, 100});
    window.setContentView(recorder);
    window.makeFirstResponder(recorder.get());
    options.buttons.push_back({"LOAD", {std::u16string(1, kF1FunctionKey + 4)}, [this] { pressed += "L"; }});
    options.buttons.push_back({"RENDER", {u"r", kModifierCommand}, [this] { pressed += "R"; }});
    options.onEvent = [this](const Event&) { ++seen; };
    session = std::make_unique<DesktopSession>(window, options, scale);
  }
  // A press and release at the middle of the strip button `index`, in pixels.
  void clickStripButton(size_t index, int releaseDx = 0, int releaseDy = 0) {
    const Rect f = session->stripWindow().contentView()->subviews().at(index)->frame();
    const double s = session->layout().scale;
    const int x = static_cast<int>(f.midX() * s);
    const int y = static_cast<int>((100 + kStripHeight - f.midY()) * s);
    session->handle(button(true, x, y));
    session->handle(button(false, x + releaseDx, y + releaseDy));
  }
  void feed(std::initializer_list<SDL_Event> events) {
    for (const auto& e : events) session->handle(e);
    session->endBatch();
  }

  ScopedTextMeasurer measurer{std::make_shared<FixedWidthTextMeasurer>()};
  Window window;
  std::shared_ptr<Recorder> recorder;
  DesktopWindowOptions options;
  std::unique_ptr<DesktopSession> session;
  std::string pressed;
  int seen = 0;
};

struct MouseCase {
  double scale;
};

struct DesktopAtScale : Desktop, ::testing::WithParamInterface<MouseCase> {
  DesktopAtScale() : Desktop(GetParam().scale) {}
};

TEST_P(DesktopAtScale, PressDragAndReleaseArriveFlippedAndInPoints) {
  const double s = GetParam().scale;
  const auto px = [s](double points) { return static_cast<int>(points * s); };
  feed({button(true, px(20), px(10)), motion(px(30), px(40), true), motion(px(60), px(120), true),
        button(false, px(60), px(120))});
  ASSERT_EQ(recorder->events.size(), 4u);
  EXPECT_EQ(recorder->events[0].type, EventType::LeftMouseDown);
  EXPECT_EQ(recorder->events[0].locationInWindow, (Point{20, 90}));
  EXPECT_EQ(recorder->events[1].type, EventType::LeftMouseDragged);
  EXPECT_EQ(recorder->events[1].locationInWindow, (Point{30, 60}));
  // Dragged over the strip: still the window's drag, in the window's points (below its bottom).
  EXPECT_EQ(recorder->events[2].locationInWindow, (Point{60, -20}));
  EXPECT_EQ(recorder->events[3].type, EventType::LeftMouseUp);
  EXPECT_EQ(recorder->events[3].locationInWindow, (Point{60, -20}));
  EXPECT_TRUE(pressed.empty());
}

INSTANTIATE_TEST_SUITE_P(Scales, DesktopAtScale, ::testing::Values(MouseCase{1}, MouseCase{2}, MouseCase{3}));

TEST_F(Desktop, StripLiesBelowTheWindowAndItsButtonsAct) {
  const auto& layout = session->layout();
  EXPECT_EQ(layout.pixelHeight(), static_cast<int>((100 + kStripHeight) * 2));
  EXPECT_EQ(layout.locate(10, 199).region, DesktopLayout::Region::Window);
  EXPECT_EQ(layout.locate(10, 199).point, (Point{5, 0.5}));
  EXPECT_EQ(layout.locate(10, 200).region, DesktopLayout::Region::Strip);
  EXPECT_EQ(layout.locate(10, 200).point, (Point{5, kStripHeight}));
  // Rows right of a narrow window still belong to it (no strip there).
  EXPECT_EQ(layout.locate(1000, 10).region, DesktopLayout::Region::Window);

  clickStripButton(1);
  clickStripButton(0);
  EXPECT_EQ(pressed, "RL");
  EXPECT_TRUE(recorder->events.empty());
  EXPECT_EQ(seen, 0);
  // Released off the button (up in the window): no action, and the window hears nothing.
  clickStripButton(0, 0, -120);
  EXPECT_EQ(pressed, "RL");
  EXPECT_TRUE(recorder->events.empty());
  // Pressed in the window and released on a button: the window's release, not the button's.
  const Rect load = session->stripWindow().contentView()->subviews().at(0)->frame();
  feed({button(true, 20, 20), button(false, static_cast<int>(load.midX() * 2), 250)});
  EXPECT_EQ(pressed, "RL");
  ASSERT_EQ(recorder->events.size(), 2u);
  EXPECT_EQ(recorder->events[1].type, EventType::LeftMouseUp);
}

TEST_F(Desktop, ShortcutsAndTheQuitKeyAreTakenBeforeTheWindow) {
  const uint16_t caps = KMOD_CAPS;
  feed({key(true, SDLK_F5, SDL_SCANCODE_F5)});
  feed({key(true, SDLK_r, SDL_SCANCODE_R, KMOD_LCTRL | caps)});  // Caps Lock does not matter
  feed({key(true, SDLK_r, SDL_SCANCODE_R), text("r")});           // plain r is typing
  EXPECT_EQ(pressed, "LR");
  ASSERT_EQ(recorder->events.size(), 1u);
  EXPECT_EQ(recorder->events[0].characters, u"r");
  EXPECT_FALSE(session->closeRequested());
  feed({key(true, SDLK_q, SDL_SCANCODE_Q, KMOD_RCTRL)});
  EXPECT_TRUE(session->closeRequested());
  EXPECT_EQ(recorder->events.size(), 1u);
}

TEST_F(Desktop, TheCloseBoxAndAQuitCloseIt) {
  feed({windowEvent(SDL_WINDOWEVENT_CLOSE)});
  EXPECT_TRUE(session->closeRequested());
  DesktopSession second(window, options, 2);
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  second.handle(quit);
  EXPECT_TRUE(second.closeRequested());
}

struct KeyCase {
  const char* name;
  std::vector<std::vector<SDL_Event>> batches;
  std::u16string characters, ignoring;
  uint16_t keyCode;
  uint32_t flags;  // all modifier flags, pad and function markers included
};

TEST_F(Desktop, KeysAndTypedTextReachTheFirstResponderOnce) {
  const std::vector<KeyCase> cases = {
      {"letter", {{key(true, SDLK_a, SDL_SCANCODE_A), text("a")}}, u"a", u"a", 0, 0},
      {"shifted letter", {{key(true, SDLK_b, SDL_SCANCODE_B, KMOD_LSHIFT), text("B")}}, u"B", u"B", 11,
       kModifierShift},
      {"caps lock", {{key(true, SDLK_a, SDL_SCANCODE_A, KMOD_CAPS), text("A")}}, u"A", u"a", 0, kModifierCapsLock},
      {"Ctrl is Command", {{key(true, SDLK_z, SDL_SCANCODE_Z, KMOD_LCTRL)}}, u"z", u"z", 6, kModifierCommand},
      {"Ctrl+Shift", {{key(true, SDLK_z, SDL_SCANCODE_Z, KMOD_LCTRL | KMOD_LSHIFT)}}, u"Z", u"Z", 6,
       kModifierCommand | kModifierShift},
      {"Super is Control, its text not typed", {{key(true, SDLK_a, SDL_SCANCODE_A, KMOD_LGUI), text("a")}}, u"a",
       u"a", 0, kModifierControl},
      {"Alt is Option", {{key(true, SDLK_e, SDL_SCANCODE_E, KMOD_LALT), text("\xE2\x82\xAC")}}, u"\u20AC", u"e", 14,
       kModifierOption},
      {"dead key then letter",
       {{key(true, SDLK_QUOTE, SDL_SCANCODE_APOSTROPHE)}, {key(true, SDLK_e, SDL_SCANCODE_E), text("\xC3\xA9")}},
       u"\u00E9", u"e", 14, 0},
      {"input-method text", {{text("\xE6\x97\xA5\xE6\x9C\xAC")}}, u"\u65E5\u672C", u"\u65E5\u672C", 0, 0},
      {"outside the BMP", {{text("\xF0\x9F\x98\x80")}}, u"\U0001F600", u"\U0001F600", 0, 0},
      {"backspace", {{key(true, SDLK_BACKSPACE, SDL_SCANCODE_BACKSPACE)}}, u"\u007F", u"\u007F", 51, 0},
      {"return", {{key(true, SDLK_RETURN, SDL_SCANCODE_RETURN)}}, u"\r", u"\r", 36, 0},
      {"left arrow", {{key(true, SDLK_LEFT, SDL_SCANCODE_LEFT, KMOD_LSHIFT)}}, u"\uF702", u"\uF702", 123,
       kModifierShift | kModifierNumericPad | kModifierFunction},
      {"F12", {{key(true, SDLK_F12, SDL_SCANCODE_F12)}}, u"\uF70F", u"\uF70F", 111, kModifierFunction},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    recorder->events.clear();
    for (const auto& batch : c.batches) {
      for (const auto& e : batch) session->handle(e);
      session->endBatch();
    }
    ASSERT_EQ(recorder->events.size(), 1u);
    const Event& e = recorder->events[0];
    EXPECT_EQ(e.type, EventType::KeyDown);
    EXPECT_EQ(e.characters, c.characters);
    EXPECT_EQ(e.charactersIgnoringModifiers, c.ignoring);
    EXPECT_EQ(e.keyCode, c.keyCode);
    EXPECT_EQ(e.modifierFlags, c.flags);
  }
}

TEST_F(Desktop, ModifierKeysAndReleasesGoOutAsTheirOwnEvents) {
  feed({key(true, SDLK_LSHIFT, SDL_SCANCODE_LSHIFT, KMOD_LSHIFT), key(false, SDLK_LSHIFT, SDL_SCANCODE_LSHIFT),
        key(false, SDLK_x, SDL_SCANCODE_X)});
  ASSERT_EQ(recorder->events.size(), 3u);
  EXPECT_EQ(recorder->events[0].type, EventType::FlagsChanged);
  EXPECT_EQ(recorder->events[0].modifierFlags, kModifierShift);
  EXPECT_EQ(recorder->events[1].type, EventType::FlagsChanged);
  EXPECT_EQ(recorder->events[1].modifierFlags, 0u);
  EXPECT_EQ(recorder->events[2].type, EventType::KeyUp);
  EXPECT_EQ(recorder->events[2].keyCode, 7);
}

TEST_F(Desktop, PictureShowsTheWindowAboveTheStripTheRightWayUp) {
  auto bottomLeft = std::make_shared<View>(Rect{0, 0, 10, 10});
  bottomLeft->setWantsLayer(true);
  bottomLeft->layer()->backgroundColor = Color::deviceRGB(0, 1, 0);
  recorder->addSubview(bottomLeft);
  const Bitmap picture = session->render();
  EXPECT_EQ(picture.width, session->layout().pixelWidth());
  EXPECT_EQ(picture.height, session->layout().pixelHeight());
  const uint32_t green = 0xFF00FF00u;
  EXPECT_EQ(picture.at(2, 198), green);  // just above the strip
  EXPECT_NE(picture.at(2, 2), green);    // the top of the window
  EXPECT_NE(picture.at(2, 202), green);  // the strip
  EXPECT_EQ(picture.at(2, 2) >> 24, 0xFFu);

  // The window grows: so does the desktop window.
  window.setFrame(Rect{0, 0, 300, 150});
  EXPECT_TRUE(session->refreshLayout());
  EXPECT_EQ(session->layout().pixelWidth(), 600);
  EXPECT_EQ(session->layout().pixelHeight(), static_cast<int>((150 + kStripHeight) * 2));
  EXPECT_FALSE(session->refreshLayout());
}

TEST(DesktopShortcutLabel, SaysWhatThePersonPresses) {
  EXPECT_EQ(shortcutLabel({u"r", kModifierCommand | kModifierShift}), "Ctrl+Shift+R");
  EXPECT_EQ(shortcutLabel({std::u16string(1, kF1FunctionKey + 4)}), "F5");
  EXPECT_EQ(shortcutLabel({u"l", kModifierOption}), "Alt+L");
  EXPECT_EQ(shortcutLabel({}), "");
}

}  // namespace
