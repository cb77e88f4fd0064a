#include "QMLanguageChooser.h"

#include "QMControls.h"
#include "QMLanguages.h"
#include "QMPopoverViews.h"
#include "QMWindowLook.h"
#include "QuillomancerLogger.h"

#include "qm/platform/language.h"
#include "qm/platform/text.h"
#include "qm/platform/thread_check.h"
#include "qm/ui/button.h"
#include "qm/ui/popover.h"
#include "qm/ui/scroll_view.h"
#include "qm/ui/stack_view.h"
#include "qm/ui/text_measurer.h"
#include "qm/ui/window.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

using qm::ui::Color;
using qm::ui::Font;
using qm::ui::Rect;

namespace {

// Words a query may be part of and still mean "no language hint" (for the hint under an empty list).
constexpr std::array<std::string_view, 6> kNoHintWords = {"--", "-----", "null", "undefined", "none", "default"};
// Each row's share of the document's height.
constexpr double kRowPitch = 26;

// A result row: a borderless, left-aligned button that knows the alias it stands for.
class QMLanguageOptionButton : public qm::ui::Button {
 public:
  QMLanguageOptionButton(const Rect& frame, std::string alias) : qm::ui::Button(frame), alias_(std::move(alias)) {}
  const std::string& alias() const { return alias_; }

 private:
  std::string alias_;
};

std::shared_ptr<QMLanguageOptionButton> makeRow(const Rect& frame, const std::string& title, const std::string& identifier,
                                                std::string alias, const Color& colour, double fontSize) {
  auto row = std::make_shared<QMLanguageOptionButton>(frame, std::move(alias));
  row->setBordered(false);
  row->setAlignment(qm::ui::TextAlignment::Left);
  row->setImagePosition(qm::ui::ImagePosition::NoImage);
  row->setIdentifier(identifier);
  row->setFont(Font::system(fontSize));
  qm::ui::TextAttributes a;
  a.font = Font::system(fontSize);
  a.foregroundColor = colour;
  qm::ui::ParagraphStyle p;
  p.alignment = qm::ui::TextAlignment::Left;
  a.paragraphStyle = p;
  row->setAttributedTitle(qm::ui::AttributedString(title, a));
  row->setAction("languageOptionAction:");
  return row;
}

std::string upperCode(const std::string& code) {
  return qm::platform::utf16ToUtf8(qm::platform::toUpperInLocale(qm::platform::utf8ToUtf16(code), ""));
}

}  // namespace

QMLanguageChooser::QMLanguageChooser() {
  registerAction("toggleLanguageChooserAction:", [this](Object* sender) { toggleLanguageChooserAction(sender); });
  registerAction("languageOptionAction:", [this](Object* sender) { languageOptionAction(sender); });
}

QMLanguageChooser::~QMLanguageChooser() { discardLanguageChooserViews(); }

void QMLanguageChooser::setOwner(QMLanguageChooserOwner* owner) { owner_ = owner; }

void QMLanguageChooser::buildPopover() {
  auto content = std::make_shared<qm::ui::View>(Rect{0, 0, 264, 246});
  content->setWantsLayer(true);
  content->layer()->backgroundColor = Color::deviceRGB255(23, 27, 30);

  auto label = qm::ui::TextField::label("Language:", Rect{16, 212, 90, 20});
  label->setFont(Font::system(12, qm::ui::FontWeight::Semibold));
  label->setTextColor(QMTextPrimary());
  content->addSubview(label);

  auto field = std::make_shared<qm::ui::TextField>(Rect{16, 184, 230, 24});
  field->setFont(Font::system(12));
  field->setTextColor(QMTextPrimary());
  field->setBordered(true);
  field->setBezeled(false);
  field->setBackgroundColor(QMInputBGColor());
  field->setDrawsBackground(true);
  field->setEditable(true);
  field->setUsesSingleLineMode(true);
  field->setDelegate(std::static_pointer_cast<QMLanguageChooser>(sharedObject()));
  content->addSubview(field);

  auto scroll = QMMakePopoverScrollView(Rect{16, 16, 230, 158});
  auto document = std::make_shared<qm::ui::View>(Rect{0, 0, 198, 158});
  auto stack = std::make_shared<qm::ui::StackView>(Rect{0, 0, 198, 158});
  stack->setSpacing(2);
  document->addSubview(stack);
  scroll->setDocumentView(document);
  content->addSubview(scroll);

  popover_ = std::make_shared<qm::ui::Popover>();
  popover_->setContentView(content);
  popover_->setContentSize(content->frame().size);
  popover_->setBehavior(qm::ui::PopoverBehavior::Transient);
  searchField_ = field.get();
  resultsScrollView_ = scroll.get();
  resultsStack_ = stack.get();
}

void QMLanguageChooser::toggleLanguageChooserAction(qm::ui::Object* sender) {
  QM_ASSERT_THREAD(main);
  if (!owner_) return;
  if (popover_ && popover_->isShown()) {
    closeLanguageChooser();
    return;
  }
  if (!popover_) buildPopover();
  searchField_->setStringValue("");
  rebuildLanguageChooserResults();
  // The chevron anchors at the whole chip it sits in.
  auto* anchor = dynamic_cast<qm::ui::View*>(sender);
  if (anchor && !dynamic_cast<QMActionView*>(anchor) && anchor->superview()) anchor = anchor->superview();
  if (!anchor) return;
  popover_->showRelativeToRect(anchor->bounds(), anchor, qm::ui::RectEdge::MaxY);
  if (!popover_->isShown()) return;  // the anchor is in no window
  popover_->window()->makeFirstResponder(searchField_);
  QuillomancerLogger::shared().logMessage("GUI event: language chooser opened");
}

