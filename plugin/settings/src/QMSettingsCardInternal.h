#pragma once
// What the controller's pieces (its actions, card, messages, Send Log, votes, events, updates)
// share inside the settings room: the log, the controller kept alive by the work it queues, the
// account token it may send, and the page switches of the card.

#include "QMSettingsHelper.h"

#include "qm/platform/dispatch.h"

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

// One line in the plug-in log. [any-thread]
void QMCardLog(const std::string& line);
// printf-style text for the log. [any-thread]
std::string QMCardFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The controller as the shared object the window holds; queued work keeps it alive with this.
inline std::shared_ptr<QMSettingsHelper> QMRetainController(QMSettingsHelper& controller) {
  return std::static_pointer_cast<QMSettingsHelper>(controller.sharedObject());
}

// Runs `work` on the global queue and then `deliver(result)` on the main queue with the
// controller, which both blocks keep alive; the global block hands its reference on, so the
// last one is always let go on the main queue. `deliver` runs only while the controller has not
// been torn down. [main-thread]
template <class Work, class Deliver>
void QMRunThenDeliver(QMSettingsHelper& controller, Work work, Deliver deliver) {
  auto keep = QMRetainController(controller);
  if (!keep) return;
  qm::platform::dispatchGlobal([keep = std::move(keep), work = std::move(work), deliver = std::move(deliver)]() mutable {
    auto result = work();
    qm::platform::dispatchMain(
        [keep = std::move(keep), result = std::move(result), deliver = std::move(deliver)]() mutable {
          if (keep->teardownCount() == 0) deliver(*keep, std::move(result));
        });
  });
}

// The window's account token, or "" without a window or when the token is not one that may be
// sent (empty, 256 bytes or more, control characters). [main-thread]
std::string QMUsableWindowToken(const QMSettingsHelper& controller);

// Shows or hides a view when it exists.
template <class ViewPointer>
void QMShowView(const ViewPointer& view, bool shown) {
  if (view) view->setHidden(!shown);
}
// Shows or hides those of `views` that exist.
inline void QMShowViews(std::initializer_list<qm::ui::View*> views, bool shown) {
  for (qm::ui::View* view : views) QMShowView(view, shown);
}

// The message page with the window's interaction shield, which takes the clicks outside the card
// while that page is up. [main-thread]
void QMShowMessagePage(QMSettingsHelper& controller, bool shown);
// True while the card holder exists and is shown.
bool QMIsCardShown(const QMSettingsHelper& controller);
// True while one of the card's three pages (main, update required, message) is shown.
bool QMIsCardPageShown(const QMSettingsHelper& controller);
