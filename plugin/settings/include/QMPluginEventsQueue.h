#pragma once
// The plug-in events queue: a small persistent list of events about update checks, offers and
// the hand-off to the updater, kept in the host process's user defaults under
// "com.quillomancer.pluginEventsQueue" as an array of flat records (oldest first, text values
// only), capped at 200 entries. It is serialised as compact JSON of at most 4,096 bytes for the
// account-status exchange, and acknowledged events are removed by id.
//
// Every operation reads, changes and writes the whole array, without a lock of its own: callers
// keep to the main thread.

#include "qm/platform/defaults.h"

#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr const char* kQMPluginEventsQueueDefaultsKey = "com.quillomancer.pluginEventsQueue";
inline constexpr size_t kQMPluginEventsQueueMaxEvents = 200;
inline constexpr size_t kQMPluginEventsMaxSerializedBytes = 4096;

// The current time as "yyyy-MM-dd'T'HH:mm:ss'Z'" in UTC, whole seconds, ASCII digits.
// [any-thread]
std::string QMUTCNowISOString();

// What the settings controller knows when an event is recorded.
struct QMPluginEventContext {
  std::string userEmail;        // the account's e-mail address; "" when none is known
  std::string targetVersion;    // the offered update's target version, or ""
  std::string channel;          // the offered update's effective channel, or ""
  bool mediaComposerHost = false;  // the window's host is Media Composer (false without a window)
};

class QMPluginEventsQueue {
 public:
  using Clock = std::function<std::time_t()>;

  // `defaults` must outlive the queue; `clock` stamps the events (the wall clock when empty).
  explicit QMPluginEventsQueue(qm::platform::UserDefaults& defaults, Clock clock = {});

  // Appends one event (nothing for an empty name, or for one that alone could not be sent within
  // 4,096 bytes); the oldest go beyond 200. [main-thread]
  void recordPluginEvent(std::string_view event, std::string_view requestId, std::string_view errorCode,
                         const QMPluginEventContext& context);

  // The queue as compact JSON of at most 4,096 bytes: the newest events that fit, "[]" when none
  // do. An event that could never be sent (it does not serialise, or alone exceeds the limit) is
  // dropped by itself; older events are still sent. When events had to be left out, the store
  // keeps only those sent; otherwise it is left untouched. [main-thread]
  std::string consumeAndSerializePluginEventsForVerify();

  // Removes the events with these ids; entries that are not records or have no "id" go too.
  // Nothing happens for an empty list or an empty queue. [main-thread]
  void clearAckedPluginEvents(const std::vector<std::string>& eventIds);

 private:
  nlohmann::json storedEvents();
  void store(nlohmann::json events);

  qm::platform::UserDefaults& defaults_;
  Clock clock_;
};
