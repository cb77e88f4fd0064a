#pragma once
// The pasteboard: the general pasteboard of the process holds at most one item in two flavours,
// a plain string and rich (attributed) text. Writing starts with clearContents; a copy from a
// text view writes both flavours, and a reader takes the flavour it can use. The change count
// grows with every clear. Main thread only.

#include "qm/ui/attributed_string.h"

#include <optional>
#include <string>

namespace qm::ui {

class Pasteboard {
 public:
  static Pasteboard& general();

  void clearContents();
  void setString(const std::u16string& text) { string_ = text; }
  void setRichText(const AttributedString& text) { rich_ = text; }
  // None when the flavour is not on the pasteboard.
  const std::optional<std::u16string>& string() const { return string_; }
  const std::optional<AttributedString>& richText() const { return rich_; }
  long changeCount() const { return changeCount_; }

 private:
  Pasteboard() = default;
  std::optional<std::u16string> string_;
  std::optional<AttributedString> rich_;
  long changeCount_ = 0;
};

}  // namespace qm::ui