void QMLanguageChooser::addRow(std::shared_ptr<qm::ui::View> row) {
  if (auto* button = dynamic_cast<qm::ui::Button*>(row.get()))
    button->setTarget(sharedObject());
  resultsStack_->addArrangedSubview(row);
}

void QMLanguageChooser::rebuildLanguageChooserResults() {
  QM_ASSERT_THREAD(main);
  if (!resultsStack_) return;
  for (const auto& row : std::vector<std::shared_ptr<qm::ui::View>>(resultsStack_->subviews())) row->removeFromSuperview();

  const std::string query = searchField_ ? searchField_->stringValue() : std::string();
  const std::vector<const QMFishLanguageEntry*> matches = QMFishLanguageMatches(query);
  const std::string normalized = QMNormalizeLanguageAlias(query);
  const bool showNoHint = normalized.empty() || std::any_of(kNoHintWords.begin(), kNoHintWords.end(), [&](std::string_view word) {
                            return word.find(normalized) != std::string_view::npos;
                          });

  bool priorityAdded = false, noHintAdded = false;
  for (const QMFishLanguageEntry* entry : matches) {
    const bool priority = QMIsPriorityLanguageCode(entry->code);
    if (priorityAdded && !priority && !noHintAdded) {
      addRow(makeRow(Rect{0, 0, 212, 18}, "-----", std::string(kQMNoLanguageHintBubble), std::string(kQMNoLanguageHintBubble),
                     QMTextSecondary(), 10.5));
      noHintAdded = true;
    }
    addRow(makeRow(Rect{0, 0, 220, 24}, entry->display + " (" + upperCode(entry->code) + ")", entry->display, entry->code,
                   QMTextPrimary(), 12));
    priorityAdded = priorityAdded || priority;
  }

  if (matches.empty()) {
    auto hint = qm::ui::TextField::label(showNoHint ? "Use ----- for no language hint, or enter any 2-letter ISO language code"
                                                    : "Try a language name, English name, or 2-letter ISO code",
                                         Rect{0, 0, 220, 20});
    hint->setFont(Font::system(12));
    hint->setTextColor(QMTextSecondary());
    hint->setBackgroundColor(Color::clear());
    // The hints are longer than the list is wide: they wrap, and the label grows to show them whole.
    hint->setLineBreakMode(qm::ui::LineBreakMode::WordWrapping);
    const double height = qm::ui::textMeasurer().measure(hint->displayString(), hint->textRect().width()).height;
    hint->setFrameSize(qm::ui::Size{220, std::max(20.0, std::ceil(height))});
    addRow(hint);
  }
  sizeDocumentAndScrollToTop();
}

void QMLanguageChooser::sizeDocumentAndScrollToTop() {
  qm::ui::View* document = resultsScrollView_ ? resultsScrollView_->documentView() : nullptr;
  if (!document) return;
  const qm::ui::Size visible = resultsScrollView_->contentSize();
  const double rows = static_cast<double>(resultsStack_->arrangedSubviews().size());
  const Rect frame{0, 0, std::max(200.0, visible.width - 16), std::max(visible.height, rows * kRowPitch)};
  document->setFrame(frame);
  resultsStack_->setFrame(frame);
  resultsScrollView_->scrollToFraction(true, 0);
}

void QMLanguageChooser::languageOptionAction(qm::ui::Object* sender) {
  QM_ASSERT_THREAD(main);
  auto* row = dynamic_cast<qm::ui::Button*>(sender);
  if (!owner_ || !row || row->identifier().empty()) return;
  const std::string identifier = row->identifier();
  auto* option = dynamic_cast<QMLanguageOptionButton*>(row);
  const std::string alias = option ? option->alias() : identifier;
  owner_->SelectLanguageAlias(alias, true);
  closeLanguageChooser();
  QuillomancerLogger::shared().logMessage("GUI event: language selected -> " + identifier);
}

void QMLanguageChooser::closeLanguageChooser() {
  QM_ASSERT_THREAD(main);
  if (popover_ && popover_->isShown()) popover_->close();
  if (searchField_) searchField_->setStringValue("");
}

void QMLanguageChooser::discardLanguageChooserViews() {
  QM_ASSERT_THREAD(main);
  if (popover_) popover_->close();
  searchField_ = nullptr;
  resultsScrollView_ = nullptr;
  resultsStack_ = nullptr;
  popover_.reset();
}

void QMLanguageChooser::controlTextDidChange(qm::ui::TextField& field) {
  if (&field == searchField_) rebuildLanguageChooserResults();
}

bool QMLanguageChooser::controlTextViewDoCommandBySelector(qm::ui::TextField& field, qm::ui::TextView&, qm::ui::Selector command) {
  if (&field != searchField_ || command != qm::ui::Selector("insertNewline:")) return false;
  const std::string code = QMNormalizeLanguageAlias(field.stringValue());
  if (QMIsValidLanguageCodeString(code) && owner_) {
    owner_->SelectLanguageAlias(code, true);
    closeLanguageChooser();
    QuillomancerLogger::shared().logMessage("GUI event: language selected via enter -> " + code);
  }
  return true;  // Enter never reaches the field, whatever it chose
}
