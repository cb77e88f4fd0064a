// A parameter's identifier (at most 31 characters) and a value of type T.
#pragma once

#include "AAX_CHostServices.h"
#include "AAX_CString.h"
#include "AAX_IParameterValue.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

enum : uint32_t { eParameterDefaultMaxIdentifierSize = 32 };

template <typename T>
class AAX_CParameterValue : public AAX_IParameterValue {
public:
  explicit AAX_CParameterValue(AAX_CParamID identifier) : mValue() { InitIdentifier(identifier); }
  AAX_CParameterValue(AAX_CParamID identifier, const T& value) : mValue(value) { InitIdentifier(identifier); }
  AAX_CParameterValue(const AAX_CParameterValue& other) : AAX_IParameterValue(), mValue(other.mValue) {
    InitIdentifier(other.mIdentifier);
  }
  AAX_CParameterValue& operator=(const AAX_CParameterValue&) = delete;

  AAX_CParameterValue* Clone() const override { return new AAX_CParameterValue(*this); }
  AAX_CParamID Identifier() const override { return mIdentifier; }

  bool GetValueAsBool(bool* value) const override { return GetAs<bool>(value); }
  bool GetValueAsInt32(int32_t* value) const override { return GetAs<int32_t>(value); }
  bool GetValueAsFloat(float* value) const override { return GetAs<float>(value); }
  bool GetValueAsDouble(double* value) const override { return GetAs<double>(value); }
  bool GetValueAsString(AAX_IString* value) const override {
    if constexpr (std::is_same_v<T, AAX_CString>) {
      if (!value) return false;
      value->Set(mValue.Get());
      return true;
    } else {
      (void)value;
      return false;
    }
  }

  const T& Get() const { return mValue; }
  void Set(const T& value) { mValue = value; }

private:
  template <typename U>
  bool GetAs(U* out) const {
    if constexpr (std::is_same_v<T, U>) {
      if (!out) return false;
      *out = mValue;
      return true;
    } else {
      (void)out;
      return false;
    }
  }

  // Copies at most 31 characters; a longer identifier is reported and cut.
  void InitIdentifier(const char* identifier) {
    const char* id = identifier ? identifier : "";
    const size_t len = std::strlen(id);
    AAX_ASSERT(len < eParameterDefaultMaxIdentifierSize);
    const size_t kept = std::min<size_t>(len, eParameterDefaultMaxIdentifierSize - 1);
    std::memcpy(mIdentifier, id, kept);
    mIdentifier[kept] = '\0';
  }

  char mIdentifier[eParameterDefaultMaxIdentifierSize];
  T mValue;
};
