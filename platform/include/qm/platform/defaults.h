#pragma once
// User defaults: a key-value store per domain, kept as a JSON object in
// $HOME/Library/Preferences/<domain>.json. Every change is written to disk at once, atomically,
// so synchronize() only re-reads what other processes may have written.
// A file that does not parse is set aside as "<file>.unreadable" before the first write, so a
// damaged file is never silently overwritten.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace qm::platform {

class UserDefaults {
 public:
  // The defaults of this process (the host's, in the plug-in). The domain is the program's name
  // unless setStandardDomain chose another before first use; the folder is read from $HOME at
  // first use.
  // [any-thread]
  static UserDefaults& standard();
  // [any-thread] before the first call of standard()
  static void setStandardDomain(const std::string& domain);

  // Defaults kept in `path` (tests, or a named domain).
  explicit UserDefaults(std::string path);

  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  const std::string& path() const { return path_; }

  // The stored value, or nothing. [any-thread]
  std::optional<nlohmann::json> object(const std::string& key);
  bool has(const std::string& key);

  // Typed readers with the platform's conversions: numbers and true/false are interchangeable,
  // numeric strings are read as numbers, "YES"/"true"/"1" (any case) as true. Absent or of
  // another kind: "", false, 0. [any-thread]
  std::string stringForKey(const std::string& key);
  bool boolForKey(const std::string& key);
  std::int64_t integerForKey(const std::string& key);
  double doubleForKey(const std::string& key);

  // Stores a value (a JSON null removes the key) and writes the file. Returns false when the
  // file could not be written; the value is kept in memory even then. [any-thread]
  bool set(const std::string& key, nlohmann::json value);
  bool remove(const std::string& key);

  // Re-reads the file (changes from other processes). Returns false if it could not be read
  // (a missing file is an empty store and reads fine). [any-thread]
  bool synchronize();

 private:
  void loadLocked();
  bool writeLocked();

  std::mutex mutex_;
  std::string path_;
  nlohmann::json values_ = nlohmann::json::object();
  bool loaded_ = false;
  bool unreadable_ = false;
};

}  // namespace qm::platform
