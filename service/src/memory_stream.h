// A connection's bytes held in memory, for running the HTTP library's own request reading
// without a socket: a request head, then a body, read in order; what is written goes nowhere.
#pragma once

#include <httplib.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace qm::service {

class MemoryStream final : public httplib::Stream {
 public:
  // Both texts must outlive the stream.
  MemoryStream(std::string_view head, std::string_view body) : head_(head), body_(body) {}

  bool is_readable() const override { return true; }
  bool is_writable() const override { return true; }
  ssize_t read(char* ptr, size_t size) override {
    const std::string_view from = at_ < head_.size() ? head_ : body_;
    const size_t offset = at_ < head_.size() ? at_ : at_ - head_.size();
    const size_t n = std::min(size, from.size() - offset);
    if (n > 0) std::memcpy(ptr, from.data() + offset, n);  // an empty view may hold no pointer
    at_ += n;
    return ssize_t(n);
  }
  ssize_t write(const char*, size_t size) override { return ssize_t(size); }
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    ip = "127.0.0.1";
    port = 0;
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    ip = "127.0.0.1";
    port = 0;
  }
  socket_t socket() const override { return INVALID_SOCKET; }
  // How many bytes the reader has taken so far.
  size_t at() const { return at_; }

 private:
  std::string_view head_;
  std::string_view body_;
  size_t at_ = 0;
};

}  // namespace qm::service
