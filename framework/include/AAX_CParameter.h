// A parameter of value type T (bool, int32_t, float, double or AAX_CString) with owned copies of
// its taper and display delegates. While an automation delegate is set the parameter never
// changes its own value: SetValue sends a request to the host, and the value is stored only when
// the host answers through UpdateNormalizedValue.
#pragma once

#include "AAX_CParameterValue.h"
#include "AAX_CStringAbbreviations.h"
#include "AAX_IAutomationDelegate.h"
#include "AAX_IDisplayDelegate.h"
#include "AAX_IParameter.h"
#include "AAX_ITaperDelegate.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

template <typename T>
class AAX_CParameter : public AAX_IParameter {
public:
  AAX_CParameter(AAX_CParamID identifier, const AAX_IString& name, T defaultValue,
                 const AAX_ITaperDelegate<T>& taperDelegate, const AAX_IDisplayDelegate<T>& displayDelegate,
                 bool automatable)
      : mNames(AAX_CString(name)), mAutomatable(automatable), mTaperDelegate(taperDelegate.Clone()),
        mDisplayDelegate(displayDelegate.Clone()), mValue(identifier), mDefaultValue(defaultValue) {
    InitializeNumberOfSteps();
    SetToDefaultValue();
  }

  // A parameter whose delegates are given later (SetTaperDelegate, SetDisplayDelegate); until
  // then value changes do nothing, text operations answer false and normalised getters 0.0.
  AAX_CParameter(AAX_CParamID identifier, const AAX_IString& name, T defaultValue, bool automatable)
      : mNames(AAX_CString(name)), mAutomatable(automatable), mValue(identifier), mDefaultValue(defaultValue) {
    InitializeNumberOfSteps();
    SetToDefaultValue();
  }

  AAX_CParameter(const AAX_CParameter&) = delete;
  AAX_CParameter& operator=(const AAX_CParameter&) = delete;

  ~AAX_CParameter() override {
    SetAutomationDelegate(nullptr);  // the old delegate unregisters the identifier
    delete mTaperDelegate;
    delete mDisplayDelegate;
  }

  AAX_IParameterValue* CloneValue() const override { return mValue.Clone(); }
  AAX_CParamID Identifier() const override { return mValue.Identifier(); }

  void SetName(const AAX_CString& name) override {
    mNames.SetPrimary(name);
    if (mAutomationDelegate) mAutomationDelegate->ParameterNameChanged(Identifier());
  }
  const AAX_CString& Name() const override { return mNames.Primary(); }
  void AddShortenedName(const AAX_CString& name) override { mNames.Add(name); }
  const AAX_CString& ShortenedName(int32_t numCharacters) const override { return mNames.Get(numCharacters); }
  void ClearShortenedNames() override { mNames.Clear(); }
  bool Automatable() const override { return mAutomatable; }

  void SetAutomationDelegate(AAX_IAutomationDelegate* automationDelegate) override {
    if (mAutomationDelegate) mAutomationDelegate->UnregisterParameter(Identifier());
    mAutomationDelegate = automationDelegate;
    if (mAutomationDelegate) mAutomationDelegate->RegisterParameter(Identifier());
  }
  void Touch() override {
    if (mAutomationDelegate) mAutomationDelegate->PostTouchRequest(Identifier());
  }
  void Release() override {
    if (mAutomationDelegate) mAutomationDelegate->PostReleaseRequest(Identifier());
  }

  // Ordinary value operations.
  void SetValue(T value) {
    if (!mTaperDelegate) return;
    const double normalized = mTaperDelegate->RealToNormalized(value);
    if (mAutomationDelegate) {
      Touch();
      mAutomationDelegate->PostSetValueRequest(Identifier(), normalized);
      Release();
    } else {
      mNeedNotify = true;
      UpdateNormalizedValue(normalized);
    }
  }
  const T& GetValue() const { return mValue.Get(); }
  void SetDefaultValue(T value) {
    if (mTaperDelegate) mDefaultValue = mTaperDelegate->ConstrainRealValue(value);
  }
  const T& GetDefaultValue() const { return mDefaultValue; }

  void UpdateNormalizedValue(double normalizedValue) override {
    if (!mTaperDelegate) return;
    const T value = mTaperDelegate->NormalizedToReal(normalizedValue);
    if (!mNeedNotify && value == mValue.Get()) return;
    mValue.Set(value);
    if (mAutomationDelegate) mAutomationDelegate->PostCurrentValue(Identifier(), normalizedValue);
    mNeedNotify = false;
  }

  void SetNormalizedValue(double normalizedValue) override {
    if (mTaperDelegate) SetValue(mTaperDelegate->NormalizedToReal(normalizedValue));
  }
  double GetNormalizedValue() const override {
    return mTaperDelegate ? mTaperDelegate->RealToNormalized(mValue.Get()) : 0.0;
  }
  void SetNormalizedDefaultValue(double normalizedDefault) override {
    if (mTaperDelegate) SetDefaultValue(mTaperDelegate->NormalizedToReal(normalizedDefault));
  }
  double GetNormalizedDefaultValue() const override {
    return mTaperDelegate ? mTaperDelegate->RealToNormalized(mDefaultValue) : 0.0;
  }
  void SetToDefaultValue() override { SetValue(mDefaultValue); }

