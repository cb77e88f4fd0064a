// A name and its abbreviations, one per length.
#pragma once

#include "AAX_CString.h"

#include <map>

class AAX_CStringAbbreviations {
public:
  explicit AAX_CStringAbbreviations(const AAX_CString& primary = AAX_CString()) : mPrimary(primary) {}

  void SetPrimary(const AAX_CString& primary) { mPrimary = primary; }
  const AAX_CString& Primary() const { return mPrimary; }
  // Stores the abbreviation under its own length, replacing one of the same length.
  void Add(const AAX_CString& abbreviation);
  void Clear() { mAbbreviations.clear(); }
  // The primary when it fits in `numChars`, for a negative count or without abbreviations;
  // else the longest abbreviation that fits, or the shortest when none does.
  const AAX_CString& Get(int32_t numChars) const;

private:
  AAX_CString mPrimary;
  std::map<uint32_t, AAX_CString> mAbbreviations;
};
