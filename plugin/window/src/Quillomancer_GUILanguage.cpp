// The window's side of the language choice: the selection it keeps, persists and applies again
// when the view is built, the chip at the bottom right of the editor panel that shows it as a
// short upper-case tag, and the layout of the status text between the tools on the left and the
// chip (or the reset button) on the right.

#include "Quillomancer_GUI.h"

#include "QMLanguages.h"
#include "QMWindowLook.h"

#include "qm/platform/defaults.h"
#include "qm/platform/language.h"
#include "qm/ui/text_measurer.h"

#include <algorithm>
#include <cmath>

using qm::ui::Color;
using qm::ui::Rect;

namespace {

constexpr const char* kLanguageDefaultsKey = "com.quillomancer.selectedLanguage";

// The status text is never narrower than this, and 260 points wide in Voice Change.
constexpr double kStatusMinimumWidth = 72;
constexpr double kVoiceChangeStatusWidth = 260;

// The chip's tag: the code in upper case, "--" for no hint, else the bubble's first two
// characters in upper case.
std::u16string ChipText(const std::string& bubble, const std::string& code) {
  if (!code.empty()) return qm::platform::toUpperInLocale(qm::ui::utf16FromUTF8(code), "");
  if (bubble == kQMNoLanguageHintBubble) return u"--";
  std::u16string text = qm::ui::utf16FromUTF8(bubble);
  std::size_t cut = 0;
  for (int characters = 0; characters < 2 && cut < text.size(); ++characters) {
    const bool pair = cut + 1 < text.size() && text[cut] >= 0xD800 && text[cut] <= 0xDBFF;
    cut += pair ? 2 : 1;
  }
  return qm::platform::toUpperInLocale(std::u16string_view(text).substr(0, cut), "");
}

}  // namespace

// [main-thread]
void Quillomancer_GUI::SetSelectedLanguage(const std::string& prompt, const std::string& bubble,
                                           const std::string& code, bool persist) {
  state.languagePrompt = prompt;
  state.languageBubble = bubble;
  state.languageCode = code;
  RefreshLanguageChip();
  if (!persist) return;
  auto& defaults = qm::platform::UserDefaults::standard();
  if (bubble.empty()) {
    defaults.remove(kLanguageDefaultsKey);
  } else {
    const std::string& value = code.empty() ? bubble : code;
    if (!value.empty()) defaults.set(kLanguageDefaultsKey, value);
  }
  defaults.synchronize();
}

// [main-thread]
void Quillomancer_GUI::ApplyStoredLanguage() {
  auto& defaults = qm::platform::UserDefaults::standard();
  const std::string stored = defaults.has(kLanguageDefaultsKey) ? defaults.stringForKey(kLanguageDefaultsKey) : "";
  if (stored.empty()) {
    const QMLanguageSelection none = QMNoLanguageHintSelection();
    SetSelectedLanguage(none.prompt, none.bubble, none.code, false);
    return;
  }
  QMLanguageSelection selection;
  if (QMLookupFishLanguageAlias(stored, &selection)) {
    SetSelectedLanguage(selection.prompt, selection.bubble, selection.code, false);
  } else {
    defaults.remove(kLanguageDefaultsKey);
    defaults.synchronize();
  }
}

// [main-thread]
void Quillomancer_GUI::SelectLanguageAlias(const std::string& alias, bool persist) {
  QMLanguageSelection selection;
  if (!QMLookupFishLanguageAlias(alias, &selection)) return;
  SetSelectedLanguage(selection.prompt, selection.bubble, selection.code, persist);
}

// [main-thread]
void Quillomancer_GUI::ClearSelectedLanguage() {
  if (state.languagePrompt.empty() && state.languageBubble.empty()) return;
  SetSelectedLanguage("", "", "", true);
}

// [main-thread]
void Quillomancer_GUI::RefreshLanguageChip() {
  qm::ui::View* chip = views.languageChip;
  qm::ui::TextField* label = views.languageChipLabel;
  qm::ui::Button* chevron = views.languageChipButton;
  QMTrackedTextEditorView* editor = views.editorView;
  if (!chip || !label || !chevron || !editor || !editor->superview()) return;
  const double panelWidth = editor->superview()->frame().width();
  qm::ui::Button* reset = views.clearTextButton;

  if (state.languageBubble.empty()) {
    if (reset) reset->setFrameOrigin(qm::ui::Point{panelWidth - 10 - reset->frame().width(), 7});
    chip->setHidden(true);
    LayoutStatusText(reset && !reset->isHidden() ? reset->frame().minX() - 8 : panelWidth - 8);
    return;
  }

  const std::u16string text = ChipText(state.languageBubble, state.languageCode);
  qm::ui::TextAttributes measured;
  measured.font = label->font().value_or(qm::ui::Font::system(12));
  const double textWidth = qm::ui::textMeasurer().measure(qm::ui::AttributedString(text, measured), 0).width;
  const double chipWidth = std::max(42.0, textWidth + 22);
  const double chipX = std::max(6.0, panelWidth - 10 - chipWidth);
  chip->setFrame(Rect{chipX, 7, chipWidth, 16});
  chevron->setFrame(Rect{chipWidth - 15, 2, 10, 10});
  label->setFrame(Rect{7, 0, chipWidth - 18, 15});
  label->setStringValue(qm::ui::utf8FromUTF16(text));
  if (qm::ui::Layer* layer = chip->layer()) {
    layer->cornerRadius = 4;
    layer->backgroundColor = QMControlInnerOffColor();
    layer->borderWidth = 1;
    layer->borderColor = Color::deviceRGB255(52, 56, 65);
  }
  const Color ink = Color::deviceRGB255(83, 95, 111);
  label->setTextColor(ink);
  chevron->setContentTintColor(ink);
  chip->setHidden(false);

  if (reset && !reset->isHidden()) {
    reset->setFrameOrigin(qm::ui::Point{chipX - reset->frame().width() - 6, 7});
    LayoutStatusText(reset->frame().minX() - 8);
  } else {
    LayoutStatusText(chipX - 8);
  }
}

// [main-thread]
void Quillomancer_GUI::LayoutStatusText(double rightEdge) {
  qm::ui::TextField* status = views.statusLabel;
  if (!status) return;
  double left = 0;
  if (IsVoiceChangeMode()) {
    const double panelWidth = views.editorView && views.editorView->superview()
                                  ? views.editorView->superview()->frame().width()
                                  : kViewWidth;
    left = std::floor((panelWidth - kVoiceChangeStatusWidth) / 2);
    rightEdge = left + kVoiceChangeStatusWidth;
  } else if (views.repairToolShell) {
    left = views.repairToolShell->frame().maxX() + 10;
  } else if (views.changeToolShell) {
    left = views.changeToolShell->frame().maxX() + 10;
  }
  rightEdge = std::max(rightEdge, left + kStatusMinimumWidth);
  const Rect frame{left, 3, rightEdge - left, 16};
  if (views.statusClipView) {
    views.statusClipView->setFrame(frame);
    status->setFrame(Rect{0, 0, frame.width(), 16});
  } else {
    status->setFrame(frame);
  }
}
