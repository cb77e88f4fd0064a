// The service's multipart reader on any body: the first line of the input is the boundary, the
// rest the body. Whatever it is, the reader answers without crashing, keeps no more parts than
// its bound, and hands back no more content than the body held.

#include "multipart_reader.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t line = input.find('\n');
  const std::string boundary = input.substr(0, std::min(line, size_t(70)));
  const std::string body = line == std::string::npos ? std::string() : input.substr(line + 1);
  std::vector<qm::service::RecordedPart> parts;
  const auto read = qm::service::readMultipart(body, "multipart/form-data; boundary=" + boundary, parts);
  if (read != qm::service::Multipart::Read && !parts.empty()) __builtin_trap();
  if (parts.size() > qm::service::kMostParts) __builtin_trap();
  size_t content = 0;
  for (const auto& p : parts) content += p.content.size();
  if (content > body.size()) __builtin_trap();
  return 0;
}
