// The words a Repair session paints, by where they stand in the line: what it reports and the
// check of what the window painted against what was asked.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qm::host::cli {

// A word of the line: its UTF-16 units [at, end).
struct WordPlace {
  size_t at = 0, end = 0;
  bool operator==(const WordPlace&) const = default;
  auto operator<=>(const WordPlace&) const = default;
};

// `"the" (character 1), "the" (character 25)`: each word with the place of its first character
// as a person counts them (whole characters, from 1); "nothing" for none.
std::string DescribePlaces(const std::u16string& line, const std::vector<WordPlace>& places);

// What is wrong with the words painted in the line against the words asked (found at `asked`,
// and `missing`, not in the line at all), or nothing. A word painted at another place of the
// same word is wrong.
std::optional<std::string> PaintingProblem(const std::u16string& line, std::vector<WordPlace> painted,
                                           std::vector<WordPlace> asked, const std::vector<std::string>& missing);

}  // namespace qm::host::cli
