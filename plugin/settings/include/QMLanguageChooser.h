#pragma once
// The language chooser: a transient popover opened from the window's language chip, with a
// search field and a scrolling list of languages (the list and the lookup are QMLanguages.h).
// Typing filters the list on every change; a row picks its language; Enter picks a two-letter
// code typed in the field. The choice goes to the window through QMLanguageChooserOwner, which
// the window implements; the settings controller holds the chooser and forwards the chip's and
// the rows' actions to it.
//
// A row carries the language code it stands for, and picking it selects that code: two languages
// whose names meet in the lookup can never be mistaken for each other. The row's identifier is
// still its native name (the no-hint row's "--"), and the log names the row by it.
//
// The popover and its views are built on the first opening and kept until
// discardLanguageChooserViews. Main thread only.

#include "qm/ui/object.h"
#include "qm/ui/text_field.h"

#include <memory>
#include <string>

namespace qm::ui {
class Popover;
class ScrollView;
class StackView;
class View;
}  // namespace qm::ui

// What the chooser needs of the window. The window implements it.
class QMLanguageChooserOwner {
 public:
  virtual ~QMLanguageChooserOwner() = default;
  // Resolves `alias` through the language lookup and applies it; nothing when it does not resolve. [main-thread]
  virtual void SelectLanguageAlias(const std::string& alias, bool persist) = 0;
};

// The language chooser popover that the settings controller holds and forwards to. Made with
// std::make_shared (it is the target of its own rows and the delegate of its search field).
class QMLanguageChooser : public qm::ui::Object, public qm::ui::TextFieldDelegate {
 public:
  QMLanguageChooser();
  ~QMLanguageChooser() override;

  void setOwner(QMLanguageChooserOwner* owner);            // null: no window owner (after teardown)
  QMLanguageChooserOwner* owner() const { return owner_; }

  // Opens the popover above the sender (the chip, or the whole chip for its chevron), or closes
  // it when shown. Nothing without an owner. Also answers "toggleLanguageChooserAction:". [main-thread]
  void toggleLanguageChooserAction(qm::ui::Object* sender);
  // Fills the list for the search text. [main-thread]
  void rebuildLanguageChooserResults();
  // Picks the row `sender` (also "languageOptionAction:", the rows' action). [main-thread]
  void languageOptionAction(qm::ui::Object* sender);
  // Closes the popover when shown and empties the search field. [main-thread]
  void closeLanguageChooser();
  // Drops the popover, its search field and its results so the next opening builds them anew.
  void discardLanguageChooserViews();                       // [main-thread]

  // The views, for the controller and tests (null until first opened).
  qm::ui::Popover* languagePopover() const { return popover_.get(); }
  qm::ui::TextField* languageSearchField() const { return searchField_; }
  qm::ui::ScrollView* languageResultsScrollView() const { return resultsScrollView_; }
  qm::ui::StackView* languageResultsStack() const { return resultsStack_; }

  // The search field's delegate: every edit rebuilds the list; Enter is handled here.
  void controlTextDidChange(qm::ui::TextField& field) override;
  bool controlTextViewDoCommandBySelector(qm::ui::TextField& field, qm::ui::TextView& editor,
                                          qm::ui::Selector command) override;

 private:
  void buildPopover();
  void addRow(std::shared_ptr<qm::ui::View> row);
  void sizeDocumentAndScrollToTop();

  QMLanguageChooserOwner* owner_ = nullptr;
  std::shared_ptr<qm::ui::Popover> popover_;
  // Views of the popover's content, which the popover keeps alive.
  qm::ui::TextField* searchField_ = nullptr;
  qm::ui::ScrollView* resultsScrollView_ = nullptr;
  qm::ui::StackView* resultsStack_ = nullptr;
};
