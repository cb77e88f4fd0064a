#pragma once
// Drawing a whole view tree into a graphics context: for each visible view its layer (a shadow
// of all the layer and view draw, background, sublayers by z position and order, border), its
// own drawing, its subviews, alpha as a transparency group and clipping where a layer masks to
// bounds or a view clips. A window draws its content view, then its visible child windows above
// it. Both renderers (PNG and the recording context) draw through here.

#include "qm/ui/graphics.h"

namespace qm::ui {

class View;
class Window;
class Layer;

// Draws `view` and its subtree in `view`'s own bounds coordinates.
void drawViewTree(View& view, GraphicsContext& context);
// Draws the window's content view and its child windows (window coordinates).
void drawWindow(Window& window, GraphicsContext& context);
// Draws one layer and its sublayers in its own coordinates (frame origin applied by the caller).
void drawLayerTree(const Layer& layer, GraphicsContext& context);

}  // namespace qm::ui
