// Text of a two-state parameter: one text for false, one for true, and optional shorter
// pairs for narrow displays.
#pragma once

#include "AAX_IDisplayDelegate.h"

#include <algorithm>
#include <vector>

template <typename T>
class AAX_CBinaryDisplayDelegate : public AAX_IDisplayDelegate<T> {
public:
  struct StringTable {
    int32_t mStringSize;  // length given by the caller
    AAX_CString mFalseString;
    AAX_CString mTrueString;
  };

  AAX_CBinaryDisplayDelegate(const char* falseString, const char* trueString)
      : mFalseString(falseString), mTrueString(trueString),
        mMaxStrLength(std::max(mFalseString.Length(), mTrueString.Length())) {}

  AAX_CBinaryDisplayDelegate* Clone() const override { return new AAX_CBinaryDisplayDelegate(*this); }

  bool ValueToString(T value, AAX_CString* valueString) const override {
    if (!valueString) return false;
    *valueString = value ? mTrueString : mFalseString;
    return true;
  }

  // The full text when it fits or no shorter pair exists; otherwise the longest shorter pair
  // that fits, or the shortest pair when none fits.
  bool ValueToString(T value, int32_t maxNumChars, AAX_CString* valueString) const override {
    if (!valueString) return false;
    if (mShortenedStrings.empty()) return ValueToString(value, valueString);
    const uint32_t wanted = maxNumChars < 0 ? 0u : static_cast<uint32_t>(maxNumChars);
    if (wanted >= mMaxStrLength) return ValueToString(value, valueString);
    const StringTable* chosen = &mShortenedStrings.front();
    for (auto it = mShortenedStrings.rbegin(); it != mShortenedStrings.rend(); ++it) {
      if (it->mStringSize <= static_cast<int64_t>(wanted)) {
        chosen = &*it;
        break;
      }
    }
    *valueString = value ? chosen->mTrueString : chosen->mFalseString;
    return true;
  }

  // Only the full texts are recognised, byte for byte; anything else writes false and answers false.
  bool StringToValue(const AAX_CString& valueString, T* value) const override {
    if (!value) return false;
    if (valueString == mTrueString) {
      *value = T(true);
      return true;
    }
    if (valueString == mFalseString) {
      *value = T(false);
      return true;
    }
    *value = T(false);
    return false;
  }

  virtual void AddShortenedStrings(const char* falseString, const char* trueString, int32_t strLength) {
    mShortenedStrings.push_back(StringTable{strLength, AAX_CString(falseString), AAX_CString(trueString)});
    std::stable_sort(mShortenedStrings.begin(), mShortenedStrings.end(),
                     [](const StringTable& a, const StringTable& b) { return a.mStringSize < b.mStringSize; });
  }

private:
  AAX_CString mFalseString;
  AAX_CString mTrueString;
  uint32_t mMaxStrLength;
  std::vector<StringTable> mShortenedStrings;
};
