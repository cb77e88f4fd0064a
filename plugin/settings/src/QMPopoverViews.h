#pragma once
// Views the settings room's popovers (the language chooser, the help) share.

#include "qm/ui/scroll_view.h"

#include <memory>

// The popovers' scrolling list or text: no background, no border, a vertical scroller only,
// always shown, in the legacy style. [main-thread]
inline std::shared_ptr<qm::ui::ScrollView> QMMakePopoverScrollView(const qm::ui::Rect& frame) {
  auto scroll = std::make_shared<qm::ui::ScrollView>(frame);
  scroll->setDrawsBackground(false);
  scroll->setBorderType(qm::ui::BorderType::None);
  scroll->setHasVerticalScroller(true);
  scroll->setHasHorizontalScroller(false);
  scroll->setAutohidesScrollers(false);
  scroll->setScrollerStyle(qm::ui::ScrollerStyle::Legacy);
  return scroll;
}
