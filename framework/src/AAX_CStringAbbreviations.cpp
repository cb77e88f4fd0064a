#include "AAX_CStringAbbreviations.h"

#include <iterator>

void AAX_CStringAbbreviations::Add(const AAX_CString& abbreviation) {
  mAbbreviations[abbreviation.Length()] = abbreviation;
}

const AAX_CString& AAX_CStringAbbreviations::Get(int32_t numChars) const {
  if (numChars < 0 || mAbbreviations.empty() || static_cast<uint32_t>(numChars) >= mPrimary.Length())
    return mPrimary;
  auto it = mAbbreviations.upper_bound(static_cast<uint32_t>(numChars));
  if (it == mAbbreviations.begin()) return it->second;  // every abbreviation is longer: the shortest
  return std::prev(it)->second;
}
