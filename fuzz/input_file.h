#pragma once
// For targets that read their input from a file, as the code under test does: one file per
// process under /tmp, rewritten for every input and removed at exit.

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

// The file's path; `name` is used only the first time, to name it.
inline const std::string& InputFilePath(const char* name) {
  static const std::string path = [name] {
    std::string pattern = std::string("/tmp/") + name + "-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) std::abort();
    ::close(fd);
    return pattern;
  }();
  static const bool removedAtExit = std::atexit([] { ::unlink(path.c_str()); }) == 0;
  (void)removedAtExit;
  return path;
}

// Writes the input as the whole file and answers its path.
inline const std::string& WriteInputFile(const char* name, const uint8_t* data, size_t size) {
  const std::string& path = InputFilePath(name);
  const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) std::abort();
  for (size_t done = 0; done < size;) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) std::abort();
    done += size_t(n);
  }
  ::close(fd);
  return path;
}
