// Owns the parameters of the data-model component in the order they were added (that order is
// the index the host sees) and finds them by identifier, index and name.
#pragma once

#include "AAX_IParameter.h"

#include <map>
#include <string>
#include <vector>

class AAX_IAutomationDelegate;

class AAX_CParameterManager {
public:
  AAX_CParameterManager() = default;
  ~AAX_CParameterManager();
  AAX_CParameterManager(const AAX_CParameterManager&) = delete;
  AAX_CParameterManager& operator=(const AAX_CParameterManager&) = delete;

  // Parameters added from now on are registered with `automationDelegate` (null forgets it);
  // parameters already held keep the delegate they were given.
  void Initialize(AAX_IAutomationDelegate* automationDelegate);

  // Takes ownership of `parameter` unless it is null or its identifier is already held
  // (then it stays the caller's).
  void AddParameter(AAX_IParameter* parameter);
  void RemoveParameterByID(AAX_CParamID identifier);
  void RemoveParameter(AAX_IParameter* parameter);
  void RemoveAllParameters();

  int32_t NumParameters() const;
  AAX_IParameter* GetParameter(int32_t index);
  const AAX_IParameter* GetParameter(int32_t index) const;
  AAX_IParameter* GetParameterByID(AAX_CParamID identifier);
  const AAX_IParameter* GetParameterByID(AAX_CParamID identifier) const;
  // -1 for a null identifier or none held.
  int32_t GetParameterIndex(AAX_CParamID identifier) const;
  // The first parameter in add order whose primary name equals `name`.
  AAX_IParameter* GetParameterByName(const char* name);
  const AAX_IParameter* GetParameterByName(const char* name) const;

private:
  AAX_IAutomationDelegate* mAutomationDelegate = nullptr;
  std::vector<AAX_IParameter*> mParameters;
  std::map<std::string, AAX_IParameter*> mParametersMap;
};
