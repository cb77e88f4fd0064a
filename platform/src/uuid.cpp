#include "qm/platform/uuid.h"

#include <cctype>
#include <cstdio>
#include <random>
#include <sys/random.h>

namespace qm::platform {

namespace {

void fillRandom(unsigned char (&bytes)[16]) {
  size_t done = 0;
  while (done < sizeof bytes) {
    const ssize_t n = ::getrandom(bytes + done, sizeof bytes - done, 0);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  if (done == sizeof bytes) return;
  std::random_device rd;
  for (auto& b : bytes) b = static_cast<unsigned char>(rd());
}

}  // namespace

std::string randomUuidString(bool upperCase) {
  unsigned char b[16];
  fillRandom(b);
  b[6] = static_cast<unsigned char>((b[6] & 0x0f) | 0x40);  // version 4
  b[8] = static_cast<unsigned char>((b[8] & 0x3f) | 0x80);  // RFC 4122 variant
  const char* format = upperCase
                           ? "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X"
                           : "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x";
  char text[37];
  std::snprintf(text, sizeof text, format, b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9],
                b[10], b[11], b[12], b[13], b[14], b[15]);
  return text;
}

bool isUuidText(const std::string& text) noexcept {
  if (text.size() != 36) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

}  // namespace qm::platform
