// The looks of the Change, Repair and Voice Change buttons, set from the editor state whenever
// the mode, the Repair tool or the forced-update lock changes: the active tool lit in its colour
// with a black icon and title, inactive tools dark, and all three greyed out under the lock.

#include "Quillomancer_GUIBuild.h"

#include "QMWindowLook.h"

using qm::ui::Color;

namespace {

// The look of one tool button: its fills, face, icon and title.
struct ToolLook {
  bool active;
  bool enabled;
  Color activeFill;
  Color activePressedFill;
  Color activeStroke;
};

qm::ui::AttributedString ToolTitle(const std::string& text, const Color& colour) {
  return QMStyledText(text, qm::ui::Font::system(12), colour, qm::ui::TextAlignment::Center);
}

Color DisabledTitleColour() { return Color::deviceWhite(1, 0.45); }

void ApplyToolLook(QMModeTextButton& button, const ToolLook& look, std::shared_ptr<qm::ui::Image> icon,
                   const std::string& title) {
  button.setEnabled(look.enabled);
  button.normalFillColor = look.active ? look.activeFill : QMControlInnerOffColor();
  button.pressedFillColor = look.active ? look.activePressedFill : Color::deviceRGB(0.16, 0.18, 0.21);
  const Color face = look.active ? look.activeFill : QMControlInnerOffColor();
  QMApplyInnerButtonStyle(&button, 10, face, face, look.active ? look.activeStroke : QMControlHighlightColor());
  button.setImage(std::move(icon));
  button.setImagePosition(qm::ui::ImagePosition::ImageLeft);
  const Color titleColour = look.active ? Color::black() : look.enabled ? QMTextPrimary() : DisabledTitleColour();
  button.setAttributedTitle(ToolTitle(title, titleColour));
  button.setNeedsDisplay();
}

}  // namespace

// [main-thread]
void Quillomancer_GUI::UpdateChangeToolButtonAppearance() {
  QMModeTextButton* button = views.changeToolButton;
  if (!button) return;
  const bool voiceChange = IsVoiceChangeMode();
  const ToolLook look{!voiceChange && !state.editingBeforeText, !state.minimumVersionLock && !voiceChange,
                      QMHighlightGreen(), Color::deviceRGB(0.24, 0.78, 0.45), Color::deviceRGB255(16, 20, 14)};
  const Color iconColour = look.active ? Color::black() : QMToolIconColor();
  ApplyToolLook(*button, look, QMTintedSystemSymbolImage("scissors", "Change", iconColour), "Change");
}

// [main-thread]
void Quillomancer_GUI::UpdateRepairToolButtonAppearance() {
  QMModeTextButton* button = views.repairToolButton;
  if (!button) return;
  const bool voiceChange = IsVoiceChangeMode();
  const ToolLook look{!voiceChange && state.repairToolActive, !state.minimumVersionLock && !voiceChange,
                      QMRepairHighlightOrange(), Color::genericRGB(0.85, 0.5, 0.12), Color::deviceRGB255(28, 18, 10)};
  const Color iconColour = look.active ? Color::black() : QMToolIconColor();
  ApplyToolLook(*button, look, QMBandageIconImage(iconColour), "Repair");
}

// [main-thread]
void Quillomancer_GUI::UpdateVoiceChangeModeButtonAppearance() {
  QMModeTextButton* button = views.voiceChangeButton;
  if (!button) return;
  const bool enabled = !state.minimumVersionLock;
  const bool voiceChange = IsVoiceChangeMode();
  button->setEnabled(enabled);
  button->normalFillColor = QMControlInnerOffColor();
  button->pressedFillColor = Color::deviceRGB(0.16, 0.18, 0.21);
  button->drawsInnerBevel = !voiceChange;
  QMApplyInnerButtonStyle(button, 10, QMTopButtonTopColor(), QMTopButtonBottomColor(),
                          voiceChange ? QMHighlightGreen() : QMControlOuterColor());
  button->setAttributedTitle(ToolTitle("Voice Change", enabled ? QMTextPrimary() : DisabledTitleColour()));
  button->setNeedsDisplay();
}
