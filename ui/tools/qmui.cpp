// qmui: the toolkit's command. `qmui gallery --out DIR` writes one PNG (at 2x) per gallery
// page: every control in its normal, highlighted, disabled, on and off states.
// `qmui gallery --interactive [--page NAME]` shows the pages live in a desktop window instead.
// Rooms above the toolkit add further subcommands (render::registerToolCommand).

#include "qm/ui/render.h"
#include "qmui_interactive.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: qmui gallery --out DIR [--scale N]\n"
               "       qmui gallery --interactive [--page NAME] [--scale N]\n");
  for (const auto& command : qm::ui::render::toolCommands()) std::fprintf(stderr, "       qmui %s\n", command.usage.c_str());
  return 2;
}

int gallery(int argc, char** argv) {
  std::string out, page;
  double scale = 2.0;
  bool interactive = false;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc)
      out = argv[++i];
    else if (std::strcmp(argv[i], "--interactive") == 0)
      interactive = true;
    else if (std::strcmp(argv[i], "--page") == 0 && i + 1 < argc)
      page = argv[++i];
    else if (std::strcmp(argv[i], "--scale") == 0 && i + 1 < argc)
      scale = std::strtod(argv[++i], nullptr);
    else
      return usage();
  }
  if (!(scale > 0) || scale > 8) return usage();
  if (interactive) return out.empty() ? runInteractiveGallery(page, scale) : usage();
  if (out.empty() || !page.empty()) return usage();
  std::error_code ec;
  std::filesystem::create_directories(out, ec);
  if (ec) {
    std::fprintf(stderr, "qmui: cannot create %s: %s\n", out.c_str(), ec.message().c_str());
    return 1;
  }
  int written = 0;
  for (const auto& galleryPage : qm::ui::render::galleryPages()) {
    auto view = galleryPage.build();
    if (!view) continue;
    std::string error;
    const auto bitmap = qm::ui::render::renderView(*view, scale, galleryPage.background);
    if (!qm::ui::render::writePNG(bitmap, out + "/" + galleryPage.name + ".png", &error)) {
      std::fprintf(stderr, "qmui: %s\n", error.c_str());
      return 1;
    }
    ++written;
  }
  std::printf("qmui: wrote %d pictures to %s\n", written, out.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  if (std::strcmp(argv[1], "gallery") == 0) return gallery(argc, argv);
  for (const auto& command : qm::ui::render::toolCommands()) {
    if (command.name != argv[1]) continue;
    try {
      return command.run(std::vector<std::string>(argv + 2, argv + argc));
    } catch (const std::exception& e) {
      std::fprintf(stderr, "qmui %s: %s\n", argv[1], e.what());
      return 1;
    }
  }
  return usage();
}
