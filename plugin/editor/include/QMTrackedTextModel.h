#pragma once
// The transcript editor's text model: one text storage holds both texts of the diff display.
// Every character carries two boolean attributes: "QMInsertedToken" (it stands only in the target
// text) and "QMDeletedToken" (only in the reference text); a missing value counts as false. Kept
// characters have neither. The target text is every character that is not deleted, the reference
// text as shown every character that is not inserted.
//
// This header gives the two keys, the attribute sets the editor draws with, and the queries that
// map display locations (positions in the storage) to offsets in either text and back. The
// queries take the storage as an argument and answer 0, false or the empty text for a missing
// or empty storage. All positions are UTF-16 units. Main thread only.

#include "qm/platform/text.h"
#include "qm/ui/font.h"
#include "qm/ui/text_storage.h"

#include <optional>
#include <string>
#include <string_view>

inline const std::string kQMInsertedTokenAttribute = "QMInsertedToken";
inline const std::string kQMDeletedTokenAttribute = "QMDeletedToken";

// ---- attribute sets (built fresh on each call) ----
// `font` is the text view's font; none gives the system font of 13 points.
// Foreground QMTextPrimary and the font.
qm::ui::TextAttributes QMTrackedBaseAttributes(const std::optional<qm::ui::Font>& font);
// Light green, the font, inserted true, deleted false.
qm::ui::TextAttributes QMTrackedInsertedAttributes(const std::optional<qm::ui::Font>& font);
// Red struck through in the same red, the font, deleted true, inserted false.
qm::ui::TextAttributes QMTrackedDeletedAttributes(const std::optional<qm::ui::Font>& font);
// The base attributes with both keys false.
qm::ui::TextAttributes QMTrackedKeptAttributes(const std::optional<qm::ui::Font>& font);
// The background of a repair pick: QMRepairHighlightOrange at alpha 0.40.
qm::ui::TextAttributes QMTrackedRepairHighlightAttributes();

// ---- one character ----
bool QMIsInsertedCharacter(const qm::ui::TextAttributes& attributes);  // inserted, not deleted
bool QMIsDeletedCharacter(const qm::ui::TextAttributes& attributes);
bool QMIsTrackedCharacter(const qm::ui::TextAttributes& attributes);   // deleted or inserted

// ---- reading the texts ----
// The characters that are not deleted, in order.
std::u16string QMTargetTextFromStorage(const qm::ui::TextStorage* storage);

// ---- display locations and offsets ----
// The number of target (reference) characters before display location `location` (clamped).
std::size_t QMTargetOffsetForDisplayLocation(std::size_t location, const qm::ui::TextStorage* storage);
std::size_t QMReferenceOffsetForDisplayLocation(std::size_t location, const qm::ui::TextStorage* storage);
// The display location of target (reference) offset `offset`: an offset at the end of a run of
// target characters maps to the end of that run, before the deleted characters that follow it
// (before inserted ones, for the reference); one beyond the text maps to the storage's length.
std::size_t QMDisplayLocationForTargetOffset(std::size_t offset, const qm::ui::TextStorage* storage);
std::size_t QMDisplayLocationForReferenceOffset(std::size_t offset, const qm::ui::TextStorage* storage);
// Target (reference) characters inside a display range (clipped to the storage).
std::size_t QMTargetCharacterCountInDisplayRange(qm::ui::Range range, const qm::ui::TextStorage* storage);
std::size_t QMReferenceCharacterCountInDisplayRange(qm::ui::Range range, const qm::ui::TextStorage* storage);
// Whether any character of the range (clipped) is inserted; false for an empty range or one that
// starts at or beyond the end.
bool QMDisplayRangeContainsInsertedCharacters(qm::ui::Range range, const qm::ui::TextStorage* storage);
// Whether every character of a non-empty range inside the storage is inserted.
bool QMRangeIsInsertedOnly(qm::ui::Range range, const qm::ui::TextStorage* storage);

// Whether the range lies inside text both texts hold: a non-empty range of kept characters only,
// or a caret with a kept character on each side.
bool QMDisplayRangeIsSharedText(qm::ui::Range range, const qm::ui::TextStorage* storage);

// ---- texts ----
// The UTF-8 bytes of a text; the empty string when it holds a lone surrogate.
std::string QMStdStringFromNSString(std::u16string_view text);
// The text trimmed of white space and line breaks at both ends.
std::u16string QMNormalizedTokenForMatch(std::u16string_view text);
// True for a non-empty text of white space and line breaks only.
bool QMIsWhitespaceOnly(std::u16string_view text);

// ---- ranges of picks ----
// Picks and word ranges are kept as the repair code's ranges; a range that points nowhere or
// holds nothing is invalid and is ignored wherever a list of ranges is read.
bool QMIsValidDisplayRange(qm::platform::TextRange range);
qm::ui::Range QMUIRange(qm::platform::TextRange range);
qm::platform::TextRange QMTextRange(qm::ui::Range range);
