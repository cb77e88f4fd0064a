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

}  // namespace qm::platform
