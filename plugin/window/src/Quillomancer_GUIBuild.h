#pragma once
// What the steps of building the window share: the views made so far that later steps place,
// wire or hand to the settings controller, and the small makers of the window's recurring kinds
// of view (labels, symbol buttons, invisible buttons, layer-backed plain views) and of styled
// text, which the looks and the status line use as well.

#include "Quillomancer_GUI.h"

#include "QMSettingsHelper.h"

#include "qm/ui/attributed_string.h"
#include "qm/ui/button.h"
#include "qm/ui/color.h"
#include "qm/ui/font.h"
#include "qm/ui/image.h"
#include "qm/ui/text_field.h"
#include "qm/ui/view.h"

#include <memory>
#include <optional>
#include <string>

struct Quillomancer_GUI::BuildContext {
  explicit BuildContext(qm::ui::Bundle resources) : bundle(std::move(resources)) {}

  qm::ui::Bundle bundle;
  std::shared_ptr<qm::ui::View> root;
  std::shared_ptr<qm::ui::View> shell;
  std::shared_ptr<QMModalInteractionShieldView> shield;
  std::shared_ptr<qm::ui::View> inputCard;
  // What the settings controller receives (header, card and pages).
  QMSettingsViews handed;
  // Wired but not handed over.
  std::shared_ptr<qm::ui::Button> closeButton;
  std::shared_ptr<qm::ui::Button> downloadUpdateButton;
};

// A label: the text in the font and colour, clear background, no border, neither editable nor
// selectable.
std::shared_ptr<qm::ui::TextField> QMMakeWindowLabel(const std::string& text, const qm::ui::Rect& frame,
                                                     const qm::ui::Font& font, const qm::ui::Color& colour,
                                                     qm::ui::TextAlignment alignment = qm::ui::TextAlignment::Left);
// Makes `label` (of any label class) a label as above.
void QMStyleWindowLabel(qm::ui::TextField& label, const std::string& text, const qm::ui::Font& font,
                        const qm::ui::Color& colour, qm::ui::TextAlignment alignment);

// An inline, borderless button showing a system symbol scaled down to fit, tinted; `fallbackTitle`
// when the system lacks the symbol.
std::shared_ptr<qm::ui::Button> QMMakeSymbolButton(const qm::ui::Rect& frame, const std::string& symbol,
                                                   const std::string& description, const std::string& fallbackTitle,
                                                   std::optional<qm::ui::Color> tint);

// A borderless, transparent button without title: a click area over other views.
std::shared_ptr<qm::ui::Button> QMMakeInvisibleButton(const qm::ui::Rect& frame);

// A plain view with a layer.
std::shared_ptr<qm::ui::View> QMMakeLayerView(const qm::ui::Rect& frame);

// Text in one font and colour; with `alignment`, in a paragraph of that alignment.
qm::ui::AttributedString QMStyledText(const std::string& text, const qm::ui::Font& font, const qm::ui::Color& colour,
                                      std::optional<qm::ui::TextAlignment> alignment = std::nullopt);
