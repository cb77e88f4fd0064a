#include "qm/platform/json.h"

namespace qm::platform {

std::optional<nlohmann::json> parseJsonObject(std::string_view bytes) noexcept {
  if (bytes.empty()) return std::nullopt;
  try {
    nlohmann::json parsed = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, /*allow_exceptions=*/false);
    if (parsed.is_discarded() || !parsed.is_object()) return std::nullopt;
    return parsed;
  } catch (...) {  // allocation failure
    return std::nullopt;
  }
}

}  // namespace qm::platform
