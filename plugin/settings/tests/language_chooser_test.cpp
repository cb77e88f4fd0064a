// The language chooser, used the way the editor uses it: clicks on the chip and on rows, keys
// typed into the search field of the popover, a fake window owner that resolves what it is
// given, the plug-in log's lines; and pictures of the popover beside the build.

#include "SettingsTestSupport.h"

#include "QMControls.h"
#include "QMLanguageChooser.h"
#include "QMLanguages.h"
#include "QuillomancerLogger.h"

#include "qm/platform/text.h"
#include "qm/ui/application.h"
#include "qm/ui/button.h"
#include "qm/ui/popover.h"
#include "qm/ui/render.h"
#include "qm/ui/scroll_view.h"
#include "qm/ui/stack_view.h"
#include "qm/ui/window.h"

#include <gtest/gtest.h>

using namespace qm::ui;

namespace {

// The window's side: what it was asked to select, and what that resolves to.
struct FakeOwner : QMLanguageChooserOwner {
  void SelectLanguageAlias(const std::string& alias, bool persist) override {
    asked.push_back(alias + (persist ? " persist" : ""));
    QMLookupFishLanguageAlias(alias, &selected);
  }
  std::vector<std::string> asked;
  QMLanguageSelection selected;
};

// A 480 x 300 window with the language chip (and its chevron) near its bottom right.
struct ChooserPage : ::testing::Test {
  ChooserPage() {
    window.setContentView(std::make_shared<View>());
    window.contentView()->addSubview(chip);
    chip->addSubview(chevron);
    chip->setTarget(chooser);
    chip->setAction("toggleLanguageChooserAction:");
    chevron->setTarget(chooser);
    chevron->setAction("toggleLanguageChooserAction:");
    chooser->setOwner(&owner);
    window.makeKeyWindow();
    QuillomancerLogger::shared().setMessageObserver([this](const std::string& line) { log.push_back(line); });
  }
  ~ChooserPage() override {
    QuillomancerLogger::shared().setMessageObserver({});
    Application::shared().setKeyWindow(nullptr);
  }

  void clickChip() { window.click(Point{420, 20}); }
  void type(const std::u16string& text) {
    for (char16_t c : text) window.typeKey(std::u16string(1, c));
  }
  void clearField() {
    for (std::size_t n = chooser->languageSearchField()->attributedStringValue().length(); n > 0; --n)
      window.typeKey(std::u16string(1, keys::kBackspace));
  }
  bool shown() const { return chooser->languagePopover() && chooser->languagePopover()->isShown(); }
  // The rows' titles (the hint's text for the hint), top down.
  std::vector<std::string> rows() const {
    std::vector<std::string> out;
    for (const auto& v : chooser->languageResultsStack()->arrangedSubviews()) {
      if (auto* b = dynamic_cast<Button*>(v.get())) out.push_back(b->title());
      if (auto* t = dynamic_cast<TextField*>(v.get())) out.push_back(t->stringValue());
    }
    return out;
  }
  // A click in the middle of the row with this title, in the main window's coordinates.
  void clickRow(const std::string& title) {
    for (const auto& v : chooser->languageResultsStack()->arrangedSubviews())
      if (auto* b = dynamic_cast<Button*>(v.get()); b && b->title() == title) {
        const Point p = v->convertPointToView(Point{v->bounds().midX(), v->bounds().midY()}, nullptr);
        const Point origin = chooser->languagePopover()->window()->frame().origin;
        window.click(Point{p.x + origin.x, p.y + origin.y});
        return;
      }
    ADD_FAILURE() << "no row " << title;
  }

