#pragma once
// SHA-256 over OpenSSL's EVP interface, fed in pieces (while a download streams) or over a file.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace qm::platform {

using Sha256Digest = std::array<std::uint8_t, 32>;

class Sha256 {
 public:
  Sha256();  // never throws; a context that could not be made reports ok() == false
  ~Sha256();
  Sha256(Sha256&&) noexcept;
  Sha256& operator=(Sha256&&) noexcept;
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  bool ok() const { return ok_; }
  void update(const void* data, size_t size);
  void update(std::string_view bytes) { update(bytes.data(), bytes.size()); }
  // Ends the digest; the object then starts over for a new one.
  Sha256Digest finish();
  // finish() as 64 lowercase hexadecimal digits.
  std::string finishHex();

 private:
  struct Context;
  std::unique_ptr<Context> context_;
  bool ok_ = false;
};

// Lowercase hexadecimal text of bytes ("%02x" per byte, no separators).
std::string toHex(const void* bytes, size_t size);
inline std::string toHex(const Sha256Digest& digest) { return toHex(digest.data(), digest.size()); }

// Digest of a byte string, as lowercase hexadecimal text.
std::string sha256Hex(std::string_view bytes);

// Digest of a file, read in blocks (never held whole). On failure returns false with the errno
// of the step that failed in *error (EIO when the digest itself failed).
// [any-thread]
bool sha256File(const std::string& path, std::string& hexOut, int* error = nullptr);

// The same for what an open descriptor holds from its offset to its end; the number of bytes
// read goes to *bytes. The descriptor stays open.
// [any-thread]
bool sha256Descriptor(int fd, std::string& hexOut, int* error = nullptr, unsigned long long* bytes = nullptr);

}  // namespace qm::platform
