// A parameter's identifier and current value, detached from the parameter (for the saved state
// and for host queries). Each typed getter answers true and writes only for the holder's own type.
#pragma once

#include "AAX.h"
#include "AAX_IString.h"

class AAX_IParameterValue {
public:
  virtual ~AAX_IParameterValue() = default;
  virtual AAX_IParameterValue* Clone() const = 0;
  virtual AAX_CParamID Identifier() const = 0;
  virtual bool GetValueAsBool(bool* value) const = 0;
  virtual bool GetValueAsInt32(int32_t* value) const = 0;
  virtual bool GetValueAsFloat(float* value) const = 0;
  virtual bool GetValueAsDouble(double* value) const = 0;
  virtual bool GetValueAsString(AAX_IString* value) const = 0;
};