  void SetNumberOfSteps(uint32_t numSteps) override {
    AAX_ASSERT(0 < numSteps);
    if (numSteps > 0) mNumSteps = numSteps;
  }
  uint32_t GetNumberOfSteps() const override { return mNumSteps; }
  uint32_t GetStepValue() const override { return GetStepValueFromNormalizedValue(GetNormalizedValue()); }
  double GetNormalizedValueFromStep(uint32_t step) const override {
    const uint32_t n = GetNumberOfSteps();
    if (n < 2) return 0.0;
    return std::clamp(double(step) * (1.0 / double(n - 1)), 0.0, 1.0);
  }
  uint32_t GetStepValueFromNormalizedValue(double normalizedValue) const override {
    const uint32_t n = GetNumberOfSteps();
    if (n < 2) return 0;
    const double step = normalizedValue / (1.0 / double(n - 1)) + 0.5;
    if (std::isnan(step)) return 0;  // converting NaN to an integer is undefined
    return static_cast<uint32_t>(std::clamp(step, 0.0, double(n - 1)));
  }
  void SetStepValue(uint32_t step) override {
    if (GetNumberOfSteps() < 2) return;
    SetNormalizedValue(GetNormalizedValueFromStep(step));
  }

  bool GetValueString(AAX_CString* valueString) const override {
    return mDisplayDelegate && mDisplayDelegate->ValueToString(mValue.Get(), valueString);
  }
  bool GetValueString(int32_t maxNumChars, AAX_CString* valueString) const override {
    return mDisplayDelegate && mDisplayDelegate->ValueToString(mValue.Get(), maxNumChars, valueString);
  }

  bool GetNormalizedValueFromBool(bool value, double* normalizedValue) const override {
    return NormalizedFrom(value, normalizedValue);
  }
  bool GetNormalizedValueFromInt32(int32_t value, double* normalizedValue) const override {
    return NormalizedFrom(value, normalizedValue);
  }
  bool GetNormalizedValueFromFloat(float value, double* normalizedValue) const override {
    return NormalizedFrom(value, normalizedValue);
  }
  bool GetNormalizedValueFromDouble(double value, double* normalizedValue) const override {
    return NormalizedFrom(value, normalizedValue);
  }
  bool GetNormalizedValueFromString(const AAX_CString& valueString, double* normalizedValue) const override {
    if (!mTaperDelegate || !mDisplayDelegate || !normalizedValue) return false;
    T value{};
    if (!mDisplayDelegate->StringToValue(valueString, &value)) return false;
    *normalizedValue = mTaperDelegate->RealToNormalized(value);
    return true;
  }
  bool GetBoolFromNormalizedValue(double normalizedValue, bool* value) const override {
    return RealFrom(normalizedValue, value);
  }
  bool GetInt32FromNormalizedValue(double normalizedValue, int32_t* value) const override {
    return RealFrom(normalizedValue, value);
  }
  bool GetFloatFromNormalizedValue(double normalizedValue, float* value) const override {
    return RealFrom(normalizedValue, value);
  }
  bool GetDoubleFromNormalizedValue(double normalizedValue, double* value) const override {
    return RealFrom(normalizedValue, value);
  }
  // True only when the text was made and the value lies within the taper's range.
  bool GetStringFromNormalizedValue(double normalizedValue, AAX_CString& valueString) const override {
    if (!mTaperDelegate || !mDisplayDelegate) return false;
    const T value = mTaperDelegate->NormalizedToReal(normalizedValue);
    if (!mDisplayDelegate->ValueToString(value, &valueString)) return false;
    return InRange(value);
  }
  bool GetStringFromNormalizedValue(double normalizedValue, int32_t maxNumChars,
                                    AAX_CString& valueString) const override {
    if (!mTaperDelegate || !mDisplayDelegate) return false;
    const T value = mTaperDelegate->NormalizedToReal(normalizedValue);
    if (!mDisplayDelegate->ValueToString(value, maxNumChars, &valueString)) return false;
    return InRange(value);
  }
  bool SetValueFromString(const AAX_CString& valueString) override {
    if (!mDisplayDelegate) return false;
    T value{};
    if (!mDisplayDelegate->StringToValue(valueString, &value)) return false;
    SetValue(value);
    return true;
  }

