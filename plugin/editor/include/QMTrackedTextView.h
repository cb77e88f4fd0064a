#pragma once
// The transcript editor's text view: a text view that handles the editing key combinations
// itself (a plug-in window gets no edit menu), pastes plain text only, and shows a paintbrush
// over the text while its owner, the editor, picks repair words. It asks its owner for the two
// flags by key ("repairSelectionMode", "repairCursorEnabled"), after checking that the owner
// answers "repairSelectionMode". Main thread only.

#include "qm/ui/cursor.h"
#include "qm/ui/text_view.h"

#include <cstdint>
#include <memory>

class QMTrackedTextView : public qm::ui::TextView {
 public:
  using qm::ui::TextView::TextView;
  ~QMTrackedTextView() override;

  // The editor that made the text view (not owned; the editor clears it when it goes).
  qm::ui::View* owner() const { return owner_; }
  void setOwner(qm::ui::View* owner) { owner_ = owner; }

  // Command (or Command-Shift) with one of "a", "c", "v", "x", "z" (undo) and "Z" (redo), while
  // the text view is its window's first responder; everything else goes the inherited way.
  bool performKeyEquivalent(const qm::ui::Event& e) override;
  // The pasteboard's plain string in place of the selection, through the normal insertion;
  // without a string, the inherited paste.
  void paste() override;

  // How often the user has placed the caret or the selection: a click or drag, an arrow key, Home
  // or End (even where the caret already stands), a paste. Typing and deleting do not count, so
  // an owner can tell keys typed on at one place from keys typed after the caret went elsewhere
  // (and perhaps back).
  std::uint64_t caretPlacements() const { return caretPlacements_; }
  void mouseDown(const qm::ui::Event& e) override;
  void keyDown(const qm::ui::Event& e) override;

  void resetCursorRects() override;
  void updateTrackingAreas() override;
  void mouseEntered(const qm::ui::Event& e) override;
  void mouseMoved(const qm::ui::Event& e) override;
  void cursorUpdate(const qm::ui::Event& e) override;

 private:
  bool repairCursorOn() const;

  qm::ui::View* owner_ = nullptr;
  std::uint64_t caretPlacements_ = 0;
  std::shared_ptr<qm::ui::TrackingArea> repairTrackingArea_;
};

// The paintbrush cursor of repair picking: a blue stroke and the paintbrush symbol tinted
// orange, 28 x 24 points, hot spot (3.5, 18); the crosshair when the system has no paintbrush.
// Built once per process. [main-thread]
std::shared_ptr<qm::ui::Cursor> QMRepairSelectionCursor();
