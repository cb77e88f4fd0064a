#pragma once
// Comparison of plug-in version texts: a dotted run of numbers, then an optional free-form
// suffix. Leading bytes before the first digit are skipped ("v2.0.3"), missing or empty parts
// count as 0, and a version with a suffix sorts after the same version without one
// ("2.0.2-beta" is newer than "2.0.2").

#include <string>
#include <string_view>
#include <vector>

// The segments of `text` between `separator` bytes, in order; always at least one (an empty
// text gives one empty segment, adjacent separators an empty one between them).
// [any-thread]
std::vector<std::string> QMSplitString(std::string_view text, char separator);

// -1 when `a` is older than `b`, 0 when they are the same version, 1 when `a` is newer.
// [any-thread]
int QMCompareVersionWithSuffix(std::string_view a, std::string_view b);
