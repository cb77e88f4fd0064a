#pragma once
// Shared by the Pango measurer and the renderer: one way to turn attributed text into a Pango
// layout, so that what is measured is what is drawn. Indexes between UTF-16 units and the
// layout's UTF-8 bytes are kept alongside.

#include "qm/ui/attributed_string.h"

#include <string>
#include <vector>

typedef struct _PangoLayout PangoLayout;
typedef struct _PangoContext PangoContext;

namespace qm::ui {

struct PangoTextLayout {
  PangoLayout* layout = nullptr;  // owned (g_object_unref)
  std::string utf8;
  std::vector<int> byteOfUnit;     // size length + 1
  PangoTextLayout() = default;
  ~PangoTextLayout();
  PangoTextLayout(const PangoTextLayout&) = delete;
  PangoTextLayout& operator=(const PangoTextLayout&) = delete;
  // The UTF-16 index of a byte index.
  std::size_t unitOfByte(int byte) const;
};

// The face family the system font stands for here.
const char* systemFontFamily();

// `wrapWidth` > 0 wraps (or, for truncating modes, ellipsizes) at that width in points.
// `drawing` adds the attributes that only drawing needs (colours, backgrounds). Strikethrough is
// drawn by the renderer itself: the system face's own strikeout position lies barely above the
// baseline.
void buildPangoLayout(PangoTextLayout& out, PangoContext* context, const AttributedString& text, double wrapWidth,
                      bool drawing);

// Whether the layout's first line reads right to left (its paragraph's natural side is the right).
bool firstLineIsRightToLeft(const PangoTextLayout& layout);

// Where a layout laid out without a width puts its single line inside `width`: where a layout of
// that width would put it (by its alignment, the natural one following the line's direction), so
// that what is drawn stands where carets and clicks are measured.
double alignedLineOffset(const PangoTextLayout& layout, double width);

}  // namespace qm::ui
