// Parameters and numeric taper and display delegates shared by the framework tests.
#pragma once

#include "AAX_CBinaryDisplayDelegate.h"
#include "AAX_CBinaryTaperDelegate.h"
#include "AAX_CParameter.h"
#include "AAX_CString.h"
#include "AAX_IDisplayDelegate.h"
#include "AAX_ITaperDelegate.h"

#include <algorithm>
#include <string>

// A linear taper over [lo, hi] for the numeric value types.
template <typename T>
class LinearTaper : public AAX_ITaperDelegate<T> {
public:
  LinearTaper(T lo, T hi) : mLo(lo), mHi(hi) {}
  LinearTaper* Clone() const override { return new LinearTaper(*this); }
  T GetMaximumValue() const override { return mHi; }
  T GetMinimumValue() const override { return mLo; }
  T ConstrainRealValue(T v) const override { return std::clamp(v, mLo, mHi); }
  T NormalizedToReal(double n) const override { return T(mLo + n * double(mHi - mLo)); }
  double RealToNormalized(T v) const override { return double(v - mLo) / double(mHi - mLo); }

private:
  T mLo, mHi;
};

// Shows a value as std::to_string gives it and reads it back as a number.
template <typename T>
class NumberDisplay : public AAX_IDisplayDelegate<T> {
public:
  NumberDisplay* Clone() const override { return new NumberDisplay(*this); }
  bool ValueToString(T v, AAX_CString* s) const override {
    *s = std::to_string(v);
    return true;
  }
  bool ValueToString(T v, int32_t, AAX_CString* s) const override { return ValueToString(v, s); }
  bool StringToValue(const AAX_CString& s, T* v) const override {
    double d;
    if (!s.ToDouble(&d)) return false;
    *v = T(d);
    return true;
  }
};

// An automatable boolean parameter shown as `offText` / "on"; the caller owns it.
inline AAX_CParameter<bool>* NewBoolParameter(const char* id, const char* name, bool value = false,
                                              const char* offText = "off") {
  return new AAX_CParameter<bool>(id, AAX_CString(name), value, AAX_CBinaryTaperDelegate<bool>(),
                                  AAX_CBinaryDisplayDelegate<bool>(offText, "on"), true);
}
