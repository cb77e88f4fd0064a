#pragma once
// The transcript editor in a window, driven the way a person drives it: keys typed through the
// window, clicks and drags at the characters' places, the pasteboard. Text is measured with the
// fixed-width measurer, so places are exact. Runs() writes the display compactly: kept text as
// it stands, deleted text as [-cat], inserted text as [+dog].

#include "QMTrackedTextEditorView.h"

#include "qm/platform/text.h"
#include "qm/ui/pasteboard.h"
#include "qm/ui/text_measurer.h"
#include "qm/ui/window.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace editor_test {

using namespace qm::ui;

inline std::u16string U(const std::string& text) { return qm::platform::utf8ToUtf16(text); }
inline std::string S(const std::u16string& text) { return qm::ui::utf8FromUTF16(text); }

// The display written compactly: kept text as it stands, deleted text as [-cat], inserted text
// as [+dog].
inline std::string DisplayRuns(const TextStorage& s) {
  auto state = [&](std::size_t i) {
    const TextAttributes& a = s.attributesAt(i);
    return QMIsDeletedCharacter(a) ? 1 : QMIsInsertedCharacter(a) ? 2 : 0;
  };
  std::string out;
  for (std::size_t i = 0, j = 0; i < s.length(); i = j) {
    for (j = i + 1; j < s.length() && state(j) == state(i);) ++j;
    const std::string t = S(s.string().substr(i, j - i));
    out += state(i) == 1 ? "[-" + t + "]" : state(i) == 2 ? "[+" + t + "]" : t;
  }
  return out;
}

struct EditorWindow : ::testing::Test {
  ScopedTextMeasurer fixed{std::make_shared<FixedWidthTextMeasurer>()};
  Window window{Rect{0, 0, 460, 60}};
  std::shared_ptr<QMTrackedTextEditorView> editor;
  QMTrackedTextView* text = nullptr;

  EditorWindow() {
    window.setContentView(std::make_shared<View>());
    editor = QMTrackedTextEditorView::Create(Rect{0, 0, 442, 35});
    window.contentView()->addSubview(editor);
    window.makeKeyWindow();
    text = editor->textView();
    window.makeFirstResponder(text);
  }

  void Plain(const std::string& target) { editor->setTargetText(U(target)); }
  void Diff(const std::string& reference, const std::string& target, bool editReference = false) {
    editor->setLineChangeEnabled(true);
    editor->setEditReferenceWhileShowingDiff(editReference);
    editor->setReferenceText(U(reference));
    editor->setTargetText(U(target));
  }

  // Types each code point as one key press.
  void Type(const std::string& utf8) {
    const std::u16string units = U(utf8);
    for (std::size_t i = 0; i < units.size(); ++i) {
      const std::size_t n = units[i] >= 0xD800 && units[i] < 0xDC00 ? 2 : 1;
      window.typeKey(units.substr(i, n));
      i += n - 1;
    }
  }
  void Key(char16_t key, uint32_t modifiers = 0) { window.typeKey(std::u16string(1, key), modifiers); }
  void Command(char16_t letter, uint32_t more = 0) {
    window.typeKey(std::u16string(1, letter), kModifierCommand | more, 0, std::u16string(1, letter));
  }
  void Paste(const std::string& utf8) {
    Pasteboard::general().clearContents();
    Pasteboard::general().setString(U(utf8));
    Command(u'v');
  }

  // The window point over the caret place before display location `index`.
  Point At(std::size_t index) const {
    const Rect caret = text->caretRectForIndex(index);
    return text->convertPointToView(Point{caret.minX() + 0.1, caret.midY()}, nullptr);
  }
  void ClickAt(std::size_t index) { window.click(At(index)); }
  void Drag(std::size_t from, std::size_t to) {
    window.sendEvent(Event::mouse(EventType::LeftMouseDown, At(from)));
    window.sendEvent(Event::mouse(EventType::LeftMouseDragged, At(to)));
    window.sendEvent(Event::mouse(EventType::LeftMouseUp, At(to)));
  }

  std::string Runs() const { return DisplayRuns(text->textStorage()); }
  std::string Target() const { return S(editor->targetText()); }
  std::string Reference() const { return S(editor->referenceText()); }
  Range Selection() const { return text->selectedRange(); }
};

}  // namespace editor_test
