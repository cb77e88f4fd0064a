#pragma once
// The updater's plain-text log, "updater.log" in the updates folder: one line per message, private
// to the user, rotated to "updater.log.1" at a size cap. Logging never disturbs an update, and
// two updater processes may log at once.

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace qm::updater {

inline constexpr std::uint64_t kDefaultMaxLogBytes = 5242880;  // 5 MiB

class LocalLogger {
 public:
  // `errorStream` receives "logger_error: " lines (standard error when null).
  explicit LocalLogger(std::string logFile, std::uint64_t maxLogBytes = kDefaultMaxLogBytes,
                       std::ostream* errorStream = nullptr);

  // Appends "<time> request_id=<id> username=<name> <message>\n". The message is written as
  // given; the request id and user name have control characters escaped so that they cannot
  // start a line of their own. Any text registered with addSecret is replaced by "<redacted>".
  // Never throws; a failure becomes one "logger_error: " line on the error stream.
  void log(const std::string& requestID, const std::string& username,
           const std::string& message) noexcept;

  // Registers a credential (for example a bearer token) that must never reach the log.
  // Texts shorter than 4 bytes are ignored (they would mangle ordinary words).
  void addSecret(const std::string& secret);

  const std::string& logFile() const { return logFile_; }
  std::string backupFile() const;  // "updater.log.1" beside the log

 private:
  // Rotates a full log and appends the line; throws PlatformError.
  void appendLine(const std::string& line);

  std::string logFile_;
  std::uint64_t maxLogBytes_;
  std::ostream* errorStream_;
  std::vector<std::string> secrets_;
};

// Control characters as visible escapes ("\n" becomes the two characters '\' 'n').
std::string escapeControlCharacters(const std::string& text);

}  // namespace qm::updater
