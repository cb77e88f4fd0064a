#pragma once
// The renderer (library qm_ui_render): a whole window or view tree to pixels with Cairo and
// Pango, at a scale (2 for the window's PNGs: the 480 x 158 window becomes 960 x 316), y flipped
// so that the top of the view is the top of the picture. Also a registry of gallery pages for
// `qmui gallery`: each page is one view (a control in one state) written as one PNG; and a
// registry of further `qmui` subcommands.

#include "qm/ui/image.h"
#include "qm/ui/view.h"
#include "qm/ui/window.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qm::ui::render {

// The tree (or window, with its child windows) drawn into a new bitmap of ceil(size x scale)
// pixels; `background` fills it first (clear by default).
Bitmap renderView(View& view, double scale = 2.0, const Color& background = Color::clear());
Bitmap renderWindow(Window& window, double scale = 2.0, const Color& background = Color::clear());
// Any image at a scale (handler images are drawn, files decoded).
Bitmap rasterize(const Image& image, double scale = 2.0);

// Writes a bitmap as PNG; false with a message in `error` when it cannot be written.
bool writePNG(const Bitmap& bitmap, const std::string& path, std::string* error = nullptr);

// One gallery page: a name (the file name without ".png") and a builder of the view.
struct GalleryPage {
  std::string name;
  std::function<std::shared_ptr<View>()> build;
  Color background = Color::deviceRGB(0.14, 0.15, 0.17);
};
void registerGalleryPages(std::vector<GalleryPage> pages);
const std::vector<GalleryPage>& galleryPages();

// A subcommand of `qmui` that a room above adds (as it adds gallery pages): its name, its usage
// line and its body, which gets the arguments after the name and answers the exit code.
struct ToolCommand {
  std::string name;
  std::string usage;
  std::function<int(const std::vector<std::string>& arguments)> run;
};
void registerToolCommand(ToolCommand command);
const std::vector<ToolCommand>& toolCommands();

}  // namespace qm::ui::render