  Window window{Rect{0, 0, 480, 300}};
  std::shared_ptr<QMActionView> chip = std::make_shared<QMActionView>(Rect{400, 10, 58, 20});
  std::shared_ptr<Button> chevron = std::make_shared<Button>(Rect{43, 5, 10, 10});
  std::shared_ptr<QMLanguageChooser> chooser = std::make_shared<QMLanguageChooser>();
  FakeOwner owner;
  std::vector<std::string> log;
};

TEST_F(ChooserPage, ListsThePriorityLanguagesThenTheNoHintRowThenTheRest) {
  clickChip();
  ASSERT_TRUE(shown());
  EXPECT_EQ(log, (std::vector<std::string>{"GUI event: language chooser opened"}));
  std::vector<std::string> some = rows();
  ASSERT_EQ(some.size(), QMFishLanguageCanonicalEntries().size() + 1);
  EXPECT_EQ(std::vector<std::string>(some.begin(), some.begin() + 7),
            (std::vector<std::string>{"English (EN)", "Español (ES)", "Français (FR)", "Deutsch (DE)", "Italiano (IT)",
                                      "-----", QMFishLanguageCanonicalEntries()[5].display + " (AB)"}));
  // The list starts at its top.
  const Rect visible = chooser->languageResultsScrollView()->contentView()->documentVisibleRect();
  EXPECT_EQ(chooser->languageResultsStack()->arrangedSubviews().front()->frame().maxY(), visible.maxY());
  // The no-hint row stands once, after the priority languages, and only when others follow.
  for (const auto& [query, at] : std::vector<std::pair<std::u16string, long>>{{u"o", 2}, {u"norsk", -1}, {u"English", -1}}) {
    clearField();
    type(query);
    some = rows();
    const auto found = std::find(some.begin(), some.end(), "-----");
    EXPECT_EQ(found == some.end() ? -1 : found - some.begin(), at) << qm::platform::utf16ToUtf8(query);
    EXPECT_EQ(std::count(some.begin(), some.end(), "-----"), at < 0 ? 0 : 1);
  }
}

TEST_F(ChooserPage, AQueryWithoutMatchesShowsTheHintThatFitsIt) {
  clickChip();
  const std::string noHint = "Use ----- for no language hint, or enter any 2-letter ISO language code";
  const std::string tryAgain = "Try a language name, English name, or 2-letter ISO code";
  for (const auto& [query, hint] : std::vector<std::pair<std::u16string, std::string>>{
           {u"-----", noHint}, {u"ndefi", noHint}, {u"efaul", noHint}, {u"zz", tryAgain}, {u"klingon", tryAgain}}) {
    clearField();
    type(query);
    EXPECT_EQ(rows(), std::vector<std::string>{hint}) << qm::platform::utf16ToUtf8(query);
  }
  // The hint is shown whole: it wraps inside the list's width.
  EXPECT_GT(chooser->languageResultsStack()->arrangedSubviews().front()->frame().height(), 20);
}

TEST_F(ChooserPage, EnterPicksATwoLetterWordAndNothingElse) {
  clickChip();
  type(u"Deutsch");
  window.typeKey(std::u16string(1, keys::kReturn));
  EXPECT_TRUE(owner.asked.empty());
  EXPECT_TRUE(shown());
  EXPECT_EQ(chooser->languageSearchField()->stringValue(), "Deutsch");  // the newline never reached it

  clearField();
  type(u" Xq");
  window.typeKey(std::u16string(1, keys::kEnter));
  EXPECT_EQ(owner.asked, (std::vector<std::string>{"xq persist"}));
  EXPECT_EQ(owner.selected, (QMLanguageSelection{"", "xq", "xq"}));
  EXPECT_FALSE(shown());
  EXPECT_EQ(chooser->languageSearchField()->stringValue(), "");
  EXPECT_EQ(log.back(), "GUI event: language selected via enter -> xq");
}

TEST_F(ChooserPage, RowsPickTheirCodeAndAreLoggedByTheirName) {
  clickChip();
  clickRow("-----");
  EXPECT_FALSE(shown());
  EXPECT_EQ(owner.selected, QMNoLanguageHintSelection());
  EXPECT_EQ(log.back(), "GUI event: language selected -> --");
  window.click(Point{448, 20});  // the chevron opens it too
  ASSERT_TRUE(shown());
  EXPECT_EQ(chooser->languagePopover()->positioningView(), chip.get());
  type(u"deu");
  clickRow("Deutsch (DE)");
  EXPECT_EQ(owner.asked, (std::vector<std::string>{"-- persist", "de persist"}));
  EXPECT_EQ(owner.selected, (QMLanguageSelection{"", "Deutsch", "de"}));
  EXPECT_EQ(log.back(), "GUI event: language selected -> Deutsch");
}

TEST_F(ChooserPage, TheChipClosesAShownChooserAndEmptiesTheField) {
  clickChip();
  type(u"fr");
  clickChip();
  EXPECT_FALSE(shown());
  EXPECT_EQ(chooser->languageSearchField()->stringValue(), "");
  // Without a window owner the chip does nothing; discarded views are built anew.
  chooser->discardLanguageChooserViews();
  chooser->setOwner(nullptr);
  clickChip();
  EXPECT_FALSE(chooser->languagePopover());
  chooser->setOwner(&owner);
  clickChip();
  EXPECT_TRUE(shown());
  EXPECT_EQ(rows().size(), QMFishLanguageCanonicalEntries().size() + 1);
}

TEST_F(ChooserPage, PicturesOfTheChooserOpenFilteredAndEmpty) {
  const std::filesystem::path out = std::filesystem::path(QM_BINARY_DIR) / "test-output";
  std::filesystem::create_directories(out);
  auto picture = [&](const std::string& name) {
    std::string error;
    const Bitmap b = render::renderWindow(*chooser->languagePopover()->window(), 2.0, Color::deviceRGB255(14, 16, 18));
    EXPECT_TRUE(render::writePNG(b, (out / (name + ".png")).string(), &error)) << error;
    return b;
  };
  clickChip();
  const Bitmap open = picture("qm-language-chooser-open");
  // The legacy scroller's knob stands at the top of its track, right of the rows: its colour
  // there, the track's below it (2x pixels, the top row first).
  const Scroller& scroller = *chooser->languageResultsScrollView()->verticalScroller();
  const Rect knob = scroller.convertRectToView(scroller.knobRect(), nullptr);
  const auto at = [&](double x, double y) { return open.at(static_cast<int>(x * 2), open.height - static_cast<int>(y * 2)); };
  EXPECT_GT(knob.maxY(), scroller.convertRectToView(scroller.bounds(), nullptr).maxY() - 4);
  EXPECT_NE(at(knob.midX(), knob.maxY() - 4), at(knob.midX(), knob.minY() - 4));
  for (const auto& [query, name] : std::vector<std::pair<std::u16string, std::string>>{
           {u"ital", "filtered"}, {u"zz", "empty"}, {u"--", "empty-no-hint"}}) {
    clearField();
    type(query);
    picture("qm-language-chooser-" + name);
  }
}

}  // namespace
