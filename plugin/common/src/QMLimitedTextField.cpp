#include "QMLimitedTextField.h"

#include "qm/platform/text.h"
#include "qm/ui/text_view.h"

#include <algorithm>
#include <limits>

void QMLimitedTextField::textDidChange(qm::ui::TextView& editor) {
  qm::ui::TextField::textDidChange(editor);
  const std::u16string& text = attributedStringValue().string();
  const std::size_t limit = static_cast<std::size_t>(std::min<std::uint64_t>(maxLength, std::numeric_limits<std::size_t>::max()));
  if (text.size() <= limit) return;
  const std::size_t keep = qm::platform::utf16PrefixLength(text, limit);
  setAttributedStringValue(qm::ui::AttributedString(text.substr(0, keep)));
}

bool QMLimitedTextField::performKeyEquivalent(const qm::ui::Event& e) {
  using namespace qm::ui;
  const uint32_t mods = e.deviceIndependentModifiers();
  if (mods != kModifierCommand && mods != (kModifierCommand | kModifierShift)) return TextField::performKeyEquivalent(e);
  if (e.charactersIgnoringModifiers.size() != 1) return TextField::performKeyEquivalent(e);
  // Only the field editor that edits this field: another field's editing is not ours to touch.
  TextView* editor = currentEditor();
  if (!editor) return TextField::performKeyEquivalent(e);
  switch (e.charactersIgnoringModifiers[0]) {
    case u'a': editor->selectAll(); return true;
    case u'c': editor->copy(); return true;
    case u'v': editor->paste(); return true;
    case u'x': editor->cut(); return true;
    case u'z':
      if (editor->undoManager().canUndo()) editor->undo();
      return true;
    default: return TextField::performKeyEquivalent(e);
  }
}
