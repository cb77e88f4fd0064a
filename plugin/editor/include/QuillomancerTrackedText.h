#pragma once
// Word diff of the transcript editor: the edited line against the line it came from, as an
// ordered list of kept, removed and inserted runs. Units are maximal runs of ASCII whitespace
// (space, tab, LF, CR) and maximal runs of everything else, compared byte for byte.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace QuillomancerTrackedText {

enum class SegmentKind : std::int32_t {
  kKept = 0,      // in both texts
  kRemoved = 1,   // only in the reference text
  kInserted = 2,  // only in the edited text
};

struct Segment {
  SegmentKind kind = SegmentKind::kKept;
  std::string text;  // UTF-8, never empty

  friend bool operator==(const Segment&, const Segment&) = default;
};

// A view into the text it was cut from.
struct Unit {
  std::string_view text;
};

// Kept + removed segments concatenate to `reference`, kept + inserted ones to `edited`; no two
// neighbouring segments share a kind. Pure; time grows with the product of the unit counts over
// 64 (one bit per unit pair; the editor holds its texts to 200 characters).
// [any-thread]
std::vector<Segment> BuildSegments(const std::string& reference, const std::string& edited);

}  // namespace QuillomancerTrackedText
