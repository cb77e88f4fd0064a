#include "qm/platform/defaults.h"

#include "qm/platform/files.h"
#include "qm/platform/paths.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sys/stat.h>

namespace qm::platform {

namespace {

constexpr size_t kMaxDefaultsFileBytes = 16u << 20;

std::mutex& standardMutex() {
  static std::mutex m;
  return m;
}

std::string& standardDomain() {
  static std::string domain;
  return domain;
}

std::string programName() {
  std::string name;
  std::ifstream comm("/proc/self/comm");
  std::getline(comm, name);
  return name.empty() ? std::string("qm") : name;
}

bool domainIsSafe(const std::string& domain) {
  if (domain.empty() || domain == "." || domain == "..") return false;
  return domain.find('/') == std::string::npos && domain.find('\0') == std::string::npos;
}

bool textIsTrue(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.erase(s.begin());
  return s == "yes" || s == "true" || (!s.empty() && std::strtod(s.c_str(), nullptr) != 0.0);
}

std::int64_t clampToInt64(double d) {
  if (std::isnan(d)) return 0;
  if (d >= 9.2233720368547758e18) return std::numeric_limits<std::int64_t>::max();
  if (d <= -9.2233720368547758e18) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(d);
}

}  // namespace

UserDefaults& UserDefaults::standard() {
  static UserDefaults* instance = [] {
    std::lock_guard<std::mutex> lock(standardMutex());
    std::string domain = standardDomain();
    if (!domainIsSafe(domain)) domain = programName();
    if (!domainIsSafe(domain)) domain = "qm";
    return new UserDefaults(joinPath(preferencesDirectory(), domain + ".json"));
  }();
  return *instance;
}

void UserDefaults::setStandardDomain(const std::string& domain) {
  std::lock_guard<std::mutex> lock(standardMutex());
  standardDomain() = domain;
}

UserDefaults::UserDefaults(std::string path) : path_(std::move(path)) {}

void UserDefaults::loadLocked() {
  if (loaded_) return;
  loaded_ = true;
  values_ = nlohmann::json::object();
  unreadable_ = false;
  std::string text;
  if (!readFile(path_, text, kMaxDefaultsFileBytes)) {
    struct stat info {};
    unreadable_ = ::stat(path_.c_str(), &info) == 0;  // there, but too large or not readable
    return;
  }
  if (text.empty()) return;
  nlohmann::json parsed = nlohmann::json::parse(text, nullptr, false);
  if (parsed.is_discarded() || !parsed.is_object()) {
    unreadable_ = true;
    return;
  }
  values_ = std::move(parsed);
}

bool UserDefaults::writeLocked() {
  const size_t slash = path_.rfind('/');
  if (slash != std::string::npos && slash > 0) makeDirectories(path_.substr(0, slash), 0700);
  if (unreadable_) {
    // Keep the damaged file for whoever wants to look at it; never overwrite it blindly.
    if (std::rename(path_.c_str(), (path_ + ".unreadable").c_str()) != 0 && errno != ENOENT) return false;
    unreadable_ = false;
  }
  std::string text;
  try {
    text = values_.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
  } catch (...) {
    return false;
  }
  text.push_back('\n');
  return writeFileAtomic(path_, text, 0600) == 0;
}

std::optional<nlohmann::json> UserDefaults::object(const std::string& key) {
  std::lock_guard<std::mutex> lock(mutex_);
  loadLocked();
  auto it = values_.find(key);
  if (it == values_.end() || it->is_null()) return std::nullopt;
  return *it;
}

bool UserDefaults::has(const std::string& key) { return object(key).has_value(); }

std::string UserDefaults::stringForKey(const std::string& key) {
  auto value = object(key);
  if (!value) return {};
  if (value->is_string()) return value->get<std::string>();
  if (value->is_number_integer()) return value->dump();
  if (value->is_number_float()) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17g", value->get<double>());
    return buffer;
  }
  return {};
}

bool UserDefaults::boolForKey(const std::string& key) {
  auto value = object(key);
  if (!value) return false;
  if (value->is_boolean()) return value->get<bool>();
  if (value->is_number()) return value->get<double>() != 0.0;
  if (value->is_string()) return textIsTrue(value->get<std::string>());
  return false;
}

std::int64_t UserDefaults::integerForKey(const std::string& key) {
  auto value = object(key);
  if (!value) return 0;
  if (value->is_boolean()) return value->get<bool>() ? 1 : 0;
  if (value->is_number_integer()) {
    if (value->is_number_unsigned() && value->get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX))
      return std::numeric_limits<std::int64_t>::max();
    return value->get<std::int64_t>();
  }
  if (value->is_number_float()) return clampToInt64(value->get<double>());
  if (value->is_string()) {
    const std::string s = value->get<std::string>();
    errno = 0;
    char* end = nullptr;
    long long n = std::strtoll(s.c_str(), &end, 10);
    if (end == s.c_str()) return 0;
    return n;  // strtoll saturates on overflow
  }
  return 0;
}

double UserDefaults::doubleForKey(const std::string& key) {
  auto value = object(key);
  if (!value) return 0.0;
  if (value->is_boolean()) return value->get<bool>() ? 1.0 : 0.0;
  if (value->is_number()) return value->get<double>();
  if (value->is_string()) {
    const std::string s = value->get<std::string>();
    const double d = std::strtod(s.c_str(), nullptr);
    return std::isfinite(d) ? d : 0.0;
  }
  return 0.0;
}

bool UserDefaults::set(const std::string& key, nlohmann::json value) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Start from the file as it is now, so keys written meanwhile by another process survive.
  loaded_ = false;
  loadLocked();
  if (value.is_null())
    values_.erase(key);
  else
    values_[key] = std::move(value);
  return writeLocked();
}

bool UserDefaults::remove(const std::string& key) { return set(key, nullptr); }

bool UserDefaults::synchronize() {
  std::lock_guard<std::mutex> lock(mutex_);
  loaded_ = false;
  loadLocked();
  return !unreadable_;
}

}  // namespace qm::platform
