// The interactive gallery: one page at a time in a desktop window, with Previous and Next in the
// strip. Every control of a page that has no action of its own reports its action, and every
// press and key is printed, so a person (or a script under a virtual display) sees what reaches
// the window and where.

#include "qmui_interactive.h"

#include "qm/platform/dispatch.h"
#include "qm/ui/button.h"
#include "qm/ui/desktop_window.h"
#include "qm/ui/render.h"

#include <cstdio>
#include <functional>
#include <memory>

namespace {

using namespace qm::ui;

class ActionPrinter : public Object {
 public:
  ActionPrinter() {
    registerAction("galleryControlAction:", [](Object* sender) {
      auto* button = dynamic_cast<Button*>(sender);
      auto* control = dynamic_cast<Control*>(sender);
      if (button && !button->title().empty())
        std::printf("qmui: action from \"%s\"\n", button->title().c_str());
      else
        std::printf("qmui: action from control %ld\n", control ? control->tag() : 0L);
    });
  }
};

void connectControls(View& view, const std::shared_ptr<Object>& target) {
  if (auto* control = dynamic_cast<Control*>(&view); control && !control->action()) {
    control->setTarget(target);
    control->setAction("galleryControlAction:");
  }
  for (const auto& child : view.subviews()) connectControls(*child, target);
}

std::string utf8Escaped(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    if (c < 0x20 || c == 0x7F || (c >= 0xF700 && c <= 0xF8FF)) {
      char buffer[16];
      std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
      out += buffer;
    } else {
      out += utf8FromUTF16(std::u16string(1, c));
    }
  }
  return out;
}

void printEvent(const Event& e) {
  switch (e.type) {
    case EventType::LeftMouseDown:
    case EventType::RightMouseDown:
      std::printf("qmui: %s down at %g %g\n", e.type == EventType::LeftMouseDown ? "mouse" : "right mouse",
                  e.locationInWindow.x, e.locationInWindow.y);
      break;
    case EventType::KeyDown:
      std::printf("qmui: key down \"%s\" ignoring modifiers \"%s\" code %u flags 0x%x\n",
                  utf8Escaped(e.characters).c_str(), utf8Escaped(e.charactersIgnoringModifiers).c_str(),
                  static_cast<unsigned>(e.keyCode), static_cast<unsigned>(e.deviceIndependentModifiers()));
      break;
    default:
      break;
  }
}

}  // namespace

int runInteractiveGallery(const std::string& firstPage, double scale) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  qm::platform::setCurrentThreadAsMain();
  const auto& pages = render::galleryPages();
  if (pages.empty()) {
    std::fprintf(stderr, "qmui: no gallery pages\n");
    return 1;
  }
  size_t index = 0;
  if (!firstPage.empty()) {
    while (index < pages.size() && pages[index].name != firstPage) ++index;
    if (index == pages.size()) {
      std::fprintf(stderr, "qmui: no gallery page named %s\n", firstPage.c_str());
      return 2;
    }
  }
  Window window(Rect{0, 0, 100, 100});
  auto printer = std::make_shared<ActionPrinter>();
  desktop::DesktopWindowOptions options;
  options.title = "qmui gallery";
  options.scale = scale;
  const auto show = [&](size_t i) {
    index = i % pages.size();
    auto root = pages[index].build();
    if (!root) root = std::make_shared<View>(Rect{0, 0, 200, 60});
    connectControls(*root, printer);
    window.setFrame(Rect{Point{}, root->frame().size});
    window.setContentView(root);
    options.background = pages[index].background;
    std::printf("qmui: page %s (%g x %g points)\n", pages[index].name.c_str(), root->frame().width(),
                root->frame().height());
  };
  show(index);
  options.onTick = [] {
    qm::platform::drainMainQueue();
    return true;
  };
  options.onEvent = printEvent;
  options.buttons.push_back({"Previous", {std::u16string(1, desktop::kF1FunctionKey + 1)},
                             [&] { show(index + pages.size() - 1); }});
  options.buttons.push_back({"Next", {std::u16string(1, desktop::kF1FunctionKey + 2)}, [&] { show(index + 1); }});
  std::string error;
  if (!desktop::runDesktopWindow(window, options, &error)) {
    std::fprintf(stderr, "qmui: %s\n", error.c_str());
    return 1;
  }
  std::printf("qmui: window closed\n");
  return 0;
}
