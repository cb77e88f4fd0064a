// The limited text field through clicks and keys on a window and the pasteboard.

#include "QMLimitedTextField.h"

#include "qm/ui/pasteboard.h"
#include "qm/ui/window.h"

#include <gtest/gtest.h>

using namespace qm::ui;

namespace {

// The window's root: hears every key that nothing before it took.
struct Root : View {
  using View::View;
  void keyDown(const Event& e) override { keys.push_back(e.characters); }
  std::vector<std::u16string> keys;
};

struct LimitedPage : ::testing::Test {
  LimitedPage() {
    window.setContentView(root);
    root->addSubview(field);
    Pasteboard::general().clearContents();
  }
  // Starts editing with a click in the field.
  void edit() { window.click(Point{20, 30}); }
  void command(char16_t c, uint32_t extra = 0) { window.typeKey(std::u16string(1, c), kModifierCommand | extra); }
  std::u16string text() const { return field->attributedStringValue().string(); }

  Window window{Rect{0, 0, 240, 60}};
  std::shared_ptr<Root> root = std::make_shared<Root>();
  std::shared_ptr<QMLimitedTextField> field = std::make_shared<QMLimitedTextField>(Rect{10, 20, 220, 24});
};

TEST_F(LimitedPage, PastedTextKeepsTheFirstUnitsAndNeverHalvesAPair) {
  EXPECT_EQ(field->maxLength, 200u);
  edit();
  std::u16string long250;
  for (int i = 0; i < 250; ++i) long250.push_back(static_cast<char16_t>(u'a' + i % 26));
  Pasteboard::general().setString(long250);
  command(u'v');
  EXPECT_EQ(text(), long250.substr(0, 200));
  // An emoji that would straddle the limit goes whole.
  command(u'a');
  Pasteboard::general().setString(std::u16string(199, u'x') + u"\U0001F600" + u"yz");
  command(u'v');
  EXPECT_EQ(text(), std::u16string(199, u'x'));
  field->maxLength = 201;
  command(u'a');
  command(u'v');
  EXPECT_EQ(text(), std::u16string(199, u'x') + u"\U0001F600");
  EXPECT_TRUE(root->keys.empty());
}

TEST_F(LimitedPage, CommandKeysEditTheFieldAndCommandZIsAlwaysSwallowed) {
  edit();
  command(u'z');  // nothing to undo: taken all the same
  EXPECT_TRUE(root->keys.empty());
  for (char16_t c : std::u16string(u"word")) window.typeKey(std::u16string(1, c));
  command(u'a');
  command(u'x');
  EXPECT_EQ(text(), u"");
  EXPECT_EQ(Pasteboard::general().string(), u"word");
  command(u'z');
  EXPECT_EQ(text(), u"word");
  command(u'Z', kModifierShift);  // upper case: not this field's; the text stays as it is
  command(u'c', kModifierOption);  // another modifier set: not this field's either
  EXPECT_EQ(text(), u"word");
  EXPECT_EQ(root->keys, (std::vector<std::u16string>{u"Z", u"c"}));
  // Once editing has ended, the shortcuts are not taken: Command-V pastes nothing.
  window.makeFirstResponder(nullptr);
  command(u'v');
  EXPECT_EQ(text(), u"word");
  EXPECT_EQ(root->keys.size(), 2u);
}

}  // namespace
