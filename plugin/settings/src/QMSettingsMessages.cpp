// Server messages on the card's message page and the service's health indicator. Messages come
// with the account-status answer; the first one queued is shown, and closing the page dismisses
// every queued one: the ids go to the service one per window tick. The health check colours the
// dots of the main and the update-required page.

#include "QMSettingsCardInternal.h"
#include "QMSettingsCardSupport.h"

#include "QMAccountToken.h"
#include "QMWindowLook.h"
#include "QuillomancerServer.h"

#include "qm/platform/browser.h"
#include "qm/platform/text.h"
#include "qm/platform/thread_check.h"

#include "qm/ui/text_measurer.h"

#include <algorithm>
#include <string_view>

// ---- message text -------------------------------------------------------------------------------

namespace {

// One "[label](http(s)://address)" found in a body (byte offsets).
struct MarkdownLink {
  size_t start = 0, end = 0;  // the whole construction
  std::string_view label, address;
};

// The first link construction at or after `from`, as the pattern \[([^\]]+)\]\((https?://[^\)]+)\)
// finds it: the label runs to the first "]", the address to the first ")".
std::optional<MarkdownLink> FindLink(std::string_view text, size_t from) {
  for (size_t open = text.find('[', from); open != std::string_view::npos; open = text.find('[', open + 1)) {
    const size_t close = text.find(']', open + 1);
    if (close == std::string_view::npos) return std::nullopt;
    if (close == open + 1 || close + 1 >= text.size() || text[close + 1] != '(') continue;
    const size_t addressStart = close + 2;
    const std::string_view rest = text.substr(addressStart);
    const size_t scheme = rest.starts_with("https://") ? 8 : rest.starts_with("http://") ? 7 : 0;
    if (scheme == 0) continue;
    const size_t paren = text.find(')', addressStart + scheme);
    if (paren == std::string_view::npos || paren == addressStart + scheme) continue;
    return MarkdownLink{open, paren + 1, text.substr(open + 1, close - open - 1),
                        text.substr(addressStart, paren - addressStart)};
  }
  return std::nullopt;
}

}  // namespace

qm::ui::AttributedString QMAttributedMessageFromMarkdown(const std::string& text, std::optional<qm::ui::Font> font,
                                                         std::optional<qm::ui::Color> colour) {
  qm::ui::TextAttributes base;
  base.font = font.value_or(qm::ui::Font::system(14));
  base.foregroundColor = colour.value_or(QMTextSecondary());
  qm::ui::TextAttributes linkStyle;
  linkStyle.font = base.font;
  linkStyle.foregroundColor = QMAccentOrange();
  linkStyle.underlineStyle = 1;

  qm::ui::AttributedString out;
  const std::string_view body(text);
  size_t at = 0;
  for (auto link = FindLink(body, 0); link; link = FindLink(body, at)) {
    if (link->start > at) out.append(qm::ui::AttributedString(std::string(body.substr(at, link->start - at)), base));
    qm::ui::TextAttributes style = linkStyle;
    // Only a web address the browser may open becomes a link; others keep the look alone.
    if (qm::platform::isOpenableWebLink(link->address)) style.link = std::string(link->address);
    out.append(qm::ui::AttributedString(std::string(link->label), style));
    at = link->end;
  }
  if (at < body.size()) out.append(qm::ui::AttributedString(std::string(body.substr(at)), base));
  if (out.empty()) return qm::ui::AttributedString(text, base);
  return out;
}

// ---- messages -----------------------------------------------------------------------------------

namespace {

// The room the title label has for its one line: up to the card's close button, which stands
// over the label's right end, or the label's own width without one.
double TitleRoom(const qm::ui::TextField& label) {
  const qm::ui::Rect text = label.textRect();
  double right = text.maxX();
  if (const qm::ui::View* card = label.superview() ? label.superview()->superview() : nullptr) {
    for (const auto& child : card->subviews()) {
      const auto* button = dynamic_cast<const qm::ui::Button*>(child.get());
      if (button && !button->isHidden() && button->action() == qm::ui::Selector("closeSettings:"))
        right = std::min(right, button->convertRectToView(button->bounds(), &label).minX());
    }
  }
  return right - text.minX();
}

}  // namespace

std::string QMOneLineMessageTitle(const std::string& title, const qm::ui::TextField& label) {
  std::u16string line = qm::ui::utf16FromUTF8(title);
  // Tabs, line breaks and every other control character would break or hide parts of the line.
  for (char16_t& unit : line)
    if (qm::platform::isControlCharacter(unit) || unit == 0x2028 || unit == 0x2029) unit = u' ';
  const double room = TitleRoom(label);
  qm::ui::TextAttributes look;
  look.font = label.font();
  auto width = [&](const std::u16string& text) {
    return qm::ui::textMeasurer().measure(qm::ui::AttributedString(text, look)).width;
  };
  if (width(line) <= room) return qm::ui::utf8FromUTF16(line);
  // Whole characters come off the end until the rest and the ellipsis fit.
  while (!line.empty()) {
    line.resize(qm::platform::previousCharacterBoundary(line, line.size()));
    while (!line.empty() && line.back() == u' ') line.pop_back();
    if (width(line + u"\u2026") <= room) break;
  }
  return qm::ui::utf8FromUTF16(line) + "\u2026";
}

