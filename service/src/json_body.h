#pragma once
// The one way the stand-in reads a JSON request body: nlohmann's parser driven event by event,
// never throwing, building no more than a bound allows. A parsed value costs many times its text
// (an array of one-digit numbers about sixteen times), so the values a body may build are counted
// and the body is refused once it passes their bound, before more is built; nesting is bounded
// before anything deeper is built (a value nested a hundred thousand levels deep would otherwise
// be copied and dumped recursively, and overflow the stack).

#include <nlohmann/json.hpp>

#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>

namespace qm::service {

// Arrays and objects inside one another, the outermost counted as 1.
inline constexpr int kMostJsonDepth = 64;
// Values (scalars, arrays and objects; not keys) in the value read, and in each streamed element.
inline constexpr size_t kMostJsonValues = 10000;

// One member of the outermost object whose value, an array, is read an element at a time: each
// element is handed to `take` as soon as it is whole and is not kept in the value read (which
// holds the array empty). An element of more than kMostJsonValues values, or of more than
// `mostElementBytes` of text (its strings and keys by their length, each scalar at least one
// byte), is dropped while it is read: what it built is let go and it is not handed over.
struct JsonStream {
  std::string_view member;
  size_t mostElementBytes = 0;
  std::function<void(nlohmann::json&& element)> take;
};

// The message of the 413 answer to a body of more values than that.
inline constexpr const char* kTooManyValues = "The request body holds too many values.";

struct JsonBody {
  std::optional<nlohmann::json> value;  // none when not JSON, nested too deep, or too large
  bool tooLarge = false;                // more than kMostJsonValues values outside the stream
};

// [any-thread] The body's value, read as above; none also when `take` throws.
JsonBody readJsonBody(std::string_view body, const JsonStream* stream = nullptr) noexcept;

}  // namespace qm::service
