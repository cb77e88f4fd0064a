// The settings card: opening and closing it, the editor lock while it is open, the credits line
// and the help popover; and what the card's pieces share (the log, the token, the page switches).

#include "QMPopoverViews.h"
#include "QMSettingsCardInternal.h"

#include "QMAccountToken.h"
#include "QMWindowLook.h"
#include "QuillomancerLogger.h"

#include "qm/platform/thread_check.h"
#include "qm/ui/popover.h"
#include "qm/ui/text_view.h"

#include <cstdarg>
#include <cstdio>
#include <limits>

using qm::ui::Color;
using qm::ui::Font;
using qm::ui::FontWeight;
using qm::ui::Rect;

// ---- shared by the card's pieces ----------------------------------------------------------------

void QMCardLog(const std::string& line) { QuillomancerLogger::shared().logMessage(line); }

std::string QMCardFormat(const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  return line;
}

std::string QMUsableWindowToken(const QMSettingsHelper& controller) {
  QMSettingsHelperOwner* window = controller.guiOwner();
  if (!window) return {};
  std::string token = window->GetAccountAccessToken();
  return QMIsUsableAccessToken(token) ? token : std::string();
}

void QMShowMessagePage(QMSettingsHelper& controller, bool shown) {
  QMShowView(controller.views.messageView, shown);
  QMShowView(controller.views.modalInteractionShield, shown);
}

bool QMIsCardShown(const QMSettingsHelper& controller) {
  return controller.views.settingsCard && !controller.views.settingsCard->isHidden();
}

bool QMIsCardPageShown(const QMSettingsHelper& controller) {
  const QMSettingsViews& v = controller.views;
  for (const qm::ui::View* page : {v.mainView.get(), v.updateRequiredView.get(), static_cast<qm::ui::View*>(v.messageView.get())})
    if (page && !page->isHidden()) return true;
  return false;
}

// ---- opening and closing ------------------------------------------------------------------------

// [main-thread]
void QMSettingsHelper::toggleSettings(qm::ui::Object*) {
  QM_ASSERT_THREAD(main);
  closeHelpPopover();
  if (showingServerMessage) {
    QMCardLog("GUI event: settings toggle ignored (server message visible)");
    QMShowView(views.settingsCard, true);
  } else if (forceUpdateRequired) {
    QMCardLog("GUI event: settings toggle ignored (forced update lock)");
    QMShowView(views.settingsCard, true);
  } else if (views.settingsCard) {
    const bool open = views.settingsCard->isHidden();
    // Until an account-status answer shows a page (none comes without a token, or while the
    // service is slow or away), the card opens on its main page without a balance, not empty.
    if (open && !QMIsCardPageShown(*this)) showCredits(guiOwner() ? guiOwner()->GetLastShownCredits() : std::nullopt);
    views.settingsCard->setHidden(!open);
    QMCardLog(std::string("GUI event: settings card ") + (open ? "opened" : "closed"));
    if (open) checkServerHealth();
  }
  syncBackgroundEditorForSettingsVisibility();
}

// [main-thread]
void QMSettingsHelper::closeSettings(qm::ui::Object*) {
  QM_ASSERT_THREAD(main);
  closeHelpPopover();
  if (showingServerMessage) {
    QMCardLog("GUI event: server message close clicked");
    dismissCurrentServerMessage();
    return;
  }
  if (showingUpdateFailureDetail) {
    showingUpdateFailureDetail = false;
    QMShowMessagePage(*this, false);
    QMShowView(views.mainView, true);
    QMShowView(views.updateRequiredView, false);
    QMShowView(views.settingsCard, false);
    syncBackgroundEditorForSettingsVisibility();
    return;
  }
  if (forceUpdateRequired) {
    QMCardLog("GUI event: close ignored (forced update lock)");
    QMShowView(views.settingsCard, true);
    return;
  }
  QMShowView(views.settingsCard, false);
  QMCardLog("GUI event: settings card closed");
  syncBackgroundEditorForSettingsVisibility();
}

// [main-thread]
void QMSettingsHelper::syncBackgroundEditorForSettingsVisibility() {
  QMSettingsHelperOwner* window = guiOwner();
  if (!window) return;
  window->SetMainTextInputInteractive(!QMIsCardShown(*this) && !forceUpdateRequired);
}

