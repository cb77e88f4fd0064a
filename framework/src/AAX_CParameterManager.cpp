#include "AAX_CParameterManager.h"

#include <cstring>

AAX_CParameterManager::~AAX_CParameterManager() { RemoveAllParameters(); }

void AAX_CParameterManager::Initialize(AAX_IAutomationDelegate* automationDelegate) {
  mAutomationDelegate = automationDelegate;
}

void AAX_CParameterManager::AddParameter(AAX_IParameter* parameter) {
  if (!parameter) return;
  const std::string identifier = parameter->Identifier();
  if (mParametersMap.count(identifier) != 0) return;
  // Reserve first so that a failing allocation leaves the parameter with the caller.
  mParameters.reserve(mParameters.size() + 1);
  mParametersMap.emplace(identifier, parameter);
  mParameters.push_back(parameter);
  parameter->SetAutomationDelegate(mAutomationDelegate);
}

void AAX_CParameterManager::RemoveParameterByID(AAX_CParamID identifier) {
  const int32_t index = GetParameterIndex(identifier);
  if (index < 0) return;
  AAX_IParameter* parameter = mParameters[size_t(index)];
  mParameters.erase(mParameters.begin() + index);
  mParametersMap.erase(parameter->Identifier());
  delete parameter;  // its destructor unregisters it from the automation delegate
}

void AAX_CParameterManager::RemoveParameter(AAX_IParameter* parameter) {
  if (parameter) RemoveParameterByID(parameter->Identifier());
}

void AAX_CParameterManager::RemoveAllParameters() {
  for (AAX_IParameter* parameter : mParameters) delete parameter;
  mParameters.clear();
  mParametersMap.clear();
}

int32_t AAX_CParameterManager::NumParameters() const { return static_cast<int32_t>(mParameters.size()); }

AAX_IParameter* AAX_CParameterManager::GetParameter(int32_t index) {
  if (index < 0 || index >= NumParameters()) return nullptr;
  return mParameters[size_t(index)];
}

const AAX_IParameter* AAX_CParameterManager::GetParameter(int32_t index) const {
  return const_cast<AAX_CParameterManager*>(this)->GetParameter(index);
}

AAX_IParameter* AAX_CParameterManager::GetParameterByID(AAX_CParamID identifier) {
  if (!identifier) return nullptr;
  auto it = mParametersMap.find(identifier);
  return it == mParametersMap.end() ? nullptr : it->second;
}

const AAX_IParameter* AAX_CParameterManager::GetParameterByID(AAX_CParamID identifier) const {
  return const_cast<AAX_CParameterManager*>(this)->GetParameterByID(identifier);
}

int32_t AAX_CParameterManager::GetParameterIndex(AAX_CParamID identifier) const {
  if (!identifier) return -1;
  for (size_t i = 0; i < mParameters.size(); ++i) {
    if (std::strcmp(mParameters[i]->Identifier(), identifier) == 0) return static_cast<int32_t>(i);
  }
  return -1;
}

AAX_IParameter* AAX_CParameterManager::GetParameterByName(const char* name) {
  const AAX_CString wanted(name);
  for (AAX_IParameter* parameter : mParameters) {
    if (parameter->Name() == wanted) return parameter;
  }
  return nullptr;
}

const AAX_IParameter* AAX_CParameterManager::GetParameterByName(const char* name) const {
  return const_cast<AAX_CParameterManager*>(this)->GetParameterByName(name);
}
