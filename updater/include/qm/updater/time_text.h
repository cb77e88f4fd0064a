#pragma once
// Internet date-time texts (RFC 3339 without fractional seconds), as the request, the status
// document, the log and telemetry carry them.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace qm::updater {

using SystemTime = std::chrono::system_clock::time_point;

// "yyyy-MM-dd'T'HH:mm:ss'Z'" in UTC; fractions of a second are dropped.
std::string formatInternetDateTime(SystemTime time);

// Now, in that form.
std::string nowInternetDateTime();

// Parses full date, "T", full time with seconds, then "Z" or a numeric offset ("+hh:mm");
// no fractional seconds. Nothing for any other text or an impossible date or time.
std::optional<SystemTime> parseInternetDateTime(std::string_view text);

}  // namespace qm::updater
