#include "AAX_CheckedResult.h"

#include "AAX_CHostServices.h"
#include "AAX_Exception.h"

AAX_CheckedResult::AAX_CheckedResult() = default;

AAX_CheckedResult::AAX_CheckedResult(AAX_Result result) : mCurrent(result) { Check(); }

AAX_CheckedResult& AAX_CheckedResult::operator=(AAX_Result result) {
  mCurrent = result;
  Check();
  return *this;
}

void AAX_CheckedResult::Initialize() { ResetAcceptedResults(); }

void AAX_CheckedResult::ResetAcceptedResults() {
  mAccepted.clear();
  mAccepted.insert(0);
}

void AAX_CheckedResult::Check() {
  if (mAccepted.count(mCurrent) != 0) return;
  const AAX::Exception::ResultError error(mCurrent);
  mLastError = mCurrent;
  mCurrent = 0;
  AAX_CHostServices::Trace(AAX_eTracePriorityHost_Normal, "AAX_CheckedResult - throwing %s", error.What().c_str());
  throw AAX::Exception::ResultError(error);
}
