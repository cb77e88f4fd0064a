#pragma once
// The request line and headers of one request, counted byte by byte exactly as cpp-httplib reads
// them, so that the bounds on them hold however the lines end. A line ends at "\n"; the first is
// the request line; the headers end only at a later line that is exactly "\r\n". A line of a bare
// "\n" does not end them (the library skips it), nor does one such as "\r\r\n" (read as a header).

#include <cstddef>

namespace qm::service {

inline constexpr size_t kMostHeaderLines = 100;               // header lines after the request line
inline constexpr size_t kMostHeaderBytes = size_t(64) << 10;  // the request line and headers, with the line that ends them

class HeaderCounter {
 public:
  // Takes the next bytes the library reads: how many of them are the head's (those up to the end
  // of the line that ends it; all of them before).
  size_t Feed(const char* bytes, size_t n) {
    size_t i = 0;
    while (i < n && !ended_) {
      const char c = bytes[i++];
      ++bytes_;
      ++lineBytes_;
      if (c == '\n') {
        if (lines_ > 0 && lineBytes_ == 2 && previous_ == '\r') {
          ended_ = true;
        } else {
          ++lines_;
        }
        lineBytes_ = 0;
      }
      previous_ = c;
    }
    return i;
  }

  bool Ended() const { return ended_; }
  // More header lines, or more bytes, than the bounds allow.
  bool TooLarge() const { return bytes_ > kMostHeaderBytes || lines_ > kMostHeaderLines + 1; }
  size_t Lines() const { return lines_; }  // whole lines so far, the request line counted, not the last
  size_t Bytes() const { return bytes_; }

 private:
  size_t bytes_ = 0;
  size_t lines_ = 0;
  size_t lineBytes_ = 0;
  char previous_ = 0;
  bool ended_ = false;
};

}  // namespace qm::service
