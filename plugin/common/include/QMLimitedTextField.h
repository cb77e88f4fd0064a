#pragma once
// A text field that keeps at most `maxLength` UTF-16 units and handles the standard editing
// shortcuts itself while it is being edited.
//
// After every change the user makes, the field's delegate hears of it first; then a text longer
// than `maxLength` is cut to its first `maxLength` units, one unit less where the cut would split
// a surrogate pair (an emoji at the limit is dropped whole, never halved).
//
// Key equivalents with exactly Command, or exactly Command and Shift, and one character: "a"
// selects all, "c" copies, "v" pastes, "x" cuts, "z" undoes once when there is something to undo
// (and is swallowed when there is not). The comparison is case-sensitive, so Command-Shift-Z
// (an upper-case "Z") goes the usual way, as does everything else and every key while the field
// is not being edited. Main thread only.

#include "QuillomancerStoreVocabulary.h"

#include "qm/ui/text_field.h"

#include <cstdint>

class QMLimitedTextField : public qm::ui::TextField {
 public:
  explicit QMLimitedTextField(const qm::ui::Rect& frame = {}) : qm::ui::TextField(frame) {}

  std::uint64_t maxLength = kQuillomancer_MaxTextLength;

  void textDidChange(qm::ui::TextView& editor) override;
  bool performKeyEquivalent(const qm::ui::Event& e) override;
};
