// The plug-in events the controller records for the service: the persistent queue in the user
// defaults (QMPluginEventsQueue), stamped with what the controller knows when an event happens,
// and handed to the account-status exchange.

#include "QMSettingsCardInternal.h"

#include "QMPluginEventsQueue.h"

#include "qm/platform/defaults.h"
#include "qm/platform/thread_check.h"

namespace {

QMPluginEventsQueue StandardQueue() { return QMPluginEventsQueue(qm::platform::UserDefaults::standard()); }

}  // namespace

// [main-thread]
void QMSettingsHelper::recordPluginEvent(const std::string& event, const std::string& requestId,
                                         const std::string& errorCode) {
  QM_ASSERT_THREAD(main);
  QMPluginEventContext context;
  context.userEmail = userEmail;
  context.targetVersion = updateTargetVersion;
  context.channel = updateEffectiveChannel;
  context.mediaComposerHost = guiOwner() && guiOwner()->IsMediaComposerHost();
  StandardQueue().recordPluginEvent(event, requestId, errorCode, context);
}

// [main-thread]
std::string QMSettingsHelper::consumeAndSerializePluginEventsForVerify() {
  QM_ASSERT_THREAD(main);
  return StandardQueue().consumeAndSerializePluginEventsForVerify();
}

// [main-thread]
void QMSettingsHelper::clearAckedPluginEvents(const std::vector<std::string>& eventIds) {
  QM_ASSERT_THREAD(main);
  StandardQueue().clearAckedPluginEvents(eventIds);
}