// ---- credits ----------------------------------------------------------------------------------

// [main-thread]
void QMSettingsHelper::showCredits(std::optional<int32_t> credits) {
  QM_ASSERT_THREAD(main);
  QMShowView(views.mainView, true);
  QMShowView(views.updateRequiredView, false);
  QMShowMessagePage(*this, false);
  if (views.creditsLabel && !credits) {
    // An unknown balance is not an empty account: the line as the card was built.
    views.creditsLabel->setStringValue("Credits: \u2014");
    views.creditsLabel->setTextColor(QMTextSecondary());
  } else if (views.creditsLabel) {
    const int32_t n = *credits;
    views.creditsLabel->setStringValue(QMCardFormat("Credits: %d", n));
    views.creditsLabel->setTextColor(n < 1 ? QMAccentRed() : n <= 5 ? QMAccentOrange() : QMTextSecondary());
  }
  if (QMModeTextButton* check = views.checkUpdatesBtn.get()) {
    check->setHidden(false);
    check->setEnabled(true);
    QMApplySmallSecondaryButtonTitle(check, "Check for Updates");
  }
}

// ---- help popover -------------------------------------------------------------------------------

namespace {

constexpr const char* kTutorialPageURL = "https://quillomancer.com/tutorial";
constexpr const char* kSupportPageURL = "https://quillomancer.com/support";

struct HelpSection {
  const char* heading;
  const char* body;
};

constexpr HelpSection kHelpSections[] = {
    {"What Quillomancer Does",
     "Quillomancer is built for fixing dialogue while preserving the original performance. It does great at swapping "
     "words, tightening edits, fixing mispronunciations, adding that missing consonant, and repairing reads that do "
     "not match."},
    {"How It Learns",
     "Quillomancer learns from the audio you give it. That means if there’s a mistake, odd emphasis, or weird "
     "pronunciation in the source, it may try to preserve that unless you clearly guide it."},
    {"Best Results",
     "Quillomancer usually does great with a short phrase, or a full sentence. There’s usually no need to feed it "
     "anything longer. If it starts changing the voice, that simply means it’s struggling to learn the voice. The "
     "easiest fix is to give it a little more audio to learn from."},
    {"Change Mode",
     "Use Change when you want to swap certain words while keeping the original feel, timing, and intent. "
     "Quillomancer is meant to fix mispronounced words, add that missing \"p,\" or fix an edit that doesn’t match "
     "while preserving the performance, not rewrite an entire phrase and change the delivery. Use responsibly."},
    {"Repair Mode",
     "Use Repair when a section of the read just isn’t working and you want Quillomancer to regenerate that area "
     "while keeping the performance arc around it intact."},
    {"Voice Change",
     "Voice Change is great for making different recordings match. It can help an ADR recorded on a phone magically "
     "sound like production audio, or make different mic positions feel much more consistent while preserving the "
     "original performance."},
    {"Supports Multichannel Edits Natively",
     "Editing boom and lav audio simultaneously? Just select all the tracks that you want to treat as your source. "
     "There's really no limit to how many you can feed in. Quillomancer combines them into a single reference for "
     "the voice match."},
    {"Languages",
     "Quillomancer can work in different languages too. Set the language you want it to listen for and transcribe "
     "in, and it will use that as the operating context."},
    {"Takes",
     "We usually recommend 1 take for most work. If you’re experimenting and want options, 3 or 5 takes makes it "
     "much easier to pick the version that lands best."},
    {"Clean Up Dirty Sections",
     "Got a door slam through a perfect line? Footstep crashing into dialogue? Skip the spectral repair suite and "
     "just regenerate the dirty section. Zero source degradation."},
    {"Suggested Workflow",
     "A good workflow is: select audio, load it, fix the text, then process. Quillomancer needs to know what is "
     "being said in the audio that’s provided, or else it’ll make mistakes and performance will drift."},
};

qm::ui::AttributedString HelpText(const std::string& text, const Font& font, const Color& colour,
                                  const qm::ui::ParagraphStyle& paragraph, const char* link = nullptr) {
  qm::ui::TextAttributes attributes;
  attributes.font = font;
  attributes.foregroundColor = colour;
  attributes.paragraphStyle = paragraph;
  if (link) attributes.link = link;
  return qm::ui::AttributedString(text, attributes);
}

qm::ui::AttributedString HelpContents() {
  qm::ui::ParagraphStyle body;
  body.lineSpacing = 2;
  body.paragraphSpacing = 3;
  qm::ui::ParagraphStyle heading;
  heading.paragraphSpacingBefore = 4;
  heading.paragraphSpacing = 1;
  const Font regular = Font::system(12);
  const Font medium = Font::system(12, FontWeight::Medium);
  const Font headingFont = Font::system(12.5, FontWeight::Semibold);

  qm::ui::AttributedString text =
      HelpText("Watch the YouTube tutorial\n", medium, QMHighlightGreen(), body, kTutorialPageURL);
  for (const HelpSection& section : kHelpSections) {
    text.append(HelpText(std::string(section.heading) + "\n", headingFont, QMHighlightGreen(), heading));
    text.append(HelpText(std::string(section.body) + "\n", regular, QMTextPrimary(), body));
  }
  text.append(HelpText("Need Help?\n", headingFont, QMHighlightGreen(), heading));
  text.append(HelpText(
      "We’re always improving Quillomancer. If you’ve got thoughts or questions, shoot us a message at ", regular,
      QMTextPrimary(), body));
  const std::string supportShown = std::string(kSupportPageURL).substr(std::string_view(kSupportPageURL).find("://") + 3);
  text.append(HelpText(supportShown, medium, QMHighlightGreen(), body, kSupportPageURL));
  text.append(HelpText(".", regular, QMTextPrimary(), body));
  return text;
}

}  // namespace

