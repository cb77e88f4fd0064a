// Turns a failing host answer into an exception: any result outside the accepted set
// (initially only 0) is traced and thrown as AAX::Exception::ResultError, and the holder
// goes back to 0 so it can take the next call.
#pragma once

#include "AAX.h"

#include <set>

class AAX_CheckedResult {
public:
  AAX_CheckedResult();
  AAX_CheckedResult(AAX_Result result);  // NOLINT: checks at once
  AAX_CheckedResult& operator=(AAX_Result result);
  operator AAX_Result() const { return mCurrent; }

  void Initialize();
  void ResetAcceptedResults();
  void Check();

  AAX_Result LastError() const { return mLastError; }

private:
  AAX_Result mCurrent = 0;
  AAX_Result mLastError = 0;
  std::set<AAX_Result> mAccepted{0};
};
