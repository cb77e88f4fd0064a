#include "json_body.h"

namespace qm::service {

namespace {
struct TooDeep {};
}  // namespace

std::optional<nlohmann::json> readJsonBody(std::string_view body, const JsonHook& hook) noexcept {
  using Event = nlohmann::json::parse_event_t;
  try {
    // The parser reports the depth of a container as it starts (0 for the outermost); stopping
    // there leaves nothing deeper built.
    nlohmann::json value = nlohmann::json::parse(
        body,
        [&hook](int depth, Event event, nlohmann::json& parsed) {
          if ((event == Event::object_start || event == Event::array_start) && depth >= kMostJsonDepth) throw TooDeep{};
          return hook ? hook(depth, event, parsed) : true;
        },
        false);
    if (value.is_discarded()) return std::nullopt;
    return value;
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace qm::service
