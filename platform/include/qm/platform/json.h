#pragma once
// Reading outside JSON (service answers, store blocks) without exceptions.

#include <optional>
#include <string_view>

#include <nlohmann/json.hpp>

namespace qm::platform {

// The top-level JSON object of `bytes`, or nothing: empty input, a parse error (ill-formed UTF-8
// included) or a top level that is not an object. Never throws. [any-thread]
std::optional<nlohmann::json> parseJsonObject(std::string_view bytes) noexcept;

}  // namespace qm::platform
