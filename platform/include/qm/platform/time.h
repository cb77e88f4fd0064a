#pragma once
// Date and time texts. Formatting never follows the user's locale for digits or calendar:
// numbers are ASCII, the calendar Gregorian.

#include <ctime>
#include <string>

namespace qm::platform {

// "yyyy-MM-dd'T'HH:mm:ss'Z'" in UTC, e.g. "2026-03-01T09:05:07Z". "" if the time cannot be
// broken down.
// [any-thread]
std::string formatUTCTimestamp(std::time_t when);
// [any-thread]
std::string utcNowISOString();

// "yyyy-MM-dd HH:mm:ss" in the local time zone, e.g. "2026-03-01 10:05:07".
// [any-thread]
std::string formatLocalTimestamp(std::time_t when);
// [any-thread]
std::string localNowString();

// Milliseconds since the Unix epoch (wall clock).
// [any-thread]
long long unixMillisNow();

// ---- the absolute clock ----
// Seconds as a double on a steady clock with an arbitrary origin: what the window measures
// animations, fades and message lifetimes with. It never goes backwards.
// [any-thread]
double currentTimeSeconds();

// A clock that only moves when a test moves it. While one exists, currentTimeSeconds() answers
// its time and the delayed blocks of the dispatch queues wait for it instead of for real time,
// so a test steps through a 10-second badge or a 2.5-second fade without sleeping. Only one may
// exist at a time; destroying it returns to the real clock (delayed blocks still waiting then
// fall due by real time, counted from the moment the manual clock goes).
class ManualClock {
 public:
  explicit ManualClock(double start = 1000.0);
  ~ManualClock();
  ManualClock(const ManualClock&) = delete;
  ManualClock& operator=(const ManualClock&) = delete;

  double now() const;
  // Moves the time forward by `seconds` (negative values count as 0). Delayed blocks fall due
  // one by one in due order: each is put on its queue at its own due time, and when the caller
  // drains the main queue (the main thread, or any thread while none is marked) the main queue
  // is drained right then, so blocks that schedule further blocks within the step see them run
  // too. Global-queue blocks are only queued. [main-thread]
  void advance(double seconds);
};

}  // namespace qm::platform
