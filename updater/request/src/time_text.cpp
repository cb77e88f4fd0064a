#include "qm/updater/time_text.h"

#include <ctime>

namespace qm::updater {

std::string formatInternetDateTime(SystemTime time) {
  const std::time_t t =
      std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(time));
  std::tm tm{};
  ::gmtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buf;
}

std::string nowInternetDateTime() { return formatInternetDateTime(std::chrono::system_clock::now()); }

namespace {

bool digits(std::string_view s, size_t pos, size_t count, int& out) {
  if (pos + count > s.size()) return false;
  int v = 0;
  for (size_t i = 0; i < count; ++i) {
    const char c = s[pos + i];
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  out = v;
  return true;
}

bool leapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leapYear(y) ? 29 : kDays[m - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date (no time zone or locale involved).
long long daysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

}  // namespace

std::optional<SystemSeconds> parseInternetDateTime(std::string_view s) {
  int year, month, day, hour, minute, second;
  if (!digits(s, 0, 4, year) || s.size() < 20 || s[4] != '-' || !digits(s, 5, 2, month) ||
      s[7] != '-' || !digits(s, 8, 2, day) || s[10] != 'T' || !digits(s, 11, 2, hour) ||
      s[13] != ':' || !digits(s, 14, 2, minute) || s[16] != ':' || !digits(s, 17, 2, second))
    return std::nullopt;
  if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 ||
      minute > 59 || second > 59)
    return std::nullopt;
  long long offsetSeconds = 0;
  const std::string_view zone = s.substr(19);
  if (zone == "Z") {
    offsetSeconds = 0;
  } else if (zone.size() == 6 && (zone[0] == '+' || zone[0] == '-') && zone[3] == ':') {
    int oh, om;
    if (!digits(zone, 1, 2, oh) || !digits(zone, 4, 2, om) || oh > 23 || om > 59) return std::nullopt;
    offsetSeconds = (oh * 3600LL + om * 60LL) * (zone[0] == '-' ? -1 : 1);
  } else {
    return std::nullopt;
  }
  const long long epoch = daysFromCivil(year, month, day) * 86400LL + hour * 3600LL + minute * 60LL +
                          second - offsetSeconds;
  return SystemSeconds(std::chrono::seconds(epoch));
}

std::int64_t secondsBetween(SystemSeconds stamp, SystemTime now) {
  return (std::chrono::floor<std::chrono::seconds>(now) - stamp).count();
}

}  // namespace qm::updater
