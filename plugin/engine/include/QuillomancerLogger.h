#pragma once
// The plug-in's log: one UTF-8 text file, $HOME/Library/Logs/Quillomancer/quillomancer.log,
// written by every part of the plug-in and read back for Send Log. A message is one line
// "[yyyy-MM-dd HH:mm:ss] message". No levels. Nothing waits in memory: a line is in the file when
// logMessage returns, so a process that a signal ends a moment later (a host stopped with SIGTERM,
// a crash) has lost none of the lines it logged, the render pass's line per window included. A
// file of 1 MiB or more is deleted before the next line (no rotation). The file stays open for
// appending; its size is taken from the open file, and a file deleted under it is made anew.
// Only a regular file at the log's path is written or read, and never through a link: a link
// there is replaced by a new log (what it points to is left untouched), and a folder, FIFO or
// device there leaves the plug-in without a log instead of holding it up.

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

class QuillomancerLogger {
 public:
  // The banner text that starts every session's first line.
  static constexpr std::string_view kSessionBanner = "════ Quillomancer session start ════";
  static constexpr std::uint64_t kMaxLogBytes = 1048576;     // at or above: deleted before the next line
  static constexpr std::uint64_t kUploadTailBytes = 262144;  // the most getLogContents returns

  // The one shared logger, created on first use (thread-safe); its folder is taken from $HOME
  // at that moment.
  // [any-thread]
  static QuillomancerLogger& shared();

  // A logger writing to <folder>/quillomancer.log (the folder is created if missing); appends the
  // session banner. An empty folder gives a logger that writes and reads nothing.
  // [any-thread]
  explicit QuillomancerLogger(const std::string& folder);

  // Writes the lines still waiting and closes the file.
  ~QuillomancerLogger();
  QuillomancerLogger(const QuillomancerLogger&) = delete;
  QuillomancerLogger& operator=(const QuillomancerLogger&) = delete;

  // Appends "[local time] message\n" under the lock. A null message is ignored.
  // [any-thread]
  void logMessage(const char* message) noexcept;
  void logMessage(std::string_view message) noexcept;

  // Appends the text as is. [any-thread]
  void appendString(std::string_view text) noexcept;

  // The log for upload: the whole file when it is at most 256 KiB, else its last 256 KiB from the
  // line of the first session banner in them (the whole file when there is none). Nothing when
  // there is no log path or the file cannot be read.
  // [any-thread]
  std::optional<std::string> getLogContents() noexcept;

  const std::string& logPath() const { return logPath_; }

  // Test hook: every message given to logMessage is also handed here, without the timestamp
  // (an empty function removes the observer). [any-thread]
  void setMessageObserver(std::function<void(const std::string&)> observer);

  // The default folder: $HOME/Library/Logs/Quillomancer.
  // [any-thread]
  static std::string defaultFolder();

 private:
  // All under lock_.
  void appendLocked(std::string_view text);
  bool openLocked();
  bool checkFileLocked();
  void restartFileLocked();
  void writeLocked(std::string_view bytes);
  const std::string& stampLocked(std::int64_t now);

  std::mutex lock_;
  std::string logPath_;
  int fd_ = -1;
  std::uint64_t fileBytes_ = 0;  // the file's size as of the last write or check
  std::int64_t stampSecond_ = -1;
  std::string stamp_;
  std::mutex observerLock_;
  std::function<void(const std::string&)> observer_;
};

// Formats a message printf-style and logs it through the shared logger. [any-thread]
void QMLogFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The render pass's line for one window, "  Render window: hostLocation=%lld localStart=%lld
// size=%d". [any-thread]
void QMLogRenderWindow(std::int64_t hostLocation, std::int64_t localStart, std::int32_t size);

// The part of `text` that getLogContents hands out (exposed for tests and the settings card).
// [any-thread]
std::string QMLogUploadSlice(const std::string& text);