  bool GetValueAsBool(bool* value) const override { return mValue.GetValueAsBool(value); }
  bool GetValueAsInt32(int32_t* value) const override { return mValue.GetValueAsInt32(value); }
  bool GetValueAsFloat(float* value) const override { return mValue.GetValueAsFloat(value); }
  bool GetValueAsDouble(double* value) const override { return mValue.GetValueAsDouble(value); }
  // A string parameter answers its value; the other types answer their display text.
  bool GetValueAsString(AAX_IString* value) const override {
    if constexpr (std::is_same_v<T, AAX_CString>) {
      return mValue.GetValueAsString(value);
    } else {
      if (!value) return false;
      AAX_CString text;
      const bool ok = GetValueString(&text);
      if (ok) value->Set(text.Get());
      return ok;
    }
  }
  bool SetValueWithBool(bool value) override { return SetWith(value); }
  bool SetValueWithInt32(int32_t value) override { return SetWith(value); }
  bool SetValueWithFloat(float value) override { return SetWith(value); }
  bool SetValueWithDouble(double value) override { return SetWith(value); }
  bool SetValueWithString(const AAX_IString& value) override {
    const AAX_CString text(value.Get());
    if constexpr (std::is_same_v<T, AAX_CString>) {
      SetValue(text);
      return true;
    } else {
      return SetValueFromString(text);
    }
  }

  void SetType(AAX_EParameterType type) override { mControlType = type; }
  AAX_EParameterType GetType() const override { return mControlType; }
  void SetOrientation(int32_t orientation) override { mOrientation = orientation; }
  int32_t GetOrientation() const override { return mOrientation; }

  // A delegate of another value type is ignored.
  void SetTaperDelegate(AAX_ITaperDelegateBase& taperDelegate, bool preserveValue) override {
    auto* typed = dynamic_cast<AAX_ITaperDelegate<T>*>(&taperDelegate);
    if (!typed) return;
    const bool hadTaper = mTaperDelegate != nullptr;
    const double oldNormalized = hadTaper ? GetNormalizedValue() : 0.0;
    AAX_ITaperDelegate<T>* replacement = typed->Clone();
    delete mTaperDelegate;
    mTaperDelegate = replacement;
    mNeedNotify = true;
    if (!hadTaper) SetToDefaultValue();
    else if (preserveValue) SetValue(mValue.Get());
    else UpdateNormalizedValue(oldNormalized);
  }
  void SetDisplayDelegate(AAX_IDisplayDelegateBase& displayDelegate) override {
    auto* typed = dynamic_cast<AAX_IDisplayDelegate<T>*>(&displayDelegate);
    if (!typed) return;
    AAX_IDisplayDelegate<T>* replacement = typed->Clone();
    delete mDisplayDelegate;
    mDisplayDelegate = replacement;
    if (mAutomationDelegate) mAutomationDelegate->PostCurrentValue(Identifier(), GetNormalizedValue());
  }

  const AAX_ITaperDelegate<T>* TaperDelegate() const { return mTaperDelegate; }
  const AAX_IDisplayDelegate<T>* DisplayDelegate() const { return mDisplayDelegate; }

private:
  void InitializeNumberOfSteps() {
    if (mNumSteps != 0) return;
    if (mControlType == AAX_eParameterType_Discrete) SetNumberOfSteps(2);
    else if (mControlType == AAX_eParameterType_Continuous) SetNumberOfSteps(128);
    else AAX_ASSERT(0);  // unknown type: no steps
  }

  template <typename U>
  bool NormalizedFrom(U value, double* normalizedValue) const {
    if constexpr (std::is_same_v<T, U>) {
      if (!mTaperDelegate || !normalizedValue) return false;
      *normalizedValue = mTaperDelegate->RealToNormalized(value);
      return true;
    } else {
      (void)value, (void)normalizedValue;
      return false;
    }
  }
  template <typename U>
  bool RealFrom(double normalizedValue, U* value) const {
    if constexpr (std::is_same_v<T, U>) {
      if (!mTaperDelegate || !value) return false;
      *value = mTaperDelegate->NormalizedToReal(normalizedValue);
      return true;
    } else {
      (void)normalizedValue, (void)value;
      return false;
    }
  }
  template <typename U>
  bool SetWith(U value) {
    if constexpr (std::is_same_v<T, U>) {
      SetValue(value);
      return true;
    } else {
      (void)value;
      return false;
    }
  }
  bool InRange(const T& value) const {
    return !(mTaperDelegate->GetMinimumValue() > value) && !(value > mTaperDelegate->GetMaximumValue());
  }

  AAX_CStringAbbreviations mNames;
  bool mAutomatable;
  uint32_t mNumSteps = 0;
  AAX_EParameterType mControlType = AAX_eParameterType_Continuous;
  int32_t mOrientation = 0;
  AAX_ITaperDelegate<T>* mTaperDelegate = nullptr;
  AAX_IDisplayDelegate<T>* mDisplayDelegate = nullptr;
  AAX_IAutomationDelegate* mAutomationDelegate = nullptr;
  bool mNeedNotify = true;
  AAX_CParameterValue<T> mValue;
  T mDefaultValue;
};

extern template class AAX_CParameter<bool>;
extern template class AAX_CParameter<int32_t>;
extern template class AAX_CParameter<float>;
extern template class AAX_CParameter<double>;
extern template class AAX_CParameter<AAX_CString>;
