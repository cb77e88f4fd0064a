#include "qm/updater/local_logger.h"

#include "qm/platform/files.h"
#include "qm/updater/errors.h"
#include "qm/updater/file_operations.h"
#include "qm/updater/path_text.h"
#include "qm/updater/time_text.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm::updater {

namespace {

void replaceAll(std::string& text, const std::string& what, const std::string& with) {
  if (what.empty()) return;
  for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + with.size()))
    text.replace(pos, what.size(), with);
}

}  // namespace

std::string escapeControlCharacters(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7f) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    } else {
      out.push_back(ch);
    }
  }
  return out;
}

// Appends under an advisory lock (flock) on the log itself, so that a second updater process can
// neither interleave with a line nor have one vanish in a rotation: a writer that finds its file
// rotated away while it waited starts over on the new one.
void LocalLogger::appendLine(const std::string& line) {
  for (int round = 0; round < 8; ++round) {
    // A new log is created private to the user; an existing one keeps its permissions.
    bool created = true;
    int fd = ::open(logFile_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) {
      created = false;
      fd = ::open(logFile_.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
    }
    if (fd < 0) throw platformErrorFromErrno(errno, logFile_);
    int err = created && ::fchmod(fd, 0600) != 0 ? errno : 0;
    while (!err && ::flock(fd, LOCK_EX) != 0)
      if (errno != EINTR) err = errno;
    if (err) {
      ::close(fd);
      throw platformErrorFromErrno(err, logFile_);
    }
    if (!descriptorStillAt(fd, logFile_)) {  // rotated away meanwhile
      ::close(fd);
      continue;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
      err = errno;
    } else if (static_cast<std::uint64_t>(st.st_size) >= maxLogBytes_) {
      // Full: it becomes the backup (the rename replaces an older one in one step), and the
      // line goes into a new log.
      if (::rename(logFile_.c_str(), backupFile().c_str()) != 0) err = errno;
      ::close(fd);
      if (err) throw platformErrorFromErrno(err, backupFile());
      continue;
    }
    if (!err) err = writeAll(fd, line.data(), line.size());
    ::close(fd);  // an error on closing is ignored
    if (err) throw platformErrorFromErrno(err, logFile_);
    return;
  }
  throw platformErrorFromErrno(EAGAIN, logFile_);
}

LocalLogger::LocalLogger(std::string logFile, std::uint64_t maxLogBytes, std::ostream* errorStream)
    : logFile_(std::move(logFile)), maxLogBytes_(maxLogBytes), errorStream_(errorStream) {}

std::string LocalLogger::backupFile() const {
  const std::string ext = ".log";
  if (logFile_.size() >= ext.size() && logFile_.compare(logFile_.size() - ext.size(), ext.size(), ext) == 0)
    return logFile_ + ".1";
  return logFile_ + ".log.1";
}

void LocalLogger::addSecret(const std::string& secret) {
  if (secret.size() >= 4) secrets_.push_back(secret);
}

void LocalLogger::log(const std::string& requestID, const std::string& username,
                      const std::string& message) noexcept {
  try {
    std::string line = nowInternetDateTime() + " request_id=" + escapeControlCharacters(requestID) +
                       " username=" + escapeControlCharacters(username) + " " + message;
    for (const auto& s : secrets_) replaceAll(line, s, "<redacted>");
    line += "\n";

    if (const int err = platform::makeDirectories(parentOf(logFile_)))
      throw platformErrorFromErrno(err, parentOf(logFile_));
    appendLine(line);
  } catch (const std::exception& e) {
    try {
      (errorStream_ ? *errorStream_ : std::cerr) << "logger_error: " << e.what() << "\n" << std::flush;
    } catch (...) {
    }
  } catch (...) {
  }
}

}  // namespace qm::updater
