// The account desk's reading of an account-status body, in process: whatever the body, the answer
// is 200, 400 or 413 with a JSON object, nothing nests past the bound, and the events kept and the
// ids acknowledged stay within theirs.

#include "account_desk.h"
#include "json_body.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

// The deepest nesting of a value, walked without recursion.
int depthOf(const nlohmann::json& value) {
  std::vector<std::pair<const nlohmann::json*, int>> left{{&value, 1}};
  int deepest = 0;
  while (!left.empty()) {
    const auto [v, depth] = left.back();
    left.pop_back();
    if (!v->is_structured()) continue;
    deepest = std::max(deepest, depth);
    for (const auto& child : *v) left.push_back({&child, depth + 1});
  }
  return deepest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static qm::service::AccountDesk desk;
  const std::string body(reinterpret_cast<const char*>(data), size);
  const auto reply = desk.answer("token", body, 7);
  if (reply.status != 200 && reply.status != 400 && reply.status != 413) __builtin_trap();
  const auto answer = nlohmann::json::parse(reply.body, nullptr, false);
  if (!answer.is_object()) __builtin_trap();
  if (answer.value("acked_event_ids", nlohmann::json::array()).size() > qm::service::kMostAckedEventIds) __builtin_trap();
  const std::string kept = desk.receivedEvents();
  if (kept.size() > qm::service::kMostReceivedEventBytes + qm::service::kMostReceivedEvents + 2) __builtin_trap();
  const auto events = nlohmann::json::parse(kept, nullptr, false);
  if (!events.is_array() || events.size() > qm::service::kMostReceivedEvents) __builtin_trap();

  // Read whole (nothing streamed), the body nests no deeper than the bound, and is too large, or
  // an object exactly when the desk took it.
  const auto read = qm::service::readJsonBody(body);
  if (read.value && depthOf(*read.value) > qm::service::kMostJsonDepth) __builtin_trap();
  if (!read.tooLarge && (reply.status == 200) != (read.value && read.value->is_object())) __builtin_trap();
  if ((reply.status == 413) && !read.tooLarge) __builtin_trap();
  return 0;
}
