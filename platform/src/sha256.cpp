#include "qm/platform/sha256.h"

#include <cerrno>
#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>
#include <vector>

namespace qm::platform {

struct Sha256::Context {
  EVP_MD_CTX* ctx = nullptr;
  ~Context() { EVP_MD_CTX_free(ctx); }
};

Sha256::Sha256() : context_(new (std::nothrow) Context) {
  if (!context_) return;
  context_->ctx = EVP_MD_CTX_new();
  ok_ = context_->ctx && EVP_DigestInit_ex(context_->ctx, EVP_sha256(), nullptr) == 1;
}

Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::update(const void* data, size_t size) {
  if (!ok_ || size == 0) return;
  ok_ = EVP_DigestUpdate(context_->ctx, data, size) == 1;
}

Sha256Digest Sha256::finish() {
  Sha256Digest out{};
  if (!ok_) return out;
  unsigned int len = 0;
  ok_ = EVP_DigestFinal_ex(context_->ctx, out.data(), &len) == 1 && len == out.size();
  if (ok_) ok_ = EVP_DigestInit_ex(context_->ctx, EVP_sha256(), nullptr) == 1;
  return out;
}

std::string Sha256::finishHex() { return toHex(finish()); }

std::string toHex(const void* bytes, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  const auto* b = static_cast<const unsigned char*>(bytes);
  std::string s;
  s.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    s.push_back(kDigits[b[i] >> 4]);
    s.push_back(kDigits[b[i] & 0x0f]);
  }
  return s;
}

std::string sha256Hex(std::string_view bytes) {
  Sha256 h;
  h.update(bytes);
  return h.finishHex();
}

bool sha256Descriptor(int fd, std::string& hexOut, int* error, unsigned long long* bytes) {
  hexOut.clear();
  auto fail = [&](int e) {
    if (error) *error = e;
    return false;
  };
  Sha256 h;
  if (!h.ok()) return fail(EIO);
  std::vector<unsigned char> buf(1u << 20);
  unsigned long long total = 0;
  for (;;) {
    const ssize_t n = ::read(fd, buf.data(), buf.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errno);
    }
    if (n == 0) break;
    h.update(buf.data(), static_cast<size_t>(n));
    total += static_cast<unsigned long long>(n);
  }
  std::string hex = h.finishHex();
  if (!h.ok()) return fail(EIO);
  hexOut = std::move(hex);
  if (bytes) *bytes = total;
  if (error) *error = 0;
  return true;
}

bool sha256File(const std::string& path, std::string& hexOut, int* error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    hexOut.clear();
    if (error) *error = errno;
    return false;
  }
  const bool hashed = sha256Descriptor(fd, hexOut, error);
  ::close(fd);
  return hashed;
}

}  // namespace qm::platform
