// The SDL side of the desktop window: the window and its surface, and the loop of events, ticks
// and redraws. Everything that needs no display is in desktop_session.cpp.

#include "desktop_session.h"

#include "qm/platform/time.h"
#include "qm/ui/application.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace qm::ui::desktop {

namespace {

double displayScale() {
  float ddpi = 0;
  if (SDL_GetDisplayDPI(0, &ddpi, nullptr, nullptr) != 0 || !(ddpi > 0)) return 2.0;
  return std::clamp(std::round(ddpi / 96.0 * 2) / 2, 1.0, 4.0);
}

// Copies the picture onto the window's surface; false when SDL cannot.
bool present(SDL_Window* sdl, Bitmap& picture) {
  SDL_Surface* target = SDL_GetWindowSurface(sdl);
  if (!target) return false;
  SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(picture.pixels.data(), picture.width, picture.height, 32,
                                                           picture.width * 4, SDL_PIXELFORMAT_ARGB8888);
  if (!source) return false;
  SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_NONE);
  const bool ok = SDL_BlitSurface(source, nullptr, target, nullptr) == 0 && SDL_UpdateWindowSurface(sdl) == 0;
  SDL_FreeSurface(source);
  return ok;
}

std::string number(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", v);
  return buffer;
}

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

// SDL's video stays up from the first desktop window to the end of the process: shutting it down
// unloads the display libraries that it loaded, and their caches would then show as leaks.
// SDL leaves the signals alone, so an interrupt still ends the program.
// Left to itself, SDL falls back from a display it cannot reach to a driver that draws nowhere,
// and the window would wait for a close nobody can give: only the drivers of a desktop are tried,
// one at a time (SDL's own error text is not kept across a failed start, so the message is ours).
bool openDesktop(std::string* error) {
  static bool started = false;
  if (started) return true;
  struct Desktop {
    const char* driver;
    const char* variable;  // the display it connects to
  };
  constexpr Desktop kDesktops[] = {{"x11", "DISPLAY"}, {"wayland", "WAYLAND_DISPLAY"}};
  const std::string named = environment("SDL_VIDEODRIVER");
  std::vector<Desktop> tried;
  for (const Desktop& desktop : kDesktops) {
    if (named.empty() ? !environment(desktop.variable).empty() : named == desktop.driver) tried.push_back(desktop);
  }
  const auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (tried.empty() && !named.empty()) {
    return fail("SDL_VIDEODRIVER=" + named + " shows no window on a desktop (x11 or wayland do)");
  }
  if (tried.empty()) return fail("no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)");
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  std::string unreachable;
  for (const Desktop& desktop : tried) {
    SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, desktop.driver, SDL_HINT_OVERRIDE);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return started = true;
    const std::string display = environment(desktop.variable);
    unreachable += std::string(unreachable.empty() ? "" : ", nor ") + "the display \"" +
                   (display.empty() ? "(default)" : display) + "\" (" + desktop.variable + ")";
  }
  return fail("cannot reach " + unreachable + " to show the window on");
}

bool runDesktopWindow(Window& window, const DesktopWindowOptions& options, std::string* error) {
  const auto fail = [&](const std::string& what) {
    if (error) *error = what + ": " + SDL_GetError();
    return false;
  };
  const auto log = [&](const std::string& line) {
    if (options.log)
      options.log(line);
    else
      std::fprintf(stderr, "%s\n", line.c_str());
  };
  if (!openDesktop(error)) return false;

  const double scale = options.scale > 0 ? std::min(options.scale, 8.0) : displayScale();
  DesktopSession session(window, options, scale);
  const DesktopLayout* layout = &session.layout();
  SDL_Window* sdl = SDL_CreateWindow(options.title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                     layout->pixelWidth(), layout->pixelHeight(), SDL_WINDOW_SHOWN);
  if (!sdl) return fail("cannot open a desktop window");
  if (!Application::shared().keyWindow()) window.makeKeyWindow();
  SDL_StartTextInput();

  bool ok = true;
  bool announced = false;
  const double tick = options.tickSeconds > 0 ? options.tickSeconds : 0.030;
  double nextTick = qm::platform::currentTimeSeconds() + tick;
  bool dirty = true;
  while (!session.closeRequested()) {
    if (dirty) {
      if (session.refreshLayout()) SDL_SetWindowSize(sdl, layout->pixelWidth(), layout->pixelHeight());
      Bitmap picture = session.render();
      if (!present(sdl, picture)) {
        ok = fail("cannot draw the desktop window");
        break;
      }
      dirty = false;
      if (!announced) {
        announced = true;
        std::string line = "desktop window \"" + options.title + "\": " + number(layout->windowSize.width) + "x" +
                           number(layout->windowSize.height) + " points at scale " + number(scale);
        if (layout->stripHeight > 0) line += ", strip " + number(layout->stripHeight) + " points below";
        log(line);
      }
    }
    const double wait = nextTick - qm::platform::currentTimeSeconds();
    SDL_Event event;
    if (SDL_WaitEventTimeout(&event, std::max(0, static_cast<int>(std::ceil(wait * 1000))))) {
      session.handle(event);
      while (!session.closeRequested() && SDL_PollEvent(&event)) session.handle(event);
      session.endBatch();
      dirty = true;
    }
    const double now = qm::platform::currentTimeSeconds();
    if (now >= nextTick && !session.closeRequested()) {
      if (options.onTick && !options.onTick()) session.requestClose();
      nextTick = nextTick + tick > now ? nextTick + tick : now + tick;  // late ticks are not caught up
      dirty = true;
    }
  }
  SDL_StopTextInput();
  SDL_DestroyWindow(sdl);
  return ok;
}

}  // namespace qm::ui::desktop
