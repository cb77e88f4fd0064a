#pragma once
// Fixture pieces of the client tests: a temporary HOME and a record of the plug-in log's messages.

#include "QuillomancerLogger.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace qmtest {

// Points HOME at a fresh folder under the temporary folder while it lives; then the old HOME
// (or none) comes back and the folder is removed.
class ScopedTemporaryHome {
 public:
  ScopedTemporaryHome() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qm-client-home-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return;
    path_ = pattern;
    if (const char* old = std::getenv("HOME")) saved_ = old;
    setenv("HOME", path_.c_str(), 1);
  }
  ~ScopedTemporaryHome() {
    if (path_.empty()) return;
    if (saved_)
      setenv("HOME", saved_->c_str(), 1);
    else
      unsetenv("HOME");
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScopedTemporaryHome(const ScopedTemporaryHome&) = delete;
  ScopedTemporaryHome& operator=(const ScopedTemporaryHome&) = delete;

  // Empty when no folder could be made (HOME is then left alone).
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::optional<std::string> saved_;
};

// Records every message given to the shared plug-in log while it lives.
class LogCapture {
 public:
  LogCapture() {
    QuillomancerLogger::shared().setMessageObserver([this](const std::string& m) {
      std::lock_guard<std::mutex> lock(mutex_);
      messages_.push_back(m);
    });
  }
  ~LogCapture() { QuillomancerLogger::shared().setMessageObserver(nullptr); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<std::string> messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }
  bool contains(const std::string& message) const {
    const auto all = messages();
    return std::find(all.begin(), all.end(), message) != all.end();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> messages_;
};

}  // namespace qmtest
