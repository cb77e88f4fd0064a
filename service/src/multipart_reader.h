#pragma once
// cpp-httplib's multipart parser, run on the calling thread over a body already in memory: the
// body is handed to a private server object as a request of its own, through a stream that
// reads from memory, so no socket, port or other thread is involved.

#include "qm/service/service.h"

#include <cstddef>
#include <string>
#include <vector>

namespace qm::service {

// Bodies with more parts than this are not taken apart.
inline constexpr size_t kMostParts = 64;

enum class Multipart {
  Read,          // `parts` holds every part
  Refused,       // not a multipart body cpp-httplib accepts
  TooManyParts,  // more than kMostParts parts
};

// [any-thread] The parts of `body` (Content-Type `contentType`) in the order they came; none
// unless it is Read.
Multipart readMultipart(const std::string& body, const std::string& contentType, std::vector<RecordedPart>& parts);

}  // namespace qm::service
