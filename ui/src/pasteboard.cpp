#include "qm/ui/pasteboard.h"

namespace qm::ui {

Pasteboard& Pasteboard::general() {
  static auto* board = new Pasteboard;
  return *board;
}

void Pasteboard::clearContents() {
  ++changeCount_;
  string_.reset();
  rich_.reset();
}

}  // namespace qm::ui
