#include "repair_paint.h"

#include <algorithm>

#include "qm/platform/text.h"

namespace qm::host::cli {

namespace {

std::string Text(const std::u16string& line, const WordPlace& place) {
  return qm::platform::utf16ToUtf8(std::u16string_view(line).substr(place.at, place.end - place.at));
}

// The words as one quoted text, "nothing" for none.
std::string Listed(const std::vector<std::string>& words) {
  if (words.empty()) return "nothing";
  std::string joined;
  for (const auto& word : words) joined += (joined.empty() ? "" : " ") + word;
  return "\"" + joined + "\"";
}

}  // namespace

std::string DescribePlaces(const std::u16string& line, const std::vector<WordPlace>& places) {
  std::string out;
  for (const WordPlace& place : places) {
    size_t character = 1;
    for (size_t at = 0; at < place.at && at < line.size(); ++character) {
      at = std::max(at + 1, qm::platform::nextCharacterBoundary(line, at));
    }
    out += (out.empty() ? "" : ", ") + ("\"" + Text(line, place) + "\" (character " + std::to_string(character) + ")");
  }
  return out.empty() ? "nothing" : out;
}

std::optional<std::string> PaintingProblem(const std::u16string& line, std::vector<WordPlace> painted,
                                           std::vector<WordPlace> asked, const std::vector<std::string>& missing) {
  std::sort(painted.begin(), painted.end());
  std::sort(asked.begin(), asked.end());
  if (painted == asked && missing.empty()) return std::nullopt;
  std::vector<std::string> paintedWords, askedWords;
  for (const WordPlace& place : painted) paintedWords.push_back(Text(line, place));
  for (const WordPlace& place : asked) askedWords.push_back(Text(line, place));
  askedWords.insert(askedWords.end(), missing.begin(), missing.end());
  // The same words elsewhere in the line: their places tell them apart.
  if (paintedWords == askedWords) {
    return "the window painted " + DescribePlaces(line, painted) + " where " + DescribePlaces(line, asked) +
           " was asked";
  }
  return "the window painted " + Listed(paintedWords) + " where " + Listed(askedWords) + " was asked";
}

}  // namespace qm::host::cli