namespace {

// The card after the messages: the update-required page under the forced lock (its texts stay as
// the lock wrote them), else the main page, with the card hidden again when it was hidden before.
void ShowCardAfterMessages(QMSettingsHelper& c) {
  if (c.forceUpdateRequired) {
    QMShowView(c.views.mainView, false);
    QMShowView(c.views.updateRequiredView, true);
    QMShowView(c.views.checkUpdatesBtn, false);
    QMShowView(c.views.settingsCard, true);
  } else {
    QMShowView(c.views.mainView, true);
    QMShowView(c.views.updateRequiredView, false);
    if (c.wasSettingsCardHiddenBeforeMessages) QMShowView(c.views.settingsCard, false);
  }
  c.syncBackgroundEditorForSettingsVisibility();
}

}  // namespace

// [main-thread]
void QMSettingsHelper::showServerMessagesSequentially(const std::vector<QuillomancerServer::ServerMessage>& messages,
                                                      const std::string& accessToken) {
  QM_ASSERT_THREAD(main);
  // A token that may not be sent counts as none: its messages could never be dismissed.
  if (messages.empty() || !QMIsUsableAccessToken(accessToken)) return;
  QMCardLog(QMCardFormat("GUI event: server messages received (%lu)", static_cast<unsigned long>(messages.size())));
  if (!showingServerMessage && pendingMessages.empty()) wasSettingsCardHiddenBeforeMessages = !QMIsCardShown(*this);
  dismissAccessToken = accessToken;
  for (const auto& message : messages) {
    if (message.id.empty()) continue;
    pendingMessages.push_back({message.id, message.title.empty() ? "Quillomancer" : message.title, message.body});
  }
  if (!showingServerMessage) showNextServerMessage();
}

// [main-thread]
void QMSettingsHelper::showNextServerMessage() {
  QM_ASSERT_THREAD(main);
  if (!pendingMessages.empty()) {
    const QuillomancerServer::ServerMessage& message = pendingMessages.front();
    showingServerMessage = true;
    QMShowView(views.settingsCard, true);
    QMShowView(views.mainView, false);
    QMShowView(views.updateRequiredView, false);
    QMShowMessagePage(*this, true);
    if (qm::ui::TextField* title = views.messageTitleLabel.get())
      title->setStringValue(QMOneLineMessageTitle(message.title.empty() ? "Quillomancer" : message.title, *title));
    if (qm::ui::TextField* body = views.messageBodyLabel.get()) {
      body->setAttributedStringValue(QMAttributedMessageFromMarkdown(message.body, body->font(), body->textColor()));
    }
    QMShowView(views.updateFailureRetryButton, false);
    QMShowView(views.updateFailureManualButton, false);
    syncBackgroundEditorForSettingsVisibility();
    return;
  }
  showingServerMessage = false;
  closeHelpPopover();
  helpPopover.reset();
  closeLanguageChooser();
  discardLanguageChooserViews();
  QMShowMessagePage(*this, false);
  ShowCardAfterMessages(*this);
}

// [main-thread]
void QMSettingsHelper::dismissCurrentServerMessage() {
  QM_ASSERT_THREAD(main);
  QMCardLog("GUI event: server messages dismissed");
  for (const auto& message : pendingMessages)
    if (!message.id.empty()) pendingDismissMessageIds.push_back(message.id);
  pendingMessages.clear();
  showingServerMessage = false;
  QMShowMessagePage(*this, false);
  ShowCardAfterMessages(*this);
}

// [main-thread]
void QMSettingsHelper::flushQueuedMessageDismissals() {
  QM_ASSERT_THREAD(main);
  if (pendingDismissMessageIds.empty() || dismissAccessToken.empty()) return;
  std::string id = std::move(pendingDismissMessageIds.front());
  pendingDismissMessageIds.erase(pendingDismissMessageIds.begin());
  if (id.empty()) return;
  qm::platform::dispatchGlobal(
      [id = std::move(id), token = dismissAccessToken] { QuillomancerServer::DismissMessage(id, token); });
}

// ---- health -------------------------------------------------------------------------------------

// [main-thread]
void QMSettingsHelper::checkServerHealth() {
  QM_ASSERT_THREAD(main);
  // The gear opening the card while the start's check is still out: that answer colours the dots,
  // and a second one could only arrive out of order.
  if (healthCheckInFlight_) return;
  healthCheckInFlight_ = true;
  QMRunThenDeliver(
      *this, [] { return QuillomancerServer::CheckHealth(); },
      [](QMSettingsHelper& c, QuillomancerServer::HealthResult health) {
        c.healthCheckInFlight_ = false;
        const qm::ui::Color colour = !health.reachable ? QMAccentRed() : health.healthy ? QMAccentGreen() : QMAccentOrange();
        const char* text = !health.reachable ? "Server offline" : health.healthy ? "Server connected" : "Service may be slow";
        for (qm::ui::View* dot : {c.views.healthDot.get(), c.views.updateReqHealthDot.get()}) {
          if (dot && dot->layer()) {
            dot->layer()->backgroundColor = colour;
            dot->setNeedsDisplay();
          }
        }
        for (qm::ui::TextField* label : {c.views.healthLabel.get(), c.views.updateReqHealthLabel.get()})
          if (label) label->setStringValue(text);
        c.flushQueuedMessageDismissals();
      });
}
