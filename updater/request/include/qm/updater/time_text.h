#pragma once
// Internet date-time texts (RFC 3339 without fractional seconds), as the request, the status
// document, the log and telemetry carry them.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qm::updater {

using SystemTime = std::chrono::system_clock::time_point;
// Whole seconds since 1970 on the system clock: holds every year a date-time text can name
// (a SystemTime counts nanoseconds and ends in 2262).
using SystemSeconds = std::chrono::sys_seconds;

// "yyyy-MM-dd'T'HH:mm:ss'Z'" in UTC; fractions of a second are dropped.
std::string formatInternetDateTime(SystemTime time);

// Now, in that form.
std::string nowInternetDateTime();

// Parses full date, "T", full time with seconds, then "Z" or a numeric offset ("+hh:mm");
// no fractional seconds. Nothing for any other text or an impossible date or time.
std::optional<SystemSeconds> parseInternetDateTime(std::string_view text);

// Whole seconds from `stamp` to `now` (negative when `stamp` lies ahead), with `now` rounded
// down to its second. Never overflows: both lie within a few hundred billion seconds of 1970.
std::int64_t secondsBetween(SystemSeconds stamp, SystemTime now);

}  // namespace qm::updater
