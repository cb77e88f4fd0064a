#pragma once
// The one way the stand-in reads a JSON request body: nlohmann's parser, never throwing, with
// nesting bounded before any value is built deeper than that (a value nested a hundred thousand
// levels deep would otherwise be copied and dumped recursively, and overflow the stack).

#include <nlohmann/json.hpp>

#include <functional>
#include <optional>
#include <string_view>

namespace qm::service {

// Arrays and objects inside one another, the outermost counted as 1.
inline constexpr int kMostJsonDepth = 64;

// Called for every event of the parser, as nlohmann's parser callback (false drops the value).
using JsonHook = std::function<bool(int depth, nlohmann::json::parse_event_t event, nlohmann::json& parsed)>;

// [any-thread] The body's value; none when it is not JSON, nests deeper than kMostJsonDepth, or
// `hook` throws.
std::optional<nlohmann::json> readJsonBody(std::string_view body, const JsonHook& hook = nullptr) noexcept;

}  // namespace qm::service