// [main-thread]
void QMSettingsHelper::toggleTutorial(qm::ui::Object* sender) {
  QM_ASSERT_THREAD(main);
  if (helpPopover && helpPopover->isShown()) {
    helpPopover->close();
    return;
  }
  if (!helpPopover) rebuildHelpPopover();
  qm::ui::View* anchor = dynamic_cast<qm::ui::View*>(sender);
  if (!anchor || !helpPopover) return;
  helpPopover->showRelativeToRect(anchor->bounds(), anchor, qm::ui::RectEdge::MaxX);
  if (helpPopover->isShown()) QMCardLog("GUI event: help popover opened");
}

// [main-thread]
void QMSettingsHelper::closeHelpPopover() {
  if (helpPopover && helpPopover->isShown()) helpPopover->close();
}

// [main-thread]
void QMSettingsHelper::rebuildHelpPopover() {
  QM_ASSERT_THREAD(main);
  auto content = std::make_shared<qm::ui::View>(Rect{0, 0, 390, 430});
  content->setWantsLayer(true);
  content->layer()->backgroundColor = Color::deviceRGB(0.0902, 0.1059, 0.1176);

  auto title = qm::ui::TextField::label("How To Use Quillomancer", Rect{18, 394, 320, 24});
  title->setFont(Font::system(14, FontWeight::Semibold));
  title->setTextColor(QMTextPrimary());
  content->addSubview(title);

  auto scroll = QMMakePopoverScrollView(Rect{16, 16, 358, 368});

  auto text = std::make_shared<qm::ui::TextView>(Rect{0, 0, 344, 368});
  text->setDrawsBackground(false);
  text->setEditable(false);
  text->setSelectable(true);
  text->setRichText(true);
  text->setImportsGraphics(false);
  text->setFont(Font::system(12));
  text->setTextColor(QMTextPrimary());
  text->setTextContainerInset(qm::ui::Size{0, 2});
  text->setLineFragmentPadding(6);
  text->setWidthTracksTextView(true);
  text->setVerticallyResizable(true);
  text->setHorizontallyResizable(false);
  text->setMinSize(qm::ui::Size{0, 368});
  text->setMaxSize(qm::ui::Size{344, std::numeric_limits<double>::max()});
  text->textStorage().setAttributedString(HelpContents());
  text->sizeToFit();
  scroll->setDocumentView(text);
  content->addSubview(scroll);

  helpPopover = std::make_shared<qm::ui::Popover>();
  helpPopover->setBehavior(qm::ui::PopoverBehavior::Transient);
  helpPopover->setContentView(content);
  helpPopover->setContentSize(content->frame().size);
}
