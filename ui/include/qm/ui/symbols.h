#pragma once
// The drawings behind the system symbol names (see Image::systemSymbol): each symbol is a set of
// filled and stroked paths in a unit box, drawn at the configured point size and weight.

#include "qm/ui/graphics.h"
#include "qm/ui/image.h"

#include <string>

namespace qm::ui {

// The symbol's width and height in points at `configuration`; none for an unknown name.
std::optional<Size> symbolSize(const std::string& name, const SymbolConfiguration& configuration);
// Draws the symbol into `rect` in `color` (the template mask is this drawing in black).
bool drawSymbol(const std::string& name, const SymbolConfiguration& configuration, GraphicsContext& context,
                const Rect& rect, const Color& color);

}  // namespace qm::ui
